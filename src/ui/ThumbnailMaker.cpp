#include "ui/ThumbnailMaker.h"

#include "app/PhotoFitter.h"

#include <algorithm>

CThumbnailMaker::CThumbnailMaker(qreal pixelRatio, QObject* parent)
    : QObject(parent), ratio(pixelRatio >= 1.0 ? pixelRatio : 1.0), worker([this] { Run(); })
{}

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
    CPhotoFitter fitter;
    return Fit(fitter, path, width, height);
}

QImage CThumbnailMaker::Fit(CPhotoFitter& fitter, const QString& path, int width, int height)
{
    std::vector<uint8_t> rgba;
    if (!fitter.Fit(path.toStdString(), width, height, rgba)) return QImage();
    const QImage view(rgba.data(), width, height, width * 4, QImage::Format_RGBA8888);
    return view.copy();
}

void CThumbnailMaker::Run()
{
    CPhotoFitter fitter;  // its buffers serve every thumbnail
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
        const int side = int(kSide * ratio + 0.5);
        QImage image = Fit(fitter, path, side, side);
        image.setDevicePixelRatio(ratio);
        emit Made(path, image);
    }
}
