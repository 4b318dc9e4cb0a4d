#include "audio/SubbandFilter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

std::vector<CSubbandFilter::Isa> SupportedIsas()
{
    std::vector<CSubbandFilter::Isa> isas = {CSubbandFilter::Isa::Sse2};
    if (CSubbandFilter::BestIsa() == CSubbandFilter::Isa::Avx2) isas.push_back(CSubbandFilter::Isa::Avx2);
    return isas;
}

}  // namespace

TEST(SubbandFilter, SimdKernelsMatchPlainBitForBit)
{
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (CSubbandFilter::Isa isa : SupportedIsas()) {
        for (int round = 0; round < 200; ++round) {
            alignas(32) float x[512 + 8], u[32];
            for (float& v : x) v = value(rng);
            for (float& v : u) v = value(rng);
            const int misalign = round % 8;  // the history window may start anywhere
            float plainY[64], simdY[64], plainS[32], simdS[32];
            CSubbandFilter::WindowKernel(CSubbandFilter::Isa::Plain, x + misalign, plainY);
            CSubbandFilter::WindowKernel(isa, x + misalign, simdY);
            CSubbandFilter::MatrixKernel(CSubbandFilter::Isa::Plain, u, plainS);
            CSubbandFilter::MatrixKernel(isa, u, simdS);
            ASSERT_EQ(std::memcmp(plainY, simdY, sizeof plainY), 0) << "window, isa " << int(isa);
            ASSERT_EQ(std::memcmp(plainS, simdS, sizeof plainS), 0) << "matrix, isa " << int(isa);
        }
        // Whole filters fed the same signal agree too.
        CSubbandFilter plain, simd;
        for (int block = 0; block < 40; ++block) {
            float in[32], a[32], b[32];
            for (float& v : in) v = value(rng);
            plain.Process(in, a, CSubbandFilter::Isa::Plain);
            simd.Process(in, b, isa);
            ASSERT_EQ(std::memcmp(a, b, sizeof a), 0) << "block " << block;
        }
    }
}

TEST(SubbandFilter, WindowHasTheStandardShape)
{
    // Spot values of the analysis window and its symmetry about the middle.
    EXPECT_FLOAT_EQ(CSubbandFilter::WindowCoefficient(0), 0.0f);
    EXPECT_NEAR(CSubbandFilter::WindowCoefficient(1), -0.000000477, 1e-9);
    EXPECT_NEAR(CSubbandFilter::WindowCoefficient(256), 0.035780907, 1e-9);
    EXPECT_NEAR(CSubbandFilter::WindowCoefficient(255), -0.035758972, 1e-9);
    EXPECT_NEAR(CSubbandFilter::WindowCoefficient(257), 0.035758972, 1e-9);
    EXPECT_NEAR(CSubbandFilter::WindowCoefficient(128), 0.000971317, 1e-9);
    EXPECT_NEAR(CSubbandFilter::WindowCoefficient(511), 0.000000477, 1e-9);
    for (int i = 1; i < 256; ++i) {
        float a = CSubbandFilter::WindowCoefficient(i), b = CSubbandFilter::WindowCoefficient(512 - i);
        EXPECT_FLOAT_EQ(i % 64 == 0 ? a : -a, b) << i;
    }
}

TEST(SubbandFilter, ToneLandsInItsOwnSubband)
{
    // A sine in the middle of sub-band k (750 Hz wide at 48 kHz) comes out of sub-band k
    // at about its own amplitude, and the neighbours two bands away stay far below.
    for (int k : {0, 3, 10, 17, 26}) {
        CSubbandFilter filter;
        double hz = (k + 0.5) * 750.0;
        std::vector<double> energy(32, 0.0);
        int n = 0;
        for (int block = 0; block < 200; ++block) {
            float in[32], out[32];
            for (int i = 0; i < 32; ++i) in[i] = float(0.5 * std::sin(2 * M_PI * hz * (32 * block + i) / 48000.0));
            filter.Process(in, out);
            if (block < 40) continue;
            for (int sb = 0; sb < 32; ++sb) energy[size_t(sb)] += double(out[sb]) * out[sb];
            ++n;
        }
        double rms = std::sqrt(energy[size_t(k)] / n);
        EXPECT_NEAR(rms, 0.5 / std::sqrt(2.0), 0.03) << "sub-band " << k;
        for (int sb = 0; sb < 32; ++sb) {
            if (std::abs(sb - k) < 2) continue;
            EXPECT_LT(energy[size_t(sb)], energy[size_t(k)] * 1e-6) << "sub-band " << k << " leaks into " << sb;
        }
    }
}
