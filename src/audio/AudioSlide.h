// CAudioSlide: the audio source of a slide show. Its PCM comes from the show's audio
// timeline (background music and narrations, ReadMusicPcm) and is handed on either as
// DVD linear PCM or coded to MPEG-1 Layer II, as the show's settings ask.
#pragma once

#include "audio/Audio.h"

class CPcmSource;

class CAudioSlide : public CAudio {
public:
    // Reads from `timeline` (the show's audio timeline; not owned, it must outlive the
    // source). Its compressAudio flag chooses Layer II; a null timeline gives an empty
    // stream.
    explicit CAudioSlide(CPcmSource* timeline);
    // Stops the Layer II coding thread before the reader's objects go.
    ~CAudioSlide() override;

    int LpcmFrameInfo() override { return 0; }
    // 4 (Layer II) or 1 (linear PCM) after Start.
    int StreamKind() override { return kind; }
    int FirstUnitOffset() override { return firstOffsetInRead; }
    int UnitCount() override { return unitsInRead; }
    // Reads up to `length` bytes of the stream; 0 at the end (both times are then
    // endOfStreamTime).
    int Read(uint8_t* buffer, int length) override;
    uint32_t FirstUnitTime() override { return firstTime; }
    uint32_t EndTime() override { return endTime; }
    int QuantisationCode() override { return 0; }
    int SampleRateCode() override { return 0; }
    int ChannelCount() override { return 2; }
    bool IsSurround() override { return false; }
    // Starts the stream: units numbered from firstUnit, times from startMilliseconds.
    // Returns false when the Layer II encoder's buffers cannot be allocated.
    bool Start(int tag, int firstUnit, int lastUnit, uint32_t startMilliseconds) override;

private:
    int ReadTimeline(uint8_t* buffer, int bytes);

    CPcmSource* timeline;
};
