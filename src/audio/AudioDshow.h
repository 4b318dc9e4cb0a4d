// CAudioDshow: the audio source of a video-file (or camcorder) title. Its sound comes
// from the media import: decoded PCM handed on as DVD linear PCM or coded to MPEG-1
// Layer II, or AC-3 passed through unchanged, with its frames counted from the A/52
// headers.
#pragma once

#include "audio/Audio.h"

class CDirectShowAV;

class CAudioDshow : public CAudio {
public:
    // Reads from `media` (not owned; it must outlive the source). `compress` asks for
    // Layer II instead of linear PCM when the sound is decoded.
    CAudioDshow(CDirectShowAV* media, bool compress);
    // Stops the Layer II coding thread before the reader's objects go.
    ~CAudioDshow() override;

    int LpcmFrameInfo() override { return 0; }
    // 0 (AC-3), 1 (linear PCM) or 4 (Layer II) after Start.
    int StreamKind() override { return kind; }
    int FirstUnitOffset() override { return firstOffsetInRead; }
    int UnitCount() override { return unitsInRead; }
    // Reads up to `length` bytes of the stream; 0 at the end.
    int Read(uint8_t* buffer, int length) override;
    uint32_t FirstUnitTime() override { return firstTime; }
    uint32_t EndTime() override { return endTime; }
    // 3 for AC-3, else 0.
    int QuantisationCode() override { return kind == kindAc3 ? 3 : 0; }
    int SampleRateCode() override { return 0; }
    // The channel count learnt from the AC-3 header, else the decoded source's.
    int ChannelCount() override;
    // Dolby Surround announced in the AC-3 header, or more than two channels.
    bool IsSurround() override;
    // Starts the stream. Returns false when the Layer II encoder's buffers cannot be
    // allocated.
    bool Start(int tag, int firstUnit, int lastUnit, uint32_t startMilliseconds) override;

    // Makes decoded sound last at least `bytes` bytes of 48 kHz 16-bit stereo PCM: a
    // file without sound, or whose sound ends before its pictures, goes on in silence,
    // so that every title has a sound track as long as its pictures. AC-3 passed
    // through is not lengthened.
    void SetMinimumPcmBytes(int64_t bytes) { minimumPcmBytes = bytes; }

    // Parses an A/52 (AC-3) sync frame header at `h` (at least 8 bytes). Returns false
    // when it is not a 48 kHz header of bitstream id 6 or 8; else gives the frame size in
    // bytes, the channel count (LFE included) and the Dolby Surround flag.
    static bool ParseAc3Header(const uint8_t* h, int& frameBytes, int& channelCount, bool& dolbySurround);

private:
    int ReadMedia(uint8_t* buffer, int bytes);
    int ReadAc3(uint8_t* buffer, int length);
    void RefreshStartTime();

    CDirectShowAV* media;
    bool compress;
    uint32_t baseStartTime = 0;
    int64_t minimumPcmBytes = 0;
    int64_t pcmBytesRead = 0;
    bool startsSettled = false;
};
