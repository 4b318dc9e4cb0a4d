// The per-block kernels of the video encoder: every vector version (SSE2, AVX2) and the
// dispatching call give the same results as the plain twin, bit for bit, on thousands of
// random blocks, including extremes (coefficients at +-2047 and beyond, samples 0 and
// 255), sparse and DC-only blocks.
#include "mpeg2enc/Dct.h"
#include "mpeg2enc/Sad.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

enum EEncVariant { kEncSse2, kEncAvx2, kEncDispatch };

bool CpuHasAvx2() { return __builtin_cpu_supports("avx2"); }

class EncoderKernels : public ::testing::TestWithParam<EEncVariant> {
protected:
    void SetUp() override
    {
        if (GetParam() == kEncAvx2 && !CpuHasAvx2()) GTEST_SKIP() << "the processor has no AVX2";
    }
    // The routine under test among three of a kernel.
    template <typename F>
    F Pick(F sse2, F avx2, F dispatch) const
    {
        return GetParam() == kEncSse2 ? sse2 : GetParam() == kEncAvx2 ? avx2 : dispatch;
    }
};

std::string EncVariantName(const ::testing::TestParamInfo<EEncVariant>& info)
{
    return info.param == kEncSse2 ? "Sse2" : info.param == kEncAvx2 ? "Avx2" : "Dispatch";
}

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

}  // namespace

INSTANTIATE_TEST_SUITE_P(Variants, EncoderKernels, ::testing::Values(kEncSse2, kEncAvx2, kEncDispatch),
                         EncVariantName);

// ------------------------------------------------------------------------ transforms

TEST_P(EncoderKernels, InverseDctMatchesPlain)
{
    const auto idct = Pick(InverseDctSse2, InverseDctAvx2, InverseDct);
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

TEST_P(EncoderKernels, ForwardDctMatchesPlain)
{
    // The SSE2 routine is the vector baseline; its twin under "Sse2" and the AVX2 one.
    const auto fdct = Pick(ForwardDctSse2, ForwardDctAvx2, ForwardDct);
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
