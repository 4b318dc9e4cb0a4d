// Byte-order helpers for the file formats we write and read. Every name says its order:
// Be (most significant byte first: MPEG program streams, VOB and IFO structures), Le
// (least significant first: RIFF WAVE, UDF) and Both (ISO 9660's both-byte-order form:
// the little-endian value followed by the big-endian one). Values are truncated to the
// field's width.
#pragma once

#include <cstdint>
#include <vector>

inline void PutBe16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}

inline void PutBe32(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

inline void PutLe16(uint8_t* p, uint32_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void PutLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

inline void PutLe64(uint8_t* p, uint64_t v)
{
    for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i));
}

// ISO 9660 both-byte-order fields: 4 bytes for a 16-bit value, 8 for a 32-bit one.
inline void PutBoth16(uint8_t* p, uint32_t v)
{
    PutLe16(p, v);
    PutBe16(p + 2, v);
}

inline void PutBoth32(uint8_t* p, uint32_t v)
{
    PutLe32(p, v);
    PutBe32(p + 4, v);
}

inline uint32_t GetBe16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

inline uint32_t GetBe32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

inline uint32_t GetLe16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }

inline uint32_t GetLe32(const uint8_t* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Appending forms, for headers assembled in a growing buffer.
inline void AppendLe16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}

inline void AppendLe32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
