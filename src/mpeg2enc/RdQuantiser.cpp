#include "mpeg2enc/RdQuantiser.h"

#include "mpeg2enc/VlcTables.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Moves every coefficient toward zero by its entry of `shrink` (never past zero), from
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
        }
        weight[q] = settings.lambda * double(q) * double(q);
    }
}

void CRdQuantiser::QuantiseIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    alignas(32) int16_t shrunk[64];
    Shrink(coefficients, intraShrink[q], shrunk, 1);
    base->QuantiseIntra(shrunk, levels, q);
}

bool CRdQuantiser::QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    alignas(32) int16_t shrunk[64];
    Shrink(coefficients, nonIntraShrink[q], shrunk, 0);
    if (!base->QuantiseNonIntra(shrunk, levels, q)) return false;
    DropTrailingLevels(coefficients, levels, q);
    for (int i = 0; i < 64; ++i)
        if (levels[i] != 0) return true;
    return false;
}

int CRdQuantiser::CodeBits(int run, int level)
{
    const SVlc code = VlcCoefficient(0, run, std::abs(level));
    return code.length ? code.length + 1 : 24;
}

int CRdQuantiser::DropTrailingLevels(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    // Scan positions of the coded levels, in scan order.
    int coded[64];
    int count = 0;
    for (int s = 0; s < 64; ++s)
        if (levels[alternateScan[s]] != 0) coded[count++] = s;
    int dropped = 0;
    while (count > 0) {
        const int s = coded[count - 1];
        const int raster = alternateScan[s];
        if (std::abs(levels[raster]) != 1) break;
        const int run = s - (count > 1 ? coded[count - 2] : -1) - 1;
        const double c = std::abs(coefficients[raster]);
        const double error = c - levelOne[q][raster];
        const double gain = c * c - error * error;  // squared error the level removes
        if (gain >= weight[q] * CodeBits(run, 1)) break;
        levels[raster] = 0;
        --count;
        ++dropped;
    }
    return dropped;
}
