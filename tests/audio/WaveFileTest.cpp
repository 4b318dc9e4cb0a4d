#include "audio/SignalCompare.h"
#include "audio/WaveFile.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <vector>

using testsupport::TempDir;

TEST(WaveFile, RoundTripAndDamagedFiles)
{
    TempDir dir;
    std::vector<int16_t> samples = {1, -2, 300, -400, 32767, -32768};
    std::string error;
    ASSERT_TRUE(CWaveFile::Write(dir.File("a.wav"), samples, 2, 48000, error)) << error;
    EXPECT_FALSE(std::filesystem::exists(dir.File("a.wav.part")));
    std::vector<int16_t> back;
    int channels = 0, rate = 0;
    ASSERT_TRUE(CWaveFile::Read(dir.File("a.wav"), back, channels, rate, error)) << error;
    EXPECT_EQ(back, samples);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 48000);

    // A file cut short keeps its whole sample frames.
    std::vector<uint8_t> bytes = testsupport::ReadBytes(dir.File("a.wav"));
    bytes.resize(bytes.size() - 3);
    testsupport::WriteBytes(dir.File("cut.wav"), bytes);
    ASSERT_TRUE(CWaveFile::Read(dir.File("cut.wav"), back, channels, rate, error)) << error;
    EXPECT_EQ(back, std::vector<int16_t>(samples.begin(), samples.begin() + 4));

    // 8-bit sound, a file that is no WAVE file, and a missing file are refused by name.
    bytes = testsupport::ReadBytes(dir.File("a.wav"));
    bytes[34] = 8;
    testsupport::WriteBytes(dir.File("eight.wav"), bytes);
    EXPECT_FALSE(CWaveFile::Read(dir.File("eight.wav"), back, channels, rate, error));
    EXPECT_NE(error.find("eight.wav"), std::string::npos) << error;
    testsupport::WriteText(dir.File("text.wav"), "hello, not a wave file");
    EXPECT_FALSE(CWaveFile::Read(dir.File("text.wav"), back, channels, rate, error));
    EXPECT_NE(error.find("text.wav"), std::string::npos) << error;
    EXPECT_FALSE(CWaveFile::Read(dir.File("missing.wav"), back, channels, rate, error));
    EXPECT_NE(error.find("missing.wav"), std::string::npos) << error;
    // Writing into a folder that does not exist fails and leaves nothing behind.
    EXPECT_FALSE(CWaveFile::Write(dir.File("no/such/b.wav"), samples, 2, 48000, error));
    EXPECT_NE(error.find("b.wav"), std::string::npos) << error;
}

TEST(SignalCompare, FindsTheDelayOfPeriodicMusicAndMeasuresNoise)
{
    // A strongly periodic signal with a little noise: one period off correlates almost
    // as well as the true delay, which must still be found.
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0.0, 200.0);
    const int frames = 96000, delay = 481;
    std::vector<int16_t> source(frames * 2), decoded((frames + delay) * 2, 0);
    for (int i = 0; i < frames; ++i) {
        double v = 12000 * std::sin(2 * M_PI * 220.0 * i / 48000.0) + noise(rng);
        source[2 * size_t(i)] = source[2 * size_t(i) + 1] = int16_t(std::lround(v));
    }
    const double errorRms = 100.0;
    std::normal_distribution<double> error(0.0, errorRms);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < 2; ++c)
            decoded[2 * size_t(i + delay) + size_t(c)] = int16_t(std::lround(source[2 * size_t(i) + size_t(c)] + error(rng)));
    EXPECT_EQ(CSignalCompare::FindDelay(source, decoded, 2, 1000), delay);
    double signalRms = 12000 / std::sqrt(2.0);
    EXPECT_NEAR(CSignalCompare::Snr(source, decoded, 2, delay), 20 * std::log10(signalRms / errorRms), 0.3);
    EXPECT_EQ(CSignalCompare::Snr(source, source, 2, 0), 200.0);
}
