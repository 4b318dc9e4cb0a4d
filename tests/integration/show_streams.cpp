// `kestrova slideshow ALBUM --m2v/--mp2 … --out DIR`: the elementary streams written on
// their own are byte for byte the ones the DVD job multiplexes into its VOB file for the
// same album and options, also where the job has rules of its own (a damaged photo time
// clamped to zero, a narration named "NONE", PAL and 16:9, a fixed rate).
#include "support/TestSupport.h"
#include "support/VobChecker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::Quote;
using testsupport::TempDir;

namespace {

// Three sample photos with music, a narration, a narration named "NONE" and a negative
// showing time, as a damaged project might have.
std::string WriteAlbum(const TempDir& dir)
{
    const std::string sample = testsupport::DataDir() + "/sample/";
    const std::string project = dir.File("short.osh");
    testsupport::WriteText(project,
                           "[General]\nID=OrvoPhotoShow\nPhotoCount=3\nMusicCount=1\n"
                           "[Music1]\nPath=" +
                               sample +
                               "music.mp3\n"
                               "[Photo1]\nPath=" +
                               sample + "harbour.png\nWavePath=" + sample +
                               "narration.wav\nShowingTime=2\nTransitionTime=1\n"
                               "KenBurns=ZoomIn\nTransitionType=Blend\n"
                               "[Photo2]\nPath=" +
                               sample +
                               "beach.jpg\nWavePath=NONE\n"
                               "ShowingTime=-3\nTransitionTime=1\nKenBurns=PanRight\n"
                               "TransitionType=WipeLeft\n"
                               "[Photo3]\nPath=" +
                               sample +
                               "city.jpg\nShowingTime=2\n"
                               "TransitionTime=1\nTransitionType=FadeInOut\n");
    return project;
}

// Runs the streams and the DVD job in one command and compares the streams with the
// ones read back from VTS_01_1.VOB.
void ExpectStreamsEqualTheDvds(const std::string& options)
{
    TempDir dir;
    const std::string project = WriteAlbum(dir);
    const std::string env =
        "XDG_STATE_HOME=" + Quote(dir.File("state")) + " XDG_CONFIG_HOME=" + Quote(dir.File("config")) + " ";
    auto run = testsupport::Run(env + Quote(testsupport::CliPath()) + " slideshow " + Quote(project) + " --m2v " +
                                Quote(dir.File("show.m2v")) + " --mp2 " + Quote(dir.File("show.mp2")) + " --out " +
                                Quote(dir.File("dvd")) + " --yes " + options + " </dev/null");
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const std::string vob = dir.File("dvd/VIDEO_TS/VTS_01_1.VOB");
    ASSERT_TRUE(std::filesystem::exists(vob));
    ASSERT_FALSE(std::filesystem::exists(dir.File("dvd/VIDEO_TS/VTS_01_2.VOB")));
    vobcheck::Scan scan = vobcheck::ScanVobs({vob});
    EXPECT_TRUE(scan.errors.empty()) << scan.errors.front();

    const std::vector<uint8_t> m2v = testsupport::ReadBytes(dir.File("show.m2v"));
    ASSERT_GT(m2v.size(), 10000u);
    EXPECT_EQ(m2v.size(), scan.video.size());
    EXPECT_TRUE(m2v == scan.video) << "the --m2v stream differs from the VOB's video";

    // The music outlasts the 7 s of show; both the title and the --mp2 file carry the
    // sound up to where the title's pictures end, the same whole frames.
    const std::vector<uint8_t> mp2 = testsupport::ReadBytes(dir.File("show.mp2"));
    EXPECT_EQ(mp2.size(), scan.audio.size());
    EXPECT_GE(scan.audio.size(), 6u * 48000u);
    EXPECT_TRUE(mp2 == scan.audio) << "the --mp2 stream differs from the VOB's audio";

    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(dir.File("show.m2v")) + " -f null - 2>&1");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.out, "");
}

}  // namespace

TEST(ShowStreams, VideoAndSoundEqualTheDvdTitlesStreams) { ExpectStreamsEqualTheDvds(""); }

TEST(ShowStreams, PalWideAtAFixedRateEqualTheDvdTitlesStreams)
{
    ExpectStreamsEqualTheDvds("--pal --aspect 16:9 --resolution medium --bitrate 3000000");
}
