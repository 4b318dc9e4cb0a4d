// Sub-picture units multiplexed beside the video: their packets, times, the NAV
// synchronisation entry and the IFO's stream attributes.
#include "TitleHelpers.h"

#include "dvd/SubPictureSource.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

namespace {

class CFakeSubPictures : public CSubPictureSource {
public:
    struct Unit {
        uint32_t start;
        std::vector<uint8_t> bytes;
    };
    std::vector<Unit> units;
    size_t next = 0;

    uint32_t NextUnitTime() override { return next < units.size() ? units[next].start : 0x9A7EC800u; }
    int ReadUnit(uint8_t* buffer, int maxBytes) override
    {
        if (next >= units.size()) return 0;
        const auto& b = units[next++].bytes;
        int n = std::min(int(b.size()), maxBytes);
        std::copy(b.begin(), b.begin() + n, buffer);
        return n;
    }
};

class CSubtitledTitleBuilder : public CFakeTitleBuilder {
public:
    CSubtitledTitleBuilder(const FakeTitle& t, CFakeSubPictures& s) : CFakeTitleBuilder(t), subs(s) {}

protected:
    void PrepareMultiplexer(CDVDMplex& mplex) override { mplex.SetSubPictureSource(&subs); }

private:
    CFakeSubPictures& subs;
};

// SetSTN: sub-picture stream 0, display on.
const std::vector<uint8_t> kShowSubPictureStream0 = {0x51, 0, 0, 0, 0xC0, 0, 0, 0};

// The pre-commands of VIDEO_TS.IFO's first-play chain (at 0x400; its command table's
// offset at 0xE4, the table's count of pre-commands first).
std::vector<std::vector<uint8_t>> FirstPlayCommands(const std::string& vmg)
{
    const auto ifo = testsupport::ReadBytes(vmg);
    std::vector<std::vector<uint8_t>> commands;
    if (ifo.size() < 0x400 + 0xE6) return commands;
    const size_t table = 0x400 + size_t(ifo[0x400 + 0xE4] << 8 | ifo[0x400 + 0xE5]);
    const int count = table + 2 <= ifo.size() ? ifo[table] << 8 | ifo[table + 1] : 0;
    for (int i = 0; i < count && table + 8 + 8 * size_t(i + 1) <= ifo.size(); ++i)
        commands.emplace_back(ifo.begin() + long(table + 8 + 8 * size_t(i)),
                              ifo.begin() + long(table + 16 + 8 * size_t(i)));
    return commands;
}

std::vector<uint8_t> Pattern(size_t size, uint8_t seed)
{
    std::vector<uint8_t> v(size);
    for (size_t i = 0; i < size; ++i) v[i] = uint8_t(seed + i * 7);
    return v;
}

}  // namespace

TEST(SubPictureMux, UnitsGoOutWhole_AtTheirTime_AndAreAnnouncedInNavAndIfo)
{
    FakeTitle t;
    t.video = fakestreams::Video(5, 352, 240);
    t.audio = fakestreams::Mp2(5);
    t.seconds = 5;
    CFakeSubPictures subs;
    // 2015 bytes leave one spare byte in the first packet; 5000 bytes need three packets.
    subs.units = {{90000, Pattern(2015, 1)}, {3 * 90000, Pattern(5000, 9)}};
    testsupport::TempDir dir;
    ASSERT_TRUE(CSubtitledTitleBuilder(t, subs).Build(0, dir.Path().string()));

    auto scan =
        CheckWrittenTitle(dir.Path().string(), 1, int(vobcheck::PictureStarts(t.video).size()), CAudio::kindMp2);
    EXPECT_TRUE(scan.errors.empty()) << (scan.errors.empty() ? "" : scan.errors.front());

    auto vob = testsupport::ReadBytes(dir.File("VTS_01_1.VOB"));
    std::vector<std::vector<uint8_t>> received;
    std::vector<uint32_t> times;
    for (const auto& p : scan.packets) {
        if (p.stream != 0xBD || p.substream != 0x20) continue;
        const uint8_t* pk = vob.data() + size_t(p.lbn) * 2048;
        const uint8_t* payload = pk + 14 + 9 + pk[22] + 1;
        if (p.hasPts) {
            received.emplace_back();
            times.push_back(p.pts);
        }
        ASSERT_FALSE(received.empty());
        received.back().insert(received.back().end(), payload, payload + p.payloadSize);
    }
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0], subs.units[0].bytes);
    EXPECT_EQ(received[1], subs.units[1].bytes);
    // Shown with the picture of the unit's start time: one frame after its decoding.
    EXPECT_EQ(times[0], 18418u + 3003 + 90000);
    EXPECT_EQ(times[1], 18418u + 3003 + 3 * 90000);
    for (const auto& n : scan.navs) EXPECT_EQ(n.Dsi32(418), 0x7FFFFFFFu);

    auto ifo = testsupport::ReadBytes(dir.File("VTS_01_0.IFO"));
    EXPECT_EQ(ifo[0x255], 1);
    EXPECT_EQ(ifo[2 * 2048 + 16 + 0x1C], 0x80);
    EXPECT_EQ(FirstPlayCommands(dir.File("VIDEO_TS.IFO")).front(), kShowSubPictureStream0);
}

TEST(SubPictureMux, WithoutSubtitlesFirstPlayOnlyStartsTheTitle)
{
    FakeTitle t;
    t.video = fakestreams::Video(1, 352, 240);
    t.audio = fakestreams::Mp2(1);
    t.seconds = 1;
    testsupport::TempDir dir;
    ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));
    const auto commands = FirstPlayCommands(dir.File("VIDEO_TS.IFO"));
    ASSERT_EQ(commands.size(), 1u);
    EXPECT_NE(commands[0], kShowSubPictureStream0);
}

TEST(SubPictureMux, TwoThousandRandomUnits_AllGoOutWhole_WithoutAPackLeftUnpadded)
{
    FakeTitle t;
    t.video = fakestreams::Video(40, 352, 240);
    t.audio = fakestreams::Mp2(40);
    t.seconds = 40;
    CFakeSubPictures subs;
    uint32_t seed = 12345;
    auto random = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    int awkward = 0;  // units whose last packet leaves 1 to 5 bytes of its pack
    for (int i = 0; i < 2000; ++i) {
        // Every 50th unit is made to leave 1 to 5 bytes of its last pack.
        const size_t size =
            i % 50 == 0 ? 2019 + 2024 * size_t(i / 50 % 2) - 1 - size_t(i / 100 % 5) : 1 + random() % 4500;
        // Packets hold 2019 bytes after a time stamp, 2024 without one.
        size_t left = size, room = 2019;
        while (left > room) {
            left -= room;
            room = 2024;
        }
        if (room - left >= 1 && room - left <= 5) ++awkward;
        subs.units.push_back({uint32_t(i * 1700), Pattern(size, uint8_t(i))});
    }
    EXPECT_GE(awkward, 40);
    testsupport::TempDir dir;
    ASSERT_TRUE(CSubtitledTitleBuilder(t, subs).Build(0, dir.Path().string()));
    auto scan =
        CheckWrittenTitle(dir.Path().string(), 1, int(vobcheck::PictureStarts(t.video).size()), CAudio::kindMp2);
    EXPECT_TRUE(scan.errors.empty()) << (scan.errors.empty() ? "" : scan.errors.front());
    auto vob = testsupport::ReadBytes(dir.File("VTS_01_1.VOB"));
    size_t units = 0, matching = 0;
    std::vector<uint8_t> unit;
    auto finish = [&] {
        if (units > 0 && units <= subs.units.size() && unit == subs.units[units - 1].bytes) ++matching;
    };
    for (const auto& p : scan.packets) {
        if (p.stream != 0xBD || p.substream != 0x20) continue;
        const uint8_t* pk = vob.data() + size_t(p.lbn) * 2048;
        const uint8_t* payload = pk + 14 + 9 + pk[22] + 1;
        if (p.hasPts) {
            finish();
            ++units;
            unit.clear();
        }
        unit.insert(unit.end(), payload, payload + p.payloadSize);
    }
    finish();
    EXPECT_EQ(units, subs.units.size());
    EXPECT_EQ(matching, subs.units.size());
}
