// Helpers for the disc image tests: synthetic DVD folders, whole images in memory and
// the little-endian fields of what we read back.
#pragma once

#include "discimage/UDF_Disc.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace disctest {

inline uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint32_t Be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline void PutBe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i));
}

// Writes `bytes` bytes whose values depend on the file name and position, so that a
// sector read from the wrong file or offset shows.
inline void MakeFile(const std::string& path, size_t bytes)
{
    std::vector<uint8_t> data(bytes);
    uint32_t seed = 2166136261u;
    for (char c : path) seed = (seed ^ uint8_t(c)) * 16777619u;
    for (size_t i = 0; i < bytes; ++i) data[i] = uint8_t((seed >> (i % 24)) + i * 7 + i / 2048);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

inline std::vector<uint8_t> FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// The whole image (N + 512 sectors) read through ReadSector.
inline std::vector<uint8_t> ImageOf(UDF_Disc& disc)
{
    std::vector<uint8_t> image(size_t(disc.ImageSectors()) * 2048);
    for (int64_t i = 0; i < disc.ImageSectors(); ++i) disc.ReadSector(i, &image[size_t(i) * 2048]);
    return image;
}

// CRC-16 (polynomial 0x1021, initial 0) computed bit by bit, independently of the
// table-driven one under test.
inline uint16_t BitwiseCrc(const uint8_t* data, size_t length)
{
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) {
        crc ^= uint16_t(data[i] << 8);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

}  // namespace disctest
