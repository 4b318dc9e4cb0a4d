#include "audio/AudioSlide.h"

#include "media/PcmSource.h"

CAudioSlide::CAudioSlide(CPcmSource* source) : timeline(source) {}

CAudioSlide::~CAudioSlide() { StopEncoder(); }

int CAudioSlide::ReadTimeline(uint8_t* buffer, int bytes)
{
    if (!timeline) return 0;
    return timeline->ReadMusicPcm(buffer, bytes);
}

bool CAudioSlide::Start(int tag, int firstUnit, int lastUnit, uint32_t startMilliseconds)
{
    (void)tag;
    StartState(firstUnit, lastUnit, startMilliseconds);
    kind = (timeline && timeline->compressAudio) ? kindMp2 : kindLpcm;
    if (kind == kindMp2)
        return StartEncoder(CMP2Encoder::sourceSlideShow,
                            [this](uint8_t* buffer, int bytes) { return ReadTimeline(buffer, bytes); });
    return true;
}

int CAudioSlide::Read(uint8_t* buffer, int length)
{
    if (kind == kindMp2) return ReadMp2(buffer, length);
    return ReadLpcm(buffer, length, [this](uint8_t* b, int bytes) { return ReadTimeline(b, bytes); });
}
