#include "mpeg2enc/RenderAhead.h"

#include "picture/Frame.h"

#include <pthread.h>

#include <utility>

CRenderAhead::CRenderAhead(CFrameSource& wrapped, int ringDepth) : source(wrapped), depth(ringDepth < 1 ? 1 : ringDepth)
{}

CRenderAhead::~CRenderAhead() { Stop(); }

int64_t CRenderAhead::FrameCount() { return started ? frameCount : source.FrameCount(); }

void CRenderAhead::StartThread(const CFrame& like)
{
    started = true;
    frameCount = source.FrameCount();
    if (frameLimit == 0) {
        finished = true;
        return;
    }
    try {
        ring.reserve(size_t(depth));
        for (int i = 0; i < depth; ++i) {
            auto slot = std::make_unique<CFrame>();
            // A slot the size of the consumer's frame; when that has no size yet (or an
            // unusual one) the source sizes the slot's picture itself, as it would the
            // consumer's.
            if (like.width > 0 && like.height > 0) slot->Create(like.width, like.height);
            ring.push_back(std::move(slot));
        }
        worker = std::thread([this] { Run(); });
    } catch (const std::exception&) {
        // No memory for the ring or no thread to be had: every picture is rendered on
        // the calling thread, as without this wrapper.
        ring.clear();
        finished = true;
    }
}

void CRenderAhead::Run()
{
    // Named so that profilers and debuggers tell the rendering apart from the coding.
    pthread_setname_np(pthread_self(), "render-ahead");
    int tail = 0;  // ring index the next picture is rendered into
    int64_t rendered = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock);
            changed.wait(guard, [this] { return stopping || filled < depth; });
            if (stopping) break;
        }
        // The slot at `tail` is not visible to the consumer until `filled` counts it,
        // so it is rendered without holding the lock.
        try {
            source.NextFrame(*ring[size_t(tail)]);
        } catch (...) {
            std::lock_guard<std::mutex> guard(lock);
            error = std::current_exception();
            break;
        }
        ++rendered;
        tail = (tail + 1) % depth;
        std::lock_guard<std::mutex> guard(lock);
        ++filled;
        changed.notify_all();
        if (frameLimit >= 0 && rendered >= frameLimit) break;
    }
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
    changed.notify_all();
}

void CRenderAhead::NextFrame(CFrame& frame)
{
    if (!started) StartThread(frame);
    if (frameLimit >= 0 && delivered >= frameLimit) {
        // Beyond the thread's share: the thread has ended (it stopped after its last
        // picture, which the consumer has had), so the source is called directly.
        if (worker.joinable()) worker.join();
        ++delivered;
        source.NextFrame(frame);
        return;
    }
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return filled > 0 || finished; });
    if (filled == 0) {
        // The thread ended without a picture for this call.
        if (error) {
            std::exception_ptr e = std::exchange(error, nullptr);
            guard.unlock();
            // The source failed once; a later call asks it afresh, on this thread.
            std::rethrow_exception(e);
        }
        guard.unlock();
        if (worker.joinable()) worker.join();
        ++delivered;
        source.NextFrame(frame);
        return;
    }
    frame.picture.Swap(ring[size_t(head)]->picture);
    head = (head + 1) % depth;
    --filled;
    ++delivered;
    changed.notify_all();
}

void CRenderAhead::Stop()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        changed.notify_all();
    }
    if (worker.joinable()) worker.join();
    // Pictures still in the ring are dropped; later calls render directly.
    std::lock_guard<std::mutex> guard(lock);
    finished = true;
}
