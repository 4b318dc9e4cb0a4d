// Test sources for the multiplexer: a video source that serves a real MPEG-2
// elementary stream GOP by GOP with the encoder's timing rules, and audio sources that
// serve a real Layer II stream or PCM as DVD linear PCM with the audio sources' unit
// accounting. The streams themselves are made by FFmpeg in the test run.
#pragma once

#include "audio/Audio.h"
#include "mpeg2enc/Video.h"

#include <cstdint>
#include <string>
#include <vector>

class CFakeVideo : public CVideo {
public:
    // `es` is a whole elementary stream; `rate` 30 (29.97 frames/s) or 25.
    CFakeVideo(std::vector<uint8_t> es, int rate, int resolutionCode = 0, bool wide = false);

    bool IsDrained() override { return pos == gopEnd; }
    uint32_t NextPictureTime() override { return ended ? endOfStreamTime : (counted + 1) * period; }
    uint32_t CurrentPictureTime() override { return ended ? endOfStreamTime : counted * period; }
    int32_t ResolutionCode() override { return resolution; }
    int32_t FrameRateClass() override { return rate; }
    bool IsWideScreen() override { return wide; }
    void SetWideScreen(bool w) override { wide = w; }
    int32_t Read(uint8_t* buffer, int32_t length) override;

    int pictures() const { return int(pictureStarts.size()); }
    // Below 16, every read returns at most `length - shortBy` bytes (a misbehaving
    // source that leaves too little room for a padding packet).
    int shortBy = 16;

private:
    std::vector<uint8_t> es;
    std::vector<int64_t> gopStarts;
    std::vector<int64_t> pictureStarts;
    int rate;
    uint32_t period;
    int resolution;
    bool wide;
    size_t gop = 0;  // index of the buffered GOP + 1 (0 before the first read)
    int64_t pos = 0;
    int64_t gopEnd = 0;
    uint32_t counted = 0;  // picture starts at or before the read position
    bool ended = false;
};

class CFakeAudio : public CAudio {
public:
    // MPEG-1 Layer II frames (kind 4) or little-endian stereo PCM (kind 1).
    CFakeAudio(std::vector<uint8_t> data, int kind);

    int StreamKind() override { return kind; }
    int FirstUnitOffset() override { return firstOffset; }
    int UnitCount() override { return unitCount; }
    int Read(uint8_t* buffer, int length) override;
    uint32_t FirstUnitTime() override { return firstTime; }
    uint32_t EndTime() override { return endTime; }

private:
    std::vector<uint8_t> data;
    int kind;
    size_t pos = 0;
    int64_t total = 0;
    int64_t units = 0;
    int carry = 0;
    int firstOffset = 0;
    int unitCount = 0;
    uint32_t firstTime = 0;
    uint32_t endTime = 0;
};

// Elementary streams made once per test program with FFmpeg (kept in a temporary
// folder until the program ends).
namespace fakestreams {
// MPEG-2 video of `seconds` at 29.97 (or 25) frames/s with closed GOPs of `gop`
// pictures, I and P only.
std::vector<uint8_t> Video(double seconds, int width = 720, int height = 480, int gop = 15, bool pal = false,
                           int bitRate = 6000000);
// MPEG-2 video of one unchanging picture (as a slide show's still photo): large
// I pictures and nearly empty P pictures.
std::vector<uint8_t> StillVideo(double seconds);
// Layer II at 48 kHz, stereo, `kbps` kbit/s.
std::vector<uint8_t> Mp2(double seconds, int kbps = 192);
// 48 kHz stereo 16-bit little-endian PCM.
std::vector<uint8_t> Pcm(double seconds);
}  // namespace fakestreams
