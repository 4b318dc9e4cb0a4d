#include "ui/ThumbnailMaker.h"

#include "picture/Photo.h"

#include <algorithm>

CThumbnailMaker::CThumbnailMaker(QObject* parent) : QObject(parent), worker([this] { Run(); }) {}

CThumbnailMaker::~CThumbnailMaker()
{
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
        queue.clear();
    }
    wake.notify_all();
    worker.join();
}

void CThumbnailMaker::Request(const QString& path)
{
    {
        std::lock_guard<std::mutex> guard(lock);
        if (std::find(queue.begin(), queue.end(), path) != queue.end()) return;
        queue.push_back(path);
    }
    wake.notify_one();
}

void CThumbnailMaker::ClearQueue()
{
    std::lock_guard<std::mutex> guard(lock);
    queue.clear();
}

bool CThumbnailMaker::Busy() const
{
    std::lock_guard<std::mutex> guard(lock);
    return working || !queue.empty();
}

QImage CThumbnailMaker::MakeFitted(const QString& path, int width, int height)
{
    CPhoto photo;
    return Fit(photo, path, width, height);
}

QImage CThumbnailMaker::Fit(CPhoto& photo, const QString& path, int width, int height)
{
    if (!photo.LoadFitted(width, height, false, false, path.toStdString())) return QImage();
    const QImage view(photo.pixels.data(), photo.bitmapWidth, photo.bitmapHeight, photo.bitmapStride,
                      QImage::Format_RGBA8888);
    return view.copy();
}

void CThumbnailMaker::Run()
{
    CPhoto photo;  // its buffers serve every thumbnail
    for (;;) {
        QString path;
        {
            std::unique_lock<std::mutex> guard(lock);
            working = false;
            wake.wait(guard, [this] { return stopping || !queue.empty(); });
            if (stopping) return;
            path = queue.front();
            queue.pop_front();
            working = true;
        }
        const QImage image = Fit(photo, path, kSide, kSide);
        emit Made(path, image);
    }
}
