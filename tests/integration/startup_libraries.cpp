// FFmpeg's libraries are loaded only by runs that open media: start-up of other
// commands stays free of them, media still opens, and a missing library is named.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/SmallDvd.h"
#include "support/TestSupport.h"

using testsupport::Quote;
using testsupport::TempDir;

namespace {

// The shared libraries a run of the program loaded, from the dynamic loader's trace.
struct Traced {
    testsupport::RunResult run;
    bool Loaded(const std::string& library) const { return run.err.find("library=" + library) != std::string::npos; }
};

Traced RunTraced(const TempDir& dir, const std::string& args)
{
    return {testsupport::Run("XDG_STATE_HOME=" + Quote(dir.File("state")) + " LD_DEBUG=libs " +
                             Quote(testsupport::CliPath()) + " " + args)};
}

const char* const kFfmpeg[] = {"libavcodec", "libavformat", "libavutil", "libswscale", "libswresample"};

}  // namespace

TEST(StartupLibraries, CommandsWithoutMediaLoadNoFfmpegAndMediaStillOpens)
{
    TempDir dir;
    // A project without music: listing it reads no media file.
    const std::string photo = testsupport::DataDir() + "/sample/beach.jpg";
    const std::string project = dir.File("quiet.osh");
    auto made =
        testsupport::Run(Quote(testsupport::CliPath()) + " project create " + Quote(project) + " " + Quote(photo));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    std::filesystem::create_directories(dir.File("folder/VIDEO_TS"));
    // The smallest folder the image command accepts.
    testsupport::WriteSmallDvdIfoFiles(dir.File("folder/VIDEO_TS"), 1);
    testsupport::WriteBytes(dir.File("folder/VIDEO_TS/VTS_01_1.VOB"), std::vector<uint8_t>(2048));

    for (const std::string& args :
         {std::string("--version"), "project info " + Quote(project), std::string("project effects"),
          "iso " + Quote(dir.File("folder")) + " -o " + Quote(dir.File("out.iso"))}) {
        const Traced t = RunTraced(dir, args);
        ASSERT_EQ(t.run.exitCode, 0) << args << "\n" << t.run.out;
        // The trace works (the C library is always loaded) and names no FFmpeg library.
        ASSERT_TRUE(t.Loaded("libc.so")) << args;
        for (const char* library : kFfmpeg) EXPECT_FALSE(t.Loaded(library)) << args << " loads " << library;
    }

    // A file made by ffmpeg opens: the libraries come in on demand.
    const std::string song = dir.File("tone.wav");
    auto r = testsupport::Run("ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=2 " + Quote(song));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Traced info = RunTraced(dir, "media info " + Quote(song));
    ASSERT_EQ(info.run.exitCode, 0) << info.run.out;
    EXPECT_NE(info.run.out.find("Duration: 00:00:02"), std::string::npos) << info.run.out;
    EXPECT_TRUE(info.Loaded("libavformat")) << "media info did not load libavformat";
}

TEST(StartupLibraries, MissingFfmpegIsNamedWhereMediaIsNeeded)
{
    TempDir dir;
    const std::string song = dir.File("tone.wav");
    auto r = testsupport::Run("ffmpeg -nostdin -v error -y -f lavfi -i sine=duration=1 " + Quote(song));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // An empty folder as FFmpeg's home: the file is refused like an unreadable one, and
    // the message says which library and why, instead of a crash.
    const std::string env =
        "XDG_STATE_HOME=" + Quote(dir.File("state")) + " KESTROVA_FFMPEG_LIBDIR=" + Quote(dir.Path().string()) + " ";
    r = testsupport::Run(env + Quote(testsupport::CliPath()) + " media info " + Quote(song));
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const std::string text = r.out + r.err;
    EXPECT_NE(text.find("The FFmpeg library " + dir.Path().string() + "/libavutil.so."), std::string::npos) << text;
    EXPECT_NE(text.find("No such file or directory"), std::string::npos) << text;
    EXPECT_NE(text.find(song), std::string::npos) << text;

    // The library check of sysinfo says the same and fails.
    r = testsupport::Run("HOME=" + Quote(dir.Path().string()) + " XDG_CONFIG_HOME=" + Quote(dir.File("config")) + " " +
                         env + Quote(testsupport::CliPath()) + " sysinfo");
    EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
    const std::string check = r.out + r.err;
    EXPECT_NE(check.find("Kestrova needs the FFmpeg libraries"), std::string::npos) << check;
    EXPECT_NE(check.find("libavutil.so."), std::string::npos) << check;
}
