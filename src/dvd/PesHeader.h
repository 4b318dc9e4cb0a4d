// The headers of an MPEG-2 program stream pack as the multiplexer writes them: the
// system clock reference of the pack header, and the PES packet header of the video,
// audio and sub-picture packets with its time stamps and decoder buffer field.
#pragma once

#include <cstdint>

constexpr int kPackHeaderLength = 14;
constexpr int kPesFixedHeaderLength = 9;  // start code, id, length, flags, data length

// A decoder input buffer as a P-STD field announces it: `size` units of 1024 bytes
// (scale1024) or of 128 bytes.
struct SPstdBuffer {
    bool scale1024 = true;
    uint16_t size = 0;
};

constexpr SPstdBuffer kVideoPstd{true, 232};  // 232 KiB
constexpr SPstdBuffer kMpegAudioPstd{false, 32};  // 4 KiB
constexpr SPstdBuffer kPrivateStreamPstd{true, 58};  // 58 KiB (LPCM, AC-3, sub-pictures)

struct SPesHeader {
    uint8_t streamId = 0;  // 0xE0 video, 0xC0 MPEG audio, 0xBD private stream 1
    bool hasPts = false;
    uint32_t pts = 0;
    bool hasDts = false;  // only with a PTS
    uint32_t dts = 0;
    bool hasPstd = false;
    SPstdBuffer pstd;
    int payloadBytes = 0;  // bytes after the header, sub-stream headers included
};

// Writes the PES header `h` at `p`: the packet length covers the header data and the
// payload. Returns the header's length (9 plus 5 per time stamp plus 3 for P-STD).
int PutPesHeader(uint8_t* p, const SPesHeader& h);

// The 5-byte PES time stamp with a 4-bit prefix (bit 32 of the time is always 0), and
// the time read back from it.
void PutTimeStamp(uint8_t* p, int prefix, uint32_t t);
uint32_t GetTimeStamp(const uint8_t* p);

// Stamps the system clock reference (27 MHz ticks) into the pack header at `pack`.
void PutPackScr(uint8_t* pack, int64_t scr);
