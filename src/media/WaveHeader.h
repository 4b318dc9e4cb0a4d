// The 44-byte header of a RIFF WAVE file of plain PCM: a RIFF chunk holding a 16-byte
// "fmt " chunk and the "data" chunk, whose samples follow the header directly.
#pragma once

#include <cstdint>
#include <cstdio>

constexpr int kWaveHeaderBytes = 44;

// The largest sample data a WAVE file can describe: the RIFF size (36 + data bytes)
// must fit in 32 bits.
constexpr uint32_t kWaveMaxDataBytes = 0xFFFFFFFFu - 36;

// Fills `header` (kWaveHeaderBytes bytes) for `dataBytes` bytes of PCM with `channels`
// interleaved channels of `bits`-bit samples at `rate` Hz.
void PutWaveHeader(uint8_t* header, int channels, int rate, int bits, uint32_t dataBytes);

// Writes the header PutWaveHeader makes at the start of `file` (a new recording's
// placeholder, or the final one once the data size is known); the file position is
// left after it. Returns false when the seek or the write failed.
bool WriteWaveHeader(std::FILE* file, int channels, int rate, int bits, uint32_t dataBytes);
