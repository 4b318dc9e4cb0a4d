// CQtPcmOutput: the preview's sound output over Qt Multimedia's QAudioSink on the
// system's default sound device. The sink lives on the window thread and pulls its
// sound from a queue that the preview's sound thread fills; a timer on the window
// thread reads back how much the sink has played. Where there is no sound device (a
// machine without one, or the tests' offscreen platform), Open fails and the preview
// runs silent.
#pragma once

#include "app/PcmOutput.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

class QAudioSink;
class QIODevice;

class CQtPcmOutput : public QObject, public CPcmOutput {
    Q_OBJECT
public:
    CQtPcmOutput();
    ~CQtPcmOutput() override;

    // Opens the default sound device for the format on the window thread; false with
    // Error() set when there is none or it cannot play the format.
    bool Open(int sampleRate, int channels, int bitsPerSample) override;
    // Appends the bytes to the queue the sink pulls from (any thread); false once the
    // device has failed.
    bool Queue(const uint8_t* data, int32_t bytes) override;
    // Bytes the device has played, as last read on the window thread (any thread).
    int64_t BytesPlayed() override { return played.load(); }
    // Stops the sink at once and drops the queue (window thread).
    void Close() override;
    std::string Error() const override { return error; }

private:
    // Reads back the bytes played and notices a failed device.
    void Poll();

    std::unique_ptr<QIODevice> source;  // the queue as the sink reads it
    std::unique_ptr<QAudioSink> sink;
    QTimer pollTimer;
    std::mutex queueMutex;
    QByteArray queue;  // bytes given by Queue and not yet pulled by the sink
    std::atomic<int64_t> played{0};
    std::atomic<bool> failed{false};
    int64_t bytesPerSecond = 0;
    int bytesPerFrame = 4;
    std::string error;
};
