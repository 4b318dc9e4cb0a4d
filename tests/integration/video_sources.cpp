// `kestrova video` over the containers, codecs, sizes, rates, field orders and shapes a
// person brings: each DVD is read back by lsdvd, libdvdnav, FFmpeg and the VOB checker,
// and what each kind of source must keep (AC-3 untouched, field order, proportions) is
// measured on the decoded result.
#include "integration/video_checks.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace testsupport;
using namespace videochecks;

namespace {

// Makes the fixtures in `dir`; the rows' paths in the same order.
std::vector<std::string> Rows(const TempDir& dir, std::initializer_list<EMediaFixture> kinds)
{
    std::vector<std::string> rows;
    for (EMediaFixture kind : kinds) {
        std::string error;
        auto f = MakeMediaFixture(kind, dir.Path().string(), &error);
        EXPECT_FALSE(f.path.empty()) << error;
        rows.push_back(f.path);
    }
    return rows;
}

// The AC-3 frames of a file's first audio stream, copied out by FFmpeg without decoding.
std::vector<std::string> Ac3Frames(const std::string& file, const std::string& scratch)
{
    const std::string out = scratch + "/frames.ac3";
    auto r =
        testsupport::Run("ffmpeg -nostdin -v error -y -i " + Quote(file) + " -map 0:a:0 -c copy -f ac3 " + Quote(out));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    static const int words[19] = {64,  80,  96,  112, 128, 160, 192,  224,  256, 320,
                                  384, 448, 512, 640, 768, 896, 1024, 1152, 1280};
    auto bytes = ReadBytes(out);
    std::vector<std::string> frames;
    size_t at = 0;
    while (at + 5 <= bytes.size() && bytes[at] == 0x0B && bytes[at + 1] == 0x77 && (bytes[at + 4] & 0xC0) == 0 &&
           (bytes[at + 4] & 0x3F) / 2 < 19) {
        size_t size = 2 * size_t(words[(bytes[at + 4] & 0x3F) / 2]);
        if (at + size > bytes.size()) break;
        frames.emplace_back(reinterpret_cast<const char*>(&bytes[at]), size);
        at += size;
    }
    EXPECT_EQ(at, bytes.size()) << file << ": not whole 48 kHz AC-3 frames";
    return frames;
}

// The active picture (inside black bars) of a title's pictures after the first second,
// and the shape it is shown at: width / height on the screen.
double ShownShape(const std::string& videoTs, int vts)
{
    auto vobs = TitleVobs(videoTs, vts);
    if (vobs.empty()) return 0;
    auto r = testsupport::Run("ffmpeg -nostdin -ss 1 -i " + Quote(vobs[0]) +
                              " -frames:v 20 -vf cropdetect=limit=64:round=1:reset=0 -f null - 2>&1");
    int x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    size_t at = r.out.rfind("x1:");
    if (at == std::string::npos || std::sscanf(r.out.c_str() + at, "x1:%d x2:%d y1:%d y2:%d", &x1, &x2, &y1, &y2) != 4)
        return 0;
    std::string size = ProbeTitle(videoTs, vts, "v:0", "stream=width,height,display_aspect_ratio");
    int width = 0, height = 0, darW = 0, darH = 0;
    if (std::sscanf(size.c_str(), "%d,%d,%d:%d", &width, &height, &darW, &darH) != 4) return 0;
    return (double(x2 - x1 + 1) / width * darW) / (double(y2 - y1 + 1) / height * darH);
}

}  // namespace

TEST(VideoSources, ContainersAndCodecsBecomeOneTitleEach)
{
    TempDir dir;
    auto rows = Rows(dir,
                     {EMediaFixture::H264AacMp4, EMediaFixture::Mpeg4Ac3Avi, EMediaFixture::Mpeg2Ps,
                      EMediaFixture::NoAudio, EMediaFixture::Mono22050});
    const std::string dvd = dir.File("dvd");
    auto run = MakeVideoDvd(rows, dvd, "--ntsc --resolution low");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    auto facts = ExpectGoodDvd(dvd, std::vector<double>(rows.size(), kFixtureSeconds), SStandard{false}, rows);
    ASSERT_EQ(facts.size(), rows.size());

    // The AC-3 source keeps its AC-3: the same frames, byte for byte, in the same order.
    const std::string videoTs = dvd + "/VIDEO_TS";
    EXPECT_TRUE(facts[1].ac3);
    EXPECT_EQ(ProbeTitle(videoTs, 2, "a", "stream=codec_name"), "ac3\n");
    auto source = Ac3Frames(rows[1], dir.Path().string());
    auto title = Ac3Frames(TitleVobs(videoTs, 2)[0], dir.Path().string());
    ASSERT_FALSE(title.empty());
    EXPECT_GE(title.size() + 2, source.size());  // the title may end a frame or two early
    auto found = std::search(source.begin(), source.end(), title.begin(), title.end());
    EXPECT_TRUE(found != source.end()) << "the title's " << title.size()
                                       << " AC-3 frames are not a run of the source's " << source.size();
    // The others become the DVD's default audio, and the file without audio gets silence.
    for (int vts : {1, 3, 4, 5}) {
        EXPECT_FALSE(facts[size_t(vts - 1)].ac3) << vts;
        EXPECT_EQ(ProbeTitle(videoTs, vts, "a", "stream=codec_name,sample_rate"), "mp2,48000\n") << vts;
    }
    auto level = testsupport::Run("ffmpeg -nostdin -i " + Quote(TitleVobs(videoTs, 4)[0]) +
                                  " -map 0:a -af volumedetect -f null - 2>&1 | grep max_volume");
    size_t at = level.out.find("max_volume: ");
    ASSERT_NE(at, std::string::npos) << level.out;
    EXPECT_LE(std::atof(level.out.c_str() + at + 12), -60.0) << level.out;
}

TEST(VideoSources, SizesAndFrameRatesAreConverted)
{
    TempDir dir;
    auto rows = Rows(
        dir, {EMediaFixture::FullHd51, EMediaFixture::Vga15, EMediaFixture::Film23976, EMediaFixture::VariableRate});
    for (SStandard standard : {SStandard{false}, SStandard{true}}) {
        SCOPED_TRACE(standard.pal ? "PAL" : "NTSC");
        const std::string dvd = dir.File(standard.pal ? "pal" : "ntsc");
        auto run = MakeVideoDvd(rows, dvd, std::string(standard.Option()) + " --resolution low");
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        auto facts = ExpectGoodDvd(dvd, std::vector<double>(rows.size(), kFixtureSeconds), standard, rows);
        // Whole pictures repeated or dropped: the title's own picture count is its length.
        for (size_t i = 0; i < facts.size(); ++i)
            EXPECT_NEAR(facts[i].pictures, kFixtureSeconds / standard.FrameSeconds(), 1.01) << rows[i];
        const std::string size = standard.pal ? "352,288\n" : "352,240\n";
        for (int vts = 1; vts <= 4; ++vts)
            EXPECT_EQ(ProbeTitle(dvd + "/VIDEO_TS", vts, "v:0", "stream=width,height"), size) << vts;
    }
}

TEST(VideoSources, InterlacedSourcesKeepTheirFieldOrder)
{
    TempDir dir;
    auto rows = Rows(dir, {EMediaFixture::InterlacedTff, EMediaFixture::InterlacedBff});
    const std::string dvd = dir.File("dvd");
    auto run = MakeVideoDvd(rows, dvd, "--pal --resolution high");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectGoodDvd(dvd, {kFixtureSeconds, kFixtureSeconds}, SStandard{true}, rows);
    const std::string videoTs = dvd + "/VIDEO_TS";
    int vts = 1;
    for (const char* order : {"tt", "bb"}) {
        SCOPED_TRACE(order);
        EXPECT_EQ(ProbeTitle(videoTs, vts, "v:0", "stream=width,height,field_order"),
                  std::string("720,576,") + order + "\n");
        // Every picture is coded interlaced with the source's first field first.
        auto frames = ProbeMedia(TitleVobs(videoTs, vts)[0], "frame=interlaced_frame,top_field_first", "v:0");
        const std::string each = std::string("1,") + (order[0] == 't' ? "1" : "0") + "\n";
        size_t count = 0;
        for (size_t at = 0; (at = frames.find(each, at)) != std::string::npos; at += each.size()) ++count;
        EXPECT_EQ(count * each.size(), frames.size()) << frames.substr(0, 200);
        EXPECT_GE(count, 70u);
        ++vts;
    }
}

TEST(VideoSources, ShapesAreFittedWithBarsNeverStretched)
{
    TempDir dir;
    auto rows = Rows(dir,
                     {EMediaFixture::Scope239, EMediaFixture::Upright916, EMediaFixture::Square,
                      EMediaFixture::FullHd51, EMediaFixture::Vga15});
    const double shapes[] = {860.0 / 360, 360.0 / 640, 1.0, 16.0 / 9, 4.0 / 3};
    for (SStandard standard : {SStandard{false}, SStandard{true}}) {
        SCOPED_TRACE(standard.pal ? "PAL, low resolution" : "NTSC, high resolution");
        const std::string dvd = dir.File(standard.pal ? "pal" : "ntsc");
        auto run = MakeVideoDvd(
            rows, dvd, std::string(standard.Option()) + (standard.pal ? " --resolution low" : " --resolution high"));
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        ExpectGoodDvd(dvd, std::vector<double>(rows.size(), kFixtureSeconds), standard, rows);
        const std::string videoTs = dvd + "/VIDEO_TS";
        for (int vts = 1; vts <= 5; ++vts) {
            double shown = ShownShape(videoTs, vts);
            EXPECT_NEAR(shown / shapes[vts - 1], 1.0, 0.04)
                << rows[size_t(vts - 1)] << " is shown at " << shown << ":1 instead of " << shapes[vts - 1];
            // The bars are video black (Y 16): a strip at the edge the bars are on.
            if (vts > 3) continue;
            const std::string strip = vts == 1 ? "crop=iw:ih/16:0:0" : "crop=iw/16:ih:0:0";
            auto bar = testsupport::Run("ffmpeg -nostdin -v error -ss 1 -i " + Quote(TitleVobs(videoTs, vts).at(0)) +
                                        " -frames:v 1 -vf " + strip +
                                        ",signalstats,metadata=print:key=lavfi.signalstats.YAVG:file=- -f null - | "
                                        "grep -o 'YAVG=[0-9.]*'");
            const double level = std::atof(bar.out.c_str() + std::min<size_t>(5, bar.out.size()));
            EXPECT_NEAR(level, 16.0, 2.0) << rows[size_t(vts - 1)] << ": the bars are at Y " << bar.out;
        }
        // The wide sources make wide titles.
        EXPECT_EQ(ProbeTitle(videoTs, 1, "v:0", "stream=display_aspect_ratio"), "16:9\n");
        EXPECT_EQ(ProbeTitle(videoTs, 4, "v:0", "stream=display_aspect_ratio"), "16:9\n");
    }
}
