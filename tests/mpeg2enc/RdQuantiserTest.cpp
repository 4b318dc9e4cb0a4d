// The decisions of the high-quality quantiser against a reference that weighs every level
// with the code tables looked up one pair at a time and the error in double arithmetic:
// the tabled code lengths, the whole-number gains with their ceiling thresholds and the
// coded positions shared between the level and the block decision must drop and keep
// exactly the same levels and blocks, for every matrix, quantiser and weight.
#include "mpeg2enc/Quantiser.h"
#include "mpeg2enc/RdQuantiser.h"
#include "mpeg2enc/VlcTables.h"
#include "support/TestMatrices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

// The reference decisions over the scan positions of the non-zero levels.
class CReferenceRd {
public:
    CReferenceRd(const CQuantiser& quantiser, const CRdQuantiser::SSettings& settings)
        : quantiser(quantiser), settings(settings)
    {}

    // Levels of magnitude 1 from scan position `first` on, walked back from the end; `one`
    // gives the reconstruction of a level of 1 at a raster position.
    template <typename One>
    int Drop(const int16_t c[64], int16_t levels[64], int q, int table, int first, One one) const
    {
        std::vector<int> coded = Coded(levels);
        int dropped = 0, next = -1;
        for (int k = int(coded.size()) - 1; k >= 0 && coded[size_t(k)] >= first; --k) {
            const int s = coded[size_t(k)];
            const int previous = k > 0 ? coded[size_t(k - 1)] : first - 1;
            const int raster = zigzagScan[size_t(s)];
            if (std::abs(levels[raster]) == 1) {
                int saved = CRdQuantiser::CodeBits(table, s - previous - 1, 1);
                if (next >= 0) {
                    const int following = levels[zigzagScan[size_t(next)]];
                    saved += CRdQuantiser::CodeBits(table, next - s - 1, following) -
                        CRdQuantiser::CodeBits(table, next - previous - 1, following);
                }
                const double magnitude = std::abs(c[raster]);
                const double error = magnitude - one(raster);
                if (magnitude * magnitude - error * error < settings.lambda * double(q) * double(q) * saved) {
                    levels[raster] = 0;
                    ++dropped;
                    continue;
                }
            }
            next = s;
        }
        return dropped;
    }

    bool Keep(const int16_t c[64], int16_t levels[64], int q) const
    {
        const uint8_t* w = quantiser.NonIntraMatrix();
        double gain = 0.0;
        int bits = 2, last = -1;
        for (int s : Coded(levels)) {
            const int raster = zigzagScan[size_t(s)];
            const double magnitude = std::abs(c[raster]);
            const double error = magnitude - double((2 * std::abs(levels[raster]) + 1) * q * w[raster]) / 32.0;
            gain += magnitude * magnitude - error * error;
            bits += CRdQuantiser::CodeBits(0, s - last - 1, levels[raster]);
            last = s;
        }
        if (last >= 0 && gain >= settings.blockLambda * double(q) * double(q) * bits) return true;
        std::fill(levels, levels + 64, int16_t(0));
        return false;
    }

    int DropNonIntra(const int16_t c[64], int16_t levels[64], int q) const
    {
        const uint8_t* w = quantiser.NonIntraMatrix();
        return Drop(c, levels, q, 0, 0, [&](int raster) { return 3 * q * w[raster] / 32; });
    }

    void QuantiseIntra(const int16_t c[64], int16_t levels[64], int q, int table) const
    {
        const uint8_t* w = quantiser.IntraMatrix();
        int16_t shrunk[64];
        shrunk[0] = c[0];
        for (int i = 1; i < 64; ++i) shrunk[i] = Shrunk(c[i], settings.intraShrink * q * w[i] / 256);
        quantiser.QuantiseIntraPlain(shrunk, levels, q);
        Drop(c, levels, q, table, 1, [&](int raster) { return q * w[raster] / 16; });
    }

    bool QuantiseNonIntra(const int16_t c[64], int16_t levels[64], int q) const
    {
        const uint8_t* w = quantiser.NonIntraMatrix();
        int16_t shrunk[64];
        for (int i = 0; i < 64; ++i) shrunk[i] = Shrunk(c[i], settings.nonIntraShrink * q * w[i] / 256);
        if (!quantiser.QuantiseNonIntraPlain(shrunk, levels, q)) return false;
        DropNonIntra(c, levels, q);
        return Keep(c, levels, q);
    }

private:
    static int16_t Shrunk(int c, int shrink)
    {
        const int m = std::max(std::abs(c) - shrink, 0);
        return int16_t(c < 0 ? -m : m);
    }

    static std::vector<int> Coded(const int16_t levels[64])
    {
        std::vector<int> coded;
        for (int s = 0; s < 64; ++s)
            if (levels[zigzagScan[size_t(s)]] != 0) coded.push_back(s);
        return coded;
    }

    const CQuantiser& quantiser;
    CRdQuantiser::SSettings settings;
};

// A block near the decisions: a few coefficients around the first levels of a step of
// `step`, or (one in four) a dense block of any size, with levels quantised from them or
// (for the level and block decisions alone) drawn at random, ones among them, some up
// to the whole int16 range.
void RandomBlock(std::mt19937& rng, int16_t c[64], int16_t levels[64], int step, int trial)
{
    std::fill(c, c + 64, int16_t(0));
    std::fill(levels, levels + 64, int16_t(0));
    const bool dense = trial % 4 == 3;
    const int count = dense ? 64 : 1 + int(rng() % 12);
    for (int n = 0; n < count; ++n) {
        const int raster = dense ? n : int(rng() % 64);
        const int magnitude = dense ? int(rng() % 2100) : int(rng() % uint32_t(3 * step + 2));
        c[raster] = int16_t(rng() % 2 ? magnitude : -magnitude);
        const int level = rng() % 3 ? 1
                                    : 1 +
                int(rng() %
                    uint32_t(trial % 8 == 5       ? 3000
                                 : trial % 8 == 7 ? 32767
                                                  : 45));
        levels[raster] = int16_t(rng() % 2 ? level : -level);
    }
    if (trial % 29 == 0) c[rng() % 64] = -32768;
}

}  // namespace

TEST(RdQuantiserDecisions, MatchTheReferenceForEveryMatrixQuantiserAndWeight)
{
    std::mt19937 rng(71);
    const STestMatrices m(rng);
    std::vector<CQuantiser> quantisers(4);
    quantisers[0].Build(defaultIntraMatrix, m.flat);
    quantisers[1].Build(m.custom, m.custom);
    quantisers[2].Build(m.heavy, m.ones);
    quantisers[3].Build(m.ones, m.heavy);
    // The default weights, and weights whose products with whole bit counts are whole
    // numbers, where a gain equal to the threshold must decide as the reference does.
    const double lambdas[][2] = {{0.3, 0.25}, {1.0, 0.5}, {0.25, 2.0}, {0.07, 0.9}};
    int drops = 0, keeps = 0, clears = 0;
    for (const CQuantiser& quantiser : quantisers)
        for (const auto& lambda : lambdas) {
            CRdQuantiser::SSettings settings;
            settings.lambda = lambda[0];
            settings.blockLambda = lambda[1];
            CRdQuantiser rd;
            rd.Build(quantiser, settings);
            const CReferenceRd reference(quantiser, settings);
            for (int trial = 0; trial < 3000; ++trial) {
                const int q = 1 + int(rng() % 31);
                alignas(32) int16_t c[64], drawn[64], a[64], b[64];
                RandomBlock(rng, c, drawn, q * quantiser.NonIntraMatrix()[rng() % 64] / 16, trial);

                std::memcpy(a, drawn, sizeof a);
                std::memcpy(b, drawn, sizeof b);
                const int dropped = reference.DropNonIntra(c, a, q);
                ASSERT_EQ(rd.DropCheapLevels(c, b, q), dropped) << trial;
                ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << trial;
                drops += dropped;
                const bool kept = reference.Keep(c, a, q);
                ASSERT_EQ(rd.KeepBlock(c, b, q), kept) << trial;
                ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << trial;
                keeps += kept;

                const bool coded = reference.QuantiseNonIntra(c, a, q);
                ASSERT_EQ(rd.QuantiseNonIntra(c, b, q), coded) << trial;
                ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << trial;
                clears += !coded;
                const int table = trial % 2;
                reference.QuantiseIntra(c, a, q, table);
                rd.QuantiseIntra(c, b, q, table);
                ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << trial;
            }
        }
    // The blocks reach both sides of every decision.
    EXPECT_GT(drops, 1000);
    EXPECT_GT(keeps, 1000);
    EXPECT_GT(clears, 1000);
}
