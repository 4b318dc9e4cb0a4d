// DVD-Video as a source, and slide-show projects beside video files: a DVD made by our
// own slide-show job is read back from its folder, its parent, its IFO and VOB files
// and from its disc image, and an `.osh` project sits between video rows. Each result
// is read back by lsdvd, libdvdnav, FFmpeg and the VOB checker.
#include "integration/video_checks.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace videochecks;

namespace {

// Two photos of the sample album with narration and music, about 6 s.
std::string TinyProject(const TempDir& dir)
{
    const std::string d = DataDir() + "/sample/";
    WriteText(dir.File("tiny.osh"),
              "[General]\nID=OrvoPhotoShow\nPhotoCount=2\nMusicCount=1\n\n"
              "[Photo1]\nPath=" +
                  d + "sunset.jpg\nWavePath=" + d +
                  "narration.wav\nShowingTime=2\nTransitionTime=1\nKenBurns=ZoomOut\nTransitionType=Blend\n\n"
                  "[Photo2]\nPath=" +
                  d +
                  "town.jpg\nWavePath=NONE\nShowingTime=2\nTransitionTime=1\nKenBurns=PanLeft\n"
                  "TransitionType=Blend\n\n"
                  "[Music1]\nPath=" +
                  d + "music.mp3\n\n");
    return dir.File("tiny.osh");
}

}  // namespace

TEST(VideoReadback, SlideShowDvdAndProjectBesideVideoRows)
{
    TempDir dir;
    const std::string project = TinyProject(dir);
    const std::string slide = dir.File("slide");
    auto run = testsupport::Run(Quote(CliPath()) + " slideshow " + Quote(project) + " --out " + Quote(slide) +
                                " --ntsc --resolution low --yes");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    auto slideLengths = LsdvdLengths(slide);
    ASSERT_EQ(slideLengths.size(), 1u);
    const double show = slideLengths[0];
    EXPECT_GT(show, 4.0);

    std::string error;
    auto clip = MakeMediaFixture(EMediaFixture::H264AacMp4, dir.Path().string(), &error);
    ASSERT_FALSE(clip.path.empty()) << error;
    // A video row, the project, our DVD's VIDEO_TS folder and the video row again.
    const std::string mixed = dir.File("mixed");
    run = MakeVideoDvd({clip.path, project, slide + "/VIDEO_TS", clip.path}, mixed, "--ntsc --resolution low");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectGoodDvd(mixed, {kFixtureSeconds, show, show, kFixtureSeconds}, SStandard{false});
}

TEST(VideoReadback, DiscImageAndEveryWayOfNamingAFolder)
{
    TempDir dir;
    const std::string project = TinyProject(dir);
    const std::string slide = dir.File("slide");
    auto run = testsupport::Run(Quote(CliPath()) + " slideshow " + Quote(project) + " --out " + Quote(slide) +
                                " --pal --resolution low --yes");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const double show = LsdvdLengths(slide).at(0);
    const std::string image = dir.File("slide.iso");
    run = testsupport::Run(Quote(CliPath()) + " iso " + Quote(slide) + " -o " + Quote(image));
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const std::string videoTs = slide + "/VIDEO_TS";
    const std::vector<std::string> rows = {image, slide, videoTs + "/VIDEO_TS.IFO", videoTs + "/VTS_01_0.IFO",
                                           videoTs + "/VTS_01_1.VOB"};
    const std::string back = dir.File("back");
    run = MakeVideoDvd(rows, back, "--pal --resolution low");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectGoodDvd(back, std::vector<double>(rows.size(), show), SStandard{true});
    // Read back from the image as from the folder: the same pictures in both titles.
    auto frames = [&](int vts) {
        return testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(TitleVobs(back + "/VIDEO_TS", vts)[0]) +
                                " -vf scale=32:24 -pix_fmt gray -f framemd5 - | grep -v '^#' | cut -d, -f6")
            .out;
    };
    EXPECT_EQ(frames(1), frames(2));
}
