// CPcmOutput: a sound output that plays interleaved little-endian PCM, as the preview
// needs it. The desktop program gives one over the system's sound device; tests give
// one that consumes bytes at a rate of their choosing.
//
// Threads: Open and Close are called on the thread that starts and stops the preview;
// Queue and BytesPlayed on the preview's sound thread while the output is open.
#pragma once

#include <cstdint>
#include <string>

class CPcmOutput {
public:
    virtual ~CPcmOutput() = default;

    // Opens the output for `sampleRate` Hz, `channels` channels of `bitsPerSample`-bit
    // samples and starts its count of bytes played at 0. Returns false (the preview
    // then runs silent) when no device can play that format; Error() says why.
    virtual bool Open(int sampleRate, int channels, int bitsPerSample) = 0;

    // Appends `bytes` bytes to what the output plays; the output keeps its own copy,
    // so the caller may refill `data` at once. Returns false when the output failed.
    virtual bool Queue(const uint8_t* data, int32_t bytes) = 0;

    // Bytes the output has played since Open: the clock of the sound as heard.
    virtual int64_t BytesPlayed() = 0;

    // Stops at once, drops what is still queued and releases the device.
    virtual void Close() = 0;

    // Why the last Open or Queue failed, in one line.
    virtual std::string Error() const { return {}; }
};
