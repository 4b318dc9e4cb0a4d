#include "mpeg2enc/Quantiser.h"

#include "mpeg2enc/Dct.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

inline int ClampQuantiser(int q) { return std::clamp(q, 1, CQuantiser::maxQuantiser); }

inline int16_t Signed(int32_t magnitude, int32_t sign, int32_t limit)
{
    magnitude = std::min(magnitude, limit);
    return int16_t(sign < 0 ? -magnitude : magnitude);
}

void MismatchControl(int16_t coefficients[64])
{
    int32_t sum = 0;
    for (int i = 0; i < 64; ++i) sum += coefficients[i];
    if ((sum & 1) == 0) coefficients[63] = int16_t(coefficients[63] ^ 1);
}

}  // namespace

void CQuantiser::Build(const uint8_t intraMatrix[64], const uint8_t nonIntraMatrix[64])
{
    for (int i = 0; i < 64; ++i) {
        intraW[i] = std::max<uint8_t>(intraMatrix[i], 1);
        nonIntraW[i] = std::max<uint8_t>(nonIntraMatrix[i], 1);
    }
    for (int q = 1; q <= maxQuantiser; ++q)
        for (int i = 0; i < 64; ++i) {
            intraProduct[q][i] = q * intraW[i];
            intraReciprocal[q][i] = (1 << 17) / intraProduct[q][i];
            nonIntraProduct[q][i] = q * nonIntraW[i];
            nonIntraReciprocal[q][i] = (1 << 17) / nonIntraProduct[q][i];
        }
}

void CQuantiser::QuantiseIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = ClampQuantiser(q);
    const int32_t dc = coefficients[0];
    levels[0] = int16_t(dc >= 0 ? (dc + 2) / 4 : -((2 - dc) / 4));
    for (int i = 1; i < 64; ++i) {
        const int32_t c = coefficients[i];
        const int64_t numerator = 32 * int64_t(std::abs(c)) + (3 * intraProduct[q][i]) / 4;
        const int32_t magnitude = int32_t(std::min<int64_t>((numerator * intraReciprocal[q][i]) >> 18, maxLevel));
        levels[i] = Signed(magnitude, c, maxLevel);
    }
}

bool CQuantiser::QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = ClampQuantiser(q);
    bool any = false;
    for (int i = 0; i < 64; ++i) {
        const int32_t c = coefficients[i];
        const int64_t numerator = 16 * int64_t(std::abs(c)) + nonIntraW[i] / 2;
        const int32_t magnitude = int32_t(std::min<int64_t>((numerator * nonIntraReciprocal[q][i]) >> 17, maxLevel));
        levels[i] = Signed(magnitude, c, maxLevel);
        any |= magnitude != 0;
    }
    if (!any) return false;
    if (levels[0] != 0) return true;
    alignas(16) int16_t probe[64];
    std::memcpy(probe, levels, sizeof probe);
    ForwardDct(probe);
    for (int i = 0; i < 64; ++i)
        if (probe[i] != 0) return true;
    std::memset(levels, 0, 64 * sizeof(int16_t));
    return false;
}

void CQuantiser::DequantiseIntra(const int16_t levels[64], int16_t coefficients[64], int q) const
{
    q = ClampQuantiser(q);
    coefficients[0] = int16_t(std::clamp(levels[0] * 4, -2048, 2047));
    for (int i = 1; i < 64; ++i) {
        const int32_t l = levels[i];
        coefficients[i] = Signed(std::abs(l) * intraProduct[q][i] / 16, l, l < 0 ? 2048 : 2047);
    }
    MismatchControl(coefficients);
}

void CQuantiser::DequantiseNonIntra(const int16_t levels[64], int16_t coefficients[64], int q) const
{
    q = ClampQuantiser(q);
    for (int i = 0; i < 64; ++i) {
        const int32_t l = levels[i];
        coefficients[i] =
            l == 0 ? int16_t(0) : Signed((2 * std::abs(l) + 1) * nonIntraProduct[q][i] / 32, l, l < 0 ? 2048 : 2047);
    }
    MismatchControl(coefficients);
}
