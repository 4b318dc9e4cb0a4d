#include "media/WaveHeader.h"

#include <cstring>

#include "base/Bytes.h"

void PutWaveHeader(uint8_t* header, int channels, int rate, int bits, uint32_t dataBytes)
{
    const uint32_t blockBytes = uint32_t(channels * bits / 8);
    std::memcpy(header, "RIFF", 4);
    PutLe32(header + 4, 36 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutLe32(header + 16, 16);  // size of the format chunk
    PutLe16(header + 20, 1);  // PCM
    PutLe16(header + 22, uint32_t(channels));
    PutLe32(header + 24, uint32_t(rate));
    PutLe32(header + 28, uint32_t(rate) * blockBytes);  // bytes per second
    PutLe16(header + 32, blockBytes);
    PutLe16(header + 34, uint32_t(bits));
    std::memcpy(header + 36, "data", 4);
    PutLe32(header + 40, dataBytes);
}

bool WriteWaveHeader(std::FILE* file, int channels, int rate, int bits, uint32_t dataBytes)
{
    uint8_t header[kWaveHeaderBytes];
    PutWaveHeader(header, channels, rate, bits, dataBytes);
    return std::fseek(file, 0, SEEK_SET) == 0 && std::fwrite(header, 1, sizeof header, file) == sizeof header;
}
