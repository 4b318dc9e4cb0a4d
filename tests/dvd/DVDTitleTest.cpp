// Titles end to end over the fake sources: cells, VOB splitting, reference pictures,
// titles without or with short audio, failures, and the small building blocks.
#include "TitleHelpers.h"

#include "dvd/MuxBuffer.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::ReadBytes;
using testsupport::TempDir;

TEST(MuxBuffer, HoldsAt511EntriesAndDrainsEntriesDueBeforeNow)
{
    CMuxBuffer b(4096);
    for (int i = 0; i < 511; ++i) EXPECT_TRUE(b.Push(uint32_t(100 + i), 2));
    EXPECT_FALSE(b.Push(1000, 2));  // full: dropped
    EXPECT_EQ(b.Occupancy(), 1022);
    EXPECT_EQ(b.Free(), 4096 - 1022);
    b.Drain(100);  // nothing is due before 100
    EXPECT_EQ(b.Count(), 511);
    b.Drain(110);  // times 100..109 leave
    EXPECT_EQ(b.Count(), 501);
    EXPECT_EQ(b.HeadTime(), 110u);
    EXPECT_TRUE(b.Push(5, 7));  // room again, wrapping round the ring
    b.Drain(0xFFFFFFFFu);
    EXPECT_TRUE(b.IsEmpty());
    EXPECT_EQ(b.Occupancy(), 0);
}

TEST(DVDTitle, ShortTitleHasOneCellThatStartsAtItsFirstVobu)
{
    FakeTitle t;
    t.video = fakestreams::Video(8, 352, 240, 15, false, 1500000);
    t.audio = fakestreams::Mp2(8);
    t.seconds = 8;
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));

    auto scan = CheckWrittenTitle(dir.Path().string(), 1, vobcheck::PictureCount(t.video), CAudio::kindMp2);
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);
    // Chapter 1 starts at 0: the first VOBU's elapsed time is zero.
    const auto& nav = scan.navs.front().pack;
    EXPECT_EQ(nav[45 + 24] | nav[45 + 25] | nav[45 + 26], 0);
    EXPECT_EQ(nav[45 + 27], 0xC0);
    EXPECT_EQ(nav[1031 + 27], 1);  // cell 1

    auto ifo = ReadBytes(dir.File("VTS_01_0.IFO"));
    EXPECT_EQ(Be32(ifo, 2048 + 4), 4u * 1 + 11);  // one chapter
    size_t pgc = 2 * 2048 + 16;
    EXPECT_EQ(ifo[pgc + 2], 1);
    EXPECT_EQ(ifo[pgc + 3], 1);
    // Playback time: the pictures' length at 29.97 (BCD seconds and frames).
    int frames = vobcheck::PictureCount(t.video);
    int seconds = frames * 3003 / 90000;
    EXPECT_EQ(ifo[pgc + 6], uint8_t(seconds + 6 * (seconds / 10)));
}

TEST(DVDTitle, CellsBreakAtTheFirstGopReaching120Seconds)
{
    FakeTitle t;
    t.video = fakestreams::Video(130, 352, 240, 15, false, 800000);
    t.audio = fakestreams::Mp2(130, 128);
    t.seconds = 130;
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));

    auto scan = CheckWrittenTitle(dir.Path().string(), 1, vobcheck::PictureCount(t.video), CAudio::kindMp2);
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);
    size_t boundary = 0;
    for (size_t i = 1; i < scan.navs.size(); ++i)
        if (scan.navs[i].pack[1031 + 27] != scan.navs[i - 1].pack[1031 + 27]) boundary = i;
    ASSERT_GT(boundary, 0u);
    EXPECT_EQ(scan.navs[boundary].pack[1031 + 27], 2);
    EXPECT_GE(scan.navs[boundary].Pci32(12), 120u * 90000);
    EXPECT_LT(scan.navs[boundary - 1].Pci32(12), 120u * 90000);
    EXPECT_EQ(scan.navs[boundary].Dsi32(28) & 0xFFFFFF3Fu, 0u);  // C_ELTM restarts at 0

    auto ifo = ReadBytes(dir.File("VTS_01_0.IFO"));
    size_t pgcit = 2 * 2048, pgc = pgcit + 16;
    EXPECT_EQ(ifo[pgc + 2], 2);
    EXPECT_EQ(ifo[pgc + 0x104], 1);
    EXPECT_EQ(ifo[pgc + 0x105], 2);
    size_t cpb = pgc + Be16(ifo, pgc + 0xE8);
    EXPECT_EQ(ifo[cpb], 0x02);
    EXPECT_EQ(ifo[cpb + 24], 0x08);
    EXPECT_EQ(Be32(ifo, cpb + 8), 0u);
    EXPECT_EQ(Be32(ifo, cpb + 24 + 8), uint32_t(scan.navs[boundary].lbn));
    EXPECT_EQ(Be32(ifo, cpb + 20), uint32_t(scan.navs[boundary].lbn - 1));
    EXPECT_EQ(Be32(ifo, cpb + 16), uint32_t(scan.navs[boundary - 1].lbn));
    EXPECT_EQ(Be32(ifo, cpb + 24 + 20), uint32_t(scan.packs - 1));
    size_t cadt = size_t(Be32(ifo, 0xE0)) * 2048;
    EXPECT_EQ(Be32(ifo, cadt + 8 + 12 + 4), uint32_t(scan.navs[boundary].lbn));

    auto play = testsupport::Run(testsupport::ToolPath("dvdnav_play") + " " + testsupport::Quote(dir.Path().string()));
    EXPECT_EQ(play.exitCode, 0) << play.out << play.err;
    EXPECT_NE(play.out.find("TITLE 1 PART 1\nTITLE 1 PART 2\n"), std::string::npos) << play.out;

    // The title as the source of a video-file title: its chapters become the plan.
    uint8_t bcd[4];
    std::copy(ifo.begin() + long(cpb) + 4, ifo.begin() + long(cpb) + 8, bcd);
    double firstCell = (bcd[0] >> 4) * 36000 + (bcd[0] & 15) * 3600 + (bcd[1] >> 4) * 600 + (bcd[1] & 15) * 60 +
        (bcd[2] >> 4) * 10 + (bcd[2] & 15) + ((bcd[3] >> 4 & 3) * 10 + (bcd[3] & 15)) * 1001 / 30000.0;
    ifo[0x200] = 0x4C;  // 16:9
    testsupport::WriteBytes(dir.File("VTS_01_0.IFO"), ifo);
    SSourceIfoPlan plan;
    ASSERT_TRUE(SourceIfoCellPlan(dir.File("VTS_01_1.VOB"), false, plan));
    EXPECT_TRUE(plan.wideScreen);
    SMuxRunContext run;
    CDVDMplex again(ui, run);
    again.AddCells(plan.cells);
    ASSERT_EQ(again.Cells().size(), 2u);
    EXPECT_EQ(again.Cells()[0].startTime, 0u);
    EXPECT_EQ(again.Cells()[0].endTime, uint32_t(firstCell * 90000));
    EXPECT_EQ(again.Cells()[1].startTime, uint32_t(firstCell * 90000));
    EXPECT_EQ(again.Cells()[1].endTime, uint32_t(-90000));
    EXPECT_FALSE(SourceIfoCellPlan(dir.File("clip.mpg"), false, plan));
}

TEST(DVDTitle, SixtySecondTitleHas58TimeMapEntries)
{
    FakeTitle t;
    t.video = fakestreams::Video(60.1, 352, 240, 15, false, 800000);  // 1802 pictures
    t.audio = fakestreams::Mp2(60, 128);
    t.seconds = 60;
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));
    auto scan = vobcheck::ScanVobs(VobFiles(dir.Path().string(), 1));
    auto ifo = ReadBytes(dir.File("VTS_01_0.IFO"));
    size_t tmap = size_t(Be32(ifo, 0xD4)) * 2048;
    EXPECT_EQ(ifo[tmap + 0x0C], 1);
    ASSERT_EQ(Be16(ifo, tmap + 0x0E), 58);
    EXPECT_EQ(Be32(ifo, tmap + 4), 4u * 60 + 7);
    // Entry i: the last VOBU that starts less than i seconds into the title.
    uint32_t start = scan.navs.front().Pci32(12);
    for (uint32_t i = 1; i <= 58; ++i) {
        int want = 0;
        for (const auto& n : scan.navs)
            if (n.Pci32(12) - start < i * 90000) want = n.lbn;
        EXPECT_EQ(Be32(ifo, tmap + 0x10 + 4 * (i - 1)), uint32_t(want)) << "entry " << i;
    }
}

TEST(DVDTitle, ThreePictureGopsLeaveTheThirdReferenceAtZero)
{
    FakeTitle t;
    t.video = fakestreams::Video(3, 720, 480, 3);
    t.audio = fakestreams::Mp2(3);
    t.seconds = 3;
    TempDir dir;
    ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));
    auto scan = CheckWrittenTitle(dir.Path().string(), 1, vobcheck::PictureCount(t.video), CAudio::kindMp2);
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);
    for (const auto& n : scan.navs) {
        EXPECT_GT(n.Dsi32(12), 0u);
        EXPECT_GE(n.Dsi32(16), n.Dsi32(12));
        EXPECT_EQ(n.Dsi32(20), 0u);
    }
}

TEST(DVDTitle, VobSplitPutsTheNewVobusNavPackFirstInTheNextFile)
{
    FakeTitle t;
    t.video = fakestreams::Video(20);
    t.audio = fakestreams::Mp2(20);
    t.seconds = 20;
    t.splitBytes = 512 << 10;
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));
    auto files = VobFiles(dir.Path().string(), 1);
    ASSERT_GE(files.size(), 3u);
    for (size_t i = 1; i < files.size(); ++i) {
        auto bytes = ReadBytes(files[i]);
        ASSERT_GE(bytes.size(), 2048u);
        EXPECT_EQ(bytes[14 + 3], 0xBB) << files[i] << " does not begin with a NAV pack";
        EXPECT_GE(ReadBytes(files[i - 1]).size(), size_t(512 << 10));
    }
    // The patched NAV packs in the later files carry their final links and end times.
    auto scan = CheckWrittenTitle(dir.Path().string(), 1, vobcheck::PictureCount(t.video), CAudio::kindMp2);
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);
    auto play = testsupport::Run(testsupport::ToolPath("dvdnav_play") + " " + testsupport::Quote(dir.Path().string()));
    EXPECT_EQ(play.exitCode, 0) << play.out;
}

TEST(DVDTitle, TitlesWithoutAudioOrWithAudioEndingEarly)
{
    for (int audioSeconds : {0, 4}) {
        FakeTitle t;
        t.video = fakestreams::Video(10, 352, 480);
        t.audioKind = audioSeconds ? CAudio::kindMp2 : -1;
        if (audioSeconds) t.audio = fakestreams::Mp2(audioSeconds);
        t.seconds = 10;
        TempDir dir;
        CScriptedUi ui;
        CUiScope scope(ui);
        ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));
        auto scan = CheckWrittenTitle(dir.Path().string(), 1, vobcheck::PictureCount(t.video), t.audioKind);
        EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);
        EXPECT_EQ(scan.audio.size(), audioSeconds ? t.audio.size() : 0u);
        EXPECT_TRUE(ui.boxes.empty());
    }
}

TEST(DVDTitle, PackWithoutRoomForPaddingFailsTheTitleAndLeavesNoFiles)
{
    FakeTitle t;
    t.video = fakestreams::Video(3);
    t.audio = fakestreams::Mp2(3);
    t.seconds = 3;
    t.shortBy = 3;  // a source that ends a GOP with 3 bytes to spare
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    CFakeTitleBuilder builder(t);
    EXPECT_FALSE(builder.Build(0, dir.Path().string()));
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.front().text, "Error Padding!");
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
    EXPECT_FALSE(builder.Error().empty());
}

TEST(DVDTitle, UncreatableFolderIsReportedWithTheFileName)
{
    FakeTitle t;
    t.video = fakestreams::Video(3);
    t.audio = fakestreams::Mp2(3);
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    CFakeTitleBuilder builder(t);
    EXPECT_FALSE(builder.Build(0, dir.File("missing/folder")));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("missing/folder/VTS_01_1.VOB"), std::string::npos) << ui.boxes[0].text;
}

namespace {

// An audio source whose reads give nothing while its times never reach the end.
class CSilentAudio : public CAudio {
public:
    int StreamKind() override { return kindMp2; }
    int Read(uint8_t*, int) override
    {
        ++reads;
        return 0;
    }
    uint32_t FirstUnitTime() override { return 0; }
    uint32_t EndTime() override { return 0; }
    int reads = 0;
};

class CSilentAudioBuilder : public CFakeTitleBuilder {
public:
    using CFakeTitleBuilder::CFakeTitleBuilder;

protected:
    bool OpenSources(CDVDMplex& mplex) override
    {
        auto silent = std::make_unique<CSilentAudio>();
        audio = silent.get();
        mplex.SetSources(std::make_unique<CFakeVideo>(title.video, title.rate), std::move(silent));
        return true;
    }

public:
    CSilentAudio* audio = nullptr;
};

}  // namespace

TEST(DVDTitle, AudioSourceThatGivesNothingEndsItsStream)
{
    FakeTitle t;
    t.video = fakestreams::Video(3, 352, 240);
    t.seconds = 3;
    TempDir dir;
    CSilentAudioBuilder builder(t);
    ASSERT_TRUE(builder.Build(0, dir.Path().string()));
    auto scan = vobcheck::ScanVobs(VobFiles(dir.Path().string(), 1));
    EXPECT_TRUE(scan.errors.empty());
    EXPECT_TRUE(scan.audio.empty());
}
