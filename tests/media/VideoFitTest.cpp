// Video files made ready for DVD titles: field order read from the files, the source's
// display aspect kept inside the title's frame, frame-rate conversion of every common
// rate and of variable-rate files, and ranges exact to the picture and the sample.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "MediaTestFiles.h"
#include "media/DirectShowAV.h"
#include "media/VideoSourceTester.h"

using mediatest::MakeMedia;
using testsupport::TempDir;

namespace {

constexpr double kNtsc = 30000.0 / 1001.0;

// Opens `file` for its pictures alone.
bool OpenVideo(CDirectShowAV& av, const std::string& file)
{
    av.wantAudio = false;
    av.writeGraph = false;
    return av.Open(file, true);
}

struct SFieldCase {
    const char* name;
    const char* args;
    bool interlaced;
    bool topFieldFirst;
};

double MeanLumaOf(const CYUV420Image& p, int x0, int y0, int w, int h)
{
    double sum = 0;
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) sum += p.planeY[y * p.lumaStride + x];
    return sum / (double(w) * h);
}

// The first and last rows and columns whose luma is well above black.
void PictureBounds(const CYUV420Image& p, int& top, int& bottom, int& left, int& right)
{
    top = left = 1 << 30;
    bottom = right = -1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.planeY[y * p.lumaStride + x] > 100) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
}

// A clip of white pictures of `size` with the sample aspect `sar` (ffmpeg's rawvideo
// keeps it in NUT).
std::string WhiteClip(const TempDir& dir, const std::string& name, const std::string& size, const std::string& sar)
{
    const std::string out = dir.File(name + ".nut");
    MakeMedia(
        "-f lavfi -i color=c=white:s=" + size + ":r=25:d=0.2 -vf setsar=" + sar + " -c:v rawvideo -pix_fmt yuv420p",
        out);
    return out;
}

// Source picture numbers, coded as luma 16 + 2 * n (n < 110) in raw pictures.
std::string NumberedClip(const TempDir& dir, const std::string& name, const std::string& rate, double seconds)
{
    const std::string out = dir.File(name + ".nut");
    MakeMedia("-f lavfi -i \"color=c=black:s=32x32:r=" + rate + ",geq=lum='16+2*N':cb=128:cr=128\" -t " +
                  std::to_string(seconds) + " -c:v rawvideo -pix_fmt yuv420p",
              out);
    return out;
}

// Reads every output picture; the source picture number of each.
std::vector<int> OutputNumbers(CDirectShowAV& av)
{
    std::vector<int> seen;
    CYUV420Image picture;
    while (av.GetFrame(picture) && seen.size() < 100000)
        seen.push_back(int(std::lround((picture.planeY[16 * picture.lumaStride + 16] - 16) / 2.0)));
    return seen;
}

// Checks that `seen` (outputs at `target`) shows source pictures at `rate` in order,
// each first shown within one output frame of its own time, and that the count fits
// `seconds` of source.
void CheckTiming(const std::vector<int>& seen, double rate, double target, double seconds, const std::string& what)
{
    EXPECT_NEAR(double(seen.size()), std::round(seconds * target), 1.0) << what;
    for (size_t k = 1; k < seen.size(); ++k) {
        ASSERT_GE(seen[k], seen[k - 1]) << what << " output " << k;
        if (seen[k] == seen[k - 1]) continue;
        const double shownAt = double(k) / target, sourceAt = seen[k] / rate;
        ASSERT_NEAR(shownAt, sourceAt, 1.0 / target + 1e-6) << what << " picture " << seen[k];
    }
}

}  // namespace

TEST(VideoFit, FieldOrderComesFromTheFilesHeadersAndPictures)
{
    TempDir dir;
    const std::string src = "-f lavfi -i testsrc2=s=320x240:r=25:d=0.4 ";
    const SFieldCase cases[] = {
        {"tff.mpg", "-c:v mpeg2video -flags +ilme+ildct -top 1", true, true},
        {"bff.mpg", "-c:v mpeg2video -flags +ilme+ildct -top 0", true, false},
        {"progressive.m2v", "-c:v mpeg2video", false, false},
        {"tff.mp4", "-c:v libx264 -flags +ilme+ildct -top 1", true, true},
        // FFmpeg calls this stream top field first; its pictures say otherwise.
        {"bff.mp4", "-c:v libx264 -flags +ilme+ildct -top 0", true, false},
        {"bff.mkv", "-vf setfield=bff -c:v libx264 -flags +ilme+ildct -x264opts bff=1", true, false},
        {"progressive.mp4", "-c:v libx264", false, false},
        {"dv.avi", "-vf scale=720:480,fps=30000/1001 -c:v dvvideo -pix_fmt yuv411p", true, false},
        {"dv.mov", "-vf scale=720:576 -c:v dvvideo -pix_fmt yuv420p", true, false},
    };
    for (const SFieldCase& c : cases) {
        const std::string file = dir.File(c.name);
        ASSERT_TRUE(MakeMedia(src + c.args, file));
        CDirectShowAV av;
        ASSERT_TRUE(OpenVideo(av, file)) << c.name;
        EXPECT_EQ(av.interlaced, c.interlaced) << c.name;
        EXPECT_EQ(av.topFieldFirst, c.topFieldFirst) << c.name;
        EXPECT_EQ(av.progressiveSequence, !c.interlaced) << c.name;
    }
}

TEST(VideoFit, HeaderScanReadsMpegFlagsAndDvHandlers)
{
    // Sequence header (25 frames/s), sequence extension (not progressive) and a picture
    // coding extension of a frame picture, bottom field first, interlaced.
    const uint8_t mpeg[] = {0, 0, 1, 0xB3, 0x2D, 0x01, 0xE0, 0x33, 0,    0, 0,
                            0, 0, 0, 1,    0xB5, 0x14, 0x82, 0x01, 0,    0, 0,
                            0, 0, 1, 0xB5, 0x8F, 0xFF, 0xF3, 0x00, 0x80, 0, 0};
    CVideoSourceTester tester;
    ASSERT_TRUE(tester.ScanMpeg(mpeg, sizeof mpeg));
    EXPECT_DOUBLE_EQ(tester.frameRate, 25.0);
    EXPECT_FALSE(tester.progressiveSequence);
    EXPECT_TRUE(tester.interlaced);
    EXPECT_FALSE(tester.topFieldFirst);
    // Top field first, progressive frame (chroma_420_type set).
    uint8_t tff[sizeof mpeg];
    std::memcpy(tff, mpeg, sizeof mpeg);
    tff[29] = 0x81;
    tff[7] = 0x34;  // 29.97
    CVideoSourceTester second;
    ASSERT_TRUE(second.ScanMpeg(tff, sizeof tff));
    EXPECT_NEAR(second.frameRate, kNtsc, 1e-9);
    EXPECT_FALSE(second.interlaced);
    // No sequence header: nothing known.
    CVideoSourceTester none;
    EXPECT_FALSE(none.ScanMpeg(mpeg + 8, sizeof mpeg - 8));

    std::string avi = "RIFF....AVI LIST....hdrlstrh....vidsDvSd";
    EXPECT_TRUE(CVideoSourceTester::IsDvAvi(reinterpret_cast<const uint8_t*>(avi.data()), avi.size()));
    avi.replace(avi.size() - 4, 4, "XVID");
    EXPECT_FALSE(CVideoSourceTester::IsDvAvi(reinterpret_cast<const uint8_t*>(avi.data()), avi.size()));
}

TEST(VideoFit, DvdTitleRateComesFromItsInformationFile)
{
    TempDir dir;
    std::filesystem::create_directories(dir.File("VIDEO_TS"));
    const std::string vob = dir.File("VIDEO_TS/VTS_01_1.VOB");
    ASSERT_TRUE(MakeMedia("-f lavfi -i testsrc2=s=720x480:r=30000/1001:d=0.3 -c:v mpeg2video -f vob", vob));
    std::vector<uint8_t> ifo(0x400, 0);
    ifo[0x200] = 0x10;  // PAL
    testsupport::WriteBytes(dir.File("VIDEO_TS/VTS_01_0.IFO"), ifo);
    CVideoSourceTester tester;
    // The information file stands for the title's first VOB and decides the rate.
    ASSERT_TRUE(tester.Test(dir.File("VIDEO_TS/VTS_01_0.IFO")));
    EXPECT_EQ(tester.resolvedPath, vob);
    EXPECT_DOUBLE_EQ(tester.frameRate, 25.0);
    ASSERT_TRUE(tester.Test(dir.File("VIDEO_TS")));
    EXPECT_EQ(tester.resolvedPath, vob);
    // A truncated information file leaves the headers' rate.
    testsupport::WriteBytes(dir.File("VIDEO_TS/VTS_01_0.IFO"), std::vector<uint8_t>(0x100, 0));
    ASSERT_TRUE(tester.Test(vob));
    EXPECT_NEAR(tester.frameRate, kNtsc, 1e-9);
    // A missing file is named.
    EXPECT_FALSE(tester.Test(dir.File("missing.mpg")));
    EXPECT_NE(tester.Error().find("missing.mpg"), std::string::npos) << tester.Error();
}

TEST(VideoFit, RegionKeepsTheShapeInsideTheTitleFrame)
{
    struct SRegion {
        double source, title;
        int x, y, w, h;
    };
    const SRegion cases[] = {
        {16.0 / 9, 4.0 / 3, 0, 60, 720, 360},  // letterboxed HD in a 4:3 title
        {16.0 / 9, 16.0 / 9, 0, 0, 720, 480},  // fills a 16:9 title
        {1920.0 / 804, 16.0 / 9, 0, 60, 720, 358},  // 2.39:1 film
        {9.0 / 16, 16.0 / 9, 246, 0, 228, 480},  // upright phone clip
        {1.0, 4.0 / 3, 90, 0, 540, 480},  // square video
        {4.0 / 3, 4.0 / 3, 0, 0, 720, 480},        {0.0, 4.0 / 3, 0, 0, 720, 480},  // unknown shape: the whole frame
    };
    for (const SRegion& c : cases) {
        int x, y, w, h;
        CDirectShowAV::FitRegion(c.source, c.title, 720, 480, false, x, y, w, h);
        EXPECT_EQ(x, c.x) << c.source;
        EXPECT_EQ(y, c.y) << c.source;
        EXPECT_EQ(w, c.w) << c.source;
        EXPECT_EQ(h, c.h) << c.source;
    }
    // Interlaced: whole chroma lines in each field.
    int x, y, w, h;
    CDirectShowAV::FitRegion(1920.0 / 804, 16.0 / 9, 720, 576, true, x, y, w, h);
    EXPECT_EQ(h % 4, 0);
    EXPECT_EQ(y % 4, 0);
    EXPECT_NEAR(h, 576 * (16.0 / 9) / (1920.0 / 804), 4);
}

TEST(VideoFit, PicturesLandInsideBlackBarsWithTheirDisplayAspect)
{
    TempDir dir;
    struct SCase {
        const char* name;
        const char* size;
        const char* sar;
        double title;
        int top, bottom, left, right;  // the picture's rows and columns
    };
    const SCase cases[] = {
        {"hd43", "1920x1080", "1", 4.0 / 3, 60, 419, 0, 719},
        {"hd169", "1920x1080", "1", 16.0 / 9, 0, 479, 0, 719},
        {"scope", "1920x804", "1", 16.0 / 9, 60, 417, 0, 719},
        {"phone", "1080x1920", "1", 16.0 / 9, 0, 479, 246, 473},
        {"square", "480x480", "1", 4.0 / 3, 0, 479, 90, 629},
        {"anamorphic169", "720x480", "32/27", 16.0 / 9, 0, 479, 0, 719},
        {"anamorphic43", "720x480", "32/27", 4.0 / 3, 60, 419, 0, 719},
    };
    for (const SCase& c : cases) {
        CDirectShowAV av;
        ASSERT_TRUE(OpenVideo(av, WhiteClip(dir, c.name, c.size, c.sar))) << c.name;
        av.SetTarget(720, 480, kNtsc);
        av.SetDisplayAspect(c.title);
        av.Run();
        CYUV420Image picture;
        ASSERT_TRUE(av.GetFrame(picture)) << c.name;
        int top, bottom, left, right;
        PictureBounds(picture, top, bottom, left, right);
        EXPECT_NEAR(top, c.top, 1) << c.name;
        EXPECT_NEAR(bottom, c.bottom, 1) << c.name;
        EXPECT_NEAR(left, c.left, 1) << c.name;
        EXPECT_NEAR(right, c.right, 1) << c.name;
        // The bars are video black, the picture white.
        if (c.top > 0) {
            EXPECT_NEAR(MeanLumaOf(picture, 0, 0, 720, c.top - 2), 16.0, 0.01) << c.name;
            EXPECT_NEAR(MeanLumaOf(picture, 0, c.bottom + 2, 720, 479 - c.bottom - 2), 16.0, 0.01) << c.name;
        }
        if (c.left > 0) {
            EXPECT_NEAR(MeanLumaOf(picture, 0, 0, c.left - 2, 480), 16.0, 0.01) << c.name;
            EXPECT_NEAR(MeanLumaOf(picture, c.right + 2, 0, 719 - c.right - 2, 480), 16.0, 0.01) << c.name;
        }
        EXPECT_GT(MeanLumaOf(picture, c.left + 4, c.top + 4, c.right - c.left - 8, c.bottom - c.top - 8), 230)
            << c.name;
        for (int i = 0; i < picture.chromaSize; i += 97) ASSERT_NEAR(picture.planeCb[i], 128, 2) << c.name;
    }
}

TEST(VideoFit, InterlacedSourceIsScaledFieldByField)
{
    TempDir dir;
    // Top field white, bottom field black; interlaced top field first.
    const std::string file = dir.File("fields.mkv");
    ASSERT_TRUE(
        MakeMedia("-f lavfi -i \"color=c=black:s=1920x1080:r=25:d=0.2,geq=lum='if(mod(Y,2),16,235)':cb=128:"
                  "cr=128\" -vf setfield=tff -c:v libx264 -qp 0 -flags +ilme+ildct -top 1",
                  file));
    CDirectShowAV av;
    ASSERT_TRUE(OpenVideo(av, file));
    ASSERT_TRUE(av.interlaced);
    ASSERT_TRUE(av.topFieldFirst);
    av.SetTarget(720, 576, 25.0);
    av.SetDisplayAspect(4.0 / 3);
    av.Run();
    CYUV420Image picture;
    ASSERT_TRUE(av.GetFrame(picture));
    EXPECT_EQ(av.fitY % 4, 0);
    // Inside the picture every top-field line stays white and every bottom-field line
    // black: the fields were neither blended nor swapped.
    for (int y = av.fitY + 8; y < av.fitY + av.fitHeight - 8; ++y) {
        const double luma = MeanLumaOf(picture, 100, y, 500, 1);
        if ((y - av.fitY) % 2 == 0)
            ASSERT_GT(luma, 220) << "line " << y;
        else
            ASSERT_LT(luma, 30) << "line " << y;
    }
}

TEST(VideoFit, EveryCommonRateBecomesPalOrNtscWithPicturesOnTime)
{
    TempDir dir;
    const char* rates[] = {"10", "15", "24000/1001", "24", "25", "30000/1001", "30", "50", "60000/1001"};
    const double seconds = 1.8;  // 108 pictures at the fastest rate
    for (const char* rateText : rates) {
        const std::string file = NumberedClip(dir, "rate", rateText, seconds);
        const double rate = [&] {
            double num = std::atof(rateText);
            const char* slash = std::strchr(rateText, '/');
            return slash ? num / std::atof(slash + 1) : num;
        }();
        for (double target : {25.0, kNtsc}) {
            CDirectShowAV av;
            ASSERT_TRUE(OpenVideo(av, file));
            av.SetTarget(32, 32, target);
            av.Run();
            const std::vector<int> seen = OutputNumbers(av);
            const double length = std::ceil(seconds * rate - 1e-9) / rate;
            CheckTiming(seen, rate, target, length, std::string(rateText) + " to " + std::to_string(target));
        }
    }
}

TEST(VideoFit, VariableRateFilesTakePictureLengthsFromTimeStamps)
{
    TempDir dir;
    // 25 pictures 0.04 s apart, then 25 pictures 0.1 s apart: 3.5 s in all.
    const std::string setpts = "setpts='if(lt(N,25),N*0.04,1+(N-25)*0.1)/TB'";
    for (const char* container : {"mp4", "mkv"}) {
        const std::string file = dir.File(std::string("vfr.") + container);
        ASSERT_TRUE(
            MakeMedia("-f lavfi -i \"color=c=black:s=32x32:r=25,geq=lum='16+2*N':cb=128:cr=128\" -frames:v 50 "
                      "-vf \"" +
                          setpts + "\" -fps_mode vfr -c:v libx264 -qp 0 -bf 0",
                      file));
        CDirectShowAV av;
        ASSERT_TRUE(OpenVideo(av, file));
        av.SetTarget(32, 32, kNtsc);
        av.Run();
        const std::vector<int> seen = OutputNumbers(av);
        EXPECT_NEAR(double(seen.size()), std::round(3.5 * kNtsc), 1.0) << container;
        for (size_t k = 1; k < seen.size(); ++k) {
            if (seen[k] == seen[k - 1]) continue;
            const double sourceAt = seen[k] < 25 ? seen[k] * 0.04 : 1.0 + (seen[k] - 25) * 0.1;
            ASSERT_NEAR(double(k) / kNtsc, sourceAt, 1.0 / kNtsc + 1e-6) << container << " picture " << seen[k];
        }
    }
}

namespace {

// The number (modulo 625) of the source picture in `p`: two base-25 digits, luma
// 16 + 8 * digit in the left and right halves.
int RangeClipNumber(const CYUV420Image& p)
{
    const int low = int(std::lround((p.planeY[16 * p.lumaStride + 8] - 16) / 8.0));
    const int high = int(std::lround((p.planeY[16 * p.lumaStride + 24] - 16) / 8.0));
    return high * 25 + low;
}

}  // namespace

TEST(VideoFit, RangeStartsAtThePictureAndSampleOfItsFirstSecond)
{
    TempDir dir;
    // 632 s at 29.97 with a key picture every second; the sound is a saw tooth whose
    // sample n has the value 0.9 * (n mod 4000) / 4000 of full scale.
    const std::string file = dir.File("long.mkv");
    ASSERT_TRUE(
        MakeMedia("-f lavfi -i \"color=c=black:s=32x32:r=30000/1001:d=632,"
                  "geq=lum='16+8*mod(N,25)*lt(X,16)+8*mod(floor(N/25),25)*gte(X,16)':cb=128:cr=128\" "
                  "-f lavfi -i \"aevalsrc=0.9*mod(n\\,4000)/4000|0.9*mod(n\\,4000)/4000:s=48000:d=632\" "
                  "-c:v libx264 -preset ultrafast -qp 0 -g 30 -c:a flac",
                  file));
    for (bool seek : {true, false}) {
        const std::string what = seek ? "seeking" : "decoding from the start";
        CDirectShowAV av;
        av.writeGraph = false;
        ASSERT_TRUE(av.Open(file, true));
        ASSERT_TRUE(av.canSeek);
        av.canSeek = seek;
        av.SetTarget(32, 32, kNtsc);
        ASSERT_TRUE(av.SetRange(600.0, 630.0));
        EXPECT_EQ(av.duration, 300000000);
        av.Run();
        CYUV420Image picture;
        std::vector<int> seen;
        while (av.GetFrame(picture) && seen.size() < 2000) seen.push_back(RangeClipNumber(picture));
        // 30 s at 29.97: 899 pictures, give or take one, from picture 17982 (shown at
        // 599.9994 s) on.
        EXPECT_NEAR(double(seen.size()), 899.0, 1.0) << what;
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.front(), 17982 % 625) << what;
        EXPECT_EQ(seen.back(), (17982 + int(seen.size()) - 1) % 625) << what;

        std::vector<uint8_t> pcm(8 << 20);
        int32_t total = 0;
        while (int32_t n = av.ReadPcm(65536, pcm.data() + total)) total += n;
        EXPECT_NEAR(total, 30 * 192000, 4) << what;
        // Sample 28,800,000 (600 s) starts the saw tooth's period: 0, 7.4, 14.7, ...
        for (int i = 0; i < 12; ++i) {
            const int16_t left = int16_t(pcm[4 * i] | (pcm[4 * i + 1] << 8));
            ASSERT_NEAR(left, 0.9 * 32767 * i / 4000, 2.0) << what << " sample " << i;
        }
    }
}

TEST(VideoFit, RangeInAProgramStreamStartsAtItsFirstPicture)
{
    TempDir dir;
    // MPEG-2 with B pictures and a key picture every 15 in a program stream: the seek
    // lands on a key picture before the start and the pictures up to it are dropped.
    const std::string file = dir.File("long.mpg");
    ASSERT_TRUE(
        MakeMedia("-f lavfi -i \"color=c=black:s=32x32:r=30000/1001:d=40,"
                  "geq=lum='16+8*mod(N,25)*lt(X,16)+8*mod(floor(N/25),25)*gte(X,16)':cb=128:cr=128\" "
                  "-f lavfi -i sine=sample_rate=48000:duration=40 -c:v mpeg2video -q:v 1 -g 15 -bf 2 -c:a mp2",
                  file));
    CDirectShowAV av;
    av.writeGraph = false;
    ASSERT_TRUE(av.Open(file, true));
    ASSERT_TRUE(av.canSeek);
    av.SetTarget(32, 32, kNtsc);
    ASSERT_TRUE(av.SetRange(20.0, 30.0));
    av.Run();
    CYUV420Image picture;
    std::vector<int> seen;
    while (av.GetFrame(picture) && seen.size() < 1000) seen.push_back(RangeClipNumber(picture));
    // 10 s at 29.97: 300 pictures, give or take one, from picture 599 (shown at 19.987 s).
    EXPECT_NEAR(double(seen.size()), 300.0, 1.0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front(), 599);
    EXPECT_EQ(seen.back(), (599 + int(seen.size()) - 1) % 625);
    std::vector<uint8_t> pcm(4 << 20);
    int32_t total = 0;
    while (int32_t n = av.ReadPcm(65536, pcm.data() + total)) total += n;
    EXPECT_NEAR(total, 10 * 192000, 4);
}

TEST(VideoFit, LongSourcesKeepTheirLengthWithoutDrift)
{
    TempDir dir;
    struct SCase {
        const char* name;
        const char* rate;
        double sourceRate;
        double target;
    };
    // Two minutes each; Matroska's millisecond time stamps make pictures of 16 and 17 ms.
    const SCase cases[] = {
        {"film.mp4", "24000/1001", 24000.0 / 1001.0, kNtsc},
        {"fast.mkv", "60000/1001", 60000.0 / 1001.0, 25.0},
        {"pal.mkv", "25", 25.0, kNtsc},
    };
    for (const SCase& c : cases) {
        const std::string file = dir.File(c.name);
        ASSERT_TRUE(MakeMedia(
            std::string("-f lavfi -i color=c=gray:s=32x32:r=") + c.rate + " -t 120 -c:v libx264 -preset ultrafast",
            file));
        CDirectShowAV av;
        ASSERT_TRUE(OpenVideo(av, file));
        av.SetTarget(32, 32, c.target);
        av.Run();
        CYUV420Image picture;
        int outputs = 0;
        while (av.GetFrame(picture)) ++outputs;
        const double seconds = std::ceil(120.0 * c.sourceRate - 1e-6) / c.sourceRate;
        EXPECT_NEAR(outputs, std::round(seconds * c.target), 1.0) << c.name;
    }
}
