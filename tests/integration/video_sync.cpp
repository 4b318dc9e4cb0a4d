// Audio/video sync of `kestrova video`, measured on the DVD: sources with a white flash
// and a 1 kHz tone at the same instants (23.976 and 25 frames/s) become NTSC and PAL
// titles, whole and from a range that starts on a flash, with and without an audio
// delay of 0.5 s, and every flash must meet its tone within one picture (or 0.5 s
// later with the delay).
#include "integration/video_checks.h"
#include "support/AvSync.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace testsupport;
using namespace videochecks;

namespace {

struct SRow {
    std::string source;
    std::string rate;
    double start = 0;  // the range in the source, seconds
    double end = 0;
    std::string Text() const { return source + "@" + std::to_string(int(start)) + "-" + std::to_string(int(end)); }
};

// One DVD from the three rows, and each title's measurement against the expected
// offset; `delay` is the audio delay asked of the job.
void MakeAndMeasure(const std::vector<SRow>& rows, SStandard standard, double delay, const TempDir& dir)
{
    const std::string dvd = dir.File(std::string(standard.pal ? "pal" : "ntsc") + (delay > 0 ? "_late" : ""));
    std::vector<std::string> texts;
    std::vector<double> ranges;
    for (const auto& row : rows) {
        texts.push_back(row.Text());
        ranges.push_back(row.end - row.start);
    }
    std::string options = std::string(standard.Option()) + " --resolution low";
    if (delay > 0) options += " --audio-delay " + std::to_string(delay);
    auto run = MakeVideoDvd(texts, dvd, options);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectGoodDvd(dvd, ranges, standard, texts);

    const double frameMs = standard.FrameSeconds() * 1000;
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(texts[i] + (standard.pal ? " PAL" : " NTSC") + " audio delay " + std::to_string(delay));
        const double interval = SyncInterval(rows[i].rate);
        auto m = avsync::MeasureSync(TitleVobs(dvd + "/VIDEO_TS", int(i) + 1), dir.Path().string(), interval);
        ASSERT_TRUE(m.ok) << m.error;
        // The figures go to the log whether or not the title passes.
        double low = 1e9, high = -1e9;
        for (const auto& p : m.pairs) {
            low = std::min(low, p.offsetMs);
            high = std::max(high, p.offsetMs);
        }
        std::printf("sync %s %s delay %.1f s: %zu flashes, %zu pairs, tone - flash %+.1f .. %+.1f ms\n",
                    texts[i].substr(texts[i].rfind('/') + 1).c_str(), standard.pal ? "PAL" : "NTSC", delay,
                    m.flashes.size(), m.pairs.size(), low, high);
        // Every flash of the range is on the DVD and has its tone.
        int flashes = int((rows[i].end - rows[i].start - 0.2) / interval) + 1;
        EXPECT_GE(int(m.flashes.size()), flashes) << m.Text();
        EXPECT_EQ(m.pairs.size(), m.flashes.size()) << m.Text();
        EXPECT_LE(m.WorstDeviationMs(delay * 1000), frameMs)
            << "flash to tone should be " << delay * 1000 << " ms within " << frameMs << " ms\n"
            << m.Text();
        // A range that starts on a flash starts with that flash as its first picture.
        if (rows[i].start > 0 && !m.flashes.empty()) {
            EXPECT_NEAR(m.flashes[0], m.firstPicture, 0.001) << "the range does not start at its first second\n"
                                                             << m.Text();
        }
    }
}

}  // namespace

TEST(VideoSync, FlashAndToneStayTogetherInNtscAndPal)
{
    TempDir dir;
    std::string error;
    const std::string film = MakeSyncSource(dir.Path().string(), "24000/1001", 6.5, &error);
    ASSERT_FALSE(film.empty()) << error;
    const std::string pal = MakeSyncSource(dir.Path().string(), "25", 10.5, &error);
    ASSERT_FALSE(pal.empty()) << error;
    // 23.976 and 25 frames/s whole (6 s), and 25 frames/s from 4 s, where a flash is.
    const std::vector<SRow> rows = {{film, "24000/1001", 0, 6}, {pal, "25", 0, 6}, {pal, "25", 4, 10}};
    for (SStandard standard : {SStandard{false}, SStandard{true}}) MakeAndMeasure(rows, standard, 0, dir);
}

TEST(VideoSync, AnAudioDelayMovesTheToneByHalfASecond)
{
    TempDir dir;
    std::string error;
    const std::string film = MakeSyncSource(dir.Path().string(), "24000/1001", 6.5, &error);
    ASSERT_FALSE(film.empty()) << error;
    const std::string pal = MakeSyncSource(dir.Path().string(), "25", 10.5, &error);
    ASSERT_FALSE(pal.empty()) << error;
    const std::vector<SRow> rows = {{film, "24000/1001", 0, 6}, {pal, "25", 0, 6}, {pal, "25", 4, 10}};
    for (SStandard standard : {SStandard{false}, SStandard{true}}) MakeAndMeasure(rows, standard, 0.5, dir);
}

namespace {

// Compares each picture of a title with the source picture it must show: picture k of
// a title whose range starts at source picture `first` is source picture first + k.
void ExpectPicturesInStep(const std::string& dvd, int vts, const std::string& source, int first, int expected,
                          const std::string& scratch)
{
    std::vector<double> times, title, sourceTimes, own;
    std::string error;
    ASSERT_TRUE(avsync::PictureBrightness(TitleVobs(dvd + "/VIDEO_TS", vts), scratch, times, title, &error)) << error;
    ASSERT_TRUE(avsync::PictureBrightness({source}, scratch, sourceTimes, own, &error)) << error;
    EXPECT_NEAR(double(title.size()), double(expected), 1.0);
    std::string wrong;
    int wrongCount = 0;
    for (size_t k = 0; k < title.size() && first + k < own.size(); ++k) {
        if (std::fabs(title[k] - own[first + k]) <= 3) continue;
        if (++wrongCount <= 6) {
            char line[120];
            std::snprintf(line, sizeof line, "picture %zu shows Y %.1f, source picture %zu has %.1f\n", k, title[k],
                          first + k, own[first + k]);
            wrong += line;
        }
    }
    EXPECT_EQ(wrongCount, 0) << "title set " << vts << " is not the source picture for picture:\n" << wrong;
}

}  // namespace

TEST(VideoSync, PicturesFollowTheSourceOneForOne)
{
    TempDir dir;
    std::string error;
    const std::string ntsc = MakeCountingSource(dir.Path().string(), "30000/1001", 3.5, &error);
    ASSERT_FALSE(ntsc.empty()) << error;
    const std::string pal = MakeCountingSource(dir.Path().string(), "25", 3.5, &error);
    ASSERT_FALSE(pal.empty()) << error;

    auto run = MakeVideoDvd({ntsc}, dir.File("ntsc"), "--ntsc --resolution low");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectPicturesInStep(dir.File("ntsc"), 1, ntsc, 0, 105, dir.Path().string());
    // The range from 1 s starts with source picture 25, the one shown at 1 s.
    run = MakeVideoDvd({pal, pal + "@1-3"}, dir.File("pal"), "--pal --resolution low");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectPicturesInStep(dir.File("pal"), 1, pal, 0, 88, dir.Path().string());
    ExpectPicturesInStep(dir.File("pal"), 2, pal, 25, 50, dir.Path().string());
}
