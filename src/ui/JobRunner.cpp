#include "ui/JobRunner.h"

#include <QEventLoop>
#include <QMetaObject>

#include <atomic>
#include <exception>
#include <thread>

namespace {
std::atomic<int> running{0};
}

bool JobRunning() { return running.load() > 0; }

void RunJob(const std::function<void()>& work)
{
    QEventLoop loop;
    std::exception_ptr failure;
    ++running;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        // Queued: the loop may not have started yet; the call waits for it.
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    --running;
    if (failure) std::rethrow_exception(failure);
}
