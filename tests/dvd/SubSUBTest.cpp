// VobSub: the index's times and palette, and units read back from packs laid out as
// common tools write them (PES header data of 5 bytes, units over several packs).
#include "dvd/SubPicture.h"
#include "dvd/SubSUB.h"
#include "dvd/SubTitle.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// One 2048-byte pack holding `n` bytes of a unit in private stream 1, sub-stream 0x20;
// with a PTS (5 header bytes) when `first`. The rest is a padding packet.
void PutPack(std::vector<uint8_t>& out, const uint8_t* bytes, int n, bool first)
{
    std::vector<uint8_t> pk(2048, 0xFF);
    const uint8_t header[14] = {0, 0, 1, 0xBA, 0x44, 0, 4, 0, 4, 1, 1, 0x89, 0xC3, 0xF8};
    std::memcpy(pk.data(), header, 14);
    const int h = first ? 5 : 0;
    const int pesLength = 3 + h + 1 + n;
    uint8_t* p = pk.data() + 14;
    p[0] = 0, p[1] = 0, p[2] = 1, p[3] = 0xBD, p[4] = uint8_t(pesLength >> 8), p[5] = uint8_t(pesLength);
    p[6] = 0x81, p[7] = first ? 0x80 : 0x00, p[8] = uint8_t(h);
    if (first) std::memcpy(p + 9, "\x21\x00\x01\x00\x01", 5);
    p[9 + h] = 0x20;
    std::memcpy(p + 10 + h, bytes, size_t(n));
    const int used = 14 + 6 + pesLength;
    if (2048 - used >= 6) {
        uint8_t* q = pk.data() + used;
        q[0] = 0, q[1] = 0, q[2] = 1, q[3] = 0xBE, q[4] = uint8_t((2048 - used - 6) >> 8),
        q[5] = uint8_t(2048 - used - 6);
    }
    out.insert(out.end(), pk.begin(), pk.end());
}

std::vector<uint8_t> Unit(int size, uint8_t seed)
{
    std::vector<uint8_t> u(static_cast<size_t>(size));
    for (int i = 0; i < size; ++i) u[size_t(i)] = uint8_t(seed + i * 13);
    u[0] = uint8_t(size >> 8), u[1] = uint8_t(size);
    return u;
}

// A unit in packs of at most 2000 bytes.
void PutUnit(std::vector<uint8_t>& out, const std::vector<uint8_t>& unit)
{
    for (size_t at = 0; at < unit.size(); at += 2000)
        PutPack(out, unit.data() + at, int(std::min<size_t>(2000, unit.size() - at)), at == 0);
}

}  // namespace

TEST(SubSUBIndex, TimeStampsPaletteAndTheFirstStreamOnly)
{
    CSubSUB s;
    ASSERT_TRUE(
        s.ParseIndex("# VobSub index file, v7\r\nsize: 720x480\r\nPALETTE: ffffff, 000000, 808080, ff0000, "
                     "1, 2, 3, 4, 5, 6, 7, 8, 9, a, b, c\r\nid: en, index: 0\r\n# comment\r\n\r\n"
                     "timestamp: 00:01:02:345, filepos: 0001a000\r\ntimestamp: 00:01:05:000, filepos: "
                     "0001b000\r\nid: fr, index: 1\r\ntimestamp: 00:00:01:000, filepos: 0001c000\r\n",
                     "x.idx"))
        << s.Error();
    ASSERT_EQ(s.Entries().size(), 2u);
    EXPECT_EQ(s.Entries()[0].start, 5610600u);  // the milliseconds cut to 34 hundredths
    EXPECT_EQ(s.Entries()[0].position, 0x1A000);
    ASSERT_TRUE(s.HasPalette());
    EXPECT_EQ(s.Palette()[3], 0xFF0000u);
    EXPECT_EQ(CSubSUB::RgbToYCrCb(0xFFFFFF), 0xEB8080u);
    EXPECT_EQ(CSubSUB::RgbToYCrCb(0x000000), 0x108080u);
    EXPECT_FALSE(s.ParseIndex("palette: 0, 0\n", "none.idx"));
    EXPECT_NE(s.Error().find("none.idx"), std::string::npos);
}

TEST(SubSUBUnits, PayloadsFollowTheHeaderData_AndAUnitEndsAtTheNextTimeStamp)
{
    std::vector<uint8_t> file;
    const auto a = Unit(4500, 3), b = Unit(300, 7);
    PutUnit(file, a);
    PutUnit(file, b);
    std::vector<uint8_t> out(CSubSUB::maxUnitBytes);
    ASSERT_EQ(CSubSUB::UnitFromPacks(file.data(), file.size(), 0, out.data(), int(out.size())), 4500);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 4500), a);
    ASSERT_EQ(CSubSUB::UnitFromPacks(file.data(), file.size(), 3 * 2048, out.data(), int(out.size())), 300);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 300), b);
    // A unit cut off by the end of the file is not sent.
    EXPECT_EQ(CSubSUB::UnitFromPacks(file.data(), 2 * 2048, 0, out.data(), int(out.size())), 0);
    EXPECT_EQ(CSubSUB::UnitFromPacks(file.data(), file.size(), 1 << 30, out.data(), int(out.size())), 0);
}

TEST(SubTitleKind, DecidedByTheExtension_NotByTheTextAnywhereInThePath)
{
    EXPECT_TRUE(CSubTitle::IsVobSubName("/films/a.SUB"));
    EXPECT_FALSE(CSubTitle::IsVobSubName("/home/user/subtitles/a.srt"));
    EXPECT_FALSE(CSubTitle::IsVobSubName("/x.sub/a.srt"));
}

TEST(SubTitleRange, ARangedTitleMovesItsCuesEarlier_AndLeavesOutThoseThatEndBeforeIt)
{
    testsupport::TempDir dir;
    testsupport::WriteText(dir.File("a.srt"),
                           "1\n00:00:01,000 --> 00:00:04,000\nbefore\n\n2\n00:00:09,000 --> "
                           "00:00:12,000\nacross\n\n3\n00:00:20,000 --> 00:00:21,000\nafter\n");
    CSubTitle s;
    ASSERT_TRUE(s.Open(dir.File("a.srt"), true, -10 * 90000)) << s.Error();
    EXPECT_EQ(s.UnitCount(), 2);
    EXPECT_EQ(s.NextStart(), 0u);  // the cue across the start shows from the start
    std::vector<uint8_t> unit(CSubPicture::maxUnitBytes);
    const int size = s.NextUnit(unit.data(), int(unit.size()));
    ASSERT_GT(size, 0);
    // Shown for the two seconds left of it: 59 frames less one, in 1024-tick units.
    const int second = unit[size_t(unit[2] << 8 | unit[3]) + 2] << 8 | unit[size_t(unit[2] << 8 | unit[3]) + 3];
    EXPECT_EQ(unit[size_t(second) + 1], CSubPicture::StopDelay(2 * 90000, true));
    EXPECT_EQ(s.NextStart(), 10u * 90000);
    s.NextUnit(unit.data(), int(unit.size()));
    EXPECT_EQ(s.NextStart(), CSubTitle::noUnit);
    EXPECT_EQ(s.NextUnit(unit.data(), int(unit.size())), 0);
}
