#include "media/AVDump.h"

#include <cstring>

CAVDump::CAVDump() = default;

bool CAVDump::Prepare(bool video, bool audio)
{
    videoFirstStart = -1;
    audioFirstStart = -1;
    videoSamples = 0;
    audioLastStart = -1;
    bool ok = true;
    if (video)
        ok = videoRing.Allocate(videoRingBytes) && ok;
    else
        videoRing.Allocate(64), videoRing.Finish();
    if (audio)
        ok = audioRing.Allocate(audioRingBytes) && ok;
    else
        audioRing.Allocate(64), audioRing.Finish();
    return ok;
}

bool CAVDump::ReceiveVideo(const uint8_t* data, size_t bytes, int64_t start, int64_t duration)
{
    if (videoFirstStart.load() < 0 && start >= 0) videoFirstStart = start;
    uint8_t head[8];
    std::memcpy(head, &duration, sizeof head);
    if (!videoRing.Write(head, sizeof head, data, bytes)) return false;
    ++videoSamples;
    return true;
}

bool CAVDump::ReceiveAudio(const uint8_t* data, size_t bytes, int64_t start)
{
    if (start >= 0) {
        if (audioFirstStart.load() < 0) {
            audioFirstStart = start;
        } else if (audioLastStart >= 0 && audioLastStart - start > audioJumpLimit) {
            // The source's clock went back (a new stream segment): keep the recorded
            // first start in step with it.
            audioFirstStart = audioFirstStart.load() - (audioLastStart - start);
        }
        audioLastStart = start;
    }
    return audioRing.Write(nullptr, 0, data, bytes);
}

bool CAVDump::NextVideoSample(uint8_t* out, size_t bytes, int64_t& duration)
{
    uint8_t head[8];
    if (!videoRing.ReadExact(head, sizeof head)) return false;
    std::memcpy(&duration, head, sizeof head);
    return videoRing.ReadExact(out, bytes);
}

void CAVDump::Finish()
{
    videoRing.Finish();
    audioRing.Finish();
}

void CAVDump::SetWait(double seconds)
{
    auto wait = std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000.0));
    videoRing.SetWait(wait);
    audioRing.SetWait(wait);
}
