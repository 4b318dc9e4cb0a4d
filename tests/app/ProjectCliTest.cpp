// The project command of the command-line program, run as a user would run it.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::CliPath;
using testsupport::DataDir;
using testsupport::Quote;
using testsupport::ReadText;
using testsupport::RunResult;
using testsupport::TempDir;
using testsupport::WriteText;

namespace {

class ProjectCli : public testing::Test {
protected:
    // Runs kestrova with its own configuration folder and an English locale.
    RunResult Kestrova(const std::string& arguments)
    {
        return testsupport::Run("env XDG_CONFIG_HOME=" + Quote(config.Path().string()) + " LC_ALL=C LANG=C " +
                                Quote(CliPath()) + " " + arguments);
    }
    // stderr holds exactly one line, which names `file`.
    static void ExpectOneLineNaming(const RunResult& r, const std::string& file)
    {
        EXPECT_NE(r.exitCode, 0);
        EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    }

    TempDir config, dir;
};

TEST_F(ProjectCli, InfoListsTheSampleAlbum)
{
    const std::string album = DataDir() + "/sample/album.osh";
    RunResult r = Kestrova("project info " + Quote(album));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("harbour.png"), std::string::npos);
    EXPECT_NE(r.out.find("show 00:00:06, transition 00:00:02 Blend, motion ZoomIn, narration " + DataDir() +
                         "/sample/narration.wav"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("motion ZoomIn to UpperLeft"), std::string::npos);
    EXPECT_NE(r.out.find("00:01:00  " + DataDir() + "/sample/music.mp3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Total 8 photos, total time: 00:00:58\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Total 1 background musics, total music length: "), std::string::npos);

    r = Kestrova("project info " + Quote(album) + " --lang german");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Insgesamt 8 Fotos, Gesamtdauer: 00:00:58"), std::string::npos) << r.out;
    r = Kestrova("project info " + Quote(album) + " --lang Klingon");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("German"), std::string::npos) << r.err;
}

TEST_F(ProjectCli, InfoRefusesBadFilesInOneLine)
{
    const std::string missing = dir.File("missing.osh");
    ExpectOneLineNaming(Kestrova("project info " + Quote(missing)), missing);

    const std::string other = dir.File("notes.osh");
    WriteText(other, "[General]\nID=SomethingElse\n");
    RunResult r = Kestrova("project info " + Quote(other));
    ExpectOneLineNaming(r, other);
    EXPECT_NE(r.err.find("not a Kestrova"), std::string::npos);

    const std::string binary = dir.File("photo.osh");
    testsupport::WriteBytes(binary, {0xFF, 0xD8, 0xFF, 0xE0, 0, 0x10, '\n', 0xFF});
    ExpectOneLineNaming(Kestrova("project info " + Quote(binary)), binary);

    ExpectOneLineNaming(Kestrova("project info " + Quote(dir.Path().string())), dir.Path().string());
    EXPECT_NE(Kestrova("project info").exitCode, 0);
    EXPECT_NE(Kestrova("project frobnicate").exitCode, 0);
}

TEST_F(ProjectCli, CreateWritesAProjectInfoCanRead)
{
    const std::string a = dir.File("a.jpg"), b = dir.File("b b.png");
    const std::string song = DataDir() + "/sample/music.mp3";
    for (const std::string& f : {a, b}) WriteText(f, "x");
    const std::string out = dir.File("made.osh");
    RunResult r =
        Kestrova("project create " + Quote(out) + " " + Quote(a) + " " + Quote(b) + " --music " + Quote(song) +
                 " --show 4 --transition 1 --effect pUsH"
                 " --motion 'zoomout and panleft'");
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string text = ReadText(out);
    EXPECT_NE(text.find("[Photo2]\nPath=" + b +
                        "\nWavePath=NONE\nShowingTime=4\nTransitionTime=1\n"
                        "KenBurns=ZoomOut and PanLeft\nTransitionType=Push\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[Music1]\nPath=" + song + "\n"), std::string::npos);

    r = Kestrova("project info " + Quote(out));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Total 2 photos, total time: 00:00:10"), std::string::npos) << r.out;

    // An existing project is kept unless --force is given.
    r = Kestrova("project create " + Quote(out) + " " + Quote(a));
    ExpectOneLineNaming(r, out);
    EXPECT_EQ(ReadText(out), text);
    ASSERT_EQ(Kestrova("project create " + Quote(out) + " " + Quote(a) + " --force").exitCode, 0);
    EXPECT_NE(ReadText(out).find("PhotoCount=1"), std::string::npos);
}

TEST_F(ProjectCli, CreateRefusesBadInput)
{
    const std::string a = dir.File("a.jpg");
    WriteText(a, "x");
    const std::string out = dir.File("bad.osh");
    const std::string missing = dir.File("gone.jpg");
    ExpectOneLineNaming(Kestrova("project create " + Quote(out) + " " + Quote(a) + " " + Quote(missing)), missing);
    ExpectOneLineNaming(
        Kestrova("project create " + Quote(out) + " " + Quote(a) + " --music " + Quote(dir.File("gone.mp3"))),
        dir.File("gone.mp3"));
    // A file the media decoder finds no length in is refused like in the window.
    RunResult r = Kestrova("project create " + Quote(out) + " " + Quote(a) + " --music " + Quote(a));
    ExpectOneLineNaming(r, a);
    EXPECT_NE(r.err.find("Unable to determine the duration"), std::string::npos) << r.err;
    r = Kestrova("project create " + Quote(out) + " " + Quote(a) + " --effect Sparkle");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("Sparkle"), std::string::npos);
    EXPECT_NE(r.err.find("RandomDissolve"), std::string::npos);
    EXPECT_NE(Kestrova("project create " + Quote(out) + " " + Quote(a) + " --show 0").exitCode, 0);
    EXPECT_NE(Kestrova("project create " + Quote(out) + " " + Quote(a) + " --transition -1").exitCode, 0);
    EXPECT_NE(Kestrova("project create " + Quote(out) + " " + Quote(a) + " --motion x").exitCode, 0);
    // Nothing was written by any refused run.
    EXPECT_FALSE(std::filesystem::exists(out));
    // "None" is a name, not an unknown one.
    EXPECT_EQ(Kestrova("project create " + Quote(out) + " " + Quote(a) + " --effect none").exitCode, 0);
    EXPECT_NE(ReadText(out).find("TransitionType=None"), std::string::npos);
}

}  // namespace
