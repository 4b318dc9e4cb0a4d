// The PES header builder for each kind of packet the multiplexer sends, and the
// system clock reference of the pack header.
#include "base/Bytes.h"
#include "dvd/PesHeader.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The PTS/DTS field of a time stamp written with `prefix`: 4-bit prefix and three
// marker bits.
void ExpectStamp(const uint8_t* p, int prefix, uint32_t t)
{
    EXPECT_EQ(p[0] >> 4, prefix);
    EXPECT_EQ(p[0] & 1, 1);
    EXPECT_EQ(p[2] & 1, 1);
    EXPECT_EQ(p[4] & 1, 1);
    EXPECT_EQ(GetTimeStamp(p), t);
}

}  // namespace

TEST(PesHeader, VideoWithPtsDtsAndBufferSize)
{
    uint8_t p[64] = {};
    SPesHeader h;
    h.streamId = 0xE0;
    h.hasPts = h.hasDts = true;
    h.pts = 0x1ABCDEF0u;
    h.dts = 0x1ABCD000u;
    h.hasPstd = true;
    h.pstd = kVideoPstd;
    h.payloadBytes = 2003;
    ASSERT_EQ(PutPesHeader(p, h), 9 + 13);
    EXPECT_EQ(GetBe32(p), 0x000001E0u);
    EXPECT_EQ(GetBe16(p + 4), 3u + 13 + 2003);
    EXPECT_EQ(p[6], 0x81);
    EXPECT_EQ(p[7], 0xC1);  // PTS, DTS, extension
    EXPECT_EQ(p[8], 13);
    ExpectStamp(p + 9, 3, h.pts);
    ExpectStamp(p + 14, 1, h.dts);
    // Extension with only the P-STD flag; '01', scale 1024, size 232.
    EXPECT_EQ(p[19], 0x1E);
    EXPECT_EQ(GetBe16(p + 20), 0x4000u | 0x2000u | 232u);

    h.hasPstd = false;
    ASSERT_EQ(PutPesHeader(p, h), 9 + 10);
    EXPECT_EQ(p[7], 0xC0);
    EXPECT_EQ(GetBe16(p + 4), 3u + 10 + 2003);

    h.hasPts = h.hasDts = false;
    ASSERT_EQ(PutPesHeader(p, h), 9);
    EXPECT_EQ(p[7], 0x00);
    EXPECT_EQ(p[8], 0);
}

TEST(PesHeader, AudioBufferFieldWithOrWithoutPts)
{
    uint8_t p[64] = {};
    SPesHeader h;
    h.streamId = 0xC0;
    h.hasPts = true;
    h.pts = 123456789u;
    h.hasPstd = true;
    h.pstd = kMpegAudioPstd;
    h.payloadBytes = 2017;
    ASSERT_EQ(PutPesHeader(p, h), 9 + 8);
    EXPECT_EQ(p[3], 0xC0);
    EXPECT_EQ(p[7], 0x81);  // PTS and extension
    ExpectStamp(p + 9, 2, h.pts);
    EXPECT_EQ(p[14], 0x1E);
    EXPECT_EQ(GetBe16(p + 15), 0x4000u | 32u);  // 32 x 128 bytes
    EXPECT_EQ(GetBe16(p + 4), 3u + 8 + 2017);

    // An LPCM packet without a unit start still carries its P-STD field.
    h.streamId = 0xBD;
    h.hasPts = false;
    h.pstd = kPrivateStreamPstd;
    h.payloadBytes = 7 + 2000;
    ASSERT_EQ(PutPesHeader(p, h), 9 + 3);
    EXPECT_EQ(p[7], 0x01);
    EXPECT_EQ(p[8], 3);
    EXPECT_EQ(p[9], 0x1E);
    EXPECT_EQ(GetBe16(p + 10), 0x4000u | 0x2000u | 58u);
    EXPECT_EQ(GetBe16(p + 4), 3u + 3 + 2007);
}

TEST(PesHeader, SubPicturePacketsWithPtsOnly)
{
    uint8_t p[64] = {};
    SPesHeader h;
    h.streamId = 0xBD;
    h.hasPts = true;
    h.pts = 0xFFFFFFFFu;  // bits 30-31 travel in the first byte
    h.hasDts = false;
    h.payloadBytes = 1 + 100;
    ASSERT_EQ(PutPesHeader(p, h), 9 + 5);
    EXPECT_EQ(p[7], 0x80);
    EXPECT_EQ(p[8], 5);
    ExpectStamp(p + 9, 2, h.pts);
    EXPECT_EQ(GetBe16(p + 4), 3u + 5 + 101);
    // A DTS without a PTS is not written.
    h.hasPts = false;
    h.hasDts = true;
    ASSERT_EQ(PutPesHeader(p, h), 9);
    EXPECT_EQ(p[7], 0x00);
}

TEST(PesHeader, PackScrSplitsBaseAndExtensionWithMarkers)
{
    for (int64_t scr : {int64_t(0), int64_t(299), int64_t(300), int64_t(27000000) * 3600 * 5 + 123}) {
        uint8_t pack[14] = {0x00, 0x00, 0x01, 0xBA};
        PutPackScr(pack, scr);
        const uint64_t base = uint64_t(scr) / 300, ext = uint64_t(scr) % 300;
        EXPECT_EQ(pack[4] >> 6, 1) << scr;  // '01' of MPEG-2
        EXPECT_EQ(pack[4] & 4, 4);
        EXPECT_EQ(pack[6] & 4, 4);
        EXPECT_EQ(pack[8] & 4, 4);
        EXPECT_EQ(pack[9] & 1, 1);
        uint64_t gotBase = uint64_t((pack[4] >> 3) & 7) << 30 | uint64_t(pack[4] & 3) << 28 | uint64_t(pack[5]) << 20 |
            uint64_t(pack[6] >> 3) << 15 | uint64_t(pack[6] & 3) << 13 | uint64_t(pack[7]) << 5 |
            uint64_t(pack[8] >> 3);
        uint64_t gotExt = uint64_t(pack[8] & 3) << 7 | uint64_t(pack[9] >> 1);
        EXPECT_EQ(gotBase, base) << scr;
        EXPECT_EQ(gotExt, ext) << scr;
    }
}
