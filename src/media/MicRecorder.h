// Records the first audio capture device into a RIFF WAVE file: PulseAudio's default
// source when a server answers, else ALSA's "default" device.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>

struct AVFormatContext;

class CMicRecorder {
public:
    CMicRecorder() = default;
    ~CMicRecorder();
    CMicRecorder(const CMicRecorder&) = delete;
    CMicRecorder& operator=(const CMicRecorder&) = delete;

    // Opens the device and starts writing `path` on a thread of its own. Returns false
    // (and leaves no file) when no device can be opened or the file cannot be made.
    bool Start(const std::string& path);

    // Ends the recording and completes the file's header. Safe to call twice.
    void Stop();

    // The name of the device in use ("pulse: default" or "alsa: default").
    const std::string& DeviceName() const { return deviceName; }

    // Writes the 44-byte RIFF WAVE header for PCM of the given shape and data size.
    static void WriteWaveHeader(std::FILE* file, int channels, int rate, int bits, uint32_t dataBytes);

private:
    void Run();

    AVFormatContext* input = nullptr;
    std::FILE* file = nullptr;
    std::string path;
    std::string deviceName;
    int channels = 0;
    int rate = 0;
    int bits = 16;
    uint64_t dataBytes = 0;
    std::thread worker;
    std::atomic<bool> stopping{false};
};
