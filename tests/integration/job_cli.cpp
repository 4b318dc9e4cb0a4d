// `kestrova slideshow PROJECT.osh` as the whole DVD job: the sample album into the
// default DVD folder (NTSC, 4:3, Layer II), a tiny album in PAL 16:9 with linear PCM, the
// replace question without --yes and at a terminal, and Ctrl-C during the encoding. Every folder is read
// back by lsdvd, libdvdnav and FFmpeg, and the IFO's attributes are checked.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string Kestrova() { return Quote(CliPath()); }

void ExpectPlays(const std::string& dvd, int titleSets)
{
    auto lsdvd = testsupport::Run("lsdvd " + Quote(dvd) + " 2>/dev/null");
    EXPECT_EQ(lsdvd.exitCode, 0) << lsdvd.out;
    EXPECT_NE(lsdvd.out.find("Title: 0" + std::to_string(titleSets) + ","), std::string::npos) << lsdvd.out;
    auto play = testsupport::Run(ToolPath("dvdnav_play") + " " + Quote(dvd));
    EXPECT_EQ(play.exitCode, 0) << play.out << play.err;
    EXPECT_NE(play.out.find("VTS " + std::to_string(titleSets) + "\n"), std::string::npos) << play.out;
    EXPECT_NE(play.out.find("STOP"), std::string::npos) << play.out;
    EXPECT_EQ(play.out.find("ERROR"), std::string::npos) << play.out;
}

void ExpectDecodes(const std::string& vob, const std::string& audioCodec)
{
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -f null - 2>&1");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.out, "") << vob;
    auto probe = testsupport::Run("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Quote(vob));
    EXPECT_NE(probe.out.find("mpeg2video"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find(audioCodec), std::string::npos) << probe.out;
}

// The title set's video attributes (TV system, aspect) and first audio stream's coding.
struct Attributes {
    int tvSystem = -1;  // 0 NTSC, 1 PAL
    int aspect = -1;  // 0 4:3, 3 16:9
    int audioCoding = -1;  // 2 MPEG-1, 4 LPCM
};

Attributes ReadAttributes(const std::string& ifo)
{
    auto bytes = ReadBytes(ifo);
    Attributes a;
    if (bytes.size() < 0x206) return a;
    a.tvSystem = (bytes[0x200] >> 4) & 3;
    a.aspect = (bytes[0x200] >> 2) & 3;
    a.audioCoding = (bytes[0x204] >> 5) & 7;
    return a;
}

std::string TinyProject(const TempDir& dir, int firstPhotoSeconds)
{
    const std::string d = DataDir() + "/sample/";
    WriteText(dir.File("tiny.osh"),
              "[General]\nID=OrvoPhotoShow\nPhotoCount=2\nMusicCount=1\n\n"
              "[Photo1]\nPath=" +
                  d + "sunset.jpg\nWavePath=" + d + "narration.wav\nShowingTime=" + std::to_string(firstPhotoSeconds) +
                  "\nTransitionTime=1\nKenBurns=ZoomOut\nTransitionType=CircleIn\n\n"
                  "[Photo2]\nPath=" +
                  d +
                  "town.jpg\nWavePath=NONE\nShowingTime=2\nTransitionTime=1\n"
                  "KenBurns=PanLeft\nTransitionType=Blend\n\n"
                  "[Music1]\nPath=" +
                  d + "music.mp3\n\n");
    return dir.File("tiny.osh");
}

TEST(JobCli, SampleAlbumIntoTheDefaultFolderThenKeptWithoutYes)
{
    TempDir home;
    const std::string env = "HOME=" + Quote(home.Path().string()) + " XDG_CONFIG_HOME=" + Quote(home.File("config")) +
        " XDG_STATE_HOME=" + Quote(home.File("state")) + " ";
    auto run =
        testsupport::Run(env + Kestrova() + " slideshow " + Quote(DataDir() + "/sample/album.osh") + " </dev/null");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    const std::string dvd = home.File("TempDVD");
    EXPECT_NE(run.out.find("Watch it with: mpv --dvd-device=" + dvd + " dvd://"), std::string::npos) << run.out;
    EXPECT_TRUE(std::regex_search(run.out, std::regex(R"(Made in [0-9.]+ s, [0-9.]+ seconds of show)"))) << run.out;
    EXPECT_NE(run.err.find("kestrova iso " + dvd), std::string::npos) << run.err;
    EXPECT_TRUE(fs::is_directory(dvd + "/AUDIO_TS"));
    EXPECT_TRUE(fs::is_empty(dvd + "/AUDIO_TS"));

    const std::string videoTs = dvd + "/VIDEO_TS/";
    ExpectPlays(dvd, 1);
    ExpectDecodes(videoTs + "VTS_01_1.VOB", "mp2");
    Attributes a = ReadAttributes(videoTs + "VTS_01_0.IFO");
    EXPECT_EQ(a.tvSystem, 0);
    EXPECT_EQ(a.aspect, 0);
    EXPECT_EQ(a.audioCoding, 2);

    // Without --yes and without a terminal the DVD is kept, and every byte stays.
    const auto ifo = ReadBytes(videoTs + "VIDEO_TS.IFO");
    const auto vob = ReadBytes(videoTs + "VTS_01_1.VOB");
    auto again = testsupport::Run(env + Kestrova() + " slideshow " + Quote(DataDir() + "/sample/album.osh") +
                                  " --lpcm </dev/null");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.err.find("A DVD Video already exists under"), std::string::npos) << again.err;
    EXPECT_NE(again.err.find("--yes"), std::string::npos) << again.err;
    EXPECT_EQ(ReadBytes(videoTs + "VIDEO_TS.IFO"), ifo);
    EXPECT_EQ(ReadBytes(videoTs + "VTS_01_1.VOB"), vob);
}

TEST(JobCli, PalWideLinearPcmAndASecondTitleSet)
{
    TempDir dir;
    const std::string project = TinyProject(dir, 2);
    const std::string dvd = dir.File("pal dvd");
    auto run = testsupport::Run(Kestrova() + " slideshow " + Quote(project) + " --out " + Quote(dvd) +
                                " --pal --aspect 16:9 --lpcm --resolution medium");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    // The second title set through the old spelling of the option, replacing with --yes.
    run = testsupport::Run(Kestrova() + " slideshow " + Quote(project) + " --out " + Quote(dvd + "/VIDEO_TS/") +
                           " --pal --aspect 16:9 --lpcm --resolution medium --title-set 2 --yes");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;

    const std::string videoTs = dvd + "/VIDEO_TS/";
    for (const char* ifo : {"VTS_01_0.IFO", "VTS_02_0.IFO"}) {
        Attributes a = ReadAttributes(videoTs + ifo);
        EXPECT_EQ(a.tvSystem, 1) << ifo;
        EXPECT_EQ(a.aspect, 3) << ifo;
        EXPECT_EQ(a.audioCoding, 4) << ifo;
    }
    auto lsdvd = testsupport::Run("lsdvd -v " + Quote(dvd) + " 2>/dev/null");
    EXPECT_NE(lsdvd.out.find("PAL"), std::string::npos) << lsdvd.out;
    EXPECT_NE(lsdvd.out.find("16/9"), std::string::npos) << lsdvd.out;
    ExpectPlays(dvd, 2);
    ExpectDecodes(videoTs + "VTS_02_1.VOB", "pcm_dvd");
    auto size = testsupport::Run("ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=p=0 " +
                                 Quote(videoTs + "VTS_01_1.VOB"));
    EXPECT_EQ(size.out.substr(0, 8), "352,576,") << size.out;
}

TEST(JobCli, BadOptionsAndAFolderThatCannotBeWritten)
{
    TempDir dir;
    const std::string project = TinyProject(dir, 2);
    for (const char* bad : {"--footage 0", "--footage 100", "--title-set x", "--aspect 5:4", "--resolution ultra",
                            "--disc-size lots", "--intra-matrix 0820zz", "--pal --ntsc"}) {
        auto r = testsupport::Run(Kestrova() + " slideshow " + Quote(project) + " --out " + Quote(dir.File("dvd")) +
                                  " " + bad);
        EXPECT_EQ(r.exitCode, 1) << bad;
        EXPECT_NE(r.err.find("kestrova: "), std::string::npos) << bad << r.err;
    }
    EXPECT_FALSE(fs::exists(dir.File("dvd")));

    WriteText(dir.File("file"), "x");
    auto r =
        testsupport::Run(Kestrova() + " slideshow " + Quote(project) + " --out " + Quote(dir.File("file") + "/dvd"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Unable to write file: " + dir.File("file") + "/dvd/VIDEO_TS/VIDEO_TS.IFO"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("possibly being used by another program"), std::string::npos) << r.err;
}

TEST(JobCli, AsksAtATerminalBeforeReplacing)
{
    TempDir dir;
    const std::string project = TinyProject(dir, 1);
    const std::string ifo = dir.File("dvd/VIDEO_TS/VIDEO_TS.IFO");
    fs::create_directories(dir.File("dvd/VIDEO_TS"));
    WriteText(ifo, "earlier");
    // `script` gives the program a terminal; the answer is typed into it.
    auto answer = [&](const std::string& typed) {
        return testsupport::Run("printf " + Quote(typed + "\\n") + " | script -qec " +
                                Quote(Kestrova() + " slideshow " + Quote(project) + " --out " + Quote(dir.File("dvd")) +
                                      " --resolution low") +
                                " /dev/null");
    };
    auto no = answer("n");
    EXPECT_EQ(no.exitCode, 1) << no.out;
    EXPECT_NE(no.out.find("[y/N]"), std::string::npos) << no.out;
    EXPECT_EQ(ReadText(ifo), "earlier");
    auto yes = answer("y");
    EXPECT_EQ(yes.exitCode, 0) << yes.out;
    EXPECT_GT(fs::file_size(ifo), 2048u);
    ExpectPlays(dir.File("dvd"), 1);
}

TEST(JobCli, CtrlCKeepsThePicturesCodedSoFar)
{
    TempDir dir;
    const std::string project = TinyProject(dir, 60);
    const std::string dvd = dir.File("dvd");
    const std::string vob = dvd + "/VIDEO_TS/VTS_01_1.VOB";
    // Interrupt once the first packs are in the VOB file (of the new version of the
    // folder, made beside it).
    auto run = testsupport::Run("( " + Kestrova() + " slideshow " + Quote(project) + " --out " + Quote(dvd) +
                                " --resolution low >" + Quote(dir.File("out.txt")) + " 2>" +
                                Quote(dir.File("err.txt")) + " & pid=$!; for i in $(seq 1 1200); do for f in " +
                                Quote(dvd) + "/.VIDEO_TS.part-*/VTS_01_1.VOB; do [ -s \"$f\" ] && break 2; done; " +
                                "sleep 0.05; done; kill -INT $pid; wait $pid; echo rc=$? )");
    EXPECT_NE(run.out.find("rc=130"), std::string::npos) << run.out << ReadText(dir.File("err.txt"));
    const std::string out = ReadText(dir.File("out.txt"));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(out, m, std::regex(R"(title set 1, ([0-9.]+) s of show \(cancelled)"))) << out;
    EXPECT_GT(std::stod(m[1]), 0.0);
    EXPECT_LT(std::stod(m[1]), 30.0);
    ExpectPlays(dvd, 1);
    ExpectDecodes(vob, "mp2");
}

}  // namespace

TEST(JobCli, PhotosBehindALinkLoopOrAnOverlongNameAreShownBlackWithoutLosingTheDvd)
{
    // Such paths used to end the program with an uncaught file-system exception after the
    // DVD already in the folder had been cleared.
    TempDir dir;
    fs::create_symlink("l1.jpg", dir.File("l2.jpg"));
    fs::create_symlink("l2.jpg", dir.File("l1.jpg"));
    const std::string overlong(300, 'x');
    WriteText(dir.File("p.osh"),
              "[General]\nID=OrvoPhotoShow\nPhotoCount=3\nMusicCount=0\n"
              "[Photo1]\nPath=l1.jpg\nShowingTime=1\nTransitionTime=1\n"
              "[Photo2]\nPath=" +
                  overlong +
                  ".jpg\nShowingTime=1\nTransitionTime=1\n"
                  "[Photo3]\nPath=" +
                  DataDir() + "/sample/beach.jpg\nShowingTime=1\nTransitionTime=1\n");
    const std::string env =
        "XDG_STATE_HOME=" + Quote(dir.File("state")) + " XDG_CONFIG_HOME=" + Quote(dir.File("config")) + " ";
    const std::string dvd = dir.File("dvd");
    for (int run = 0; run < 2; ++run) {  // the second run replaces the first DVD
        auto made = testsupport::Run(env + Kestrova() + " slideshow " + Quote(dir.File("p.osh")) + " --out " +
                                     Quote(dvd) + " --yes </dev/null");
        ASSERT_EQ(made.exitCode, 0) << made.err;
        ExpectPlays(dvd, 1);
    }
    auto frames = testsupport::Run(env + Kestrova() + " slideshow " + Quote(dir.File("p.osh")) + " --frames " +
                                   Quote(dir.File("p.y4m")) + " </dev/null");
    EXPECT_EQ(frames.exitCode, 0) << frames.err;
    EXPECT_NE(frames.err.find("photo 1: " + dir.File("l1.jpg") +
                              ": cannot open (Too many levels of symbolic links)"
                              "; shown black"),
              std::string::npos)
        << frames.err;
}
