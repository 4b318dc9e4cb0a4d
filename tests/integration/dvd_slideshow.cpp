// The slide-show DVD folder made by the command-line program, read by programs we did
// not write (lsdvd/libdvdread, libdvdnav, FFmpeg) and by the VOB checker.
#include "support/TestSupport.h"
#include "support/VobChecker.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>

using namespace testsupport;

namespace {

const uint32_t timeOffset = 18418;  // the multiplexer's offset of all times (90 kHz)
const uint32_t framePeriod = 3003;  // 29.97 frames/s

std::string MakeDvd(const std::string& project, const std::string& out, const std::string& extra)
{
    auto r = testsupport::Run(Quote(CliPath()) + " slideshow " + Quote(project) + " --out " + Quote(out) + " " + extra);
    EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    return out + "/VIDEO_TS";
}

// A two-photo album with narration and music from the sample album, about 8 s long.
std::string ShortAlbum(const TempDir& dir)
{
    const std::string d = DataDir() + "/sample/";
    std::string text =
        "[General]\nID=OrvoPhotoShow\nPhotoCount=2\nMusicCount=1\n\n"
        "[Photo1]\nPath=" +
        d + "harbour.png\nWavePath=" + d +
        "narration.wav\n"
        "ShowingTime=3\nTransitionTime=1\nKenBurns=ZoomIn\nTransitionType=Blend\n\n"
        "[Photo2]\nPath=" +
        d +
        "beach.jpg\nWavePath=NONE\n"
        "ShowingTime=3\nTransitionTime=1\nKenBurns=PanRight\nTransitionType=WipeLeft\n\n"
        "[Music1]\nPath=" +
        d + "music.mp3\n\n";
    WriteText(dir.File("short.osh"), text);
    return dir.File("short.osh");
}

std::vector<std::string> Vobs(const std::string& videoTs, int vts)
{
    std::vector<std::string> files;
    for (int i = 1; i <= 9; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/VTS_%02d_%d.VOB", vts, i);
        if (std::filesystem::exists(videoTs + name)) files.push_back(videoTs + name);
    }
    return files;
}

// Stream, timing, buffer and NAV checks of one title set; returns its picture count.
int CheckTitleSet(const std::string& videoTs, int vts, bool lpcm)
{
    auto scan = vobcheck::ScanVobs(Vobs(videoTs, vts));
    int pictures = int(vobcheck::PictureStarts(scan.video).size());
    EXPECT_GT(pictures, 100);
    vobcheck::CheckVideoTimes(scan, timeOffset, framePeriod);
    vobcheck::CheckAudioTimes(scan, lpcm, timeOffset);
    vobcheck::CheckNavPacks(scan, timeOffset + uint32_t(pictures + 1) * framePeriod);
    auto peaks = vobcheck::MeasureBuffers(scan, lpcm, timeOffset, framePeriod, timeOffset);
    EXPECT_LE(peaks.video, 237568);
    EXPECT_LE(peaks.audio, lpcm ? 58 * 1024 : 4096);
    EXPECT_EQ(peaks.lateVideo, 0);
    EXPECT_EQ(peaks.lateAudio, 0);
    EXPECT_FALSE(scan.audio.empty());
    std::string errors;
    for (size_t i = 0; i < scan.errors.size() && i < 12; ++i) errors += scan.errors[i] + "\n";
    EXPECT_TRUE(scan.errors.empty()) << errors;
    return pictures;
}

void ExpectFfmpegDecodes(const std::string& vob, const std::string& audioCodec)
{
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -f null - 2>&1");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.out, "") << vob;
    auto probe =
        testsupport::Run("ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 " + Quote(vob));
    EXPECT_NE(probe.out.find("mpeg2video,video"), std::string::npos) << probe.out;
    EXPECT_NE(probe.out.find(audioCodec + ",audio"), std::string::npos) << probe.out;
    int videoStreams = 0, audioStreams = 0;
    for (size_t at = 0; (at = probe.out.find(",video", at)) != std::string::npos; ++at) ++videoStreams;
    for (size_t at = 0; (at = probe.out.find(",audio", at)) != std::string::npos; ++at) ++audioStreams;
    EXPECT_EQ(videoStreams, 1);
    EXPECT_EQ(audioStreams, 1);
}

int PictureSizeCode(const std::string& ifo)
{
    auto bytes = ReadBytes(ifo);
    return bytes.size() > 0x201 ? (bytes[0x201] >> 3) & 7 : -1;
}

}  // namespace

TEST(DvdSlideshow, SampleAlbumPlaysThroughReadersAndDecoders)
{
    TempDir dir;
    std::string videoTs = MakeDvd(DataDir() + "/sample/album.osh", dir.File("dvd"), "");
    int pictures = CheckTitleSet(videoTs, 1, false);
    ExpectFfmpegDecodes(videoTs + "/VTS_01_1.VOB", "mp2");
    EXPECT_EQ(PictureSizeCode(videoTs + "/VTS_01_0.IFO"), 0);  // 720 x 480

    auto lsdvd = testsupport::Run("lsdvd " + Quote(dir.File("dvd")) + " 2>/dev/null");
    EXPECT_EQ(lsdvd.exitCode, 0);
    std::smatch m;
    std::regex title(R"(Title: 01, Length: (\d\d):(\d\d):(\d\d)\.(\d\d\d) Chapters: 01)");
    ASSERT_TRUE(std::regex_search(lsdvd.out, m, title)) << lsdvd.out;
    double length = std::stoi(m[1]) * 3600 + std::stoi(m[2]) * 60 + std::stoi(m[3]) + std::stoi(m[4]) / 1000.0;
    EXPECT_NEAR(length, pictures * 1001.0 / 30000.0, 0.05);

    auto play = testsupport::Run(ToolPath("dvdnav_play") + " " + Quote(dir.File("dvd")));
    EXPECT_EQ(play.exitCode, 0) << play.out << play.err;
    EXPECT_NE(play.out.find("VTS 1\nTITLE 1 PART 1\n"), std::string::npos) << play.out;
    EXPECT_NE(play.out.find("STOP"), std::string::npos);
    EXPECT_EQ(play.out.find("ERROR"), std::string::npos);
}

TEST(DvdSlideshow, ThreeTitleSetsWithLinearPcmPlayInOrder)
{
    TempDir dir;
    std::string album = ShortAlbum(dir);
    std::string videoTs;
    for (int n = 1; n <= 3; ++n)
        videoTs = MakeDvd(album, dir.File("dvd"), "--lpcm --resolution low --yes --title-set " + std::to_string(n));
    for (int n = 1; n <= 3; ++n) {
        char name[40];
        std::snprintf(name, sizeof name, "/VTS_%02d_1.VOB", n);
        ExpectFfmpegDecodes(videoTs + name, "pcm_dvd");
    }
    CheckTitleSet(videoTs, 2, true);
    EXPECT_EQ(PictureSizeCode(videoTs + "/VTS_01_0.IFO"), 3);  // 352 x 240

    auto play = testsupport::Run(ToolPath("dvdnav_play") + " " + Quote(dir.File("dvd")));
    EXPECT_EQ(play.exitCode, 0) << play.out << play.err;
    size_t v1 = play.out.find("VTS 1\n"), v2 = play.out.find("VTS 2\n"), v3 = play.out.find("VTS 3\n");
    EXPECT_TRUE(v1 < v2 && v2 < v3 && v3 != std::string::npos) << play.out;
    EXPECT_NE(play.out.find("STOP"), std::string::npos);

    auto lsdvd = testsupport::Run("lsdvd " + Quote(dir.File("dvd")) + " 2>/dev/null");
    EXPECT_EQ(lsdvd.exitCode, 0);
    EXPECT_NE(lsdvd.out.find("Title: 03"), std::string::npos) << lsdvd.out;
}

TEST(DvdSlideshow, HalfWidthPictureSizeIsRecordedInTheIfo)
{
    TempDir dir;
    std::string videoTs = MakeDvd(ShortAlbum(dir), dir.File("dvd"), "--resolution medium");
    EXPECT_EQ(PictureSizeCode(videoTs + "/VTS_01_0.IFO"), 2);  // 352 x 480
    CheckTitleSet(videoTs, 1, false);
}

TEST(DvdSlideshow, TitleSetAfterAGapIsRefusedBeforeEncoding)
{
    TempDir dir;
    auto r = testsupport::Run(Quote(CliPath()) + " slideshow " + Quote(ShortAlbum(dir)) + " --out " +
                              Quote(dir.File("dvd")) + " --title-set 2");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("VTS_01_0.IFO"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("dvd/VIDEO_TS/VTS_02_1.VOB")));
}
