// The tools of the video-to-DVD tests proved on their own: the generated sources are
// what they claim to be (FFmpeg's prober reads codec, rate, field order and shape back),
// and the sync measurement finds FFmpeg's own DVD encodes in sync and an audio stream
// moved by 0.5 s moved by 0.5 s.
#include "support/AvSync.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace testsupport;

TEST(VideoSyncAnalyser, FindsOnsetsAndFlashesInMadeUpData)
{
    std::vector<short> samples(48000 * 3, 0);
    // Two tones at 0.5 s and 2.0 s, with a faint hum before the first that stays under
    // the threshold, and a tone 0.1 s after the second that is part of the same beep.
    for (int i = 0; i < 24000; ++i) samples[size_t(i)] = short(i % 2 ? 2000 : -2000);
    for (int start : {24000, 96000, 100800})
        for (int i = 0; i < 2400; ++i) samples[size_t(start + i)] = short(i % 2 ? 20000 : -20000);
    auto onsets = avsync::ToneOnsets(samples, 48000);
    ASSERT_EQ(onsets.size(), 2u);
    EXPECT_DOUBLE_EQ(onsets[0], 0.5);
    EXPECT_DOUBLE_EQ(onsets[1], 2.0);
    EXPECT_TRUE(avsync::ToneOnsets(std::vector<short>(4800, 300), 48000).empty());

    std::vector<double> times, brightness;
    for (int i = 0; i < 100; ++i) {
        times.push_back(i / 25.0);
        brightness.push_back(i == 10 || i == 11 || i == 60 ? 235 : 16 + i % 3);
    }
    auto flashes = avsync::FlashStarts(times, brightness);
    ASSERT_EQ(flashes.size(), 2u);  // a repeated white picture is one flash
    EXPECT_DOUBLE_EQ(flashes[0], 0.4);
    EXPECT_DOUBLE_EQ(flashes[1], 2.4);
    EXPECT_TRUE(avsync::FlashStarts(times, std::vector<double>(100, 120)).empty());
}

TEST(VideoSyncAnalyser, FfmpegDvdEncodesMeasureInSyncAndShifted)
{
    TempDir dir;
    for (const std::string rate : {"24000/1001", "25"}) {
        SCOPED_TRACE(rate);
        std::string error;
        const std::string source = MakeSyncSource(dir.Path().string(), rate, 7, &error);
        ASSERT_FALSE(source.empty()) << error;
        const double interval = SyncInterval(rate);
        const std::string target = rate == "25" ? "pal-dvd" : "ntsc-dvd";
        const double frameMs = rate == "25" ? 40 : 1001 / 30.0;

        auto own = avsync::MeasureSync({source}, dir.Path().string(), interval);
        ASSERT_TRUE(own.ok) << own.error;
        EXPECT_EQ(own.flashes.size(), 4u) << own.Text();
        EXPECT_EQ(own.pairs.size(), 4u) << own.Text();
        EXPECT_LE(own.WorstDeviationMs(0), 1.0) << own.Text();

        const std::string inSync = dir.File("in_sync.vob"), late = dir.File("late.vob");
        auto r = testsupport::Run("ffmpeg -nostdin -v error -y -i " + Quote(source) + " -target " + target +
                                  " -s 352x240 " + Quote(inSync));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        r = testsupport::Run("ffmpeg -nostdin -v error -y -i " + Quote(source) + " -itsoffset 0.5 -i " + Quote(source) +
                             " -map 0:v -map 1:a -target " + target + " -s 352x240 " + Quote(late));
        ASSERT_EQ(r.exitCode, 0) << r.err;

        auto a = avsync::MeasureSync({inSync}, dir.Path().string(), interval);
        ASSERT_TRUE(a.ok) << a.error;
        EXPECT_NEAR(a.framePeriod * 1000, frameMs, 0.5) << a.Text();
        EXPECT_GE(a.pairs.size(), 3u) << a.Text();
        EXPECT_LE(a.WorstDeviationMs(0), frameMs) << a.Text();

        auto b = avsync::MeasureSync({late}, dir.Path().string(), interval);
        ASSERT_TRUE(b.ok) << b.error;
        EXPECT_GE(b.pairs.size(), 3u) << b.Text();
        EXPECT_LE(b.WorstDeviationMs(500), frameMs) << b.Text();
        // Measured on the other expectation, each must fail by far.
        EXPECT_GT(b.WorstDeviationMs(0), 400) << b.Text();
    }
}

TEST(VideoSyncAnalyser, VobFilesReadAsOneStream)
{
    TempDir dir;
    std::string error;
    const std::string source = MakeSyncSource(dir.Path().string(), "25", 7, &error);
    ASSERT_FALSE(source.empty()) << error;
    const std::string vob = dir.File("whole.vob");
    auto r = testsupport::Run("ffmpeg -nostdin -v error -y -i " + Quote(source) + " -target pal-dvd -s 352x288 " +
                              Quote(vob));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Split at a pack boundary near the middle, as a title set's VOB files are split.
    auto bytes = ReadBytes(vob);
    size_t half = bytes.size() / 2 / 2048 * 2048;
    WriteBytes(dir.File("VTS_01_1.VOB"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(half)));
    WriteBytes(dir.File("VTS_01_2.VOB"), std::vector<uint8_t>(bytes.begin() + long(half), bytes.end()));
    auto whole = avsync::MeasureSync({vob}, dir.Path().string(), 2.0);
    auto split = avsync::MeasureSync({dir.File("VTS_01_1.VOB"), dir.File("VTS_01_2.VOB")}, dir.Path().string(), 2.0);
    ASSERT_TRUE(split.ok) << split.error;
    EXPECT_EQ(split.flashes, whole.flashes);
    EXPECT_EQ(split.beeps.size(), whole.beeps.size()) << split.Text();
    EXPECT_EQ(split.flashes.size(), 4u) << split.Text();

    auto missing = avsync::MeasureSync({dir.File("nothing.vob")}, dir.Path().string(), 2.0);
    EXPECT_FALSE(missing.ok);
    EXPECT_NE(missing.error.find("nothing.vob"), std::string::npos) << missing.error;
}

TEST(VideoSyncAnalyser, SourcesAreWhatTheyClaim)
{
    TempDir dir;
    int count = 0;
    const EMediaFixture* kinds = AllMediaFixtures(&count);
    for (int i = 0; i < count; ++i) {
        std::string error;
        auto f = MakeMediaFixture(kinds[i], dir.Path().string(), &error);
        SCOPED_TRACE(f.label);
        ASSERT_FALSE(f.path.empty()) << error;
        std::string size = ProbeMedia(f.path, "stream=width,height", "v:0");
        EXPECT_EQ(size, std::to_string(f.width) + "," + std::to_string(f.height) + "\n");
        std::string audio = ProbeMedia(f.path, "stream=codec_name,sample_rate,channels", "a");
        EXPECT_EQ(audio.empty(), !f.hasAudio) << audio;
        double seconds = std::atof(ProbeMedia(f.path, "format=duration").c_str());
        EXPECT_NEAR(seconds, f.seconds, 0.15);
    }
    auto probe = [&](const char* file, const char* entries, const char* stream) {
        return ProbeMedia(dir.File(file), entries, stream);
    };
    EXPECT_EQ(probe("mpeg4_ac3.avi", "stream=codec_name", "a"), "ac3\n");
    EXPECT_EQ(probe("mpeg4_ac3.avi", "stream=codec_name", "v"), "mpeg4\n");
    EXPECT_EQ(probe("mpeg2_ps.mpg", "format=format_name", ""), "mpeg\n");
    EXPECT_EQ(probe("full_hd_51.mkv", "stream=channels,channel_layout", "a"), "6,5.1\n");
    EXPECT_EQ(probe("vga_15fps.mov", "stream=r_frame_rate", "v"), "15/1\n");
    EXPECT_EQ(probe("film_23976.mp4", "stream=r_frame_rate", "v"), "24000/1001\n");
    EXPECT_EQ(probe("mono_22050.mp4", "stream=sample_rate,channels", "a"), "22050,1\n");
    EXPECT_EQ(probe("interlaced_tff.mpg", "stream=field_order", "v"), "tt\n");
    EXPECT_EQ(probe("interlaced_bff.mpg", "stream=field_order", "v"), "bb\n");
    // The variable-rate file: 30 pictures in the first second, then 10 a second.
    std::string times = probe("variable_rate.mkv", "frame=pts_time", "v");
    EXPECT_EQ(std::count(times.begin(), times.end(), '\n'), 30 + 20) << times;
}
