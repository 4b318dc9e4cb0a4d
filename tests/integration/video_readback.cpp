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

TEST(VideoReadback, ProjectBesideVideoRows)
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
    // The project between two video rows renders as the slide-show job renders it.
    const std::string mixed = dir.File("mixed");
    run = MakeVideoDvd({clip.path, project, clip.path}, mixed, "--ntsc --resolution low");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectGoodDvd(mixed, {kFixtureSeconds, show, kFixtureSeconds}, SStandard{false});
}

TEST(VideoReadback, OurSlideShowDvdFromItsImageAndEveryWayOfNamingIt)
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

    // Each way of naming the DVD becomes a DVD of its own, so that each reports alone.
    const std::string videoTs = slide + "/VIDEO_TS";
    const std::vector<std::string> names = {image,
                                            slide,
                                            videoTs,
                                            videoTs + "/VIDEO_TS.IFO",
                                            videoTs + "/VTS_01_0.IFO",
                                            videoTs + "/VTS_01_0.BUP",
                                            videoTs + "/VTS_01_1.VOB"};
    std::vector<std::string> pictures;
    for (size_t i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i]);
        const std::string back = dir.File("back" + std::to_string(i));
        run = MakeVideoDvd({names[i]}, back, "--pal --resolution low");
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        if (run.exitCode != 0) continue;
        ExpectGoodDvd(back, {show}, SStandard{true});
        // The same pictures whichever way the DVD was named.
        pictures.push_back(testsupport::Run("ffmpeg -nostdin -v error -i " +
                                            Quote(TitleVobs(back + "/VIDEO_TS", 1).at(0)) +
                                            " -vf scale=32:24 -pix_fmt gray -f framemd5 - | grep -v '^#' | cut -d, -f6")
                               .out);
        EXPECT_EQ(pictures.back(), pictures.front()) << "read from " << names[i] << " differs from " << names[0];
    }
}
