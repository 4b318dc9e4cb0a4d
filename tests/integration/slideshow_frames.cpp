// `kestrova slideshow ALBUM.osh --frames OUT.y4m` on the sample album: exactly the
// show's frames, readable by FFmpeg without a single error line.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Project.h"
#include "base/DVDParams.h"
#include "slideshow/PhotoSlideSource.h"
#include "support/TestSupport.h"

using testsupport::Quote;
using testsupport::TempDir;

namespace {

std::string Album() { return testsupport::DataDir() + "/sample/album.osh"; }

// The number of frames the slide source gives for the album at this format.
int32_t ExpectedFrames(int resolution, bool pal)
{
    CAlbum album;
    std::string error;
    EXPECT_TRUE(LoadProject(album, Album(), &error)) << error;
    CDVDParams params;
    ApplyVideoFormat(resolution, false, pal, params);
    CPhotoSlideSource show;
    EXPECT_TRUE(show.Init(params.width, params.height, params.frameRate));
    for (const auto& p : album.photos)
        show.AddPhoto(p.transitionType, p.photoPath, p.showSeconds * 1000, p.transitionSeconds * 1000, p.panZoomType);
    return show.totalFrames;
}

// Walks the YUV4MPEG2 file frame by frame; returns the count, or -1 when the
// layout is broken (a missing FRAME marker or a short last frame).
int64_t CountY4mFrames(const std::string& path, int width, int height, std::string& header)
{
    std::ifstream in(path, std::ios::binary);
    if (!std::getline(in, header)) return -1;
    const std::streamoff frameBytes = (std::streamoff)width * height * 3 / 2;
    const std::streamoff size = (std::streamoff)std::filesystem::file_size(path);
    std::streamoff pos = (std::streamoff)header.size() + 1;
    int64_t frames = 0;
    char marker[6];
    while (pos < size) {
        in.seekg(pos);
        if (!in.read(marker, 6) || std::string(marker, 6) != "FRAME\n") return -1;
        pos += 6 + frameBytes;
        if (pos > size) return -1;
        ++frames;
    }
    return frames;
}

testsupport::RunResult Render(const TempDir& dir, const std::string& project, const std::string& out,
                              const std::string& extra = "")
{
    return testsupport::Run("XDG_STATE_HOME=" + Quote(dir.File("state")) +
                            " XDG_CONFIG_HOME=" + Quote(dir.File("config")) + " " + Quote(testsupport::CliPath()) +
                            " slideshow " + Quote(project) + " --frames " + Quote(out) + " " + extra);
}

}  // namespace

TEST(SlideshowFrames, SampleAlbumGivesExactlyItsFramesAndFfmpegReadsThem)
{
    TempDir dir;
    const std::string out = dir.File("album.y4m");
    auto r = Render(dir, Album(), out);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const int32_t expected = ExpectedFrames(0, false);
    ASSERT_GT(expected, 1000);
    std::string header;
    EXPECT_EQ(CountY4mFrames(out, 720, 480, header), expected);
    EXPECT_EQ(header.rfind("YUV4MPEG2 W720 H480 F30000:1001", 0), 0u) << header;

    auto probe = testsupport::Run(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
        "stream=nb_read_frames,width,height -of csv=p=0 " +
        Quote(out));
    EXPECT_EQ(probe.exitCode, 0);
    EXPECT_EQ(probe.err, "");
    EXPECT_EQ(probe.out, "720,480," + std::to_string(expected) + "\n");
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(out) + " -f null -");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");
    EXPECT_FALSE(std::filesystem::exists(out + ".part"));
}

TEST(SlideshowFrames, PalLowResolutionUsesItsOwnSizeAndRate)
{
    TempDir dir;
    const std::string out = dir.File("low.y4m");
    auto r = Render(dir, Album(), out, "--pal --resolution low");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::string header;
    EXPECT_EQ(CountY4mFrames(out, 352, 288, header), ExpectedFrames(2, true));
    EXPECT_EQ(header.rfind("YUV4MPEG2 W352 H288 F25:1", 0), 0u) << header;
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(out) + " -f null -");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.err, "");
}

TEST(SlideshowFrames, RefusesBadInputWithoutLeavingAFile)
{
    TempDir dir;
    const std::string out = dir.File("x.y4m");
    auto missing = Render(dir, dir.File("nothing.osh"), out);
    EXPECT_NE(missing.exitCode, 0);
    EXPECT_NE(missing.err.find("nothing.osh"), std::string::npos) << missing.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    auto badRes = Render(dir, Album(), out, "--resolution huge");
    EXPECT_NE(badRes.exitCode, 0);
    EXPECT_NE(badRes.err.find("huge"), std::string::npos) << badRes.err;
    EXPECT_FALSE(std::filesystem::exists(out));

    // A photo that cannot be read is named in a warning and shown as black frames.
    testsupport::WriteText(dir.File("broken.jpg"), "not a picture");
    testsupport::WriteText(dir.File("p.osh"),
                           "[General]\nID=OrvoPhotoShow\nPhotoCount=1\nMusicCount=0\n\n"
                           "[Photo1]\nPath=broken.jpg\nShowingTime=1\nTransitionTime=1\n");
    auto broken = Render(dir, dir.File("p.osh"), out, "--resolution low");
    EXPECT_EQ(broken.exitCode, 0) << broken.err;
    EXPECT_NE(broken.err.find("broken.jpg"), std::string::npos) << broken.err;
    std::string header;
    EXPECT_EQ(CountY4mFrames(out, 352, 240, header), 29 + 29);
}
