// Records the first audio capture device into a RIFF WAVE file: PulseAudio's default
// source when a server answers, else ALSA's "default" device.
//
// The capture devices come from FFmpeg's device library, which pulls in some eighty
// further libraries (sound servers, X11, SDL, ...). Only recording needs it, so it is
// loaded when the first recording starts rather than linked into the program, which
// keeps every other run's start-up short.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "base/File.h"
#include "media/FfmpegPtr.h"

class CMicRecorder {
public:
    CMicRecorder() = default;
    ~CMicRecorder();
    CMicRecorder(const CMicRecorder&) = delete;
    CMicRecorder& operator=(const CMicRecorder&) = delete;

    // Opens the device and starts writing `path` on a thread of its own. Returns false
    // (and leaves no file) when the device library cannot be loaded, no device can be
    // opened or the file cannot be made; Error() then says which.
    bool Start(const std::string& path);

    // Why the last Start (or the Stop after it) failed; empty when both succeeded.
    const std::string& Error() const { return lastError; }

    // The device library's file name, as the dynamic loader knows it.
    static constexpr const char* deviceLibrary = "libavdevice.so.59";

    // Loads the device library `soname` (once per process for the default name) and
    // registers its capture devices with FFmpeg. Returns false with a message naming
    // the library and the loader's reason in `error` when it cannot be loaded.
    static bool LoadDeviceLibrary(const char* soname, std::string& error);

    // Ends the recording, completes the file's header and puts the file in place of
    // any earlier one of its name; Error() says why when that failed. Safe to call
    // twice.
    void Stop();

    // The name of the device in use ("pulse: default" or "alsa: default").
    const std::string& DeviceName() const { return deviceName; }

private:
    void Run();

    InputPtr input;
    std::unique_ptr<CReplaceFile> file;
    std::string path;
    std::string deviceName;
    std::string lastError;
    int channels = 0;
    int rate = 0;
    int bits = 16;
    uint64_t dataBytes = 0;
    std::thread worker;
    std::atomic<bool> stopping{false};
};
