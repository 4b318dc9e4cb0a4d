// The frame-header scanners of the audio sources on any bytes: the Layer II header
// check that counts frames on the time line, the AC-3 header parser of the pass-through
// source with the unit counting that follows it, and the Layer II scanner over a
// stream cut into reads of any length.
// The input is the bytes to scan; for the cut stream, its bytes are the PCM coded and
// the read lengths.
// Checked for every input: header fields within their tables, every unit start counted
// exactly once however the bytes are cut into reads, and every coded Layer II frame
// counted exactly once on the time line.
#include <algorithm>
#include <vector>

#include "MemoryFile.h"
#include "audio/Audio.h"
#include "audio/AudioDshow.h"

namespace {

// A source whose reads are driven from here, to reach the unit accounting and the
// Layer II read of the shared base.
class CScannedAudio : public CAudio {
public:
    // Counts `bytes` new bytes in units of `size` bytes; returns the units starting in
    // them and where the first begins.
    int Count(int size, int bytes, int& firstOffset)
    {
        unitSize = size;
        CountUnits(bytes);
        firstOffset = firstOffsetInRead;
        return unitsInRead;
    }

    // Codes `pcm` to Layer II and reads the stream with read lengths from `lengths`
    // (used in turn); returns the frames on the time line and sets the frames coded.
    int64_t ScanCoded(const std::vector<uint8_t>& pcm, const std::vector<int>& lengths, int64_t& coded)
    {
        size_t given = 0;
        StartState(0, 1, 0);
        FUZZ_CHECK(StartEncoder(CMP2Encoder::sourceSlideShow, [&pcm, &given](uint8_t* buffer, int bytes) {
            const size_t n = std::min(pcm.size() - given, size_t(bytes));
            std::copy_n(pcm.data() + given, n, buffer);
            given += n;
            return int(n);
        }));
        std::vector<uint8_t> buffer(CMP2Encoder::maxBurstBytes);
        uint32_t lastEnd = 0;
        for (size_t i = 0;; ++i) {
            const int length = lengths[i % lengths.size()];
            const int got = ReadMp2(buffer.data(), length);
            if (got == 0) break;
            FUZZ_CHECK(got > 0 && got <= length);
            lastEnd = endTime;
        }
        StopEncoder();
        coded = encoder.FrameCount();
        FUZZ_CHECK(lastEnd % 2160 == 0);
        return lastEnd / 2160;
    }
};

void ScanHeaders(const uint8_t* data, size_t size, int& ac3FrameBytes)
{
    for (size_t i = 0; i + 4 <= size; ++i) {
        const int length = CAudio::Mp2FrameLength(data + i);
        if (length == 0) continue;
        FUZZ_CHECK(data[i] == 0xFF);
        FUZZ_CHECK(length >= 96 && length <= 1153);
    }
    for (size_t i = 0; i + 8 <= size; ++i) {
        int frameBytes = 0, channels = 0;
        bool surround = false;
        if (!CAudioDshow::ParseAc3Header(data + i, frameBytes, channels, surround)) continue;
        FUZZ_CHECK(data[i] == 0x0B && data[i + 1] == 0x77);
        FUZZ_CHECK(frameBytes >= 128 && frameBytes <= 2560 && frameBytes % 2 == 0);
        FUZZ_CHECK(channels >= 1 && channels <= 6);
        if (ac3FrameBytes == 0) ac3FrameBytes = frameBytes;
    }
}

// The units counted over reads cut at the input's bytes: each unit start falls in
// exactly one read, at the offset the counting gives.
void CheckUnitCounting(const uint8_t* data, size_t size, int unitSize)
{
    CScannedAudio source;
    int64_t total = 0, units = 0;
    for (size_t i = 0; i < size; ++i) {
        const int bytes = 1 + data[i] * 13;
        int firstOffset = 0;
        const int count = source.Count(unitSize, bytes, firstOffset);
        const int64_t nextStart = (total + unitSize - 1) / unitSize * unitSize;
        if (count > 0) FUZZ_CHECK(firstOffset == nextStart - total);
        units += count;
        total += bytes;
    }
    FUZZ_CHECK(units == (total + unitSize - 1) / unitSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    int ac3FrameBytes = 0;
    ScanHeaders(data, size, ac3FrameBytes);
    CheckUnitCounting(data, std::min<size_t>(size, 256), ac3FrameBytes ? ac3FrameBytes : 2013);

    // At most a few frames of sound, read in lengths of 1 to 4096 bytes from the end
    // of the input.
    if (size < 2) return 0;
    const size_t pcmBytes = std::min<size_t>(size / 2, 3 * CMP2Encoder::pcmFrameBytes);
    std::vector<uint8_t> pcm(data, data + pcmBytes);
    std::vector<int> lengths;
    for (size_t i = pcmBytes; i + 1 < size && lengths.size() < 64; i += 2)
        lengths.push_back(1 + int((data[i] | data[i + 1] << 8) % 4096));
    if (lengths.empty()) lengths.push_back(2048);
    CScannedAudio source;
    int64_t coded = 0;
    const int64_t counted = source.ScanCoded(pcm, lengths, coded);
    FUZZ_CHECK(counted == coded);
    return 0;
}
