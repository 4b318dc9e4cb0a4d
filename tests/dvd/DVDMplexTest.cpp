// Multiplexing real elementary streams (made by FFmpeg) and reading the VOBs back.
#include "TitleHelpers.h"

#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::Quote;
using RunCmd = decltype(&testsupport::Run);
const RunCmd Shell = &testsupport::Run;
using testsupport::TempDir;

TEST(DVDMplex, LayerIITitle_PacksTimesBuffersAndNavPacksHold)
{
    FakeTitle t;
    t.video = fakestreams::Video(20);
    t.audio = fakestreams::Mp2(20, 192);
    t.seconds = 20;
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    CFakeTitleBuilder builder(t);
    ASSERT_TRUE(builder.Build(0, dir.Path().string())) << builder.Error();
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;

    vobcheck::Scan scan = CheckWrittenTitle(dir.Path().string(), 1, vobcheck::PictureCount(t.video), CAudio::kindMp2);
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);
    EXPECT_GT(scan.navs.size(), 30u);
    // Every audio byte of the 20-second stream was sent (the audio ends with the video).
    EXPECT_GT(scan.audio.size(), t.audio.size() * 9 / 10);

    auto r = Shell("ffmpeg -nostdin -v error -i " + Quote(dir.File("VTS_01_1.VOB")) + " -f null - 2>&1");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "");
    auto probe =
        Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Quote(dir.File("VTS_01_1.VOB")));
    EXPECT_NE(probe.out.find("mpeg2video"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find("mp2"), std::string::npos) << probe.out;
}

TEST(DVDMplex, LinearPcmTitle_WholeSamplesAndUnitTimes)
{
    FakeTitle t;
    t.video = fakestreams::Video(12);
    t.audio = fakestreams::Pcm(12);
    t.audioKind = CAudio::kindLpcm;
    t.seconds = 12;
    TempDir dir;
    CScriptedUi ui;
    CUiScope scope(ui);
    CFakeTitleBuilder builder(t);
    ASSERT_TRUE(builder.Build(0, dir.Path().string())) << builder.Error();
    EXPECT_TRUE(ui.boxes.empty());

    vobcheck::Scan scan = CheckWrittenTitle(dir.Path().string(), 1, vobcheck::PictureCount(t.video), CAudio::kindLpcm);
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);

    auto r = Shell("ffmpeg -nostdin -v error -i " + Quote(dir.File("VTS_01_1.VOB")) + " -f null - 2>&1");
    EXPECT_EQ(r.out, "");
    auto probe =
        Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Quote(dir.File("VTS_01_1.VOB")));
    EXPECT_NE(probe.out.find("pcm_dvd"), std::string::npos) << probe.out;
    // The samples come out as they went in: left and right never swap.
    std::string pcm = dir.File("back.pcm");
    Shell("ffmpeg -nostdin -v error -i " + Quote(dir.File("VTS_01_1.VOB")) + " -map 0:a -f s16le " + Quote(pcm));
    auto back = testsupport::ReadBytes(pcm);
    ASSERT_GT(back.size(), 100000u);
    EXPECT_TRUE(std::equal(back.begin(), back.begin() + 100000, t.audio.begin()));
}

TEST(DVDMplex, StillPicturesKeepTheAudioFlowingAcrossGopEnds)
{
    // With a still picture the video runs ahead and every GOP ends long before its
    // successor may be sent; the audio must not wait for the next NAV pack.
    FakeTitle t;
    t.video = fakestreams::StillVideo(10);
    t.audio = fakestreams::Mp2(10, 384);
    t.seconds = 10;
    TempDir dir;
    ASSERT_TRUE(CFakeTitleBuilder(t).Build(0, dir.Path().string()));
    vobcheck::Scan scan = CheckWrittenTitle(dir.Path().string(), 1, vobcheck::PictureCount(t.video), CAudio::kindMp2);
    EXPECT_TRUE(scan.errors.empty()) << vobcheck::ErrorText(scan);
    // Audio packs do go out between a GOP's last video pack and the next NAV pack.
    int audioBeforeNav = 0;
    for (size_t i = 1; i < scan.kinds.size(); ++i)
        if (scan.kinds[i] == 0xBF && scan.kinds[i - 1] == 0xC0) ++audioBeforeNav;
    EXPECT_GT(audioBeforeNav, 0);
}
