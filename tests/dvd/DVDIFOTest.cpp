// The IFO and BUP files of title sets and of the VMG, read directly and through
// libdvdread (lsdvd) and libdvdnav's virtual machine.
#include "TitleHelpers.h"

#include "dvd/DVDIFO.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::Quote;
using testsupport::ReadBytes;
using testsupport::TempDir;

namespace {

// Builds title sets 1..n in one folder, each a few seconds of video with Layer II.
void BuildTitleSets(const std::string& folder, int n)
{
    for (int i = 0; i < n; ++i) {
        FakeTitle t;
        t.video = fakestreams::Video(2 + i, 352, 240);
        t.audio = fakestreams::Mp2(2 + i);
        t.seconds = 2 + i;
        ASSERT_TRUE(CFakeTitleBuilder(t).Build(i, folder));
    }
}

}  // namespace

TEST(DVDIFO, ThreeTitleSetsAreListedInOrderAndPlayedOneAfterAnother)
{
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    BuildTitleSets(dir.Path().string(), 3);

    auto vmg = ReadBytes(dir.File("VIDEO_TS.IFO"));
    ASSERT_EQ(vmg.size(), 53u * 2048);
    EXPECT_EQ(std::string(vmg.begin(), vmg.begin() + 12), "DVDVIDEO-VMG");
    EXPECT_EQ(Be16(vmg, 0x3E), 3);
    uint32_t start = 106;
    for (int t = 1; t <= 3; ++t) {
        char name[32];
        std::snprintf(name, sizeof name, "VTS_%02d_0.IFO", t);
        auto ifo = ReadBytes(dir.File(name));
        size_t e = 2048 + 8 + 12 * size_t(t - 1);
        EXPECT_EQ(vmg[e + 6], t);
        EXPECT_EQ(Be32(vmg, e + 8), start) << "title set " << t;
        start += Be32(ifo, 0x0C) + 1;
        // End-of-title commands: register 0 = this title set, then the title menu.
        EXPECT_EQ(ifo[0x1104], 0x53);
        EXPECT_EQ(ifo[0x1107], t);
        EXPECT_EQ(ifo[0x110C], 0x30);
        EXPECT_EQ(ifo[0x1110], 0x01);
        EXPECT_EQ(ifo[0x1111], 0x42);
        // Size: IFO, VOBs and BUP.
        uint32_t ifoSectors = Be32(ifo, 0x1C) + 1;
        char vob[32];
        std::snprintf(vob, sizeof vob, "VTS_%02d_1.VOB", t);
        uint32_t vobSectors = uint32_t(std::filesystem::file_size(dir.File(vob)) / 2048);
        EXPECT_EQ(Be32(ifo, 0x0C) + 1, 2 * ifoSectors + vobSectors);
        EXPECT_EQ(ifo.size(), size_t(ifoSectors) * 2048);
        std::snprintf(name, sizeof name, "VTS_%02d_0.BUP", t);
        EXPECT_EQ(ReadBytes(dir.File(name)), ifo);
    }
    EXPECT_EQ(ReadBytes(dir.File("VIDEO_TS.BUP")), vmg);

    // The title menu plays the next title and stops after the last one.
    size_t cmds = 2 * 2048 + 0x20 + 0xF4;
    for (int k = 0; k < 50; ++k) {
        const uint8_t* jump = &vmg[cmds + 16 * size_t(k) + 8];
        if (k < 3) {
            EXPECT_EQ(jump[1], 0x22);
            EXPECT_EQ(jump[5], k + 1);
        } else {
            const uint8_t exitIfEqual[8] = {0x30, 0x21, 0, 0, 0, 0, 0, 0x01};
            EXPECT_TRUE(std::equal(jump, jump + 8, exitIfEqual)) << "pair " << k;
        }
    }

    auto play = testsupport::Run(testsupport::ToolPath("dvdnav_play") + " " + Quote(dir.Path().string()));
    EXPECT_EQ(play.exitCode, 0) << play.out << play.err;
    EXPECT_EQ(play.out.find("ERROR"), std::string::npos);
    size_t v1 = play.out.find("VTS 1\n"), v2 = play.out.find("VTS 2\n"), v3 = play.out.find("VTS 3\n");
    EXPECT_TRUE(v1 < v2 && v2 < v3 && v3 != std::string::npos) << play.out;
    EXPECT_NE(play.out.find("STOP"), std::string::npos);

    auto lsdvd = testsupport::Run("lsdvd " + Quote(dir.Path().string()) + " 2>&1");
    EXPECT_EQ(lsdvd.exitCode, 0) << lsdvd.out;
    EXPECT_NE(lsdvd.out.find("Title: 03"), std::string::npos) << lsdvd.out;
}

TEST(DVDIFO, WritingTheVmgTwiceGivesTheSameFiles)
{
    TempDir dir;
    BuildTitleSets(dir.Path().string(), 2);
    auto vmg = ReadBytes(dir.File("VIDEO_TS.IFO"));
    auto vts2 = ReadBytes(dir.File("VTS_02_0.IFO"));
    CDVDIFO writer;
    ASSERT_TRUE(writer.WriteVmg(dir.Path().string()));
    EXPECT_EQ(writer.TitleSetCount(), 2);
    EXPECT_EQ(ReadBytes(dir.File("VIDEO_TS.IFO")), vmg);
    EXPECT_EQ(ReadBytes(dir.File("VIDEO_TS.BUP")), vmg);
    EXPECT_EQ(ReadBytes(dir.File("VTS_02_0.IFO")), vts2);
    EXPECT_EQ(ReadBytes(dir.File("VTS_02_0.BUP")), vts2);
}

TEST(DVDIFO, EmptyOrBrokenFoldersAreRefusedWithTheFileNamed)
{
    TempDir dir;
    CDVDIFO writer;
    EXPECT_FALSE(writer.WriteVmg(dir.Path().string()));
    EXPECT_FALSE(std::filesystem::exists(dir.File("VIDEO_TS.IFO")));
    testsupport::WriteText(dir.File("VTS_01_0.IFO"), "not an IFO");
    EXPECT_FALSE(writer.WriteVmg(dir.Path().string()));
    EXPECT_NE(writer.Error().find("VTS_01_0.IFO"), std::string::npos) << writer.Error();
    EXPECT_FALSE(std::filesystem::exists(dir.File("VIDEO_TS.IFO")));
}

TEST(DVDIFO, PictureSizeAndStreamAttributesMatchTheStreams)
{
    struct Case {
        int width, height, code;
    } cases[] = {{720, 480, 0}, {352, 480, 2}, {352, 240, 3}};
    for (const Case& c : cases) {
        FakeTitle t;
        t.video = fakestreams::Video(1, c.width, c.height);
        t.resolutionCode = c.code;
        t.audio = fakestreams::Pcm(1);
        t.audioKind = CAudio::kindLpcm;
        TempDir dir;
        ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));
        // The stream's own sequence header.
        auto vob = ReadBytes(dir.File("VTS_01_1.VOB"));
        const uint8_t sequenceHeader[4] = {0, 0, 1, 0xB3};
        auto seq = std::search(vob.begin(), vob.end(), sequenceHeader, sequenceHeader + 4);
        ASSERT_NE(seq, vob.end());
        int width = seq[4] << 4 | seq[5] >> 4, height = (seq[5] & 15) << 8 | seq[6];
        int code = width == 720 ? 0 : width == 704 ? 1 : height > 400 ? 2 : 3;
        auto ifo = ReadBytes(dir.File("VTS_01_0.IFO"));
        EXPECT_EQ((ifo[0x201] >> 3) & 7, code) << width << "x" << height;
        EXPECT_EQ(ifo[0x200], 0x43);  // MPEG-2, NTSC, 4:3
        EXPECT_EQ(ifo[0x203], 1);
        EXPECT_EQ(ifo[0x204], 0x80);  // linear PCM
        EXPECT_EQ(ifo[0x205], 0x01);  // 16 bit, 48 kHz, 2 channels
    }
}
