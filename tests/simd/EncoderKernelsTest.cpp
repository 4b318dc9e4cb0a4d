// The per-block kernels of the video encoder: the routines of every vector level this
// processor has (SSE2, AVX2) give the same results as the plain twins, bit for bit, on
// thousands of random blocks, including extremes (coefficients at +-2047 and beyond,
// samples 0 and 255), sparse and DC-only blocks.
#include "mpeg2enc/BitWriter.h"
#include "mpeg2enc/BlockCoding.h"
#include "mpeg2enc/BlockKernels.h"
#include "mpeg2enc/Dct.h"
#include "mpeg2enc/EncoderKernels.h"
#include "mpeg2enc/Quantiser.h"
#include "mpeg2enc/RdQuantiser.h"
#include "mpeg2enc/Sad.h"
#include "mpeg2enc/VlcTables.h"
#include "simd/Levels.h"
#include "support/TestMatrices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

// A coefficient block of one of several shapes: dense within `range`, sparse (a few
// non-zero values), DC only, DC plus the mismatch mark at 63, extremes only, or the
// mismatch mark alone.
void RandomCoefficients(std::mt19937& rng, int16_t block[64], int range, int shape)
{
    std::fill(block, block + 64, int16_t(0));
    auto value = [&] { return int16_t(int(rng() % uint32_t(2 * range + 1)) - range); };
    switch (shape % 6) {
    case 0:
        for (int i = 0; i < 64; ++i) block[i] = value();
        break;
    case 1:
        for (int n = int(rng() % 6); n >= 0; --n) block[rng() % 64] = value();
        break;
    case 2:
        block[0] = value();
        break;
    case 3:
        block[0] = value();
        block[63] = 1;
        break;
    case 4:
        for (int i = 0; i < 64; ++i) block[i] = int16_t(rng() % 3 == 0 ? 0 : rng() % 2 ? range : -range);
        break;
    default:
        block[63] = int16_t(rng() % 3);  // 0, the mark 1, or a real coefficient 2
        break;
    }
}

// A plane of `stride` x `rows` samples: random, or (one case in three) only 0 and 255,
// or (one in three) a narrow spread around a random level.
std::vector<uint8_t> RandomPlane(std::mt19937& rng, int stride, int rows)
{
    std::vector<uint8_t> plane(size_t(stride) * size_t(rows));
    const int mode = int(rng() % 3);
    const int base = int(rng() % 256);
    for (auto& v : plane) {
        const uint32_t r = rng();
        v = mode == 0   ? uint8_t(r >> 8)
            : mode == 1 ? uint8_t(r & 1 ? 255 : 0)
                        : uint8_t(std::clamp(base + int(r % 9) - 4, 0, 255));
    }
    return plane;
}

}  // namespace

class EncoderKernelLevels : public CLevelTest {
protected:
    // The routines of the level under test.
    SEncoderKernels Kernels() const { return EncoderKernelsAt(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Levels, EncoderKernelLevels, KESTROVA_VECTOR_LEVELS);

// ------------------------------------------------------------------------ transforms

TEST_P(EncoderKernelLevels, InverseDctMatchesPlain)
{
    const auto idct = Kernels().inverseDct;
    std::mt19937 rng(21);
    // Ranges: typical residual coefficients, the dequantiser's full range, and the whole
    // int16 range (clamping of the output both ways).
    const int ranges[] = {40, 300, 2048, 32767};
    for (int trial = 0; trial < 24000; ++trial) {
        alignas(32) int16_t c[64], a[64], b[64];
        RandomCoefficients(rng, c, ranges[trial % 4], trial / 4);
        InverseDctPlain(c, a);
        std::fill(b, b + 64, int16_t(0x5555));
        idct(c, b);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "trial " << trial;
    }
    // Single coefficients at every position, both signs and both extremes.
    for (int pos = 0; pos < 64; ++pos)
        for (int v : {1, -1, 2047, -2048, 32767, -32768}) {
            alignas(32) int16_t c[64] = {}, a[64], b[64];
            c[pos] = int16_t(v);
            InverseDctPlain(c, a);
            idct(c, b);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "position " << pos << " value " << v;
        }
}

// Blocks whose outputs land exactly on, or very near, a half: the AVX2 routine computes in
// single precision first and must notice each such output and fall back to the double
// computation. DC-only blocks (d / 8 is a half when d = 4 mod 8), DC with the mismatch
// mark, coefficients on rows and columns 0 and 4 only (multiples of 1/8 and 1/16),
// F[2][2] = F[6][6] and F[2][6] = +-F[6][2] pairs (rational sums), every single
// coefficient of -300..300 at every position, and dequantised-like blocks.
TEST_P(EncoderKernelLevels, InverseDctMatchesPlainOnRoundingEdges)
{
    const auto idct = Kernels().inverseDct;
    auto expectPlain = [&](const int16_t(&c)[64]) {
        alignas(32) int16_t a[64], b[64];
        InverseDctPlain(c, a);
        std::fill(b, b + 64, int16_t(0x5555));
        idct(c, b);
        return std::memcmp(a, b, sizeof a) == 0;
    };
    for (int dc = -2048; dc < 2048; ++dc)
        for (int mark : {0, 1}) {
            alignas(32) int16_t c[64] = {};
            c[0] = int16_t(dc);
            c[63] = int16_t(mark);
            ASSERT_TRUE(expectPlain(c)) << "DC " << dc << " mark " << mark;
        }
    std::mt19937 rng(33);
    auto value = [&](int range) { return int16_t(int(rng() % uint32_t(2 * range + 1)) - range); };
    for (int trial = 0; trial < 8000; ++trial) {
        alignas(32) int16_t c[64] = {};
        const int range = trial % 2 ? 64 : 2047;
        for (int pos : {0, 4, 32, 36}) c[pos] = rng() % 4 ? value(range) : 0;
        ASSERT_TRUE(expectPlain(c)) << "rows and columns 0 and 4, trial " << trial;
        const int16_t a = value(range), b = value(range);
        c[2 * 8 + 2] = c[6 * 8 + 6] = a;
        c[2 * 8 + 6] = b;
        c[6 * 8 + 2] = int16_t(trial % 4 < 2 ? b : -b);
        ASSERT_TRUE(expectPlain(c)) << "pairs at 2 and 6, trial " << trial;
    }
    for (int pos = 0; pos < 64; ++pos)
        for (int v = -300; v <= 300; ++v) {
            alignas(32) int16_t c[64] = {};
            c[pos] = int16_t(v);
            ASSERT_TRUE(expectPlain(c)) << "position " << pos << " value " << v;
        }
    // Levels times weight and quantiser as the dequantiser makes them, a few low
    // frequencies, with the mismatch control's parity mark at 63.
    const int weights[] = {16, 16, 19, 22, 26, 27, 29, 34};
    for (int trial = 0; trial < 20000; ++trial) {
        alignas(32) int16_t c[64] = {};
        const int scale = 2 * (1 + int(rng() % 31));
        int sum = 0;
        for (int n = 1 + int(rng() % 6); n > 0; --n) {
            const int pos = int(rng() % 24);
            const int level = int(rng() % 3) == 0 ? int(rng() % 12) - 6 : int(rng() % 3) - 1;
            const int w = weights[(pos / 8 + pos % 8) % 8];
            const int f = (2 * level + (level > 0) - (level < 0)) * w * scale / 32;
            c[pos] = int16_t(std::clamp(f, -2048, 2047));
        }
        for (int16_t v : c) sum += v;
        if (sum % 2 == 0) c[63] = int16_t(c[63] ^ 1);
        ASSERT_TRUE(expectPlain(c)) << "dequantised, trial " << trial;
    }
}

TEST_P(EncoderKernelLevels, ForwardDctMatchesPlain)
{
    const auto fdct = Kernels().forwardDct;
    std::mt19937 rng(7);
    for (int trial = 0; trial < 20000; ++trial) {
        alignas(32) int16_t a[64], b[64];
        // Prediction errors, large quantised levels as the zero-block probe feeds them,
        // and the whole int16 range, which exercises the saturation of both passes.
        const int range = trial % 4 == 0 ? 2047 : trial % 4 == 1 ? 32767 : 255;
        RandomCoefficients(rng, a, range, trial / 4);
        std::memcpy(b, a, sizeof a);
        ForwardDctPlain(a);
        fdct(b);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "trial " << trial;
    }
}

// Blocks at the edge of what the vector routines add and subtract in 16 bits before
// multiplying: values around +-16384, mirrored rows or columns whose sum or difference is
// an extreme, and columns shaped like one cosine whose first-pass output lands around
// +-16384 (the second pass's edge).
TEST_P(EncoderKernelLevels, ForwardDctMatchesPlainAtTheSixteenBitEdge)
{
    const auto fdct = Kernels().forwardDct;
    auto expectPlain = [&](const int16_t(&block)[64]) {
        alignas(32) int16_t a[64], b[64];
        std::memcpy(a, block, sizeof a);
        std::memcpy(b, block, sizeof b);
        ForwardDctPlain(a);
        fdct(b);
        return std::memcmp(a, b, sizeof a) == 0;
    };
    std::mt19937 rng(8);
    const int16_t edges[] = {-16385, -16384, -16383, 16382, 16383, 16384};
    for (int trial = 0; trial < 4000; ++trial) {
        alignas(32) int16_t block[64];
        const int share = 2 + trial % 30;  // one value in `share` is an edge value
        for (int16_t& v : block) v = rng() % uint32_t(share) == 0 ? edges[rng() % 6] : int16_t(int(rng() % 511) - 255);
        ASSERT_TRUE(expectPlain(block)) << "trial " << trial;
    }
    for (int x = 0; x < 4; ++x)
        for (int first : {-16384, 16383, 16384})
            for (int second : {-16385, -16384, 16383}) {
                alignas(32) int16_t rows[64] = {}, columns[64] = {};
                for (int i = 0; i < 8; ++i) {
                    rows[x * 8 + i] = columns[i * 8 + x] = int16_t(first);
                    rows[(7 - x) * 8 + i] = columns[i * 8 + 7 - x] = int16_t(second);
                }
                ASSERT_TRUE(expectPlain(rows)) << "rows " << x << " " << first << " " << second;
                ASSERT_TRUE(expectPlain(columns)) << "columns " << x << " " << first << " " << second;
            }
    // A column v * sign(cos((2x + 1) u pi / 16)) gives a first-pass output u near
    // v * sum_x |m[u][x]| / 1024, which crosses 16384 for v between 724 and 799.
    for (int u = 0; u < 8; ++u)
        for (int v = 690; v <= 830; ++v)
            for (int sign : {1, -1}) {
                alignas(32) int16_t block[64];
                const uint32_t columns = rng() | 1;
                for (int x = 0; x < 8; ++x) {
                    const int s = std::cos((2 * x + 1) * u * M_PI / 16.0) < 0 ? -sign : sign;
                    for (int c = 0; c < 8; ++c)
                        block[x * 8 + c] = int16_t((columns >> c & 1 ? s * v : 0) + int(rng() % 5) - 2);
                }
                ASSERT_TRUE(expectPlain(block)) << "u " << u << " v " << sign * v;
            }
}

// ------------------------------------------------------------------ sample loops

namespace {

// The prediction strides the encoder reads blocks with: one grey row (0), the prediction
// buffers (8, 16), a reference plane (720), and (one case in five) an odd one.
int PredictionStride(std::mt19937& rng, int trial)
{
    const int strides[] = {0, 8, 16, 720, 9 + int(rng() % 40)};
    return strides[trial % 5];
}

// The bytes of one 8 x 8 block with rows `stride` apart and nothing after its last sample,
// so that a read or write beyond the block shows under the sanitizers.
std::vector<uint8_t> TightBlock(std::mt19937& rng, int stride) { return RandomPlane(rng, 1, 7 * stride + 8); }

}  // namespace

TEST_P(EncoderKernelLevels, ResidualMatchesPlainAtEveryPredictionStride)
{
    const auto residual = Kernels().residualBlock;
    std::mt19937 rng(31);
    for (int trial = 0; trial < 6000; ++trial) {
        const int stride = (trial / 5) % 3 == 0 ? 720 : 8 + int(rng() % 5) * 8 + int(rng() % 3);
        const int predStride = PredictionStride(rng, trial);
        const auto source = TightBlock(rng, stride);
        const auto pred = TightBlock(rng, predStride);
        int16_t a[64], b[64];
        const uint32_t sumA = ResidualBlockPlain(source.data(), stride, pred.data(), predStride, a);
        const uint32_t sumB = residual(source.data(), stride, pred.data(), predStride, b);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "trial " << trial << " strides " << stride << " " << predStride;
        ASSERT_EQ(sumA, sumB) << "trial " << trial;
    }
}

TEST_P(EncoderKernelLevels, ReconstructionMatchesPlainAndStaysInItsBlock)
{
    const auto reconstruct = Kernels().reconstructBlock;
    std::mt19937 rng(32);
    const int ranges[] = {256, 600, 32767};
    for (int trial = 0; trial < 7500; ++trial) {
        const int stride = (trial / 5) % 3 == 0 ? 720 : 8 + int(rng() % 4) * 8 + int(rng() % 3);
        const int predStride = PredictionStride(rng, trial);
        const auto pred = TightBlock(rng, predStride);
        alignas(32) int16_t residual[64];
        RandomCoefficients(rng, residual, ranges[trial % 3], trial / 3);
        if (trial % 7 == 0) residual[rng() % 64] = int16_t(rng() % 2 ? 32767 : -32768);
        // Both outputs start from the same random bytes: nothing between the block's rows
        // may change.
        std::vector<uint8_t> a = TightBlock(rng, stride), b = a;
        const int16_t* r = trial % 4 == 0 ? nullptr : residual;
        ReconstructBlockPlain(pred.data(), predStride, r, a.data(), stride);
        reconstruct(pred.data(), predStride, r, b.data(), stride);
        ASSERT_EQ(a, b) << "trial " << trial << " strides " << stride << " " << predStride;
    }
}

TEST_P(EncoderKernelLevels, PredictionMatchesPlainAtEveryHalfSamplePosition)
{
    const auto predict = Kernels().predictBlock;
    std::mt19937 rng(33);
    for (int trial = 0; trial < 8000; ++trial) {
        const int size = trial % 2 ? 16 : 8;
        const bool halfX = (trial >> 1) & 1, halfY = (trial >> 2) & 1;
        const int refStride = 48 + int(rng() % 8);
        // The reference holds exactly the samples read: one more column and row when
        // averaging with the right or lower neighbour (checked under the sanitizers).
        const int cols = size + (halfX ? 1 : 0), rows = size + (halfY ? 1 : 0);
        const auto plane = RandomPlane(rng, refStride, rows);
        const uint8_t* ref = plane.data() + (refStride - cols) - rng() % (refStride - cols + 1);
        const int outStride = size + int(rng() % 3) * 8;
        std::vector<uint8_t> a = RandomPlane(rng, outStride, size), b = a;
        PredictBlockPlain(ref, refStride, halfX, halfY, a.data(), outStride, size);
        predict(ref, refStride, halfX, halfY, b.data(), outStride, size);
        ASSERT_EQ(a, b) << "trial " << trial << " size " << size << " half " << halfX << halfY;
    }
}

TEST_P(EncoderKernelLevels, ZeroBlockTestFindsEveryNonZeroValue)
{
    const auto isZero = Kernels().isZeroBlock;
    alignas(32) int16_t block[64] = {};
    EXPECT_TRUE(isZero(block));
    EXPECT_TRUE(IsZeroBlockPlain(block));
    // Values with a zero low byte or a zero high byte, at every position.
    for (int pos = 0; pos < 64; ++pos)
        for (int v : {1, -1, 256, -256, 0x7F00, -32768, 32767}) {
            block[pos] = int16_t(v);
            ASSERT_FALSE(isZero(block)) << pos << " " << v;
            ASSERT_FALSE(IsZeroBlockPlain(block));
            block[pos] = 0;
        }
    std::mt19937 rng(34);
    for (int trial = 0; trial < 3000; ++trial) {
        RandomCoefficients(rng, block, 1 + trial % 100, trial);
        ASSERT_EQ(isZero(block), IsZeroBlockPlain(block)) << "trial " << trial;
    }
}

// ------------------------------------------------------------------ quantisation

namespace {

// Quantisers for the default matrices, a flat one, a random one, and matrices of ones
// (the largest reciprocals, and levels that need the 2047 limit).
std::vector<CQuantiser> TestQuantisers()
{
    std::mt19937 rng(41);
    const STestMatrices m(rng);
    std::vector<CQuantiser> out(5);
    out[0].Build(defaultIntraMatrix, m.flat);
    out[1].Build(m.custom, m.custom);
    out[2].Build(m.ones, m.ones);
    out[3].Build(m.heavy, m.heavy);
    out[4].Build(m.flat, m.custom);
    return out;
}

}  // namespace

TEST_P(EncoderKernelLevels, QuantisationMatchesPlain)
{
    const SEncoderKernels k = Kernels();
    // The whole non-intra quantisation (levels, then the zero-block probe through the
    // transform) with the table lowered to this level, against the plain routines.
    const CCpuMaskScope level(GetParam());
    std::mt19937 rng(42);
    const int ranges[] = {30, 400, 2047, 32767};
    for (const CQuantiser& quantiser : TestQuantisers())
        for (int trial = 0; trial < 4000; ++trial) {
            alignas(32) int16_t c[64], a[64], b[64];
            RandomCoefficients(rng, c, ranges[trial % 4], trial / 4);
            if (trial % 11 == 0) c[rng() % 64] = -32768;
            const int q = trial % 40 == 0 ? int(rng() % 40) - 4 : 1 + int(rng() % 31);  // also out of 1..31

            (quantiser.*k.quantiseIntra)(c, b, q);
            quantiser.QuantiseIntraPlain(c, a, q);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "intra, trial " << trial << " q " << q;

            bool anyPlain = quantiser.QuantiseNonIntraPlain(c, a, q);
            bool anyVector = quantiser.QuantiseNonIntra(c, b, q);
            ASSERT_EQ(anyPlain, anyVector) << "non-intra, trial " << trial << " q " << q;
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "non-intra, trial " << trial << " q " << q;

            // The level routine alone, on every block (the vector routines hand large
            // coefficients to the plain one): the same levels, and the same positions of
            // the non-zero ones, which are those of the levels.
            const uint64_t plainPositions = quantiser.NonIntraLevelsPlain(c, a, q);
            std::fill(b, b + 64, int16_t(0x5555));
            const uint64_t vectorPositions = (quantiser.*k.nonIntraLevels)(c, b, q);
            ASSERT_EQ(plainPositions, NonZeroMaskPlain(a)) << "non-intra levels, trial " << trial << " q " << q;
            ASSERT_EQ(plainPositions, vectorPositions) << "non-intra levels, trial " << trial << " q " << q;
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "non-intra levels, trial " << trial << " q " << q;
        }
}

TEST_P(EncoderKernelLevels, ShrinkMatchesPlain)
{
    const auto shrink = Kernels().shrinkBlock;
    std::mt19937 rng(44);
    const int ranges[] = {30, 400, 2047, 32767};
    // Shrink tables as the high-quality quantiser builds them (all of one sign, up to a
    // step and a half) and random ones of both signs, up to the whole int16 range, so
    // that magnitudes pass zero, -32768 meets every shrink and growth wraps.
    const int spans[] = {8, 740, 32767};
    for (int trial = 0; trial < 12000; ++trial) {
        alignas(32) int16_t c[64], s[64], a[64], b[64];
        RandomCoefficients(rng, c, ranges[trial % 4], trial / 4);
        if (trial % 7 == 0) c[rng() % 64] = -32768;
        if (trial % 13 == 0) c[rng() % 64] = 32767;
        const int span = spans[(trial / 3) % 3];
        for (auto& v : s) {
            const int magnitude = int(rng() % uint32_t(span + 1));
            v = int16_t(trial % 3 == 0 ? magnitude : trial % 3 == 1 ? -magnitude : magnitude - span / 2);
        }
        if (trial % 17 == 0) s[rng() % 64] = -32768;
        ShrinkBlockPlain(c, s, a);
        shrink(c, s, b);
        ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "trial " << trial;
    }
}

// The vector level routines compute in 16 bits and hand over to the plain routine at the
// edges: a coefficient past +-2047 at any position, and reciprocals past 16 bits (a matrix
// of ones at q 1 and 2). Levels and positions must match the plain routine's either way.
TEST_P(EncoderKernelLevels, NonIntraLevelsAtTheEdgesOfTheSixteenBitRange)
{
    const auto levels = Kernels().nonIntraLevels;
    uint8_t flat[64], ones[64];
    std::memset(flat, 16, 64);
    std::memset(ones, 1, 64);
    CQuantiser q;
    std::mt19937 rng(45);
    for (const uint8_t* matrix : {flat, ones}) {
        q.Build(defaultIntraMatrix, matrix);
        for (int scale : {1, 2, 3, 5})
            for (int pos = 0; pos < 64; ++pos)
                for (int v : {2047, -2047, 2048, -2048, 32767, -32768}) {
                    alignas(32) int16_t c[64], a[64], b[64];
                    RandomCoefficients(rng, c, 40, pos);
                    c[pos] = int16_t(v);
                    const uint64_t plain = q.NonIntraLevelsPlain(c, a, scale);
                    std::fill(b, b + 64, int16_t(0x5555));
                    ASSERT_EQ(plain, (q.*levels)(c, b, scale)) << pos << " " << v << " q " << scale;
                    ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << pos << " " << v << " q " << scale;
                }
    }
}

TEST_P(EncoderKernelLevels, InverseQuantisationMatchesPlain)
{
    const SEncoderKernels k = Kernels();
    std::mt19937 rng(43);
    const int ranges[] = {3, 40, 2047, 32767};
    for (const CQuantiser& quantiser : TestQuantisers())
        for (int trial = 0; trial < 4000; ++trial) {
            alignas(32) int16_t l[64], a[64], b[64];
            RandomCoefficients(rng, l, ranges[trial % 4], trial / 4);
            if (trial % 9 == 0) l[rng() % 64] = int16_t(rng() % 2 ? -32768 : 32767);
            const int q = trial % 40 == 0 ? int(rng() % 40) - 4 : 1 + int(rng() % 31);
            quantiser.DequantiseIntraPlain(l, a, q);
            (quantiser.*k.dequantiseIntra)(l, b, q);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "intra, trial " << trial << " q " << q;
            quantiser.DequantiseNonIntraPlain(l, a, q);
            (quantiser.*k.dequantiseNonIntra)(l, b, q);
            ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "non-intra, trial " << trial << " q " << q;
        }
}

// ------------------------------------------------------------------ motion search SADs

TEST_P(EncoderKernelLevels, SadsMatchPlainAtEveryHalfSamplePosition)
{
    const SEncoderKernels k = Kernels();
    std::mt19937 rng(51);
    constexpr int stride = 64;
    for (int trial = 0; trial < 6000; ++trial) {
        // The reference holds exactly the 17 x 17 samples the half-sample kernels read.
        // The source block is packed: 16 rows of 16 samples.
        const auto src = RandomPlane(rng, 16, 16);
        const auto ref = RandomPlane(rng, stride, 17);
        const uint8_t* r = ref.data() + rng() % (stride - 16);
        const uint8_t* s = src.data();
        const uint32_t full = SadPlain(s, r, stride, ~0u);
        ASSERT_EQ(k.sad(s, r, stride, ~0u), full) << "trial " << trial;
        ASSERT_EQ(k.sadHalfH(s, r, stride), SadHalfHPlain(s, r, stride)) << "trial " << trial;
        ASSERT_EQ(k.sadHalfV(s, r, stride), SadHalfVPlain(s, r, stride)) << "trial " << trial;
        ASSERT_EQ(k.sadHalfHV(s, r, stride), SadHalfHVPlain(s, r, stride)) << "trial " << trial;
        // With a limit: a result below it is the full sum, anything else is at least the
        // limit (so the search rejects the position either way, as with the plain routine).
        const uint32_t limit = uint32_t(rng() % (full + 2));
        const uint32_t bounded = k.sad(s, r, stride, limit);
        if (full < limit)
            ASSERT_EQ(bounded, full) << "trial " << trial;
        else
            ASSERT_GE(bounded, limit) << "trial " << trial;
        ASSERT_EQ(SadPlain(s, r, stride, limit) < limit, bounded < limit) << "trial " << trial;
    }
    // Extremes: white against black is the largest sum.
    std::vector<uint8_t> white(size_t(stride) * 17, 255), black(size_t(stride) * 17, 0);
    EXPECT_EQ(k.sad(white.data(), black.data(), stride, ~0u), 65280u);
    EXPECT_EQ(k.sad(white.data(), black.data(), stride, 65536), 65280u);
    EXPECT_EQ(k.sadHalfH(black.data(), white.data(), stride), 65280u);
    EXPECT_EQ(k.sadHalfV(white.data(), black.data(), stride), 65280u);
    EXPECT_EQ(k.sadHalfHV(white.data(), black.data(), stride), 65280u);
    EXPECT_EQ(k.sadHalfHV(black.data(), white.data(), stride), 65280u);
}

// The eight half-sample neighbours in one call give what the single plain kernels give at
// each position, in the documented order. The reference holds exactly the 18 rows and,
// in its last row, exactly the 18 columns the call may read (ref - stride - 1 onwards), so
// a read beyond them leaves the buffer; the block sits at any column and the stride
// varies.
TEST_P(EncoderKernelLevels, HalfSampleNeighboursMatchTheSingleKernels)
{
    const auto levelCall = Kernels().sadHalfNeighbours;
    const auto plainCall = EncoderKernelsAt(ECpuLevel::Plain).sadHalfNeighbours;
    auto check = [&](const uint8_t* s, const std::vector<uint8_t>& plane, int stride, int column,
                     const std::string& what) {
        const uint8_t* r = plane.data() + stride + column + 1;
        const uint8_t* above = r - stride;
        const uint32_t expected[8] = {SadHalfHVPlain(s, above - 1, stride), SadHalfVPlain(s, above, stride),
                                      SadHalfHVPlain(s, above, stride),     SadHalfHPlain(s, r - 1, stride),
                                      SadHalfHPlain(s, r, stride),          SadHalfHVPlain(s, r - 1, stride),
                                      SadHalfVPlain(s, r, stride),          SadHalfHVPlain(s, r, stride)};
        for (auto call : {levelCall, plainCall}) {
            uint32_t got[8] = {1, 1, 1, 1, 1, 1, 1, 1};
            call(s, r, stride, got);
            for (int i = 0; i < 8; ++i)
                ASSERT_EQ(got[i], expected[i]) << what << ", position " << i << (call == plainCall ? " (plain)" : "");
        }
    };
    std::mt19937 rng(77);
    for (int trial = 0; trial < 4000; ++trial) {
        const int stride = 18 + int(rng() % 48);
        const int column = int(rng() % uint32_t(stride - 17));
        const auto rows = RandomPlane(rng, stride, 18);
        // A copy that ends with the last sample read (a resized vector keeps its memory).
        const std::vector<uint8_t> plane(rows.begin(), rows.begin() + stride * 17 + column + 18);
        const auto src = RandomPlane(rng, 16, 16);
        check(src.data(), plane, stride, column, "trial " + std::to_string(trial));
        if (HasFatalFailure()) return;
    }
    // Extremes: flat black and white planes against each other (every sum at its largest),
    // and stripes of 0 and 255 whose averages all round to 128 or 127 (64 and 191 on the
    // diagonals).
    constexpr int stride = 40;
    const std::vector<uint8_t> black(size_t(stride) * 18, 0), white(size_t(stride) * 18, 255);
    std::vector<uint8_t> columns(size_t(stride) * 18), rows(size_t(stride) * 18), mixed(size_t(stride) * 18);
    for (int y = 0; y < 18; ++y)
        for (int x = 0; x < stride; ++x) {
            columns[size_t(y * stride + x)] = uint8_t(x % 2 ? 255 : 0);
            rows[size_t(y * stride + x)] = uint8_t(y % 2 ? 255 : 0);
            mixed[size_t(y * stride + x)] = uint8_t((x / 2 + y) % 3 ? 255 : 0);
        }
    const std::vector<uint8_t>* planes[] = {&black, &white, &columns, &rows, &mixed};
    for (const auto* ref : planes)
        for (const auto* src : planes)
            for (int column = 0; column < 3; ++column) {
                check(src->data(), *ref, stride, column, "extremes");
                if (HasFatalFailure()) return;
            }
    uint32_t largest[8];
    levelCall(white.data(), black.data() + stride + 1, stride, largest);
    for (uint32_t sum : largest) EXPECT_EQ(sum, 65280u);
}

TEST_P(EncoderKernelLevels, IntraDeviationMatchesPlain)
{
    const auto deviation = Kernels().intraDeviation;
    std::mt19937 rng(52);
    for (int trial = 0; trial < 3000; ++trial) {
        const auto plane = RandomPlane(rng, 24, 16);
        const uint8_t* p = plane.data() + rng() % 9;
        ASSERT_EQ(deviation(p, 24), IntraDeviationPlain(p, 24)) << "trial " << trial;
    }
    // Extremes: a flat block deviates by nothing; half black and half white has the
    // truncated mean 127, 128 samples 127 below it and 128 samples 128 above.
    std::vector<uint8_t> flat(24 * 16, 255), halves(24 * 16, 0);
    std::fill(halves.begin() + 24 * 8, halves.end(), uint8_t(255));
    EXPECT_EQ(deviation(flat.data(), 24), 0u);
    EXPECT_EQ(deviation(halves.data(), 24), 128u * 127u + 128u * 128u);
}

// ------------------------------------------------------------------ entropy coding

TEST_P(EncoderKernelLevels, NonZeroMaskMatchesPlain)
{
    const auto mask = Kernels().nonZeroMask;
    alignas(32) int16_t block[64] = {};
    EXPECT_EQ(mask(block), 0u);
    for (int pos = 0; pos < 64; ++pos)
        for (int v : {1, -1, 256, -32768, 32767}) {
            block[pos] = int16_t(v);
            ASSERT_EQ(mask(block), uint64_t(1) << pos) << pos << " " << v;
            block[pos] = 0;
        }
    std::mt19937 rng(61);
    for (int trial = 0; trial < 5000; ++trial) {
        RandomCoefficients(rng, block, 1 + trial % 300, trial);
        ASSERT_EQ(mask(block), NonZeroMaskPlain(block)) << "trial " << trial;
    }
}

namespace {

// The bytes a writer produced, with its bit count.
std::vector<uint8_t> Written(CBitWriter& writer, std::vector<uint8_t>& buffer)
{
    const uint64_t bits = writer.BitCount();
    const size_t end = writer.Finish();
    std::vector<uint8_t> out(buffer.begin(), buffer.begin() + std::ptrdiff_t(end));
    out.push_back(uint8_t(bits & 0xFF));
    out.push_back(uint8_t(bits >> 8));
    return out;
}

}  // namespace

TEST_P(EncoderKernelLevels, BlockWritersWriteThePlainWritersBits)
{
    const SEncoderKernels k = Kernels();
    std::mt19937 rng(62);
    std::vector<uint8_t> bufferA(1 << 16), bufferB(1 << 16);
    // Levels: small (codes), up to 40 (the longest codes), beyond (escapes), and the
    // whole int16 range (escapes of the low 12 bits).
    const int ranges[] = {2, 12, 41, 2047, 32767};
    for (int trial = 0; trial < 6000; ++trial) {
        CBitWriter a, b;
        a.Attach(bufferA.data(), bufferA.size());
        b.Attach(bufferB.data(), bufferB.size());
        int dcA = int(rng() % 512), dcB = dcA;
        const bool zigzag = trial % 2 == 1;
        // Several blocks per writer so that codes cross word boundaries at every offset.
        for (int n = 0; n < 8; ++n) {
            alignas(32) int16_t levels[64];
            RandomCoefficients(rng, levels, ranges[(trial + n) % 5], trial + n);
            if (n % 3 == 0) levels[0] = int16_t(int(rng() % 3) - 1);  // the "1s" first pair and its absence
            if ((trial + n) % 4 == 0) {
                const int component = int(rng() % 3), table = int(rng() % 2);
                levels[0] = int16_t(rng() % 2048);  // a DC level within its 11 bits
                WriteIntraBlockPlain(a, levels, component, dcA, table, zigzag);
                k.writeIntraBlock(b, levels, component, dcB, table, zigzag);
                ASSERT_EQ(dcA, dcB);
            } else {
                WriteNonIntraBlockPlain(a, levels, zigzag);
                k.writeNonIntraBlock(b, levels, zigzag);
            }
        }
        ASSERT_EQ(Written(a, bufferA), Written(b, bufferB)) << "trial " << trial;
    }
}
