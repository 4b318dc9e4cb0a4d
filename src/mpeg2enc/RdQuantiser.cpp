#include "mpeg2enc/RdQuantiser.h"

#include "mpeg2enc/BlockCoding.h"
#include "mpeg2enc/VlcTables.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

// Moves every coefficient toward zero by its entry of `shrink` (never past zero; a
// negative entry moves it away from zero), from
// position `first` on.
void Shrink(const int16_t coefficients[64], const int16_t shrink[64], int16_t out[64], int first)
{
    for (int i = 0; i < first; ++i) out[i] = coefficients[i];
    for (int i = first; i < 64; ++i) {
        const int c = coefficients[i];
        const int m = std::max(std::abs(c) - shrink[i], 0);
        out[i] = int16_t(c < 0 ? -m : m);
    }
}

}  // namespace

void CRdQuantiser::Build(const CQuantiser& quantiser, const SSettings& newSettings)
{
    base = &quantiser;
    settings = newSettings;
    const uint8_t* intraW = quantiser.IntraMatrix();
    const uint8_t* nonIntraW = quantiser.NonIntraMatrix();
    for (int q = 1; q <= CQuantiser::maxQuantiser; ++q) {
        for (int i = 0; i < 64; ++i) {
            // A step is q W / 16; the shrink is a number of sixteenths of it.
            intraShrink[q][i] = int16_t(settings.intraShrink * q * intraW[i] / (16 * kFractionUnit));
            nonIntraShrink[q][i] = int16_t(settings.nonIntraShrink * q * nonIntraW[i] / (16 * kFractionUnit));
            levelOne[q][i] = 3 * q * nonIntraW[i] / 32;
            intraOne[q][i] = q * intraW[i] / 16;
        }
        weight[q] = settings.lambda * double(q) * double(q);
        blockWeight[q] = settings.blockLambda * double(q) * double(q);
    }
}

void CRdQuantiser::QuantiseIntra(const int16_t coefficients[64], int16_t levels[64], int q, int table) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    alignas(32) int16_t shrunk[64];
    Shrink(coefficients, intraShrink[q], shrunk, 1);
    base->QuantiseIntra(shrunk, levels, q);
    DropLevels(coefficients, levels, q, table, intraOne[q], 1);
}

bool CRdQuantiser::QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    alignas(32) int16_t shrunk[64];
    Shrink(coefficients, nonIntraShrink[q], shrunk, 0);
    if (!base->QuantiseNonIntra(shrunk, levels, q)) return false;
    DropCheapLevels(coefficients, levels, q);
    return KeepBlock(coefficients, levels, q);
}

bool CRdQuantiser::KeepBlock(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    const uint8_t* w = base->NonIntraMatrix();
    double gain = 0.0;
    int bits = 2;  // end of block
    int last = -1;
    int coded[64];
    const int count = CodedPositions(levels, coded);
    for (int k = 0; k < count; ++k) {
        const int s = coded[k];
        const int raster = zigzagScan[size_t(s)];
        const int level = levels[raster];
        const double c = std::abs(coefficients[raster]);
        const double error = c - double((2 * std::abs(level) + 1) * q * w[raster]) / 32.0;
        gain += c * c - error * error;
        bits += CodeBits(0, s - last - 1, level);
        last = s;
    }
    if (last < 0) return false;
    if (gain >= blockWeight[q] * bits) return true;
    std::fill(levels, levels + 64, int16_t(0));
    return false;
}

int CRdQuantiser::CodeBits(int table, int run, int level)
{
    const SVlc code = VlcCoefficient(table, run, std::abs(level));
    return code.length ? code.length + 1 : 24;
}

int CRdQuantiser::CodedPositions(const int16_t levels[64], int coded[64])
{
    // Positions in raster order from the non-zero mask, turned into a mask in scan order.
    static const std::array<uint8_t, 64> scanIndex = [] {
        std::array<uint8_t, 64> index{};
        for (int s = 0; s < 64; ++s) index[zigzagScan[size_t(s)]] = uint8_t(s);
        return index;
    }();
    uint64_t scanMask = 0;
    for (uint64_t mask = NonZeroMask(levels); mask; mask &= mask - 1)
        scanMask |= uint64_t(1) << scanIndex[size_t(__builtin_ctzll(mask))];
    int count = 0;
    for (; scanMask; scanMask &= scanMask - 1) coded[count++] = __builtin_ctzll(scanMask);
    return count;
}

int CRdQuantiser::DropCheapLevels(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    return DropLevels(coefficients, levels, q, 0, levelOne[q], 0);
}

int CRdQuantiser::DropLevels(const int16_t coefficients[64], int16_t levels[64], int q, int table,
                             const int32_t one[64], int first) const
{
    int coded[64];
    const int count = CodedPositions(levels, coded);
    int dropped = 0;
    int next = -1;  // index in `coded` of the nearest kept level after the one looked at
    for (int k = count - 1; k >= 0 && coded[k] >= first; --k) {
        const int s = coded[k];
        const int raster = zigzagScan[size_t(s)];
        const int previous = k > 0 ? coded[k - 1] : first - 1;
        if (std::abs(levels[raster]) == 1) {
            // Bits saved: this level's code, and the next level's code with its run
            // against the same level after the longer run.
            int saved = CodeBits(table, s - previous - 1, 1);
            if (next >= 0) {
                const int following = levels[zigzagScan[size_t(coded[next])]];
                saved += CodeBits(table, coded[next] - s - 1, following) -
                    CodeBits(table, coded[next] - previous - 1, following);
            }
            const double c = std::abs(coefficients[raster]);
            const double error = c - one[raster];
            const double gain = c * c - error * error;  // squared error the level removes
            if (gain < weight[q] * saved) {
                levels[raster] = 0;
                ++dropped;
                continue;
            }
        }
        next = k;
    }
    return dropped;
}
