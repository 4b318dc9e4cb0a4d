#include "mpeg2enc/Dct.h"

#include "mpeg2enc/EncoderKernels.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

// cos((2x + 1) u pi / 16) x c(u) / 2 for the inverse transform.
// `t` is the same table transposed (t[x][u] = m[u][x]), for broadcasting m[v][y] in the
// column pass of the vector routines.
struct alignas(32) SInverseTable {
    double m[8][8];
    double t[8][8];
    SInverseTable()
    {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x) {
                m[u][x] = (u == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos((2 * x + 1) * u * M_PI / 16.0);
                t[x][u] = m[u][x];
            }
    }
};

const SInverseTable& Inverse()
{
    static const SInverseTable table;
    return table;
}

// One bit per coefficient for each row v of the block: bit u of masks[v] is set when
// F[v][u] != 0. Returns false when the block holds nothing but a 0 or 1 at position 63
// (the mark mismatch control leaves on an empty block), which transforms to zeros.
inline bool RowMasks(const int16_t* coefficients, unsigned masks[8])
{
    const __m128i zero = _mm_setzero_si128();
    unsigned early = 0;
    for (int v = 0; v < 8; ++v) {
        const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * v));
        const __m128i isZero = _mm_cmpeq_epi16(row, zero);
        masks[v] = ~unsigned(_mm_movemask_epi8(_mm_packs_epi16(isZero, zero))) & 0xFFu;
        early |= v < 7 ? masks[v] : masks[v] & 0x7Fu;
    }
    return early != 0 || (coefficients[63] != 0 && coefficients[63] != 1);
}

}  // namespace

void InverseDctPlain(const int16_t coefficients[64], int16_t out[64])
{
    bool nothing = coefficients[63] == 0 || coefficients[63] == 1;
    for (int i = 0; i < 63 && nothing; ++i) nothing = coefficients[i] == 0;
    if (nothing) {
        std::fill(out, out + 64, int16_t(0));
        return;
    }
    const auto& m = Inverse().m;
    // Rows: tmp[v][x] = sum_u F[v][u] m[u][x]; columns: f[y][x] = sum_v m[v][y] tmp[v][x].
    // Zero coefficients and zero rows are skipped: adding 0.0 changes no sum, so the
    // result is that of the full computation.
    double tmp[8][8];
    bool rowUsed[8];
    for (int v = 0; v < 8; ++v) {
        rowUsed[v] = false;
        for (int x = 0; x < 8; ++x) tmp[v][x] = 0.0;
        for (int u = 0; u < 8; ++u) {
            const int16_t c = coefficients[v * 8 + u];
            if (c == 0) continue;
            rowUsed[v] = true;
            for (int x = 0; x < 8; ++x) tmp[v][x] += c * m[u][x];
        }
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0.0;
            for (int v = 0; v < 8; ++v)
                if (rowUsed[v]) s += m[v][y] * tmp[v][x];
            const double r = std::floor(s + 0.5);
            out[y * 8 + x] = int16_t(std::clamp(r, -256.0, 255.0));
        }
}

// The double routines the vector routines fall back on perform, per output, the very
// same double operations in the same order as InverseDctPlain: each lane of a register is
// one column x (row pass) or one output x (column pass). Row pass: tmp[v][x] = 0.0, then
// tmp[v][x] += F[v][u] m[u][x] for every non-zero F[v][u] in increasing u. Column pass:
// s = 0.0, then s += m[v][y] tmp[v][x] for every row v with a non-zero coefficient, in
// increasing v. The multiply and the add stay separate instructions (no fused
// multiply-add, which would round once instead of twice). floor(s + 0.5) limited to
// -256..255 equals the limited value floored, since the limits are integers; the SSE2
// version floors by truncating and correcting, which is exact for values in that range.
namespace {

void ExactInverseDctSse2(const int16_t coefficients[64], int16_t out[64])
{
    unsigned masks[8];
    if (!RowMasks(coefficients, masks)) {
        std::fill(out, out + 64, int16_t(0));
        return;
    }
    const auto& table = Inverse();
    alignas(16) double tmp[8][8];
    int used[8];
    int rows = 0;
    for (int v = 0; v < 8; ++v) {
        if (!masks[v]) continue;
        __m128d a[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
        for (unsigned m = masks[v]; m; m &= m - 1) {
            const int u = __builtin_ctz(m);
            const __m128d c = _mm_set1_pd(double(coefficients[v * 8 + u]));
            for (int k = 0; k < 4; ++k) a[k] = _mm_add_pd(a[k], _mm_mul_pd(c, _mm_load_pd(table.m[u] + 2 * k)));
        }
        for (int k = 0; k < 4; ++k) _mm_store_pd(tmp[rows] + 2 * k, a[k]);
        used[rows++] = v;
    }
    const __m128d half = _mm_set1_pd(0.5), low = _mm_set1_pd(-256.0), high = _mm_set1_pd(255.0);
    const __m128d one = _mm_set1_pd(1.0);
    for (int y = 0; y < 8; ++y) {
        __m128d s[4] = {_mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd(), _mm_setzero_pd()};
        for (int r = 0; r < rows; ++r) {
            const __m128d m = _mm_set1_pd(table.m[used[r]][y]);
            for (int k = 0; k < 4; ++k) s[k] = _mm_add_pd(s[k], _mm_mul_pd(m, _mm_load_pd(tmp[r] + 2 * k)));
        }
        __m128i pair[4];
        for (int k = 0; k < 4; ++k) {
            const __m128d t = _mm_min_pd(_mm_max_pd(_mm_add_pd(s[k], half), low), high);
            const __m128d truncated = _mm_cvtepi32_pd(_mm_cvttpd_epi32(t));
            const __m128d floored = _mm_sub_pd(truncated, _mm_and_pd(_mm_cmpgt_pd(truncated, t), one));
            pair[k] = _mm_cvtpd_epi32(floored);
        }
        const __m128i lo = _mm_unpacklo_epi64(pair[0], pair[1]);
        const __m128i hi = _mm_unpacklo_epi64(pair[2], pair[3]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * y), _mm_packs_epi32(lo, hi));
    }
}

// The double computation of InverseDctPlain, four lanes at a time, for a block that is not
// all zeros.
__attribute__((target("avx2"))) void ExactInverseDctAvx2(const int16_t coefficients[64], int16_t out[64])
{
    unsigned masks[8];
    RowMasks(coefficients, masks);
    const auto& table = Inverse();
    alignas(32) double tmp[8][8];
    int used[8];
    int rows = 0;
    for (int v = 0; v < 8; ++v) {
        if (!masks[v]) continue;
        __m256d a0 = _mm256_setzero_pd(), a1 = _mm256_setzero_pd();
        if (__builtin_popcount(masks[v]) > 1) {
            // A row of two or more terms: all eight without branches (cheaper than the
            // per-coefficient loop once there is more than one). A zero coefficient adds a
            // zero product, which leaves the sum as it is (a sum that is zero stays +0),
            // so this is the sparse loop's result.
            alignas(32) double c[8];
            const __m128i row = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * v));
            const __m256i wide = _mm256_cvtepi16_epi32(row);
            _mm256_store_pd(c, _mm256_cvtepi32_pd(_mm256_castsi256_si128(wide)));
            _mm256_store_pd(c + 4, _mm256_cvtepi32_pd(_mm256_extracti128_si256(wide, 1)));
            for (int u = 0; u < 8; ++u) {
                const __m256d cu = _mm256_broadcast_sd(c + u);
                a0 = _mm256_add_pd(a0, _mm256_mul_pd(cu, _mm256_load_pd(table.m[u])));
                a1 = _mm256_add_pd(a1, _mm256_mul_pd(cu, _mm256_load_pd(table.m[u] + 4)));
            }
        } else {
            for (unsigned m = masks[v]; m; m &= m - 1) {
                const int u = __builtin_ctz(m);
                const __m256d c = _mm256_set1_pd(double(coefficients[v * 8 + u]));
                a0 = _mm256_add_pd(a0, _mm256_mul_pd(c, _mm256_load_pd(table.m[u])));
                a1 = _mm256_add_pd(a1, _mm256_mul_pd(c, _mm256_load_pd(table.m[u] + 4)));
            }
        }
        _mm256_store_pd(tmp[rows], a0);
        _mm256_store_pd(tmp[rows] + 4, a1);
        used[rows++] = v;
    }
    const __m256d half = _mm256_set1_pd(0.5), low = _mm256_set1_pd(-256.0), high = _mm256_set1_pd(255.0);
    // Four output rows at a time with the coefficient rows outermost: each output still
    // sums its terms in increasing v, but the four rows' sums are independent chains
    // that the processor overlaps instead of waiting on one add after another.
    for (int y = 0; y < 8; y += 4) {
        __m256d s[4][2];
        for (int k = 0; k < 4; ++k) s[k][0] = s[k][1] = _mm256_setzero_pd();
        for (int r = 0; r < rows; ++r) {
            const __m256d t0 = _mm256_load_pd(tmp[r]), t1 = _mm256_load_pd(tmp[r] + 4);
            const double* column = table.m[used[r]] + y;
            for (int k = 0; k < 4; ++k) {
                const __m256d m = _mm256_broadcast_sd(column + k);
                s[k][0] = _mm256_add_pd(s[k][0], _mm256_mul_pd(m, t0));
                s[k][1] = _mm256_add_pd(s[k][1], _mm256_mul_pd(m, t1));
            }
        }
        for (int k = 0; k < 4; ++k) {
            const __m256d r0 = _mm256_min_pd(_mm256_max_pd(_mm256_floor_pd(_mm256_add_pd(s[k][0], half)), low), high);
            const __m256d r1 = _mm256_min_pd(_mm256_max_pd(_mm256_floor_pd(_mm256_add_pd(s[k][1], half)), low), high);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * (y + k)),
                             _mm_packs_epi32(_mm256_cvtpd_epi32(r0), _mm256_cvtpd_epi32(r1)));
        }
    }
}

// The inverse transform's constants rounded to single precision, each repeated in eight
// lanes: m[i][j] holds m[i][j] of SInverseTable for j < 4 (the other half follows by
// symmetry), ready to be a multiplication's memory operand.
struct alignas(32) SInverseFloatTable {
    float m[8][4][8];
    SInverseFloatTable()
    {
        for (int i = 0; i < 8; ++i)
            for (int j = 0; j < 4; ++j) std::fill(m[i][j], m[i][j] + 8, float(Inverse().m[i][j]));
    }
};

const SInverseFloatTable& FloatInverse()
{
    static const SInverseFloatTable table;
    return table;
}

// Blocks whose coefficient magnitudes sum to more than this go straight to the double
// computation; below it the bound eps stays exact in float. (A lower limit does not pay:
// even blocks of sums 1024..2047, the largest the encoder makes in numbers, fall back only
// one time in thirteen.) Below 32767, so that a block with a -32768 (counted as 32767) is
// never taken for a small one.
constexpr int kSingleLimit = 32000;

// The sum of |F| over the block, with -32768 counted as 32767.
__attribute__((target("avx2"))) inline int MagnitudeSum(const __m256i r[4])
{
    const __m256i least = _mm256_set1_epi16(-32767), ones = _mm256_set1_epi16(1);
    __m256i sum = _mm256_setzero_si256();
#pragma GCC unroll 8
    for (int k = 0; k < 4; ++k)
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(_mm256_abs_epi16(_mm256_max_epi16(r[k], least)), ones));
    sum = _mm256_add_epi32(sum, _mm256_permute2x128_si256(sum, sum, 1));
    sum = _mm256_add_epi32(sum, _mm256_shuffle_epi32(sum, 0x4E));
    sum = _mm256_add_epi32(sum, _mm256_shuffle_epi32(sum, 0xB1));
    return _mm_cvtsi128_si32(_mm256_castsi256_si128(sum));
}

// The block's columns: column u of F (lane v holds F[v][u]) in c[u].
inline void Columns(const int16_t* coefficients, __m128i c[8])
{
    __m128i r[8], a[8], b[8];
#pragma GCC unroll 8
    for (int v = 0; v < 8; ++v) r[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + 8 * v));
#pragma GCC unroll 8
    for (int k = 0; k < 4; ++k) {
        a[2 * k] = _mm_unpacklo_epi16(r[2 * k], r[2 * k + 1]);
        a[2 * k + 1] = _mm_unpackhi_epi16(r[2 * k], r[2 * k + 1]);
    }
    // a[0], a[2]: columns 0-3 of rows 0-1 and 2-3 in pairs; a[1], a[3]: columns 4-7.
#pragma GCC unroll 8
    for (int k = 0; k < 2; ++k) {
        const __m128i* q = a + 4 * k;
        b[4 * k] = _mm_unpacklo_epi32(q[0], q[2]);
        b[4 * k + 1] = _mm_unpackhi_epi32(q[0], q[2]);
        b[4 * k + 2] = _mm_unpacklo_epi32(q[1], q[3]);
        b[4 * k + 3] = _mm_unpackhi_epi32(q[1], q[3]);
    }
#pragma GCC unroll 8
    for (int k = 0; k < 4; ++k) {
        c[2 * k] = _mm_unpacklo_epi64(b[k], b[4 + k]);
        c[2 * k + 1] = _mm_unpackhi_epi64(b[k], b[4 + k]);
    }
}

// The block's columns as floats, c[u] as Columns gives them.
__attribute__((target("avx2"))) inline void FloatColumns(const int16_t* coefficients, __m256 c[8])
{
    __m128i columns[8];
    Columns(coefficients, columns);
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) c[u] = _mm256_cvtepi32_ps(_mm256_cvtepi16_epi32(columns[u]));
}

// One pass of the transform: out[j] = sum_i m[i][j] in[i], each register a vector of eight
// independent lanes. m[i][7 - j] = (-1)^i m[i][j], so outputs j and 7 - j are the even
// inputs' sum plus and minus the odd inputs' sum.
__attribute__((target("avx2"))) inline void SinglePass(const __m256 in[8], __m256 out[8], const float (*m)[4][8])
{
#pragma GCC unroll 8
    for (int j = 0; j < 4; ++j) {
        __m256 even = _mm256_mul_ps(_mm256_load_ps(m[0][j]), in[0]);
        __m256 odd = _mm256_mul_ps(_mm256_load_ps(m[1][j]), in[1]);
#pragma GCC unroll 8
        for (int i = 2; i < 8; i += 2) {
            even = _mm256_add_ps(even, _mm256_mul_ps(_mm256_load_ps(m[i][j]), in[i]));
            odd = _mm256_add_ps(odd, _mm256_mul_ps(_mm256_load_ps(m[i + 1][j]), in[i + 1]));
        }
        out[j] = _mm256_add_ps(even, odd);
        out[7 - j] = _mm256_sub_ps(even, odd);
    }
}

// SinglePass with four lanes: in[i][h] and out[j][h] are the two halves of a pass's lanes.
inline void SinglePassSse2(const __m128 in[8][2], __m128 out[8][2], const float (*m)[4][8])
{
#pragma GCC unroll 8
    for (int h = 0; h < 2; ++h)
#pragma GCC unroll 8
        for (int j = 0; j < 4; ++j) {
            __m128 even = _mm_mul_ps(_mm_load_ps(m[0][j]), in[0][h]);
            __m128 odd = _mm_mul_ps(_mm_load_ps(m[1][j]), in[1][h]);
#pragma GCC unroll 8
            for (int i = 2; i < 8; i += 2) {
                even = _mm_add_ps(even, _mm_mul_ps(_mm_load_ps(m[i][j]), in[i][h]));
                odd = _mm_add_ps(odd, _mm_mul_ps(_mm_load_ps(m[i + 1][j]), in[i + 1][h]));
            }
            out[j][h] = _mm_add_ps(even, odd);
            out[7 - j][h] = _mm_sub_ps(even, odd);
        }
}

// Transposes eight registers of eight floats.
__attribute__((target("avx2"))) inline void Transpose8x8(const __m256 in[8], __m256 out[8])
{
    __m256 t[8], s[8];
#pragma GCC unroll 8
    for (int k = 0; k < 4; ++k) {
        t[2 * k] = _mm256_unpacklo_ps(in[2 * k], in[2 * k + 1]);
        t[2 * k + 1] = _mm256_unpackhi_ps(in[2 * k], in[2 * k + 1]);
    }
#pragma GCC unroll 8
    for (int k = 0; k < 2; ++k) {
        const __m256* q = t + 4 * k;
        s[4 * k] = _mm256_shuffle_ps(q[0], q[2], 0x44);
        s[4 * k + 1] = _mm256_shuffle_ps(q[0], q[2], 0xEE);
        s[4 * k + 2] = _mm256_shuffle_ps(q[1], q[3], 0x44);
        s[4 * k + 3] = _mm256_shuffle_ps(q[1], q[3], 0xEE);
    }
#pragma GCC unroll 8
    for (int k = 0; k < 4; ++k) {
        out[k] = _mm256_permute2f128_ps(s[k], s[4 + k], 0x20);
        out[4 + k] = _mm256_permute2f128_ps(s[k], s[4 + k], 0x31);
    }
}

}  // namespace

// The AVX2 routine first computes the block in single precision (eight lanes per register,
// both passes split into even and odd halves, no zero skipping and so no branches) and
// keeps that result only where it is sure to round as the double computation does;
// otherwise it runs the double computation.
//
// Why the single-precision result can be trusted: let u = 2^-24 and A = sum of |F[v][u]|.
// Each output is s = sum_v sum_u m[v][y] F[v][u] m[u][x] with every |m| < 1/2, so
// sum |terms| <= A / 4. F converts exactly; every term then passes through at most 12
// roundings of relative size <= u (1 + 2^-20): per pass one constant (the float of a double
// within 2^-44 of the cosine), one product, at most three additions within the even or odd
// half and the half's sum or difference. So |s' - s| <= gamma_12 A / 4 with
// gamma_n = n u / (1 - n u), and t' = s' + 0.5 rounded adds at most u (A / 4 + 1): in all
// below 3.3 u A + u. The double reference's own error (the same count at 2^-53, its
// constants within 2^-44) is below 1e-5 u A. If t' is more than eps = (8 A + 16) u from
// every integer, no integer lies between t' and the reference's s + 0.5, so both floor
// to the same value. Halves and other exact rationals (DC-only blocks, coefficients on
// rows and columns 0 and 4 only) land within eps of an integer and take the double
// computation. A <= kSingleLimit keeps 8 A + 16 below 2^24, so eps is exact in float, and
// t' - round(t') is exact (|t'| < 2^23).
__attribute__((target("avx2"))) void InverseDctAvx2(const int16_t coefficients[64], int16_t out[64])
{
    const __m256i* in = reinterpret_cast<const __m256i*>(coefficients);
    const __m256i r[4] = {_mm256_loadu_si256(in), _mm256_loadu_si256(in + 1), _mm256_loadu_si256(in + 2),
                          _mm256_loadu_si256(in + 3)};
    const int magnitude = MagnitudeSum(r);
    // Nothing, or nothing but the mismatch mark: zeros.
    if (magnitude == 0 || (magnitude == 1 && coefficients[63] == 1)) {
        const __m256i zero = _mm256_setzero_si256();
#pragma GCC unroll 8
        for (int k = 0; k < 4; ++k) _mm256_storeu_si256(reinterpret_cast<__m256i*>(out) + k, zero);
        return;
    }
    if (magnitude > kSingleLimit) {
        ExactInverseDctAvx2(coefficients, out);
        return;
    }
    const auto& m = FloatInverse().m;
    // Rows: tmp[v][x] = sum_u m[u][x] F[v][u], computed for all v at once per x (lanes v),
    // then transposed so that the column pass again works on whole rows (lanes x).
    __m256 columns[8], rowPass[8], tmp[8], sums[8];
    FloatColumns(coefficients, columns);
    SinglePass(columns, rowPass, m);
    Transpose8x8(rowPass, tmp);
    SinglePass(tmp, sums, m);
    const __m256 eps = _mm256_set1_ps(float(8 * magnitude + 16) * 0x1p-24f);
    const __m256 half = _mm256_set1_ps(0.5f), sign = _mm256_set1_ps(-0.0f);
    __m256 close = _mm256_setzero_ps();
    __m256i pairs[4];
#pragma GCC unroll 8
    for (int k = 0; k < 4; ++k) {
        __m256i floored[2];
#pragma GCC unroll 8
        for (int h = 0; h < 2; ++h) {
            const __m256 t = _mm256_add_ps(sums[2 * k + h], half);
            const __m256 nearest = _mm256_round_ps(t, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
            const __m256 distance = _mm256_andnot_ps(sign, _mm256_sub_ps(t, nearest));
            close = _mm256_or_ps(close, _mm256_cmp_ps(distance, eps, _CMP_LE_OQ));
            floored[h] = _mm256_cvtps_epi32(_mm256_round_ps(t, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC));
        }
        // |floor(t')| <= A / 4 + 1 fits 16 bits, so the pack leaves the values as they are.
        pairs[k] = _mm256_packs_epi32(floored[0], floored[1]);
    }
    if (_mm256_movemask_ps(close)) {
        ExactInverseDctAvx2(coefficients, out);
        return;
    }
    // The pack interleaves 128-bit halves; the permutation puts each row's eight back in order.
    const __m256i low = _mm256_set1_epi16(-256), high = _mm256_set1_epi16(255);
#pragma GCC unroll 8
    for (int k = 0; k < 4; ++k)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16 * k),
                            _mm256_permute4x64_epi64(_mm256_min_epi16(_mm256_max_epi16(pairs[k], low), high), 0xD8));
}

namespace {

// The sum of |F| over the block's columns, with -32768 counted as 32767 (the saturating
// negation).
inline int MagnitudeSumSse2(const __m128i columns[8])
{
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi16(1);
    __m128i sum = zero;
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        const __m128i magnitudes = _mm_max_epi16(columns[u], _mm_subs_epi16(zero, columns[u]));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(magnitudes, ones));
    }
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0x4E));
    sum = _mm_add_epi32(sum, _mm_shuffle_epi32(sum, 0xB1));
    return _mm_cvtsi128_si32(sum);
}

// Transposes an 8 x 8 block of floats held as two halves per row, in 4 x 4 blocks.
inline void Transpose8x8Sse2(const __m128 in[8][2], __m128 out[8][2])
{
#pragma GCC unroll 8
    for (int hi = 0; hi < 2; ++hi)
#pragma GCC unroll 8
        for (int ho = 0; ho < 2; ++ho) {
            __m128 a = in[4 * hi][ho], b = in[4 * hi + 1][ho], c = in[4 * hi + 2][ho], d = in[4 * hi + 3][ho];
            _MM_TRANSPOSE4_PS(a, b, c, d);
            out[4 * ho][hi] = a;
            out[4 * ho + 1][hi] = b;
            out[4 * ho + 2][hi] = c;
            out[4 * ho + 3][hi] = d;
        }
}

// floor(sums + 0.5) of each row, packed to 16 bits (not yet limited) in rows[]. Returns
// false when some output lies within `eps` of a rounding edge. Without SSE4.1 rounding,
// the nearest integer comes from the conversion's round-to-nearest (a tie goes to even,
// which changes no distance) and the floor from truncation corrected downwards, both exact
// for |t'| < 2^23.
inline bool RoundedRowsSse2(const __m128 sums[8][2], float eps, __m128i rows[8])
{
    const __m128 limit = _mm_set1_ps(eps), half = _mm_set1_ps(0.5f), sign = _mm_set1_ps(-0.0f);
    __m128 close = _mm_setzero_ps();
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y) {
        __m128i floored[2];
#pragma GCC unroll 8
        for (int h = 0; h < 2; ++h) {
            const __m128 t = _mm_add_ps(sums[y][h], half);
            const __m128 nearest = _mm_cvtepi32_ps(_mm_cvtps_epi32(t));
            close = _mm_or_ps(close, _mm_cmple_ps(_mm_andnot_ps(sign, _mm_sub_ps(t, nearest)), limit));
            const __m128i truncated = _mm_cvttps_epi32(t);
            // Adding the mask (-1 where the truncation went up) gives the floor.
            floored[h] = _mm_add_epi32(truncated, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(truncated), t)));
        }
        rows[y] = _mm_packs_epi32(floored[0], floored[1]);
    }
    return _mm_movemask_ps(close) == 0;
}

}  // namespace

// The SSE2 routine computes the same single-precision block as the AVX2 routine, four
// lanes at a time (each pass's lanes in two halves, the transposition in 4 x 4 blocks),
// with the same error bound and fallback.
void InverseDctSse2(const int16_t coefficients[64], int16_t out[64])
{
    __m128i columns[8];
    Columns(coefficients, columns);
    const int magnitude = MagnitudeSumSse2(columns);
    if (magnitude == 0 || (magnitude == 1 && coefficients[63] == 1)) {
        std::fill(out, out + 64, int16_t(0));
        return;
    }
    if (magnitude > kSingleLimit) {
        ExactInverseDctSse2(coefficients, out);
        return;
    }
    const auto& m = FloatInverse().m;
    // Pass lanes in halves h: rowPass[x][h] holds tmp[4h..4h+3][x], tmp[v][h] holds
    // tmp[v][4h..4h+3].
    __m128 in[8][2], rowPass[8][2], tmp[8][2], sums[8][2];
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        in[u][0] = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(columns[u], columns[u]), 16));
        in[u][1] = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(columns[u], columns[u]), 16));
    }
    SinglePassSse2(in, rowPass, m);
    Transpose8x8Sse2(rowPass, tmp);
    SinglePassSse2(tmp, sums, m);
    __m128i rows[8];
    if (!RoundedRowsSse2(sums, float(8 * magnitude + 16) * 0x1p-24f, rows)) {
        ExactInverseDctSse2(coefficients, out);
        return;
    }
    const __m128i low = _mm_set1_epi16(-256), high = _mm_set1_epi16(255);
#pragma GCC unroll 8
    for (int y = 0; y < 8; ++y)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * y), _mm_min_epi16(_mm_max_epi16(rows[y], low), high));
}

void InverseDct(const int16_t coefficients[64], int16_t out[64]) { EncoderKernels().inverseDct(coefficients, out); }
