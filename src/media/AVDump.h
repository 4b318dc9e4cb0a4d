// The two-input renderer at the end of the decoding chain: a video input and an audio
// input, each owning a ring buffer. The decoding thread hands every raw picture (with
// its start time and duration in 100 ns) and every block of PCM (with its start time)
// to Receive*; the reader takes them out again in order.
#pragma once

#include <atomic>
#include <cstdint>

#include "media/SampleBuffer.h"

class CAVDump {
public:
    static constexpr size_t videoRingBytes = 128u << 20;
    static constexpr size_t audioRingBytes = 16u << 20;
    // A start time that jumps back by more than this (0.192 s) moves the first start.
    static constexpr int64_t audioJumpLimit = 1920000;

    CAVDump();

    // Reserves the rings for the media in use and empties them. False when the memory
    // cannot be had.
    bool Prepare(bool video, bool audio);

    // Producer side. Each returns false when the stream was finished or stopped, which
    // tells the decoding thread to end.
    bool ReceiveVideo(const uint8_t* data, size_t bytes, int64_t start, int64_t duration);
    bool ReceiveAudio(const uint8_t* data, size_t bytes, int64_t start);
    // The decoding side is skipping towards the start of a range: the reader keeps
    // waiting, however long that takes.
    void KeepAlive()
    {
        videoRing.KeepAlive();
        audioRing.KeepAlive();
    }
    // The decoding side has no more samples for this input.
    void EndVideo() { videoRing.Finish(); }
    void EndAudio() { audioRing.Finish(); }

    // Reader side: the next picture of `bytes` bytes and its duration (100 ns). False
    // once the video has ended.
    bool NextVideoSample(uint8_t* out, size_t bytes, int64_t& duration);
    // Up to `bytes` bytes of audio; fewer only at the end, 0 once it has ended.
    size_t ReadAudio(uint8_t* out, size_t bytes) { return audioRing.ReadUpTo(out, bytes); }

    // Marks both inputs finished and wakes everybody (Stop).
    void Finish();
    // The reader waits `seconds` for data before a stream counts as ended.
    void SetWait(double seconds);

    // Start of the first picture and of the first audio sample (100 ns), -1 before any;
    // the audio start is moved by every backward jump of more than 0.192 s.
    int64_t VideoFirstStart() const { return videoFirstStart.load(); }
    int64_t AudioFirstStart() const { return audioFirstStart.load(); }
    // Pictures received so far.
    int64_t VideoSamples() const { return videoSamples.load(); }

    CSampleBuffer videoRing;
    CSampleBuffer audioRing;

private:
    std::atomic<int64_t> videoFirstStart{-1};
    std::atomic<int64_t> audioFirstStart{-1};
    std::atomic<int64_t> videoSamples{0};
    int64_t audioLastStart = -1;  // producer thread only
};
