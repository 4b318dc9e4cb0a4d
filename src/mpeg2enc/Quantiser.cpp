#include "mpeg2enc/Quantiser.h"

#include "mpeg2enc/BlockCoding.h"
#include "mpeg2enc/BlockKernels.h"
#include "mpeg2enc/Dct.h"
#include "mpeg2enc/EncoderKernels.h"

#include <emmintrin.h>
#include <immintrin.h>

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

inline __m128i Load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
inline void Store(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }

// The parity of the sum of 64 values is the parity of the exclusive or of their lowest
// bits: mismatch control on a block just written.
inline void MismatchControlSse2(int16_t coefficients[64])
{
    __m128i x = Load(coefficients);
    for (int i = 8; i < 64; i += 8) x = _mm_xor_si128(x, Load(coefficients + i));
    x = _mm_xor_si128(x, _mm_srli_si128(x, 8));
    x = _mm_xor_si128(x, _mm_srli_si128(x, 4));
    x = _mm_xor_si128(x, _mm_srli_si128(x, 2));
    if ((_mm_cvtsi128_si32(x) & 1) == 0) coefficients[63] = int16_t(coefficients[63] ^ 1);
}

// 16 x 16 -> 32-bit products of unsigned 16-bit values, lanes 0..3 and 4..7 of each
// 128-bit half (SSE2 has no 32-bit multiply that keeps the low halves).
inline void Products(__m128i a, __m128i b, __m128i& lo, __m128i& hi)
{
    const __m128i low = _mm_mullo_epi16(a, b), high = _mm_mulhi_epu16(a, b);
    lo = _mm_unpacklo_epi16(low, high);
    hi = _mm_unpackhi_epi16(low, high);
}

__attribute__((target("avx2"))) inline void Products(__m256i a, __m256i b, __m256i& lo, __m256i& hi)
{
    const __m256i low = _mm256_mullo_epi16(a, b), high = _mm256_mulhi_epu16(a, b);
    lo = _mm256_unpacklo_epi16(low, high);
    hi = _mm256_unpackhi_epi16(low, high);
}

// (numerator x reciprocal) >> 18 for four 32-bit lanes with 64-bit products: the
// results stay below 2^20, so each sits in the low half of its 64-bit lane.
inline __m128i MulShift18(__m128i numerator, __m128i reciprocal)
{
    const __m128i even = _mm_srli_epi64(_mm_mul_epu32(numerator, reciprocal), 18);
    const __m128i odd =
        _mm_srli_epi64(_mm_mul_epu32(_mm_srli_epi64(numerator, 32), _mm_srli_epi64(reciprocal, 32)), 18);
    return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
}

__attribute__((target("avx2"))) inline __m256i MulShift18(__m256i numerator, __m256i reciprocal)
{
    const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(numerator, reciprocal), 18);
    const __m256i odd =
        _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(numerator, 32), _mm256_srli_epi64(reciprocal, 32)), 18);
    return _mm256_or_si256(even, _mm256_slli_epi64(odd, 32));
}

// Intra AC magnitudes (32 |C| + bias) x reciprocal >> 18 of eight widened coefficients.
__attribute__((target("avx2"))) inline __m256i IntraLevel32(__m256i wide, const int32_t* bias,
                                                            const uint32_t* reciprocal)
{
    const __m256i numerator = _mm256_add_epi32(_mm256_slli_epi32(_mm256_abs_epi32(wide), 5),
                                               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bias)));
    return MulShift18(numerator, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(reciprocal)));
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
            intraBias[q][i] = (3 * intraProduct[q][i]) / 4;
            intraReciprocal32[q][i] = uint32_t(intraReciprocal[q][i]);
            intraProduct16[q][i] = uint16_t(intraProduct[q][i]);
            nonIntraProduct16[q][i] = uint16_t(nonIntraProduct[q][i]);
        }
    for (int i = 0; i < 64; ++i) nonIntraHalf16[i] = uint16_t(nonIntraW[i] / 2);
    for (int q = 1; q <= maxQuantiser; ++q) {
        vectorReady[q] = true;
        for (int i = 0; i < 64; ++i) {
            vectorReady[q] = vectorReady[q] && nonIntraReciprocal[q][i] <= 0xFFFF;
            nonIntraReciprocal16[q][i] = uint16_t(std::min(nonIntraReciprocal[q][i], 0xFFFF));
        }
        // The smallest coefficient magnitude with a non-zero level at any position, then
        // the largest error sum whose transform stays below it.
        int32_t smallest = maxLevel + 1;
        for (int i = 0; i < 64; ++i)
            for (int32_t c = 1; c < smallest; ++c)
                if (((16 * int64_t(c) + nonIntraW[i] / 2) * nonIntraReciprocal[q][i]) >> 17 != 0) {
                    smallest = c;
                    break;
                }
        uint32_t low = 0, high = 64 * 255 * 255;
        if (ForwardDctBound(high) < smallest)
            low = high;
        else
            while (high - low > 1) {
                const uint32_t middle = (low + high) / 2;
                (ForwardDctBound(middle) < smallest ? low : high) = middle;
            }
        nonIntraZeroSum[q] = low;
    }
}

// ------------------------------------------------------------------ intra quantisation

void CQuantiser::QuantiseIntraPlain(const int16_t coefficients[64], int16_t levels[64], int q) const
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

// The vector routines compute all 64 positions with the AC formula in 32-bit lanes
// (32 |C| + bias stays below 2^21, its product with the reciprocal below 2^38 and the
// shifted result below 2^20), then put the DC level in place.
void CQuantiser::QuantiseIntraSse2(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = ClampQuantiser(q);
    const __m128i limit = _mm_set1_epi16(maxLevel);
    for (int i = 0; i < 64; i += 8) {
        const __m128i c = Load(coefficients + i);
        const __m128i sign = _mm_srai_epi16(c, 15);
        __m128i part[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i wide = _mm_srai_epi32(h ? _mm_unpackhi_epi16(c, c) : _mm_unpacklo_epi16(c, c), 16);
            const __m128i s = _mm_srai_epi32(wide, 31);
            const __m128i magnitude = _mm_sub_epi32(_mm_xor_si128(wide, s), s);
            const __m128i numerator = _mm_add_epi32(_mm_slli_epi32(magnitude, 5), Load(intraBias[q] + i + 4 * h));
            part[h] = MulShift18(numerator, Load(intraReciprocal32[q] + i + 4 * h));
        }
        const __m128i level = _mm_min_epi16(_mm_packs_epi32(part[0], part[1]), limit);
        Store(levels + i, _mm_sub_epi16(_mm_xor_si128(level, sign), sign));
    }
    const int32_t dc = coefficients[0];
    levels[0] = int16_t(dc >= 0 ? (dc + 2) / 4 : -((2 - dc) / 4));
}

__attribute__((target("avx2"))) void CQuantiser::QuantiseIntraAvx2(const int16_t coefficients[64], int16_t levels[64],
                                                                   int q) const
{
    q = ClampQuantiser(q);
    const __m256i limit = _mm256_set1_epi16(maxLevel);
    for (int i = 0; i < 64; i += 16) {
        // Lanes of 8 coefficients each, widened in place: [i..i+7 | i+8..i+15].
        const __m256i a = _mm256_cvtepi16_epi32(Load(coefficients + i));
        const __m256i b = _mm256_cvtepi16_epi32(Load(coefficients + i + 8));
        const __m256i la = IntraLevel32(a, intraBias[q] + i, intraReciprocal32[q] + i);
        const __m256i lb = IntraLevel32(b, intraBias[q] + i + 8, intraReciprocal32[q] + i + 8);
        // packs works per 128-bit lane: [a0..3, b0..3 | a4..7, b4..7] -> reorder.
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(la, lb), 0xD8);
        const __m256i level = _mm256_min_epi16(packed, limit);
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(levels + i), _mm256_sign_epi16(level, c));
    }
    const int32_t dc = coefficients[0];
    levels[0] = int16_t(dc >= 0 ? (dc + 2) / 4 : -((2 - dc) / 4));
}

void CQuantiser::QuantiseIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    (this->*EncoderKernels().quantiseIntra)(coefficients, levels, q);
}

// ------------------------------------------------------------------ non-intra quantisation

uint64_t CQuantiser::NonIntraLevelsPlain(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = ClampQuantiser(q);
    uint64_t nonZero = 0;
    for (int i = 0; i < 64; ++i) {
        const int32_t c = coefficients[i];
        const int64_t numerator = 16 * int64_t(std::abs(c)) + nonIntraW[i] / 2;
        const int32_t magnitude = int32_t(std::min<int64_t>((numerator * nonIntraReciprocal[q][i]) >> 17, maxLevel));
        levels[i] = Signed(magnitude, c, maxLevel);
        if (magnitude != 0) nonZero |= uint64_t(1) << i;
    }
    return nonZero;
}

// The vector routines compute in 16 bits: 16 |C| + W / 2 fits for |C| <= 2047, and with
// a 16-bit reciprocal the 32-bit product shifted by 17 is the high half shifted by 1.
// A block with a larger coefficient, or a quantiser whose reciprocals need more than 16
// bits, is given to the plain routine (its levels are written over).
uint64_t CQuantiser::NonIntraLevelsSse2(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    const int qc = ClampQuantiser(q);
    if (!vectorReady[qc]) return NonIntraLevelsPlain(coefficients, levels, q);
    const __m128i limit = _mm_set1_epi16(maxLevel);
    const __m128i zero = _mm_setzero_si128();
    __m128i over = zero;
    uint64_t zeros = 0;
    for (int i = 0; i < 64; i += 16) {
        __m128i isZero[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i c = Load(coefficients + i + 8 * h);
            const __m128i sign = _mm_srai_epi16(c, 15);
            const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(c, sign), sign);
            over = _mm_or_si128(over, _mm_subs_epu16(magnitude, limit));
            const __m128i numerator = _mm_add_epi16(_mm_slli_epi16(magnitude, 4), Load(nonIntraHalf16 + i + 8 * h));
            const __m128i reciprocal = Load(nonIntraReciprocal16[qc] + i + 8 * h);
            const __m128i level = _mm_min_epi16(_mm_srli_epi16(_mm_mulhi_epu16(numerator, reciprocal), 1), limit);
            isZero[h] = _mm_cmpeq_epi16(level, zero);
            Store(levels + i + 8 * h, _mm_sub_epi16(_mm_xor_si128(level, sign), sign));
        }
        zeros |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_packs_epi16(isZero[0], isZero[1])))) << i;
    }
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(over, zero)) != 0xFFFF) return NonIntraLevelsPlain(coefficients, levels, q);
    return ~zeros;
}

__attribute__((target("avx2"))) uint64_t CQuantiser::NonIntraLevelsAvx2(const int16_t coefficients[64],
                                                                        int16_t levels[64], int q) const
{
    const int qc = ClampQuantiser(q);
    if (!vectorReady[qc]) return NonIntraLevelsPlain(coefficients, levels, q);
    // The SSE2 computation on sixteen coefficients at a time; _mm256_sign_epi16 gives the
    // level the coefficient's sign (and leaves 0 for a zero coefficient, whose level is 0).
    const __m256i limit = _mm256_set1_epi16(maxLevel);
    const __m256i zero = _mm256_setzero_si256();
    __m256i over = zero;
    uint64_t zeros = 0;
    for (int i = 0; i < 64; i += 32) {
        __m256i isZero[2];
        for (int h = 0; h < 2; ++h) {
            const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + i + 16 * h));
            const __m256i magnitude = _mm256_abs_epi16(c);
            over = _mm256_or_si256(over, _mm256_subs_epu16(magnitude, limit));
            const __m256i numerator =
                _mm256_add_epi16(_mm256_slli_epi16(magnitude, 4),
                                 _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nonIntraHalf16 + i + 16 * h)));
            const __m256i reciprocal =
                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nonIntraReciprocal16[qc] + i + 16 * h));
            const __m256i level =
                _mm256_min_epi16(_mm256_srli_epi16(_mm256_mulhi_epu16(numerator, reciprocal), 1), limit);
            isZero[h] = _mm256_cmpeq_epi16(level, zero);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(levels + i + 16 * h), _mm256_sign_epi16(level, c));
        }
        // packs per 128-bit lane: [h0 0..7, h1 0..7 | h0 8..15, h1 8..15] -> positions in order
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(isZero[0], isZero[1]), 0xD8);
        zeros |= uint64_t(uint32_t(_mm256_movemask_epi8(bytes))) << i;
    }
    if (!_mm256_testz_si256(over, over)) return NonIntraLevelsPlain(coefficients, levels, q);
    return ~zeros;
}

bool CQuantiser::QuantiseNonIntraPlain(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    if (!NonIntraLevelsPlain(coefficients, levels, q)) return false;
    if (levels[0] != 0) return true;
    int16_t probe[64];
    std::memcpy(probe, levels, sizeof probe);
    ForwardDctPlain(probe);
    for (int i = 0; i < 64; ++i)
        if (probe[i] != 0) return true;
    std::memset(levels, 0, 64 * sizeof(int16_t));
    return false;
}

namespace {

// Whether the forward transform of a block holding one level `value` at `position` and
// zeros elsewhere has any non-zero output, for |value| <= singleLevelLimit; and whether
// every block of two levels of +-1 (at any two positions, any signs) transforms to zeros
// alone. Worked out once with the transform itself, so that looking an answer up gives
// the transform's answer. Lone levels and pairs of ones are most of the blocks that
// reach the test.
constexpr int singleLevelLimit = 8;

struct SSmallLevelTable {
    bool nonZero[64][2 * singleLevelLimit + 1];
    bool pairsOfOnesVanish;
};

bool TransformsToZeros(int16_t block[64])
{
    ForwardDct(block);
    return IsZeroBlock(block);
}

const SSmallLevelTable& SmallLevels()
{
    static const SSmallLevelTable table = [] {
        SSmallLevelTable t{};
        for (int position = 0; position < 64; ++position)
            for (int value = -singleLevelLimit; value <= singleLevelLimit; ++value) {
                alignas(32) int16_t block[64] = {};
                block[position] = int16_t(value);
                t.nonZero[position][value + singleLevelLimit] = !TransformsToZeros(block);
            }
        t.pairsOfOnesVanish = true;
        for (int p = 0; p < 64; ++p)
            for (int q = p + 1; q < 64; ++q)
                for (int signs = 0; signs < 4; ++signs) {
                    alignas(32) int16_t block[64] = {};
                    block[p] = int16_t(signs & 2 ? -1 : 1);
                    block[q] = int16_t(signs & 1 ? -1 : 1);
                    t.pairsOfOnesVanish = t.pairsOfOnesVanish && TransformsToZeros(block);
                }
        return t;
    }();
    return table;
}

}  // namespace

uint64_t CQuantiser::NonIntraLevels(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    return (this->*EncoderKernels().nonIntraLevels)(coefficients, levels, q);
}

bool CQuantiser::QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    const uint64_t nonZero = NonIntraLevels(coefficients, levels, q);
    if (nonZero == 0) return false;
    if (!RoundsAway(levels, nonZero)) return true;
    std::memset(levels, 0, 64 * sizeof(int16_t));
    return false;
}

bool CQuantiser::RoundsAway(const int16_t levels[64], uint64_t nonZero) const
{
    if (levels[0] != 0) return false;
    // A lone small level or a pair of ones (the common cases) has its answer in a table.
    if (nonZero == 0) return true;
    const uint64_t rest = nonZero & (nonZero - 1);
    if (rest == 0) {
        const int position = __builtin_ctzll(nonZero);
        const int value = levels[position];
        if (value >= -singleLevelLimit && value <= singleLevelLimit)
            return !SmallLevels().nonZero[position][value + singleLevelLimit];
    } else if ((rest & (rest - 1)) == 0 && SmallLevels().pairsOfOnesVanish) {
        const int a = levels[__builtin_ctzll(nonZero)], b = levels[__builtin_ctzll(rest)];
        if ((a == 1 || a == -1) && (b == 1 || b == -1)) return true;
    }
    alignas(32) int16_t probe[64];
    std::memcpy(probe, levels, sizeof probe);
    ForwardDct(probe);
    return IsZeroBlock(probe);
}

// ------------------------------------------------------------------ inverse quantisation

void CQuantiser::DequantiseIntraPlain(const int16_t levels[64], int16_t coefficients[64], int q) const
{
    q = ClampQuantiser(q);
    coefficients[0] = int16_t(std::clamp(levels[0] * 4, -2048, 2047));
    for (int i = 1; i < 64; ++i) {
        const int32_t l = levels[i];
        coefficients[i] = Signed(std::abs(l) * intraProduct[q][i] / 16, l, l < 0 ? 2048 : 2047);
    }
    MismatchControl(coefficients);
}

void CQuantiser::DequantiseNonIntraPlain(const int16_t levels[64], int16_t coefficients[64], int q) const
{
    q = ClampQuantiser(q);
    for (int i = 0; i < 64; ++i) {
        const int32_t l = levels[i];
        coefficients[i] =
            l == 0 ? int16_t(0) : Signed((2 * std::abs(l) + 1) * nonIntraProduct[q][i] / 32, l, l < 0 ? 2048 : 2047);
    }
    MismatchControl(coefficients);
}

// Vector inverse quantisation: |level| (as an unsigned 16-bit value, so -32768 gives
// 32768) times q W in 32 bits, divided by a shift (all values are non-negative), packed
// back to 16 bits with saturation, limited to 2047 (2048 for negative levels) and given
// the level's sign. Every product stays below 2^30.
void CQuantiser::DequantiseIntraSse2(const int16_t levels[64], int16_t coefficients[64], int q) const
{
    q = ClampQuantiser(q);
    const __m128i limit = _mm_set1_epi16(2047);
    for (int i = 0; i < 64; i += 8) {
        const __m128i l = Load(levels + i);
        const __m128i sign = _mm_srai_epi16(l, 15);
        __m128i lo, hi;
        Products(_mm_sub_epi16(_mm_xor_si128(l, sign), sign), Load(intraProduct16[q] + i), lo, hi);
        const __m128i magnitude = _mm_packs_epi32(_mm_srli_epi32(lo, 4), _mm_srli_epi32(hi, 4));
        const __m128i limited = _mm_min_epi16(magnitude, _mm_sub_epi16(limit, sign));
        Store(coefficients + i, _mm_sub_epi16(_mm_xor_si128(limited, sign), sign));
    }
    coefficients[0] = int16_t(std::clamp(levels[0] * 4, -2048, 2047));
    MismatchControlSse2(coefficients);
}

void CQuantiser::DequantiseNonIntraSse2(const int16_t levels[64], int16_t coefficients[64], int q) const
{
    q = ClampQuantiser(q);
    const __m128i limit = _mm_set1_epi16(2047);
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 8) {
        const __m128i l = Load(levels + i);
        const __m128i sign = _mm_srai_epi16(l, 15);
        const __m128i product = Load(nonIntraProduct16[q] + i);
        __m128i lo, hi;
        Products(_mm_sub_epi16(_mm_xor_si128(l, sign), sign), product, lo, hi);
        // (2 |l| + 1) q W = 2 |l| q W + q W
        lo = _mm_add_epi32(_mm_slli_epi32(lo, 1), _mm_unpacklo_epi16(product, zero));
        hi = _mm_add_epi32(_mm_slli_epi32(hi, 1), _mm_unpackhi_epi16(product, zero));
        const __m128i magnitude = _mm_packs_epi32(_mm_srli_epi32(lo, 5), _mm_srli_epi32(hi, 5));
        const __m128i limited = _mm_min_epi16(magnitude, _mm_sub_epi16(limit, sign));
        const __m128i value = _mm_sub_epi16(_mm_xor_si128(limited, sign), sign);
        Store(coefficients + i, _mm_andnot_si128(_mm_cmpeq_epi16(l, zero), value));
    }
    MismatchControlSse2(coefficients);
}

__attribute__((target("avx2"))) void CQuantiser::DequantiseIntraAvx2(const int16_t levels[64], int16_t coefficients[64],
                                                                     int q) const
{
    q = ClampQuantiser(q);
    const __m256i limit = _mm256_set1_epi16(2047);
    for (int i = 0; i < 64; i += 16) {
        const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels + i));
        const __m256i sign = _mm256_srai_epi16(l, 15);
        __m256i lo, hi;
        Products(_mm256_abs_epi16(l), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(intraProduct16[q] + i)), lo,
                 hi);
        // unpack and pack both work per 128-bit lane, so the order comes back as it was.
        const __m256i magnitude = _mm256_packs_epi32(_mm256_srli_epi32(lo, 4), _mm256_srli_epi32(hi, 4));
        const __m256i limited = _mm256_min_epi16(magnitude, _mm256_sub_epi16(limit, sign));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(coefficients + i), _mm256_sign_epi16(limited, l));
    }
    coefficients[0] = int16_t(std::clamp(levels[0] * 4, -2048, 2047));
    MismatchControlSse2(coefficients);
}

__attribute__((target("avx2"))) void CQuantiser::DequantiseNonIntraAvx2(const int16_t levels[64],
                                                                        int16_t coefficients[64], int q) const
{
    q = ClampQuantiser(q);
    const __m256i limit = _mm256_set1_epi16(2047);
    const __m256i zero = _mm256_setzero_si256();
    for (int i = 0; i < 64; i += 16) {
        const __m256i l = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels + i));
        const __m256i sign = _mm256_srai_epi16(l, 15);
        const __m256i product = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(nonIntraProduct16[q] + i));
        __m256i lo, hi;
        Products(_mm256_abs_epi16(l), product, lo, hi);
        lo = _mm256_add_epi32(_mm256_slli_epi32(lo, 1), _mm256_unpacklo_epi16(product, zero));
        hi = _mm256_add_epi32(_mm256_slli_epi32(hi, 1), _mm256_unpackhi_epi16(product, zero));
        const __m256i magnitude = _mm256_packs_epi32(_mm256_srli_epi32(lo, 5), _mm256_srli_epi32(hi, 5));
        const __m256i limited = _mm256_min_epi16(magnitude, _mm256_sub_epi16(limit, sign));
        // sign_epi16 also zeroes the lanes whose level is 0.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(coefficients + i), _mm256_sign_epi16(limited, l));
    }
    MismatchControlSse2(coefficients);
}

void CQuantiser::DequantiseIntra(const int16_t levels[64], int16_t coefficients[64], int q) const
{
    (this->*EncoderKernels().dequantiseIntra)(levels, coefficients, q);
}

void CQuantiser::DequantiseNonIntra(const int16_t levels[64], int16_t coefficients[64], int q) const
{
    (this->*EncoderKernels().dequantiseNonIntra)(levels, coefficients, q);
}
