// `kestrova media info` on files made by ffmpeg: what it finds, and how it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TestSupport.h"

using testsupport::Quote;
using testsupport::Run;
using testsupport::TempDir;

namespace {

testsupport::RunResult Info(const TempDir& dir, const std::string& file)
{
    return Run("XDG_STATE_HOME=" + Quote(dir.File("state")) + " " + Quote(testsupport::CliPath()) + " media info " +
               Quote(file));
}

bool Make(const std::string& args, const std::string& out)
{
    auto r = Run("ffmpeg -nostdin -v error -y " + args + " " + Quote(out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.exitCode == 0;
}

}  // namespace

TEST(MediaInfo, ReportsDurationSoundKindSizeAndRate)
{
    TempDir dir;
    std::string hd = dir.File("hd.mp4"), vob = dir.File("clip.vob"), song = dir.File("song.ogg");
    ASSERT_TRUE(
        Make("-f lavfi -i testsrc=size=1920x1080:rate=25:duration=3 -f lavfi -i sine=duration=3 "
             "-c:v libx264 -preset ultrafast -c:a aac",
             hd));
    ASSERT_TRUE(
        Make("-f lavfi -i testsrc=size=720x480:rate=30000/1001:duration=2 "
             "-f lavfi -i sine=sample_rate=48000:duration=2 -c:v mpeg2video -c:a ac3 -f vob",
             vob));
    ASSERT_TRUE(Make("-f lavfi -i sine=duration=5 -c:a libvorbis", song));

    auto r = Info(dir, hd);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Duration: 00:00:03 (3 s)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("AudioType: PCM"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Size: 1920x1080"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Decoded size: 720x405"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Frame rate: 25.000"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Field order: progressive"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Display aspect: 16:9 (1.778)"), std::string::npos) << r.out;

    r = Info(dir, vob);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("AudioType: AC3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Frame rate: 29.970"), std::string::npos) << r.out;
    // The description of the chain just opened is in the state folder.
    std::string graph = testsupport::ReadText(dir.File("state/kestrova/graph.txt"));
    EXPECT_NE(graph.find("'Demuxer (mpeg)'"), std::string::npos) << graph;

    r = Info(dir, song);
    // Sound alone: the window's probe says there is no video, then lists the file.
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("Unable to open video stream."), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("Size: none"), std::string::npos) << r.out;
}

TEST(MediaInfo, ReportsFieldOrderAndDisplayAspect)
{
    TempDir dir;
    struct SCase {
        const char* name;
        const char* args;
        const char* fields;
        const char* aspect;
    };
    const SCase cases[] = {
        {"tff.mpg", "-vf setsar=32/27 -c:v mpeg2video -flags +ilme+ildct -top 1", "interlaced, top field first",
         "16:9 (1.778)"},
        {"bff.mkv", "-vf setsar=8/9 -c:v libx264 -flags +ilme+ildct -top 0", "interlaced, bottom field first",
         "4:3 (1.333)"},
        {"scope.mp4", "-vf scale=1920:804,setsar=1 -c:v libx264", "progressive", "2.39:1 (2.388)"},
        {"phone.mp4", "-vf scale=1080:1920,setsar=1 -c:v libx264", "progressive", "9:16 (0.562)"},
    };
    for (const SCase& c : cases) {
        const std::string file = dir.File(c.name);
        ASSERT_TRUE(Make("-f lavfi -i testsrc2=size=720x480:rate=25:duration=1 " + std::string(c.args), file));
        auto r = Info(dir, file);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("Field order: ") + c.fields + "\n"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(std::string("Display aspect: ") + c.aspect + "\n"), std::string::npos) << r.out;
    }
}

TEST(MediaInfo, RefusesGarbageAndMissingFilesNamingThem)
{
    TempDir dir;
    std::string junk = dir.File("junk.avi");
    std::vector<uint8_t> bytes(20000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 7));
    testsupport::WriteBytes(junk, bytes);
    for (const std::string& file : {junk, dir.File("missing.mpg")}) {
        auto r = Info(dir, file);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("Unable to open the video file of " + file), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(MediaInfo, SlideShowProjectsCountTheirPhotoTimes)
{
    TempDir dir;
    std::string project = dir.File("show.osh"), other = dir.File("other.osh");
    testsupport::WriteText(project,
                           "[General]\nID=OrvoPhotoShow\nPhotoCount=3\nMusicCount=0\n\n"
                           "[Photo1]\nPath=a.jpg\nShowingTime=4\nTransitionTime=1\n\n"
                           "[Photo2]\nPath=b.jpg\n\n"
                           "[Photo3]\nPath=c.jpg\nShowingTime=10\nTransitionTime=3\n\n");
    testsupport::WriteText(other, "[General]\nID=Something\nPhotoCount=3\n\n");
    auto r = Info(dir, project);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // 4 + 1, the defaults 5 + 2, and 10 + 3.
    EXPECT_NE(r.out.find("Duration: 00:00:25 (25 s)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("AudioType: PCM"), std::string::npos) << r.out;
    r = Info(dir, other);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Unable to determine the duration of " + other), std::string::npos) << r.err;
}
