// Makes the photo list's 80 x 80 thumbnails on a thread of its own, so that adding
// hundreds of photos never holds up the window: paths are queued, and each thumbnail is
// handed back through the Made signal (delivered on the window's thread) as it is done.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class CPhotoFitter;

class CThumbnailMaker : public QObject {
    Q_OBJECT
public:
    // The side of a thumbnail in pixels.
    static constexpr int kSide = 80;

    // Thumbnails are made at `pixelRatio` device pixels per pixel (2 on a screen scaled
    // to 200 %), so that they stay sharp.
    explicit CThumbnailMaker(qreal pixelRatio = 1.0, QObject* parent = nullptr);
    // Drops what is queued and waits for the photo being decoded.
    ~CThumbnailMaker() override;
    CThumbnailMaker(const CThumbnailMaker&) = delete;
    CThumbnailMaker& operator=(const CThumbnailMaker&) = delete;

    // Queues the photo `path`; a path already waiting is not queued twice.
    void Request(const QString& path);
    // Drops every request not yet started.
    void ClearQueue();
    // True while requests wait or one is being made.
    bool Busy() const;

    // The photo `path` fitted into a `width` x `height` picture on white; a null image
    // when it cannot be decoded. Safe on any thread.
    static QImage MakeFitted(const QString& path, int width, int height);

signals:
    // A thumbnail is done; `image` is null when the photo could not be decoded.
    void Made(const QString& path, const QImage& image);

private:
    void Run();
    // MakeFitted with the buffers of `fitter`.
    static QImage Fit(CPhotoFitter& fitter, const QString& path, int width, int height);

    mutable std::mutex lock;
    std::condition_variable wake;
    std::deque<QString> queue;
    qreal ratio = 1.0;
    bool stopping = false;
    bool working = false;
    std::thread worker;
};
