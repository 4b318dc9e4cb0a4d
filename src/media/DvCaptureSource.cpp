#include "media/DvCaptureSource.h"

#include "media/Avc1394Transport.h"
#include "media/DirectShowAV.h"
#include "media/MediaGraph.h"
#include "media/MicRecorder.h"
#include "media/PreviewPicture.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

// How long the tape may stay silent before a device counts as pulled, and before a
// file's decoder counts as stuck.
constexpr double kDeviceSilenceSeconds = 2.0;
constexpr double kFileSilenceSeconds = 30.0;
// Pictures decoded ahead of the capture.
constexpr size_t kTapePictures = 12;

}  // namespace

CDvCaptureSource::CDvCaptureSource() : graph(std::make_unique<CMediaGraph>()) {}

CDvCaptureSource::~CDvCaptureSource() { Stop(); }

bool CDvCaptureSource::OpenFile(const std::string& path)
{
    Stop();
    device = false;
    graph = std::make_unique<CMediaGraph>();
    if (!graph->Open(path, "", true, true, false)) {
        error = path + ": " + (graph->openError.empty() ? "cannot be read as DV video" : graph->openError);
        return false;
    }
    if (!graph->videoConnected || !graph->isDv) {
        error = path + ": holds no DV video (a camcorder's .dv file, or DV in AVI or MOV, is needed)";
        return false;
    }
    fileSeconds = graph->duration > 0 ? double(graph->duration) / 1e7 : -1;
    return Settle(path);
}

bool CDvCaptureSource::OpenDevice(const std::string& guid)
{
    Stop();
    device = true;
    fileSeconds = -1;
    std::string why;
    if (!CMicRecorder::LoadDeviceLibrary(CMicRecorder::deviceLibrary, why)) {
        error = "IEEE 1394 capture: " + why;
        return false;
    }
    uint64_t id = 0;
    if (!guid.empty() && !CAvc1394Transport::ParseGuid(guid, id)) {
        error = "\"" + guid + "\" is not a DV file or a device GUID (16 hex digits, as capture --list shows)";
        return false;
    }
    graph = std::make_unique<CMediaGraph>();
    graph->isDevice = true;
    // The input takes the GUID in decimal.
    if (!guid.empty()) graph->inputOptions.emplace_back("dvguid", std::to_string(id));
    const std::string label = guid.empty() ? "the first IEEE 1394 device" : "IEEE 1394 device " + guid;
    if (!graph->Open("auto", "iec61883", true, true, false) || !graph->videoConnected) {
        error = label + ": cannot be opened" + (graph->openError.empty() ? "" : " (" + graph->openError + ")");
        return false;
    }
    return Settle(label);
}

bool CDvCaptureSource::Settle(const std::string& label)
{
    name = label;
    frameRate = graph->frameRate > 0 ? graph->frameRate : (graph->height > 480 ? 25.0 : 30000.0 / 1001.0);
    width = graph->width;
    height = graph->height;
    pal = frameRate < 27.0;
    hasAudio = graph->audioConnected && graph->audioKind == kAudioPcm;
    frameBytes = size_t(RawFrameBytes(graph->videoCode, width, height));
    if (frameBytes == 0) {
        error = label + ": the DV pictures come in a form that cannot be captured";
        return false;
    }
    audioRate = hasAudio ? graph->sampleRate : 0;
    audioBlock = hasAudio ? graph->channels * graph->bits / 8 : 0;
    return true;
}

bool CDvCaptureSource::Connect(CDirectShowAV& av, double seconds, bool quiet)
{
    if (tapeEnded) {
        error = name + ": the tape has ended, there is nothing more to capture";
        return false;
    }
    CMediaFeedFormat format;
    format.video = true;
    format.videoCode = graph->videoCode;
    format.width = width;
    format.height = height;
    format.frameRate = frameRate;
    format.audio = hasAudio;
    format.channels = graph->channels;
    format.sampleRate = graph->sampleRate;
    format.bitsPerSample = graph->bits;
    // A tape shorter than the capture ends it: the title is as long as the tape.
    const double length = fileSeconds > 0 ? std::min(seconds, fileSeconds) : seconds;
    // The length of a whole number of pictures, half a picture more so that counting
    // pictures from it (which rounds down) gives all of them.
    const int64_t frames = std::max<int64_t>(1, std::llround(length * frameRate));
    format.duration = int64_t((double(frames) + 0.5) / frameRate * 1e7);
    // The relay ends by itself once it has handed over the title's pictures. Waiting for
    // the decoder to report the file's end instead would race with the encoder, which
    // stops the tape as soon as it has all its pictures: that stop must not make a whole
    // capture look like one cut short.
    limitFrames = frames;
    limitIsTapeEnd = fileSeconds > 0 && fileSeconds <= seconds;
    if (!av.OpenFeed(format, quiet)) {
        error = name + ": " + av.Refusal();
        return false;
    }
    target = &av;
    return true;
}

void CDvCaptureSource::StartTape()
{
    Stop();
    stopAsked = readFailed = false;
    captured = dropped = tapeTicks = 0;
    endCode = 0;
    audioSamplesSent = 0;
    // The tape's own ring holds only a few pictures: the decoding keeps just ahead of
    // the capture, so that a later capture goes on close to where this one stops.
    tape.Prepare(true, hasAudio);
    tape.videoRing.Allocate(kTapePictures * (frameBytes + sizeof(int64_t)));
    tape.SetWait(device ? kDeviceSilenceSeconds : kFileSilenceSeconds);
    graph->Start(tape, [this](int32_t code) {
        if (code == 3) readFailed = true;
    });
}

void CDvCaptureSource::Start(std::function<void(int32_t)> notifyEnd)
{
    StartTape();
    notify = std::move(notifyEnd);
    relay = std::thread([this] { Relay(); });
}

void CDvCaptureSource::StartMonitor(int64_t maxPictures)
{
    if (tapeEnded || frameBytes == 0) return;
    StartTape();
    monitoring = true;
    relay = std::thread([this, maxPictures] { Monitor(maxPictures); });
}

void CDvCaptureSource::Stop()
{
    stopAsked = true;
    tape.Finish();
    if (relay.joinable()) relay.join();
    monitoring = false;
    if (graph) graph->Stop();
}

void CDvCaptureSource::Monitor(int64_t maxPictures)
{
    picture.resize(frameBytes);
    const auto began = std::chrono::steady_clock::now();
    const int64_t nominal = int64_t(std::llround(1e7 / frameRate));
    int64_t at = 0;
    for (int64_t frame = 0; (maxPictures < 0 || frame < maxPictures) && !stopAsked; ++frame) {
        int64_t length = 0;
        if (!tape.NextVideoSample(picture.data(), picture.size(), length)) {
            tapeEnded = !device && !stopAsked;
            break;
        }
        if (length <= 0) length = nominal;
        // A file plays at the tape's pace unless only a few pictures are wanted.
        if (!device && maxPictures < 0) std::this_thread::sleep_until(began + std::chrono::microseconds(at / 10));
        if (preview) preview->Offer(graph->videoCode, width, height, picture.data());
        at += length;
        // The sound is taken and dropped, so that the decoding is never held up by it.
        RelayAudio(at);
    }
    monitoring = false;
}

// Hands the sound of the tape up to `untilTicks` (100 ns from its start) to the target.
bool CDvCaptureSource::RelayAudio(int64_t untilTicks)
{
    if (!hasAudio) return true;
    const int64_t want = int64_t(double(untilTicks) * audioRate / 1e7 + 0.5) - audioSamplesSent;
    if (want <= 0) return true;
    sound.resize(size_t(want) * size_t(audioBlock));
    const size_t got = tape.ReadAudio(sound.data(), sound.size());
    const int64_t start = audioSamplesSent * 10000000 / audioRate;
    audioSamplesSent += int64_t(got) / audioBlock;
    if (got == 0 || monitoring) return true;  // the tape's sound ended, or nobody captures it
    return target->Dump().ReceiveAudio(sound.data(), got - got % size_t(audioBlock), start);
}

void CDvCaptureSource::Relay()
{
    CAVDump& out = target->Dump();
    picture.resize(frameBytes);
    const auto began = std::chrono::steady_clock::now();
    int64_t at = 0;  // 100 ns of tape handed over
    int64_t owed = 0;  // length of dropped pictures, added to the next one shown
    const int64_t nominal = int64_t(std::llround(1e7 / frameRate));
    int32_t code = kCaptureComplete;
    for (int64_t frame = 0; frame < limitFrames; ++frame) {
        if (stopAsked) {
            code = kCaptureUserAbort;
            break;
        }
        if (pullAfterSeconds >= 0 && double(at) / 1e7 >= pullAfterSeconds) {
            code = kCaptureDeviceLost;
            break;
        }
        int64_t length = 0;
        if (!tape.NextVideoSample(picture.data(), picture.size(), length)) {
            // A device that stops delivering has gone away; a file has reached its end.
            tapeEnded = !device && !stopAsked;
            code = stopAsked ? kCaptureUserAbort
                : readFailed ? (device ? kCaptureDeviceLost : kCaptureErrorAbort)
                : device     ? kCaptureDeviceLost
                             : kCaptureComplete;
            break;
        }
        if (length <= 0) length = nominal;
        // The preview shows the tape as it passes, dropped pictures included.
        if (preview) preview->Offer(graph->videoCode, width, height, picture.data());
        // A file is held to the tape's pace; a device delivers at its own.
        if (!fast && !device) std::this_thread::sleep_until(began + std::chrono::microseconds(at / 10));
        const size_t room = out.videoRing.Capacity() - out.videoRing.Filled();
        if (!fast && room < frameBytes + sizeof(int64_t)) {
            ++dropped;
            owed += length;
        } else {
            if (!out.ReceiveVideo(picture.data(), picture.size(), at - owed, length + owed)) {
                code = kCaptureUserAbort;  // the capture's reader has stopped
                break;
            }
            owed = 0;
            ++captured;
        }
        at += length;
        tapeTicks = at;
        if (!RelayAudio(at)) {
            code = kCaptureUserAbort;
            break;
        }
    }
    if (code == kCaptureComplete && limitIsTapeEnd) tapeEnded = true;
    out.EndVideo();
    out.EndAudio();
    tape.Finish();
    endCode = code;
    if (notify) notify(code);
}
