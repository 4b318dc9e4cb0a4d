#include "mpeg2enc/Quantiser.h"

#include "mpeg2enc/Dct.h"

#include <emmintrin.h>

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
    for (int i = 0; i < 64; ++i) nonIntraHalf16[i] = uint16_t(nonIntraW[i] / 2);
    for (int q = 1; q <= maxQuantiser; ++q) {
        vectorReady[q] = true;
        for (int i = 0; i < 64; ++i) {
            vectorReady[q] = vectorReady[q] && nonIntraReciprocal[q][i] <= 0xFFFF;
            nonIntraReciprocal16[q][i] = uint16_t(std::min(nonIntraReciprocal[q][i], 0xFFFF));
        }
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

bool CQuantiser::NonIntraLevelsPlain(const int16_t coefficients[64], int16_t levels[64], int q) const
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
    return any;
}

bool CQuantiser::NonIntraLevelsSse2(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = ClampQuantiser(q);
    // 16 |C| + W / 2 fits 16 bits for |C| <= 2047, and with a 16-bit reciprocal the
    // 32-bit product shifted by 17 is the high half shifted by 1.
    const __m128i limit = _mm_set1_epi16(maxLevel);
    __m128i any = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + i));
        const __m128i sign = _mm_srai_epi16(c, 15);
        const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(c, sign), sign);
        const __m128i numerator = _mm_add_epi16(_mm_slli_epi16(magnitude, 4),
                                                _mm_loadu_si128(reinterpret_cast<const __m128i*>(nonIntraHalf16 + i)));
        const __m128i reciprocal = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nonIntraReciprocal16[q] + i));
        const __m128i level = _mm_min_epi16(_mm_srli_epi16(_mm_mulhi_epu16(numerator, reciprocal), 1), limit);
        any = _mm_or_si128(any, level);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(levels + i), _mm_sub_epi16(_mm_xor_si128(level, sign), sign));
    }
    return _mm_movemask_epi8(_mm_cmpeq_epi16(any, _mm_setzero_si128())) != 0xFFFF;
}

bool CQuantiser::QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = ClampQuantiser(q);
    bool inRange = vectorReady[q];
    for (int i = 0; i < 64 && inRange; ++i) inRange = coefficients[i] >= -maxLevel && coefficients[i] <= maxLevel;
    const bool any = inRange ? NonIntraLevelsSse2(coefficients, levels, q) : NonIntraLevelsPlain(coefficients, levels, q);
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
