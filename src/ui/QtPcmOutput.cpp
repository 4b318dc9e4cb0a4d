#include "ui/QtPcmOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>

namespace {

// How often queued sound moves into the sink and the played count is read back: well
// inside the preview's 50 ms between pictures.
constexpr int kFeedMilliseconds = 10;

}  // namespace

CQtPcmOutput::CQtPcmOutput()
{
    feedTimer.setInterval(kFeedMilliseconds);
    connect(&feedTimer, &QTimer::timeout, this, &CQtPcmOutput::Feed);
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
    if (!outputDevice.isFormatSupported(format)) {
        error = "the sound device " + outputDevice.description().toStdString() + " cannot play " +
            std::to_string(sampleRate) + " Hz " + std::to_string(channels) + "-channel 16-bit sound";
        return false;
    }
    sink = std::make_unique<QAudioSink>(outputDevice, format);
    device = sink->start();
    if (!device || sink->error() != QAudio::NoError) {
        error = "the sound device " + outputDevice.description().toStdString() + " could not be started";
        sink.reset();
        device = nullptr;
        return false;
    }
    bytesPerFrame = channels * 2;
    bytesPerSecond = int64_t(sampleRate) * bytesPerFrame;
    feedTimer.start();
    return true;
}

bool CQtPcmOutput::Queue(const uint8_t* data, int32_t bytes)
{
    if (failed) return false;
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.append(reinterpret_cast<const char*>(data), bytes);
    return true;
}

void CQtPcmOutput::Feed()
{
    if (!sink || !device) return;
    if (sink->error() == QAudio::OpenError || sink->error() == QAudio::FatalError) {
        failed = true;
        error = "the sound device failed";
        return;
    }
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        const qint64 room = std::min<qint64>(sink->bytesFree(), queue.size());
        const qint64 written = room > 0 ? device->write(queue.constData(), room) : 0;
        if (written > 0) queue.remove(0, qsizetype(written));
    }
    // Whole sample frames played, from the sink's count of microseconds processed.
    const int64_t bytes = sink->processedUSecs() * bytesPerSecond / 1000000;
    played = bytes - bytes % bytesPerFrame;
}

void CQtPcmOutput::Close()
{
    feedTimer.stop();
    if (sink) {
        sink->stop();
        sink.reset();
    }
    device = nullptr;
    std::lock_guard<std::mutex> lock(queueMutex);
    queue.clear();
}
