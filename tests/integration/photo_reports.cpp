// `kestrova slideshow` on albums with photos it cannot show: each one is named on stderr
// and in the diagnostic log, the summary counts them, GIF and CMYK photos are shown,
// and albums that would give a useless disc are refused before the folder is touched.
#include "support/InkJpeg.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string Kestrova() { return Quote(CliPath()); }

// The environment that keeps the run's settings and log inside `dir`.
std::string Env(const TempDir& dir)
{
    return "XDG_STATE_HOME=" + Quote(dir.File("state")) + " XDG_CONFIG_HOME=" + Quote(dir.File("config")) + " ";
}

// A project of `paths`, one second of showing and one of transition each.
std::string Project(const TempDir& dir, const std::vector<std::string>& paths)
{
    std::string text = "[General]\nID=OrvoPhotoShow\nPhotoCount=" + std::to_string(paths.size()) + "\nMusicCount=0\n\n";
    for (size_t i = 0; i < paths.size(); ++i)
        text += "[Photo" + std::to_string(i + 1) + "]\nPath=" + paths[i] +
            "\nShowingTime=1\nTransitionTime=1\nKenBurns=None\nTransitionType=None\n\n";
    WriteText(dir.File("p.osh"), text);
    return dir.File("p.osh");
}

// The mean luma of the 16 x 16 block at the centre of the first picture of a
// YUV4MPEG2 file of `w` x `h`.
double CentreLuma(const std::string& y4m, int w, int h)
{
    const std::vector<uint8_t> bytes = ReadBytes(y4m);
    const std::string text(bytes.begin(), bytes.end());
    const size_t frame = text.find("FRAME\n");
    if (frame == std::string::npos || bytes.size() < frame + 6 + size_t(w) * h) return -1;
    double sum = 0;
    for (int y = h / 2 - 8; y < h / 2 + 8; ++y)
        for (int x = w / 2 - 8; x < w / 2 + 8; ++x) sum += bytes[frame + 6 + size_t(y) * w + x];
    return sum / 256;
}

}  // namespace

TEST(PhotoReports, PhotosShownBlackAreNamedCountedAndLogged)
{
    TempDir dir;
    WriteText(dir.File("words.jpg"), "not a picture");
    const std::string project =
        Project(dir, {DataDir() + "/sample/beach.jpg", dir.File("missing.jpg"), dir.File("words.jpg")});
    auto run = testsupport::Run(Env(dir) + Kestrova() + " slideshow " + Quote(project) + " --out " +
                                Quote(dir.File("dvd")) + " --resolution low </dev/null");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string missing = "photo 2: " + dir.File("missing.jpg") + ": no such file; shown black";
    const std::string words = "photo 3: " + dir.File("words.jpg") + ": not a picture; shown black";
    EXPECT_NE(run.err.find("kestrova: warning: " + missing + "\n"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("kestrova: warning: " + words + "\n"), std::string::npos) << run.err;
    EXPECT_NE(run.out.find("2 photos could not be shown and are black.\n"), std::string::npos) << run.out;
    const std::string log = ReadText(dir.File("state/kestrova/dvdlog.txt"));
    EXPECT_NE(log.find("Note1=" + missing + "\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Note2=" + words + "\n"), std::string::npos) << log;

    // The video stream says the same.
    auto m2v = testsupport::Run(Env(dir) + Kestrova() + " slideshow " + Quote(project) + " --m2v " +
                                Quote(dir.File("s.m2v")) + " --resolution low </dev/null");
    ASSERT_EQ(m2v.exitCode, 0) << m2v.err;
    EXPECT_NE(m2v.err.find(missing), std::string::npos) << m2v.err;
    EXPECT_NE(m2v.out.find("2 photos could not be shown and are black.\n"), std::string::npos) << m2v.out;
}

TEST(PhotoReports, GifAndCmykPhotosAreShown)
{
    TempDir dir;
    const uint8_t redInk[4] = {255, 0, 0, 255};  // inverted: no cyan, full magenta and yellow, no black
    ASSERT_TRUE(testsupport::WriteInkJpeg(dir.File("print.jpg"), redInk, redInk, false, true));
    // A 2 x 2 white GIF: a table of two colours; the codes clear, 0, 0, 0, 0 (three bits
    // each) and the end (four bits, the table having grown).
    WriteBytes(dir.File("white.gif"),
               {'G', 'I',  'F', '8', '9', 'a', 2, 0, 2, 0, 0x80, 0, 0, 255,  255,  255,  0, 0,
                0,   0x2C, 0,   0,   0,   0,   2, 0, 2, 0, 0,    2, 3, 0x04, 0x80, 0x02, 0, 0x3B});
    for (const char* name : {"print.jpg", "white.gif"}) {
        const std::string project = Project(dir, {dir.File(name)});
        const std::string out = dir.File(std::string(name) + ".y4m");
        auto run = testsupport::Run(Env(dir) + Kestrova() + " slideshow " + Quote(project) + " --frames " + Quote(out) +
                                    " --resolution low </dev/null");
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err.find("shown black"), std::string::npos) << name << ": " << run.err;
        // Red has a luma of about 81, white 235; a black picture 16.
        EXPECT_GT(CentreLuma(out, 352, 240), 70.0) << name;
    }
}

TEST(PhotoReports, UselessAlbumsAreRefusedAndTheDvdKept)
{
    TempDir dir;
    const std::string dvd = dir.File("dvd");
    fs::create_directories(dvd + "/VIDEO_TS");
    WriteText(dvd + "/VIDEO_TS/VIDEO_TS.IFO", "earlier");

    // Photo sections missing behind the count: an empty album.
    WriteText(dir.File("none.osh"), "[General]\nID=OrvoPhotoShow\nPhotoCount=3\nMusicCount=0\n");
    auto none = testsupport::Run(Env(dir) + Kestrova() + " slideshow " + Quote(dir.File("none.osh")) + " --out " +
                                 Quote(dvd) + " --yes </dev/null");
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_NE(none.err.find("No photo is in the list!"), std::string::npos) << none.err;

    // Two photos of 2^31 seconds: a day each is all a project gives, and two days of
    // show cannot fit a DVD at any useful rate. Negative and unreadable times are named.
    WriteText(dir.File("long.osh"),
              "[General]\nID=OrvoPhotoShow\nPhotoCount=2\nMusicCount=0\n\n[Photo1]\nPath=" + DataDir() +
                  "/sample/beach.jpg\nShowingTime=2147483648\nTransitionTime=-4\n\n[Photo2]\nPath=" + DataDir() +
                  "/sample/town.jpg\nShowingTime=2147483648\nTransitionTime=two\n");
    auto longShow = testsupport::Run(Env(dir) + Kestrova() + " slideshow " + Quote(dir.File("long.osh")) + " --out " +
                                     Quote(dvd) + " --yes </dev/null");
    EXPECT_EQ(longShow.exitCode, 1);
    EXPECT_NE(longShow.err.find("photo 1: ShowingTime \"2147483648\" is more than a day; 86400 s is used"),
              std::string::npos)
        << longShow.err;
    EXPECT_NE(longShow.err.find("photo 1: TransitionTime \"-4\" is negative; 0 s is used"), std::string::npos)
        << longShow.err;
    EXPECT_NE(longShow.err.find("photo 2: TransitionTime \"two\" is not a number; 0 s is used"), std::string::npos)
        << longShow.err;
    EXPECT_NE(longShow.err.find("The show (48:00:00) does not fit the disc size of 4700000000 bytes"),
              std::string::npos)
        << longShow.err;
    EXPECT_EQ(ReadText(dvd + "/VIDEO_TS/VIDEO_TS.IFO"), "earlier");
    EXPECT_EQ(std::distance(fs::directory_iterator(dvd + "/VIDEO_TS"), fs::directory_iterator()), 1);
}
