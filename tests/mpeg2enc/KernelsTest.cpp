// The encoder's kernels against their definitions (the comparisons of vector routines
// with their plain twins are in the SIMD test program).
#include "mpeg2enc/BlockKernels.h"
#include "mpeg2enc/Dct.h"
#include "mpeg2enc/Sad.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int stride = 64;

double ReferenceDct(const int16_t* block, int u, int v)
{
    auto c = [](int k) { return k == 0 ? std::sqrt(0.5) : 1.0; };
    double s = 0.0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            s += block[y * 8 + x] * std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
    return s * c(u) * c(v) / 4.0;
}

}  // namespace

TEST(SadKernels, ExtremeBlocksAndEarlyExit)
{
    std::vector<uint8_t> white(size_t(stride) * 17, 255), black(size_t(stride) * 17, 0);
    EXPECT_EQ(SadPlain(white.data(), black.data(), stride, 65536), 65280u);
    // The plain routine stops after the first row whose running sum reaches the limit.
    EXPECT_EQ(SadPlain(white.data(), black.data(), stride, 1000), 16u * 255u);
    EXPECT_EQ(SadPlain(white.data(), black.data(), stride, 4081), 2u * 16u * 255u);
}

TEST(SadKernels, IntraDeviationFollowsItsDefinition)
{
    // Two halves 10 and 30: mean 20, every sample 10 away.
    std::vector<uint8_t> halves(size_t(stride) * 16, 10);
    for (int y = 8; y < 16; ++y)
        for (int x = 0; x < 16; ++x) halves[size_t(y * stride + x)] = 30;
    EXPECT_EQ(IntraDeviationPlain(halves.data(), stride), 2560u);
}

TEST(ForwardDct, FollowsTheStandardScale)
{
    std::mt19937 rng(11);
    for (int trial = 0; trial < 300; ++trial) {
        alignas(16) int16_t block[64], original[64];
        for (int i = 0; i < 64; ++i) original[i] = block[i] = int16_t(int(rng() % 511) - 255);
        ForwardDct(block);
        for (int v = 0; v < 8; ++v)
            for (int u = 0; u < 8; ++u)
                ASSERT_NEAR(block[v * 8 + u], ReferenceDct(original, u, v), 1.0) << u << "," << v;
    }
    // A flat block: DC is eight times the mean, nothing else.
    alignas(16) int16_t flat[64];
    std::fill(flat, flat + 64, int16_t(-100));
    ForwardDct(flat);
    EXPECT_EQ(flat[0], -800);
    for (int i = 1; i < 64; ++i) EXPECT_EQ(flat[i], 0);
}

TEST(InverseDct, InvertsTheForwardTransformAndIgnoresTheMismatchMark)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 200; ++trial) {
        alignas(16) int16_t block[64], original[64], back[64];
        for (int i = 0; i < 64; ++i) original[i] = block[i] = int16_t(int(rng() % 511) - 255);
        ForwardDct(block);
        InverseDct(block, back);
        for (int i = 0; i < 64; ++i) ASSERT_NEAR(back[i], original[i], 1) << i;
    }
    int16_t mark[64] = {}, out[64];
    mark[63] = 1;
    InverseDct(mark, out);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(out[i], 0);
    // Coefficients far out of range are limited to -256..255.
    int16_t huge[64] = {};
    huge[0] = 2047 * 8;
    InverseDct(huge, out);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(out[i], 255);
    huge[0] = -2048 * 8;
    InverseDct(huge, out);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(out[i], -256);
}

TEST(BlockKernels, PredictionReadInPlaceEqualsItsCopy)
{
    // The encoder reads a whole-sample prediction straight from the reference plane and a
    // half-sample luma prediction as the quarters of one 16 x 16 block; both must give the
    // prediction errors and reconstructions of four separate 8 x 8 predictions.
    constexpr int planeStride = 720;
    std::mt19937 rng(17);
    std::vector<uint8_t> plane(size_t(planeStride) * 64), source(size_t(planeStride) * 16);
    for (auto& v : plane) v = uint8_t(rng());
    for (auto& v : source) v = uint8_t(rng());
    for (int trial = 0; trial < 400; ++trial) {
        const bool halfX = trial & 1, halfY = trial & 2;
        const uint8_t* area = plane.data() + size_t(rng() % 40) * planeStride + rng() % (planeStride - 17);
        alignas(16) uint8_t whole[256];
        PredictBlock(area, planeStride, halfX, halfY, whole, 16, 16);
        for (int b = 0; b < 4; ++b) {
            const int dx = (b & 1) * 8, dy = (b >> 1) * 8;
            alignas(16) uint8_t copy[64];
            PredictBlock(area + dy * planeStride + dx, planeStride, halfX, halfY, copy, 8, 8);
            const bool inPlace = !halfX && !halfY;
            const uint8_t* pred = inPlace ? area + dy * planeStride + dx : whole + dy * 16 + dx;
            const int predStride = inPlace ? planeStride : 16;
            const uint8_t* src = source.data() + dy * planeStride + dx;
            alignas(16) int16_t a[64], b2[64];
            ASSERT_EQ(ResidualBlock(src, planeStride, copy, 8, a),
                      ResidualBlock(src, planeStride, pred, predStride, b2));
            ASSERT_EQ(0, std::memcmp(a, b2, sizeof a)) << "trial " << trial << " block " << b;
            for (int i = 0; i < 64; ++i) a[i] = int16_t(int(rng() % 601) - 300);
            uint8_t outA[64], outB[64];
            ReconstructBlock(copy, 8, a, outA, 8);
            ReconstructBlock(pred, predStride, a, outB, 8);
            ASSERT_EQ(0, std::memcmp(outA, outB, sizeof outA)) << "trial " << trial << " block " << b;
        }
    }
    // One grey row read with stride 0 (an intra macroblock's prediction) is a grey block.
    const std::vector<uint8_t> greyBlock(64, 128);
    alignas(16) int16_t a[64], b[64];
    EXPECT_EQ(ResidualBlock(source.data(), planeStride, greyBlock.data(), 8, a),
              ResidualBlock(source.data(), planeStride, greyBlock.data(), 0, b));
    EXPECT_EQ(0, std::memcmp(a, b, sizeof a));
}
