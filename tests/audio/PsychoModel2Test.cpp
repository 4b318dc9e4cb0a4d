#include "audio/PsychoModel2.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

TEST(PsychoModel2, ToneStandsAboveItsMaskAndSilenceBelowTheQuietThreshold)
{
    CPsychoModel2 model;
    std::vector<float> window(1024);
    double smr[32];
    // A loud 3 kHz tone (sub-band 4): large ratio there, far lower four bands away.
    for (int call = 0; call < 3; ++call) {
        for (int i = 0; i < 1024; ++i)
            window[size_t(i)] = float(0.5 * std::sin(2 * M_PI * 3000.0 * (1152 * call + i) / 48000.0));
        model.Analyse(window.data(), smr);
    }
    EXPECT_GT(smr[4], 30.0);
    EXPECT_LT(smr[12], smr[4] - 30.0);
    EXPECT_LT(smr[25], 0.0);

    CPsychoModel2 quiet;
    std::fill(window.begin(), window.end(), 0.0f);
    quiet.Analyse(window.data(), smr);
    for (int sb = 0; sb < 32; ++sb) EXPECT_LT(smr[sb], -50.0) << sb;
}

TEST(PsychoModel2, NoiseIsMaskedMoreThanATone)
{
    // Noise masks better than a tone of the same energy, so its ratio is lower.
    std::mt19937 rng(5);
    std::normal_distribution<double> gauss(0.0, 0.1);
    CPsychoModel2 toneModel, noiseModel;
    std::vector<float> tone(1024), noise(1024);
    double toneSmr[32], noiseSmr[32];
    for (int call = 0; call < 4; ++call) {
        for (int i = 0; i < 1024; ++i) {
            tone[size_t(i)] = float(0.1 * std::sqrt(2.0) * std::sin(2 * M_PI * 1125.0 * (1152 * call + i) / 48000.0));
            noise[size_t(i)] = float(gauss(rng));
        }
        toneModel.Analyse(tone.data(), toneSmr);
        noiseModel.Analyse(noise.data(), noiseSmr);
    }
    EXPECT_GT(toneSmr[1], noiseSmr[1] + 10.0);
}

TEST(PsychoModel2, TablesFollowTheCriticalBands)
{
    EXPECT_NEAR(CPsychoModel2::Bark(1000.0), 8.5, 0.2);
    EXPECT_NEAR(CPsychoModel2::Bark(4000.0), 17.3, 0.3);
    // Hearing is most sensitive near 3-4 kHz and dull at the edges.
    EXPECT_LT(CPsychoModel2::QuietThresholdDb(3300.0), 0.0);
    EXPECT_GT(CPsychoModel2::QuietThresholdDb(50.0), 30.0);
    EXPECT_GT(CPsychoModel2::QuietThresholdDb(18000.0), 60.0);
    // The spreading function peaks at the masker and, away from it, falls much faster
    // towards lower bands than towards higher ones.
    EXPECT_NEAR(CPsychoModel2::Spreading(10.0, 10.0), 1.0, 0.05);
    EXPECT_LT(CPsychoModel2::Spreading(10.0, 7.0) * 100.0, CPsychoModel2::Spreading(10.0, 13.0));
    EXPECT_LT(CPsychoModel2::Spreading(10.0, 11.0), CPsychoModel2::Spreading(10.0, 10.5));
    EXPECT_EQ(CPsychoModel2::Spreading(10.0, 0.0), 0.0);
    CPsychoModel2 model;
    EXPECT_GT(model.PartitionCount(), 60);
    EXPECT_LT(model.PartitionCount(), 90);
}

TEST(PsychoModel2, UnpredictabilityKernelsMatchPlainBitForBit)
{
    std::mt19937 rng(9);
    std::uniform_real_distribution<double> value(-300.0, 300.0);
    std::uniform_real_distribution<double> angle(0.0, 2 * M_PI);
    std::vector<CSubbandFilter::Isa> isas = {CSubbandFilter::Isa::Sse2};
    if (CSubbandFilter::BestIsa() == CSubbandFilter::Isa::Avx2) isas.push_back(CSubbandFilter::Isa::Avx2);
    const int count = 513;  // an odd count exercises the tails of the wide kernels
    enum { Re, Im, Mag1, Mag2, P1r, P1i, P2r, P2i, Energy, Unpredict, Arrays };
    for (CSubbandFilter::Isa isa : isas) {
        for (int round = 0; round < 20; ++round) {
            std::vector<std::vector<double>> plain(Arrays, std::vector<double>(count));
            for (int w = 0; w < count; ++w) {
                // Some lines silent now or before, to cover the guarded divisions.
                const bool silent = w % 17 == 0, silentBefore = w % 13 == 0;
                plain[Re][w] = silent ? 0.0 : value(rng);
                plain[Im][w] = silent ? 0.0 : value(rng);
                plain[Mag1][w] = silentBefore ? 0.0 : std::fabs(value(rng));
                plain[Mag2][w] = silentBefore ? 0.0 : std::fabs(value(rng));
                double a1 = angle(rng), a2 = angle(rng);
                plain[P1r][w] = std::cos(a1);
                plain[P1i][w] = std::sin(a1);
                plain[P2r][w] = std::cos(a2);
                plain[P2i][w] = std::sin(a2);
            }
            std::vector<std::vector<double>> simd = plain;
            auto arrays = [](std::vector<std::vector<double>>& v) {
                return CPsychoModel2::CLineArrays{v[Re].data(),     v[Im].data(),       v[Mag1].data(), v[Mag2].data(),
                                                  v[P1r].data(),    v[P1i].data(),      v[P2r].data(),  v[P2i].data(),
                                                  v[Energy].data(), v[Unpredict].data()};
            };
            CPsychoModel2::UnpredictabilityKernel(CSubbandFilter::Isa::Plain, count, arrays(plain));
            CPsychoModel2::UnpredictabilityKernel(isa, count, arrays(simd));
            for (int k = Mag1; k < Arrays; ++k)
                ASSERT_EQ(std::memcmp(plain[size_t(k)].data(), simd[size_t(k)].data(), count * sizeof(double)), 0)
                    << "array " << k << ", isa " << int(isa);
            for (double u : plain[Unpredict]) {
                ASSERT_GE(u, 0.0);
                ASSERT_LE(u, 1.0 + 1e-12);
            }
        }
    }
}
