// The media import kernels' values, and the ring buffer's hand-over between threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "media/ACMResample.h"
#include "media/MediaKernels.h"
#include "media/SampleBuffer.h"

namespace {

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(gen());
    return v;
}

}  // namespace

// The figures themselves (the vector versions are compared with the plain ones in the
// SIMD kernel tests): 8-bit 0, 128, 255 become -32768, 0, 32512; mono goes left; fades
// at full strength copy and at zero give flat black chroma.
TEST(MediaKernels, StereoExpansionAndFadesGiveTheExpectedValues)
{
    const uint8_t mono8[3] = {0, 128, 255};
    int16_t out[6];
    ExpandToStereo16(mono8, 3, 1, 8, out);
    EXPECT_EQ(out[0], -32768);
    EXPECT_EQ(out[2], 0);
    EXPECT_EQ(out[4], 32512);
    EXPECT_EQ(out[1] | out[3] | out[5], 0);

    auto src = RandomBytes(720 * 480 + 7, 99);
    std::vector<uint8_t> got(src.size());
    FadeLuma(src.data(), got.data(), src.size(), 256);
    EXPECT_EQ(got, src);
    FadeLuma(src.data(), got.data(), src.size(), 0);
    EXPECT_EQ(std::count(got.begin(), got.end(), 0), static_cast<long>(got.size()));
    FadeChroma(src.data(), got.data(), src.size(), 0);
    EXPECT_EQ(std::count(got.begin(), got.end(), 128), static_cast<long>(got.size()));
    // Chroma halves its distance from 128, rounding towards minus infinity.
    const uint8_t c[2] = {129, 127};
    uint8_t half[2];
    FadeChroma(c, half, 2, 128);
    EXPECT_EQ(half[0], 128);
    EXPECT_EQ(half[1], 127);
}

TEST(SampleBuffer, CarriesRecordsAcrossTheWrapInOrder)
{
    CSampleBuffer ring;
    ASSERT_TRUE(ring.Allocate(1000));
    std::thread producer([&] {
        for (uint32_t i = 0; i < 5000; ++i) {
            uint8_t record[37];
            std::memset(record, static_cast<int>(i & 0xFF), sizeof record);
            ASSERT_TRUE(ring.Write(reinterpret_cast<uint8_t*>(&i), 4, record, sizeof record));
        }
        ring.Finish();
    });
    for (uint32_t i = 0; i < 5000; ++i) {
        uint32_t n = 0;
        uint8_t record[37];
        ASSERT_TRUE(ring.ReadExact(reinterpret_cast<uint8_t*>(&n), 4));
        ASSERT_TRUE(ring.ReadExact(record, sizeof record));
        ASSERT_EQ(n, i);
        ASSERT_EQ(record[36], i & 0xFF);
    }
    uint8_t extra;
    EXPECT_FALSE(ring.ReadExact(&extra, 1));
    producer.join();
}

TEST(SampleBuffer, FinishWakesABlockedProducerAndSilenceEndsTheReader)
{
    CSampleBuffer ring;
    ASSERT_TRUE(ring.Allocate(64));
    uint8_t data[48] = {};
    ASSERT_TRUE(ring.Write(nullptr, 0, data, sizeof data));
    bool second = true;
    std::thread producer([&] { second = ring.Write(nullptr, 0, data, sizeof data); });  // no room
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ring.Finish();
    producer.join();
    EXPECT_FALSE(second);
    // What was written before the end can still be read; then the stream is over.
    uint8_t out[64];
    EXPECT_EQ(ring.ReadUpTo(out, 64), 48u);
    EXPECT_EQ(ring.ReadUpTo(out, 64), 0u);
    EXPECT_FALSE(ring.Write(nullptr, 0, data, 4));

    // A reader waiting on a ring nobody fills gives up after the wait and ends it.
    CSampleBuffer idle;
    ASSERT_TRUE(idle.Allocate(64));
    idle.SetWait(std::chrono::milliseconds(100));
    auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(idle.ReadExact(out, 4));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(100));
    EXPECT_TRUE(idle.IsFinished());
}

TEST(ACMResample, ConvertsToFortyEightKilohertzKeepingPitchAndLength)
{
    CACMResample resampler;
    EXPECT_EQ(resampler.Resample(4, nullptr, nullptr), 0);
    ASSERT_TRUE(resampler.OpenResampler(22050));
    // One second of a 1 kHz tone in both channels.
    std::vector<int16_t> in(22050 * 2);
    for (size_t i = 0; i < 22050; ++i)
        in[2 * i] = in[2 * i + 1] = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 1000.0 * i / 22050));
    std::vector<uint8_t> out;
    for (size_t pos = 0; pos < in.size() * 2; pos += 4410 * 4) {
        int32_t len = static_cast<int32_t>(std::min<size_t>(4410 * 4, in.size() * 2 - pos));
        std::vector<uint8_t> block(static_cast<size_t>(resampler.MaxOutput(len)));
        int32_t n = resampler.Resample(len, reinterpret_cast<const uint8_t*>(in.data()) + pos, block.data());
        out.insert(out.end(), block.begin(), block.begin() + n);
    }
    std::vector<uint8_t> tail(static_cast<size_t>(resampler.MaxOutput(0)));
    int32_t n = resampler.Flush(tail.data());
    out.insert(out.end(), tail.begin(), tail.begin() + n);
    EXPECT_NEAR(static_cast<double>(out.size()), 192000.0, 4.0 * 8);
    // 1000 cycles: about 2000 sign changes in the left channel.
    const int16_t* s = reinterpret_cast<const int16_t*>(out.data());
    int crossings = 0;
    for (size_t i = 1; i < out.size() / 4; ++i) crossings += (s[2 * i] >= 0) != (s[2 * i - 2] >= 0);
    EXPECT_NEAR(crossings, 2000, 6);
}
