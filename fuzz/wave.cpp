// WAVE files of any content, and headers written for any stream. The input is the file;
// its first bytes also give the stream that a written header describes.
// Checked for every input: a file that reads holds whole sample frames of at least one
// channel, no more samples than it has bytes for; and a header from PutWaveHeader, with
// the input's bytes as its data, reads back with its channels, rate and as many samples
// as the data holds.
#include <algorithm>
#include <vector>

#include "MemoryFile.h"
#include "audio/WaveFile.h"
#include "base/Bytes.h"
#include "media/WaveHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        CMemoryFile file(data, size);
        std::vector<int16_t> samples;
        int channels = 0, rate = 0;
        std::string error;
        if (CWaveFile::Read(file.Path(), samples, channels, rate, error)) {
            FUZZ_CHECK(channels >= 1);
            FUZZ_CHECK(samples.size() % size_t(channels) == 0);
            FUZZ_CHECK(samples.size() * 2 + kWaveHeaderBytes <= size);
        } else {
            FUZZ_CHECK(!error.empty());
        }
    }

    if (size < 8) return 0;
    const int channels = 1 + data[0] % 8;
    const int rate = int(GetLe32(data + 1) & 0x7FFFFFFF);
    const uint32_t dataBytes = std::min(GetLe32(data + 4), kWaveMaxDataBytes);
    std::vector<uint8_t> bytes(kWaveHeaderBytes);
    PutWaveHeader(bytes.data(), channels, rate, 16, dataBytes);
    bytes.insert(bytes.end(), data, data + size);
    CMemoryFile file(bytes.data(), bytes.size());
    std::vector<int16_t> samples;
    int readChannels = 0, readRate = 0;
    std::string error;
    FUZZ_CHECK(CWaveFile::Read(file.Path(), samples, readChannels, readRate, error));
    FUZZ_CHECK(readChannels == channels && readRate == rate);
    size_t present = std::min<size_t>(dataBytes, size);
    present -= present % (size_t(channels) * 2);
    FUZZ_CHECK(samples.size() == present / 2);
    if (!samples.empty()) FUZZ_CHECK(samples[0] == int16_t(GetLe16(data)));
    return 0;
}
