#include "ui/QtPcmOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>

#include <algorithm>
#include <cstring>

namespace {

// How often the played count is read back: well inside the preview's 50 ms between
// pictures.
constexpr int kPollMilliseconds = 10;

// The sink's source: hands over what the preview's sound thread queued, whenever the
// sink asks. It never ends while open; when it runs dry the sink waits for readyRead,
// which Queue sends with every new buffer.
class CQueueDevice : public QIODevice {
public:
    CQueueDevice(std::mutex& mutex_, QByteArray& queue_) : mutex(mutex_), queue(queue_) {}
    bool isSequential() const override { return true; }
    bool atEnd() const override { return !isOpen(); }
    qint64 bytesAvailable() const override
    {
        std::lock_guard<std::mutex> lock(mutex);
        return queue.size() + QIODevice::bytesAvailable();
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        std::lock_guard<std::mutex> lock(mutex);
        const qint64 n = std::min<qint64>(maxSize, queue.size());
        if (n > 0) {
            std::memcpy(data, queue.constData(), size_t(n));
            queue.remove(0, qsizetype(n));
        }
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    std::mutex& mutex;
    QByteArray& queue;
};

}  // namespace

CQtPcmOutput::CQtPcmOutput()
{
    pollTimer.setInterval(kPollMilliseconds);
    connect(&pollTimer, &QTimer::timeout, this, &CQtPcmOutput::Poll);
}

CQtPcmOutput::~CQtPcmOutput() { Close(); }

bool CQtPcmOutput::Open(int sampleRate, int channels, int bitsPerSample)
{
    Close();
    error.clear();
    failed = false;
    played = 0;
    if (bitsPerSample != 16) {
        error = "the sound output plays 16-bit samples only";
        return false;
    }
    const QAudioDevice outputDevice = QMediaDevices::defaultAudioOutput();
    if (outputDevice.isNull()) {
        error = "no sound output device";
        return false;
    }
    QAudioFormat format;
    format.setSampleRate(sampleRate);
    format.setChannelCount(channels);
    format.setSampleFormat(QAudioFormat::Int16);
    const std::string name = outputDevice.description().toStdString();
    if (!outputDevice.isFormatSupported(format)) {
        error = "the sound device " + name + " cannot play " + std::to_string(sampleRate) + " Hz " +
            std::to_string(channels) + "-channel 16-bit sound";
        return false;
    }
    source = std::make_unique<CQueueDevice>(queueMutex, queue);
    source->open(QIODevice::ReadOnly);
    sink = std::make_unique<QAudioSink>(outputDevice, format);
    sink->start(source.get());
    if (sink->error() != QAudio::NoError || sink->state() == QAudio::StoppedState) {
        error = "the sound device " + name + " could not be started";
        Close();
        return false;
    }
    bytesPerFrame = channels * 2;
    bytesPerSecond = int64_t(sampleRate) * bytesPerFrame;
    pollTimer.start();
    return true;
}

bool CQtPcmOutput::Queue(const uint8_t* data, int32_t bytes)
{
    if (failed) return false;
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        queue.append(reinterpret_cast<const char*>(data), bytes);
    }
    // Wakes a sink that ran dry (carried to the window thread, where the sink lives).
    emit source->readyRead();
    return true;
}

void CQtPcmOutput::Poll()
{
    if (!sink) return;
    if (sink->error() == QAudio::OpenError || sink->error() == QAudio::FatalError) {
        failed = true;
        error = "the sound device failed";
        return;
    }
    // Whole sample frames played, from the sink's count of microseconds processed.
    const int64_t bytes = sink->processedUSecs() * bytesPerSecond / 1000000;
    played = bytes - bytes % bytesPerFrame;
}

void CQtPcmOutput::Close()
{
    pollTimer.stop();
    if (sink) {
        sink->stop();
        sink.reset();
    }
    if (source) source->close();
    source.reset();
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.clear();
}
