#include "audio/Audio.h"

#include <algorithm>
#include <cstring>

namespace {

const int layer2KbitPerSecond[15] = {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384};

}  // namespace

int CAudio::Mp2FrameLength(const uint8_t* h)
{
    if (h[0] != 0xFF || (h[1] != 0xFC && h[1] != 0xFD)) return 0;
    if (((h[2] >> 2) & 3) != 1) return 0;  // 48 kHz
    int rateIndex = h[2] >> 4;
    if (rateIndex < 1 || rateIndex > 14) return 0;
    if ((h[3] & 3) == 2) return 0;         // reserved emphasis
    return 3 * layer2KbitPerSecond[rateIndex] + ((h[2] >> 1) & 1);
}

void CAudio::StartState(int firstUnit, int lastUnit, uint32_t startMilliseconds)
{
    firstUnitNumber = firstUnit;
    lastUnitNumber = lastUnit > firstUnit ? lastUnit : firstUnit + 1;
    unitNumber = firstUnit;
    startTime = firstTime = endTime = startMilliseconds * 90u;
    unitSize = 2013;
    byteTotal32 = 0;
    byteTotal64 = 0;
    unitsInRead = 0;
    firstOffsetInRead = 0;
    firstRead = true;
    channels = 2;
    nextHeaderOffset = 0;
    std::memset(readTail, 0, sizeof readTail);
}

bool CAudio::StartEncoder(int sourceKind, PcmReader pcm)
{
    return encoder.Prepare(sourceKind, std::move(pcm));
}

void CAudio::CountUnits(int bytes)
{
    const uint64_t u = uint64_t(unitSize);
    const uint64_t gap = (u - byteTotal64 % u) % u;
    if (gap < uint64_t(bytes)) {
        firstOffsetInRead = int(gap);
        unitsInRead = int((uint64_t(bytes) - 1 - gap) / u) + 1;
    } else {
        firstOffsetInRead = 0;
        unitsInRead = 0;
    }
    byteTotal64 += uint64_t(bytes);
    byteTotal32 += uint32_t(bytes);
    unitNumber += unitsInRead;
}

void CAudio::SetUnitTimes(int bytesRead, uint32_t ticksPerUnit)
{
    if (bytesRead <= 0) {
        firstTime = endTime = endOfStreamTime;
        return;
    }
    firstTime = endTime = uint32_t(unitNumber - firstUnitNumber) * ticksPerUnit + startTime;
}

int CAudio::ReadLpcm(uint8_t* buffer, int length, const PcmReader& pcm)
{
    // Keep whole 16-bit samples: an odd request loses 7 bytes (1 when that is all it has).
    if (length & 1) length = length > 7 ? length - 7 : length - 1;
    int got = 0;
    if (length > 0 && pcm) got = std::max(0, pcm(buffer, length));
    got &= ~1;
    if (firstRead) {
        firstRead = false;
        unitSize = 320;  // 80 stereo samples, 1/600 s
        byteTotal64 = 0;
    }
    for (int i = 0; i + 1 < got; i += 2) std::swap(buffer[i], buffer[i + 1]);
    if (got > 0) CountUnits(got);
    else unitsInRead = firstOffsetInRead = 0;
    SetUnitTimes(got, 150);
    return got;
}

int CAudio::ReadMp2(uint8_t* buffer, int length)
{
    int got = encoder.ReadCompressed(std::min(length, CMP2Encoder::frameBytes), buffer);
    if (firstRead) {
        firstRead = false;
        byteTotal64 = 0;
    }
    if (got <= 0) {
        firstTime = endTime = endOfStreamTime;
        return 0;
    }
    byteTotal64 += uint64_t(got);
    byteTotal32 += uint32_t(got);
    int pos = 0;
    if (nextHeaderOffset < 0 && nextHeaderOffset >= -3 && got >= 4) {
        // The last read ended fewer than 4 bytes after the place where the next header
        // was due: look at it across the two reads, so that its frame is not lost from
        // the time line.
        uint8_t header[4];
        const int carried = -nextHeaderOffset;
        std::memcpy(header, readTail + 3 - carried, size_t(carried));
        std::memcpy(header + carried, buffer, size_t(4 - carried));
        int frame = Mp2FrameLength(header);
        if (frame > 0) {
            endTime += 2160;
            pos = nextHeaderOffset + frame;
        }
    } else {
        pos = std::max(nextHeaderOffset, 0);
    }
    while (got - pos >= 4) {
        int frame = Mp2FrameLength(buffer + pos);
        if (frame > 0) {
            endTime += 2160;  // 1152 samples at 48 kHz
            pos += frame;
        } else {
            ++pos;
        }
    }
    nextHeaderOffset = pos - got;
    // Keep the last 3 bytes for a header that begins at the end of this read.
    for (int i = 0; i < 3; ++i) readTail[i] = i + got - 3 >= 0 ? buffer[i + got - 3] : 0;
    firstTime = endTime;
    return got;
}
