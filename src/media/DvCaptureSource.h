// CDvCaptureSource: DV from a camcorder (IEEE 1394 through FFmpeg's iec61883 input) or
// from a DV file standing in for one, fed into a CDirectShowAV as a live capture.
//
// The DV is decoded on a thread of its own (CMediaGraph into a private pair of rings);
// a second thread hands each picture and the sound that goes with it to the capture's
// CDirectShowAV through Dump(), at the tape's own pace (or as fast as the encoder
// takes it, `fast`). While pacing, a picture that finds the capture's video ring full
// is dropped, as a live device would drop it, and the picture before it is shown for
// longer so that the sound stays in step. The capture ends at its length, at the end of
// the tape, on a stop, or when the device goes away; the event code says which.
#pragma once

#include "media/AVDump.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class CDirectShowAV;
class CMediaGraph;
class CPreviewPicture;

// Why a capture ended (the codes of the capture graph's events).
enum : int32_t {
    kCaptureComplete = 1,  // the length was reached or the tape ended
    kCaptureUserAbort = 2,  // stopped by the person (or the capture's reader went away)
    kCaptureErrorAbort = 3,  // the DV could not be read
    kCaptureDeviceLost = 31,  // the device was pulled
};

class CDvCaptureSource {
public:
    CDvCaptureSource();
    ~CDvCaptureSource();
    CDvCaptureSource(const CDvCaptureSource&) = delete;
    CDvCaptureSource& operator=(const CDvCaptureSource&) = delete;

    // Opens a DV file (raw DV, or DV in AVI or MOV) as the tape. False when it cannot be
    // read or holds no DV video; Error() names the file and the problem.
    bool OpenFile(const std::string& path);
    // Opens the IEEE 1394 device with `guid` (hex, as --list shows it; empty: the first
    // one) through FFmpeg's iec61883 input. False when it cannot be opened.
    bool OpenDevice(const std::string& guid);

    // Prepares `target` for the capture (CDirectShowAV::OpenFeed with the DV's formats
    // and a length of `seconds`). False when the formats are refused ("Unsupported
    // audio stream", "Unsupported video stream"; shown unless `quiet`) or a DV file's
    // tape has ended; Error() says which. A later capture goes on where the last one
    // stopped, as a tape does.
    bool Connect(CDirectShowAV& target, double seconds, bool quiet);

    // Starts the tape: decoding and handing over. `notify` receives the event code once
    // the capture has ended (on the handing-over thread).
    void Start(std::function<void(int32_t)> notify);
    // Asks the capture to end early (a user abort); the title keeps what was captured.
    void RequestStop() { stopAsked = true; }
    // Ends both threads and waits for them (a capture or a monitor).
    void Stop();

    // Plays the tape into the preview alone, nothing captured: at the tape's pace, until
    // Stop, the tape's end or `maxPictures` pictures (negative: no limit; a DV file is
    // then read as fast as it decodes). The tape moves on as it plays.
    void StartMonitor(int64_t maxPictures);
    // Whether a monitor's thread runs.
    bool Monitoring() const { return monitoring.load(); }
    // Whether this is an IEEE 1394 device (false: a DV file standing in).
    bool IsDevice() const { return device; }

    // Captured and dropped pictures so far, and seconds of tape handed over.
    int64_t FramesCaptured() const { return captured.load(); }
    int64_t FramesDropped() const { return dropped.load(); }
    double SecondsCaptured() const { return double(tapeTicks.load()) / 1e7; }
    // The event code the capture ended with (0 while it runs).
    int32_t EndCode() const { return endCode.load(); }

    // What Open found.
    double frameRate = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool pal = false;
    bool hasAudio = false;
    double fileSeconds = -1;  // length of a DV file; -1 for a device
    const std::string& Error() const { return error; }
    // The device's name as opened: the DV file's path, or which IEEE 1394 device.
    const std::string& Name() const { return name; }

    // Settings, before Start.
    bool fast = false;  // a DV file: hand over as fast as the encoder takes it
    double pullAfterSeconds = -1;  // a stand-in tape "pulls the device" after this long
    CPreviewPicture* preview = nullptr;  // offered every picture of the tape (not owned)

private:
    bool Settle(const std::string& name);
    void StartTape();
    void Relay();
    void Monitor(int64_t maxPictures);
    bool RelayAudio(int64_t untilTicks);

    std::unique_ptr<CMediaGraph> graph;
    CAVDump tape;  // what the decoding thread hands over
    CDirectShowAV* target = nullptr;
    std::string name;
    bool device = false;
    bool tapeEnded = false;  // a DV file was read to its end
    int64_t limitFrames = 0;  // pictures of the title: the relay ends after them
    bool limitIsTapeEnd = false;  // those pictures reach the end of a DV file
    size_t frameBytes = 0;
    int32_t audioBlock = 0;  // bytes per sample frame (all channels)
    int32_t audioRate = 0;
    int64_t audioSamplesSent = 0;
    std::vector<uint8_t> picture;
    std::vector<uint8_t> sound;
    std::function<void(int32_t)> notify;
    std::thread relay;
    std::atomic<bool> stopAsked{false};
    std::atomic<bool> readFailed{false};
    std::atomic<bool> monitoring{false};
    std::atomic<int64_t> captured{0};
    std::atomic<int64_t> dropped{0};
    std::atomic<int64_t> tapeTicks{0};
    std::atomic<int32_t> endCode{0};
    std::string error;
};
