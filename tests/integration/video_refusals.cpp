// Bad input to `kestrova video` as a careless person gives it: a missing file, text
// named .mp4, a FIFO, a device, ranges that cannot be, a delay that is not a number.
// Each is refused with exit status 1 and a line naming the file or option, before
// anything is written: the DVD already in the folder stays byte for byte.
#include "integration/video_checks.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace testsupport;
using namespace videochecks;

TEST(VideoRefusals, BadInputLeavesTheDvdAlreadyThere)
{
    TempDir dir;
    std::string error;
    auto clip = MakeMediaFixture(EMediaFixture::H264AacMp4, dir.Path().string(), &error);
    ASSERT_FALSE(clip.path.empty()) << error;
    const std::string dvd = dir.File("dvd");
    auto run = MakeVideoDvd({clip.path}, dvd, "--ntsc --resolution low");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const auto ifo = ReadBytes(dvd + "/VIDEO_TS/VTS_01_0.IFO");
    const auto vob = ReadBytes(dvd + "/VIDEO_TS/VTS_01_1.VOB");
    ASSERT_FALSE(vob.empty());

    WriteText(dir.File("notes.mp4"), "this is a shopping list, not a film\n");
    ASSERT_EQ(mkfifo(dir.File("pipe.mp4").c_str(), 0600), 0);
    struct SBad {
        std::string row;
        std::string options;
        std::string named;  // what the message must name
    };
    const std::vector<SBad> bad = {
        {dir.File("missing.mp4"), "", "missing.mp4"},
        {dir.File("notes.mp4"), "", "notes.mp4"},
        {dir.File("pipe.mp4"), "", "pipe.mp4"},
        {"/dev/null", "", "/dev/null"},
        {clip.path + "@2-1", "", "@2-1"},
        {clip.path + "@20-30", "", "@20-30"},
        {clip.path + "@soon", "", "@soon"},
        {clip.path, "--audio-delay abc", "--audio-delay"},
        {clip.path, "--video-delay 1e9", "--video-delay"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.row + " " + b.options);
        // A good row first: a bad one later in the list must stop the job all the same.
        run = MakeVideoDvd({clip.path, b.row}, dvd, "--ntsc --resolution low " + b.options);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_NE(run.err.find(b.named), std::string::npos) << run.err;
        EXPECT_EQ(ReadBytes(dvd + "/VIDEO_TS/VTS_01_0.IFO"), ifo);
        EXPECT_EQ(ReadBytes(dvd + "/VIDEO_TS/VTS_01_1.VOB"), vob);
        EXPECT_FALSE(std::filesystem::exists(dvd + "/VIDEO_TS/VTS_02_0.IFO"));
    }
}
