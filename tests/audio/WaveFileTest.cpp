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

TEST(WaveFile, WrittenBytesAndExtensibleFormat)
{
    TempDir dir;
    // Two stereo samples at 44.1 kHz: the 44-byte header, then the samples low byte first.
    std::string error;
    ASSERT_TRUE(CWaveFile::Write(dir.File("b.wav"), {0x0102, -2, 0x7FFF, -32768}, 2, 44100, error)) << error;
    const std::vector<uint8_t> expected = {'R', 'I', 'F',  'F',  44,   0,    0,    0,    'W',  'A',  'V',  'E',  'f',
                                           'm', 't', ' ',  16,   0,    0,    0,    1,    0,    2,    0,    0x44, 0xAC,
                                           0,   0,   0x10, 0xB1, 0x02, 0,    4,    0,    16,   0,    'd',  'a',  't',
                                           'a', 8,   0,    0,    0,    0x02, 0x01, 0xFE, 0xFF, 0xFF, 0x7F, 0x00, 0x80};
    EXPECT_EQ(testsupport::ReadBytes(dir.File("b.wav")), expected);

    // The same sound under WAVE_FORMAT_EXTENSIBLE (a 40-byte format chunk whose
    // sub-format says PCM) reads the same; one whose sub-format is not PCM is refused.
    std::vector<uint8_t> extensible = expected;
    const uint8_t extension[24] = {22, 0, 16, 0, 3, 0, 0, 0, 1, 0};
    extensible.insert(extensible.begin() + 36, extension, extension + sizeof extension);
    extensible[4] = uint8_t(extensible.size() - 8);
    extensible[16] = 40;
    extensible[20] = 0xFE;
    extensible[21] = 0xFF;
    testsupport::WriteBytes(dir.File("ext.wav"), extensible);
    std::vector<int16_t> back;
    int channels = 0, rate = 0;
    ASSERT_TRUE(CWaveFile::Read(dir.File("ext.wav"), back, channels, rate, error)) << error;
    EXPECT_EQ(back, std::vector<int16_t>({0x0102, -2, 0x7FFF, -32768}));
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 44100);
    extensible[44] = 3;  // IEEE float
    testsupport::WriteBytes(dir.File("float.wav"), extensible);
    EXPECT_FALSE(CWaveFile::Read(dir.File("float.wav"), back, channels, rate, error));
    EXPECT_NE(error.find("only 16-bit PCM"), std::string::npos) << error;
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
            decoded[2 * size_t(i + delay) + size_t(c)] =
                int16_t(std::lround(source[2 * size_t(i) + size_t(c)] + error(rng)));
    EXPECT_EQ(CSignalCompare::FindDelay(source, decoded, 2, 1000), delay);
    double signalRms = 12000 / std::sqrt(2.0);
    EXPECT_NEAR(CSignalCompare::Snr(source, decoded, 2, delay), 20 * std::log10(signalRms / errorRms), 0.3);
    EXPECT_EQ(CSignalCompare::Snr(source, source, 2, 0), 200.0);
}
