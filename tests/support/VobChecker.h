// Reads the VOB files of one title set back and checks them the way a player and a
// decoder would: pack structure and SCRs, PES headers and time stamps against the
// elementary streams' own picture and frame counts, a decoder-buffer model fed at the
// packs' SCRs, and the navigation packs' addresses, links and times.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vobcheck {

struct Packet {
    int lbn = 0;  // pack number counted over all VOB files
    int64_t scr = 0;  // 27 MHz
    uint8_t stream = 0;  // 0xE0, 0xC0, 0xBD ...
    uint8_t substream = 0;  // first payload byte of private stream 1
    bool hasPts = false;
    bool hasDts = false;
    bool hasPstd = false;
    uint32_t pts = 0;
    uint32_t dts = 0;
    int headerLength = 0;  // PES header data length
    int64_t esOffset = 0;  // position of the payload in its elementary stream
    int payloadSize = 0;  // elementary-stream bytes (after any sub-stream header)
    int unitCount = 0;  // private stream: number of frame headers
    int firstUnitPointer = 0;  // private stream: first access unit pointer
};

struct Nav {
    int lbn = 0;
    std::array<uint8_t, 2048> pack{};
    uint32_t Pci32(int offset) const;
    uint32_t Dsi32(int offset) const;
    uint16_t Dsi16(int offset) const;
};

struct Scan {
    std::vector<std::string> errors;
    std::vector<int64_t> scrs;  // per pack
    std::vector<uint8_t> kinds;  // per pack: first stream id (0xBF for NAV, 0xBE padding only)
    std::vector<Packet> packets;  // elementary-stream packets in order
    std::vector<Nav> navs;
    std::vector<uint8_t> video;  // the video elementary stream
    std::vector<uint8_t> audio;  // the audio elementary stream (MPEG or private 0x80/0xA0)
    int packs = 0;
};

// Reads the files in order (VTS_nn_1.VOB, VTS_nn_2.VOB ...) and checks every pack:
// 2048 bytes with a pack header, SCRs never decreasing and at least one pack time
// apart, no pack with 1 to 5 bytes left over, NAV packs with their own LBN, and a video
// packet with PTS and DTS right after every NAV pack.
Scan ScanVobs(const std::vector<std::string>& files);

// Video time stamps: every video PTS/DTS belongs to the first picture starting in its
// packet; picture k must have DTS = offset + k x period and PTS = DTS + period.
void CheckVideoTimes(Scan& scan, uint32_t offset, uint32_t period);

// Audio time stamps from the stream's own frames: a packet in which a frame (an MPEG
// frame or a 320-byte LPCM unit) starts carries the time of that frame within one tick,
// a packet without one carries no PTS. LPCM payloads must be whole stereo samples and
// their unit counts and pointers must match. Runs CheckAudioFrames as well.
void CheckAudioTimes(Scan& scan, bool lpcm, uint32_t offset);

// The audio stream is a whole number of frames, as a decoder handed the title's last
// packet needs: Layer II (stream 0xC0) and AC-3 (sub-streams 0x80..0x87) start with a
// frame header at byte 0, find each next header exactly where the previous frame ends
// and end with the end of a frame; linear PCM (0xA0..0xA7) is whole stereo samples.
void CheckAudioFrames(Scan& scan);

// Peak decoder-buffer occupancy when each packet arrives at its pack's SCR and each
// picture or audio frame leaves at its decode time; also counts the pictures and
// frames whose last byte arrives after their decode time (buffer underflow).
struct BufferPeaks {
    int64_t video = 0;
    int64_t audio = 0;
    int lateVideo = 0;  // pictures not fully arrived by their decode time
    int lateAudio = 0;  // audio frames not fully arrived by their decode time
};
BufferPeaks MeasureBuffers(const Scan& scan, bool lpcm, uint32_t videoOffset, uint32_t period, uint32_t audioOffset);

// NAV pack contents: end addresses, forward links within cells, backward links, start
// and end times, the title's video start and end, and the reference-picture end
// addresses. `endPts` is the presentation end of the last picture.
void CheckNavPacks(Scan& scan, uint32_t endPts);

// Positions of picture start codes in a video elementary stream.
std::vector<int64_t> PictureStarts(const std::vector<uint8_t>& es);
// The number of pictures in a video elementary stream.
inline int PictureCount(const std::vector<uint8_t>& es) { return int(PictureStarts(es).size()); }
// The first twelve errors of a scan, a line each, for test failure messages.
std::string ErrorText(const Scan& scan);
// Positions and sizes of MPEG-1 audio frames in an elementary stream.
std::vector<std::pair<int64_t, int>> MpegAudioFrames(const std::vector<uint8_t>& es);

}  // namespace vobcheck
