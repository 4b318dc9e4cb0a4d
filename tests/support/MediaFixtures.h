// Short source files made with FFmpeg's generators for the video-to-DVD tests: one per
// container and codec a person is likely to bring, odd frame rates and shapes, and the
// flash-and-beep source the sync measurement reads.
#pragma once

#include <string>

namespace testsupport {

enum class EMediaFixture {
    H264AacMp4,  // H.264 + AAC in MP4, 640x360 at 29.97
    Mpeg4Ac3Avi,  // MPEG-4 part 2 + AC-3 in AVI, 640x480 at 25
    Mpeg2Ps,  // MPEG-2 + Layer II in an MPEG program stream, 720x480 at 29.97
    FullHd51,  // 1920x1080 at 25, H.264 + six-channel (5.1) AAC in Matroska
    Vga15,  // 640x480 at 15 frames/s, H.264 + AAC in QuickTime
    Film23976,  // 23.976 frames/s, H.264 + AAC in MP4
    VariableRate,  // frames 1/30 s apart for the first second, 1/10 s after, in Matroska
    InterlacedTff,  // interlaced MPEG-2 (coded as fields' frames), top field first, PAL
    InterlacedBff,  // the same with the bottom field first
    NoAudio,  // H.264 in MP4 without any audio stream
    Mono22050,  // H.264 + mono AAC at 22,050 Hz in MP4
    Scope239,  // 2.39:1 (860x360); this and the next two have a white frame round the
    // picture, so that its edges can be found on a DVD
    Upright916,  // 9:16 as a phone held upright (360x640)
    Square,  // 480x480
    Named9876,  // "holiday_9876.mp4": white upper half, black lower half
};

// Facts of a fixture as made.
struct SMediaFixture {
    std::string path;  // the file made
    std::string label;  // a short name for messages
    int width = 0;
    int height = 0;
    double seconds = 0;  // the length asked of the generators
    bool hasAudio = true;
};

// The length of every fixture but the sync sources, in seconds.
constexpr double kFixtureSeconds = 3.0;

// Makes `kind` in `folder` with FFmpeg. On failure the returned path is empty and
// `error` holds FFmpeg's complaint.
SMediaFixture MakeMediaFixture(EMediaFixture kind, const std::string& folder, std::string* error = nullptr);

// Every kind of EMediaFixture, in declaration order.
const EMediaFixture* AllMediaFixtures(int* count);

// The flash-and-beep source: black 320x240 pictures at `rate` ("24000/1001" or "25")
// with one all-white picture every 48 (23.976) or 50 (25) pictures, i.e. every 2.002 or
// 2 s, and a 1 kHz tone of 0.1 s starting exactly when each white picture starts;
// H.264 + AAC in MP4, `seconds` long. Returns the file's path, or "" with `error` set.
std::string MakeSyncSource(const std::string& folder, const std::string& rate, double seconds,
                           std::string* error = nullptr);

// The counting source: flat grey pictures at `rate` whose brightness counts the picture
// number, Y = 16 + 8 x (n mod 25), with a 440 Hz tone; H.264 + AAC in MP4, `seconds`
// long. Returns the file's path, or "" with `error` set.
std::string MakeCountingSource(const std::string& folder, const std::string& rate, double seconds,
                               std::string* error = nullptr);

// What ffprobe says of `file`: `entries` (e.g. "stream=width,height") of the streams
// `stream` selects (e.g. "v:0"; "" for all), one line per stream or frame as CSV,
// without FFmpeg's empty side-data lines and trailing commas.
std::string ProbeMedia(const std::string& file, const std::string& entries, const std::string& stream = "");

// The time in seconds between two flashes of a sync source made at `rate`.
double SyncInterval(const std::string& rate);

}  // namespace testsupport
