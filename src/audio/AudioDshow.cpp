#include "audio/AudioDshow.h"

#include <algorithm>

#include "media/DirectShowAV.h"

namespace {

// A/52 frame sizes at 48 kHz in 16-bit words, by frame-size code / 2.
const int ac3FrameWords48k[19] = {64,  80,  96,  112, 128, 160, 192,  224,  256, 320,
                                  384, 448, 512, 640, 768, 896, 1024, 1152, 1280};
const int ac3Channels[8] = {2, 1, 2, 3, 3, 4, 4, 5};

constexpr int ac3SearchBytes = 2016;
constexpr int ac3AcceptBytes = 2000;

}  // namespace

CAudioDshow::CAudioDshow(CDirectShowAV* source, bool compressAudio) : media(source), compress(compressAudio) {}

CAudioDshow::~CAudioDshow() { StopEncoder(); }

bool CAudioDshow::ParseAc3Header(const uint8_t* h, int& frameBytes, int& channelCount, bool& dolbySurround)
{
    if (h[0] != 0x0B || h[1] != 0x77) return false;
    int fscod = h[4] >> 6;
    int frmsizecod = h[4] & 0x3F;
    int bsid = h[5] >> 3;
    if (fscod != 0 || (bsid != 8 && bsid != 6) || frmsizecod / 2 >= 19) return false;
    // Byte 6 on: acmod (3), then the mix levels present for this mode, then
    // dsurmod for 2/0, then lfeon.
    uint32_t bits = uint32_t(h[6]) << 8 | h[7];
    int pos = 16;
    auto take = [&](int n) {
        pos -= n;
        return int((bits >> pos) & ((1u << n) - 1));
    };
    int acmod = take(3);
    if ((acmod & 1) && acmod != 1) take(2);  // centre mix level
    if (acmod & 4) take(2);  // surround mix level
    int dsurmod = acmod == 2 ? take(2) : 0;
    int lfeon = take(1);
    frameBytes = 2 * ac3FrameWords48k[frmsizecod / 2];
    channelCount = ac3Channels[acmod] + lfeon;
    dolbySurround = acmod == 2 && dsurmod == 2;
    return true;
}

int CAudioDshow::ReadMedia(uint8_t* buffer, int bytes)
{
    if (!media || bytes <= 0) return 0;
    int got = media->audioFound ? std::max(media->ReadPcm(bytes, buffer), 0) : 0;
    // Silence after the file's sound, up to the title's length, in whole sample pairs.
    if (got < bytes && kind != kindAc3 && pcmBytesRead + got < minimumPcmBytes) {
        const int64_t fill = std::min<int64_t>(bytes - got, minimumPcmBytes - pcmBytesRead - got) & ~int64_t(3);
        std::fill(buffer + got, buffer + got + fill, uint8_t(0));
        got += int(fill);
    }
    pcmBytesRead += got;
    return got;
}

void CAudioDshow::RefreshStartTime()
{
    // Audio that starts later than the pictures starts later on the disc too.
    startTime = baseStartTime;
    if (!media) return;
    if (!startsSettled) {
        // The first sound is stamped only once both media's first samples are known.
        media->WaitForFirstSamples(5.0);
        startsSettled = true;
    }
    int64_t audioStart = media->Dump().AudioFirstStart();
    int64_t videoStart = media->Dump().VideoFirstStart();
    if (audioStart < 0 || videoStart < 0) return;
    int64_t d = (audioStart - videoStart) * 9 / 1000;  // 100 ns to 90 kHz
    if (d > 0) startTime = baseStartTime + uint32_t(d);
}

bool CAudioDshow::Start(int tag, int firstUnit, int lastUnit, uint32_t startMilliseconds)
{
    (void)tag;
    StartState(firstUnit, lastUnit, startMilliseconds);
    baseStartTime = startTime;
    surround = false;
    pcmBytesRead = 0;
    startsSettled = false;
    if (media && media->audioKind == kAudioAc3)
        kind = kindAc3;
    else
        kind = compress ? kindMp2 : kindLpcm;
    if (kind == kindMp2)
        return StartEncoder(CMP2Encoder::sourceMediaImport,
                            [this](uint8_t* buffer, int bytes) { return ReadMedia(buffer, bytes); });
    return true;
}

int CAudioDshow::ChannelCount()
{
    if (kind == kindAc3) return channels;
    return media && media->audioChannels > 0 ? media->audioChannels : 2;
}

bool CAudioDshow::IsSurround()
{
    if (kind == kindAc3) return surround || channels > 2;
    return media && media->audioChannels > 2;
}

int CAudioDshow::ReadAc3(uint8_t* buffer, int length)
{
    int got = length > 0 ? ReadMedia(buffer, length) : 0;
    if (got < 0) got = 0;
    if (firstRead && got > 0) {
        int limit = std::min(got, ac3SearchBytes);
        for (int i = 0; i + 1 < limit; ++i) {
            if (buffer[i] != 0x0B || buffer[i + 1] != 0x77) continue;
            if (i < ac3AcceptBytes) {
                firstRead = false;
                int frameBytes = 0, count = 0;
                bool dolby = false;
                if (i + 8 <= got && ParseAc3Header(buffer + i, frameBytes, count, dolby)) {
                    unitSize = frameBytes;
                    channels = count;
                    surround = dolby;
                }
            }
            break;
        }
    }
    if (got > 0)
        CountUnits(got);
    else
        unitsInRead = firstOffsetInRead = 0;
    SetUnitTimes(got, 2880);  // 1536 samples at 48 kHz
    return got;
}

int CAudioDshow::Read(uint8_t* buffer, int length)
{
    RefreshStartTime();
    switch (kind) {
    case kindAc3:
        return ReadAc3(buffer, length);
    case kindMp2:
        return ReadMp2(buffer, length);
    default:
        return ReadLpcm(buffer, length, [this](uint8_t* b, int bytes) { return ReadMedia(b, bytes); });
    }
}
