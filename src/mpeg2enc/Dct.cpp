#include "mpeg2enc/Dct.h"

#include "mpeg2enc/EncoderKernels.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// c(u)/2 x cos((2x + 1) u pi / 16) times 8192, rounded.
// `symmetric` says that m[u][7 - x] = (-1)^u m[u][x] holds for the rounded integers, so
// that sum_x m[u][x] in[x] = sum_{x<4} m[u][x] (in[x] +- in[7 - x]) exactly: the vector
// routines then multiply sums and differences of mirrored inputs (half the products).
struct SForwardTable {
    int16_t m[8][8];
    bool symmetric = true;
    SForwardTable()
    {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x) {
                const double c = (u == 0 ? std::sqrt(0.5) : 1.0) / 2.0;
                m[u][x] = int16_t(std::lround(c * std::cos((2 * x + 1) * u * M_PI / 16.0) * 8192.0));
            }
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 4; ++x) symmetric = symmetric && m[u][7 - x] == (u % 2 ? -m[u][x] : m[u][x]);
    }
};

const SForwardTable& Forward()
{
    static const SForwardTable table;
    return table;
}

// First pass: 13-bit constants, keep 3 fractional bits (shift 10). Second pass: shift 16.
constexpr int firstShift = 10;
constexpr int secondShift = 16;

inline int16_t Saturate16(int32_t v) { return int16_t(std::clamp<int32_t>(v, -32768, 32767)); }

// out = M x in (columns transformed), rounded by `shift`; `in` and `out` may not alias.
void ColumnPassPlain(const int16_t* in, int16_t* out, int shift)
{
    const auto& m = Forward().m;
    const int32_t round = 1 << (shift - 1);
    for (int u = 0; u < 8; ++u)
        for (int c = 0; c < 8; ++c) {
            int32_t sum = 0;
            for (int x = 0; x < 8; ++x) sum += int32_t(m[u][x]) * in[x * 8 + c];
            out[u * 8 + c] = Saturate16((sum + round) >> shift);
        }
}

void TransposePlain(const int16_t* in, int16_t* out)
{
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) out[c * 8 + r] = in[r * 8 + c];
}

inline void Transpose8x8(__m128i r[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]);
    const __m128i a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]);
    const __m128i a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]);
    const __m128i a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]);
    const __m128i a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
    const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
    const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
    const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
    const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

inline int32_t PairOf(int16_t lo, int16_t hi)
{
    return int32_t(uint32_t(uint16_t(lo)) | (uint32_t(uint16_t(hi)) << 16));
}

// Pairs of constants (m[u][2k], m[u][2k+1]) for _mm_madd_epi16, per u and k.
// `rowPair[h][k]` holds in its 32-bit lane i the pair (m[v][2k], m[v][2k+1]) of output
// v = 4h + i, for the AVX2 routine's second pass; `columnPair[q][k]` the pair
// (m[u][2k], m[u][2k+1]) of u = 4 (q / 2) + q % 2 in lanes 0..3 and of u + 2 in lanes
// 4..7, for its first pass. `butterfly` copies the table's symmetry: without it the
// routines use the full products only.
struct SPairTable {
    __m128i pair[8][4];
    __m128i rowPair[2][2];
    alignas(32) int32_t columnPair[4][2][8];
    int16_t smallInputs;  // bits clear in all |input| when every first-pass result is within +-16383
    bool butterfly;
    SPairTable()
    {
        const auto& m = Forward().m;
        for (int u = 0; u < 8; ++u)
            for (int k = 0; k < 4; ++k) pair[u][k] = _mm_set1_epi32(PairOf(m[u][2 * k], m[u][2 * k + 1]));
        for (int h = 0; h < 2; ++h)
            for (int k = 0; k < 2; ++k) {
                const int v = 4 * h;
                rowPair[h][k] = _mm_setr_epi32(
                    PairOf(m[v][2 * k], m[v][2 * k + 1]), PairOf(m[v + 1][2 * k], m[v + 1][2 * k + 1]),
                    PairOf(m[v + 2][2 * k], m[v + 2][2 * k + 1]), PairOf(m[v + 3][2 * k], m[v + 3][2 * k + 1]));
            }
        for (int q = 0; q < 4; ++q)
            for (int k = 0; k < 2; ++k)
                for (int i = 0; i < 8; ++i) {
                    const int u = (q / 2) * 4 + q % 2 + (i < 4 ? 0 : 2);
                    columnPair[q][k][i] = PairOf(m[u][2 * k], m[u][2 * k + 1]);
                }
        // An output of the first pass is at most max|input| x max_u sum_x |m[u][x]|, rounded.
        int32_t largest = 0;
        for (int u = 0; u < 8; ++u) {
            int32_t sum = 0;
            for (int x = 0; x < 8; ++x) sum += std::abs(m[u][x]);
            largest = std::max(largest, sum);
        }
        int bits = 0;
        while (bits < 14 && ((((1 << (bits + 1)) - 1) * largest + (1 << (firstShift - 1))) >> firstShift) <= 16383)
            ++bits;
        smallInputs = int16_t(~((1 << bits) - 1));
        butterfly = Forward().symmetric;
    }
};

const SPairTable& Pairs()
{
    static const SPairTable table;
    return table;
}

inline void ColumnPassSse2(const __m128i in[8], __m128i out[8], int shift)
{
    const auto& pairs = Pairs().pair;
    __m128i lo[4], hi[4];
    for (int k = 0; k < 4; ++k) {
        lo[k] = _mm_unpacklo_epi16(in[2 * k], in[2 * k + 1]);
        hi[k] = _mm_unpackhi_epi16(in[2 * k], in[2 * k + 1]);
    }
    const __m128i round = _mm_set1_epi32(1 << (shift - 1));
    const __m128i count = _mm_cvtsi32_si128(shift);
    for (int u = 0; u < 8; ++u) {
        __m128i sumLo = round, sumHi = round;
        for (int k = 0; k < 4; ++k) {
            sumLo = _mm_add_epi32(sumLo, _mm_madd_epi16(lo[k], pairs[u][k]));
            sumHi = _mm_add_epi32(sumHi, _mm_madd_epi16(hi[k], pairs[u][k]));
        }
        out[u] = _mm_packs_epi32(_mm_sra_epi32(sumLo, count), _mm_sra_epi32(sumHi, count));
    }
}

// True when every value of the eight rows lies in -16384..16383, so that the sum and the
// difference of any two fit in 16 bits (adding 16384 leaves the sign bit clear exactly
// for those).
inline bool ButterflyFits(const __m128i r[8])
{
    const __m128i bias = _mm_set1_epi16(0x4000);
    __m128i any = _mm_add_epi16(r[0], bias);
#pragma GCC unroll 8
    for (int i = 1; i < 8; ++i) any = _mm_or_si128(any, _mm_add_epi16(r[i], bias));
    return (_mm_movemask_epi8(any) & 0xAAAA) == 0;
}

// ColumnPassSse2 for inputs that ButterflyFits: output u is
// sum_{x<4} m[u][x] (in[x] + in[7 - x]) for even u and the same with differences for odd
// u, which is the full sum (the table is symmetric), with half the multiply-adds.
template <int shift>
inline void ButterflyColumnPassSse2(const __m128i in[8], __m128i out[8])
{
    const auto& pairs = Pairs().pair;
    __m128i lo[2][2], hi[2][2];  // [even/odd][input pair]: (s0, s1), (s2, s3) and (d0, d1), (d2, d3)
#pragma GCC unroll 2
    for (int k = 0; k < 2; ++k) {
        const __m128i s0 = _mm_add_epi16(in[2 * k], in[7 - 2 * k]), s1 = _mm_add_epi16(in[2 * k + 1], in[6 - 2 * k]);
        const __m128i d0 = _mm_sub_epi16(in[2 * k], in[7 - 2 * k]), d1 = _mm_sub_epi16(in[2 * k + 1], in[6 - 2 * k]);
        lo[0][k] = _mm_unpacklo_epi16(s0, s1);
        hi[0][k] = _mm_unpackhi_epi16(s0, s1);
        lo[1][k] = _mm_unpacklo_epi16(d0, d1);
        hi[1][k] = _mm_unpackhi_epi16(d0, d1);
    }
    const __m128i round = _mm_set1_epi32(1 << (shift - 1));
#pragma GCC unroll 8
    for (int u = 0; u < 8; ++u) {
        const int odd = u & 1;
        const __m128i sumLo = _mm_add_epi32(_mm_add_epi32(round, _mm_madd_epi16(lo[odd][0], pairs[u][0])),
                                            _mm_madd_epi16(lo[odd][1], pairs[u][1]));
        const __m128i sumHi = _mm_add_epi32(_mm_add_epi32(round, _mm_madd_epi16(hi[odd][0], pairs[u][0])),
                                            _mm_madd_epi16(hi[odd][1], pairs[u][1]));
        out[u] = _mm_packs_epi32(_mm_srai_epi32(sumLo, shift), _mm_srai_epi32(sumHi, shift));
    }
}

// One pass of the SSE2 routine: the butterfly when the inputs allow it, else the full
// products (extreme inputs, whose sums and differences would wrap in 16 bits).
template <int shift>
inline void ColumnPassAnySse2(const __m128i in[8], __m128i out[8])
{
    if (Pairs().butterfly && ButterflyFits(in))
        ButterflyColumnPassSse2<shift>(in, out);
    else
        ColumnPassSse2(in, out, shift);
}

}  // namespace

void ForwardDctPlain(int16_t block[64])
{
    int16_t a[64], b[64];
    ColumnPassPlain(block, a, firstShift);
    TransposePlain(a, b);
    ColumnPassPlain(b, a, secondShift);
    TransposePlain(a, block);
}

namespace {

// True when all eight rows are zero: the transform of zeros is zeros, so the block is
// left as it is (many prediction errors of a still picture are empty).
inline bool AllZero(const __m128i r[8])
{
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_or_si128(r[0], r[1]), _mm_or_si128(r[2], r[3])),
                                     _mm_or_si128(_mm_or_si128(r[4], r[5]), _mm_or_si128(r[6], r[7])));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF;
}

}  // namespace

void ForwardDctSse2(int16_t block[64])
{
    __m128i r[8], t[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
    if (AllZero(r)) return;
    ColumnPassAnySse2<firstShift>(r, t);
    Transpose8x8(t);
    ColumnPassAnySse2<secondShift>(t, r);
    Transpose8x8(r);
    for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), r[i]);
}

namespace {

// Constants for the second pass of the AVX2 routine: for each pair k of inputs, the
// 32-bit lane v holds (m[v][2k], m[v][2k+1]), so that one multiply-add of a broadcast
// input pair gives that pair's part of all eight outputs.
struct alignas(32) SOutputPairTable {
    int32_t pair[4][8];
    SOutputPairTable()
    {
        const auto& m = Forward().m;
        for (int k = 0; k < 4; ++k)
            for (int v = 0; v < 8; ++v)
                pair[k][v] = int32_t(uint32_t(uint16_t(m[v][2 * k])) | (uint32_t(uint16_t(m[v][2 * k + 1])) << 16));
    }
};

const SOutputPairTable& OutputPairs()
{
    static const SOutputPairTable table;
    return table;
}

// The AVX2 routine's full-product passes, for blocks whose values are too large for the
// butterfly. They compute the same integer sums (exact in 32 bits, so their order does
// not matter) with the same rounding and saturation, but without transposing:
// - first pass (down the columns, as ColumnPassPlain): row pairs (2k, 2k + 1) are
//   interleaved so that one multiply-add covers all eight columns; lane 0 holds columns
//   0..3, lane 1 columns 4..7; the result `a` is in raster order;
// - second pass (along the rows of a): output row u is
//   sum_k a[u][2k] m[v][2k] + a[u][2k+1] m[v][2k+1] for v in the eight lanes, which is
//   the plain routine's transpose, transform and transpose back.
__attribute__((target("avx2"))) inline void FirstPassFullAvx2(const int16_t block[64], int16_t a[64])
{
    __m128i r[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
    const auto& pairs = Pairs().pair;
    __m256i x[4];
    for (int k = 0; k < 4; ++k)
        x[k] = _mm256_set_m128i(_mm_unpackhi_epi16(r[2 * k], r[2 * k + 1]), _mm_unpacklo_epi16(r[2 * k], r[2 * k + 1]));
    const __m256i round = _mm256_set1_epi32(1 << (firstShift - 1));
    for (int u = 0; u < 8; u += 2) {
        __m256i s0 = round, s1 = round;
        for (int k = 0; k < 4; ++k) {
            s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(x[k], _mm256_broadcastsi128_si256(pairs[u][k])));
            s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(x[k], _mm256_broadcastsi128_si256(pairs[u + 1][k])));
        }
        // packs per 128-bit lane: [u 0..3, u+1 0..3 | u 4..7, u+1 4..7] -> rows u, u + 1
        const __m256i packed = _mm256_packs_epi32(_mm256_srai_epi32(s0, firstShift), _mm256_srai_epi32(s1, firstShift));
        _mm256_store_si256(reinterpret_cast<__m256i*>(a + 8 * u), _mm256_permute4x64_epi64(packed, 0xD8));
    }
}

__attribute__((target("avx2"))) inline void SecondPassFullAvx2(const int16_t a[64], int16_t block[64])
{
    const auto& out = OutputPairs().pair;
    __m256i c[4];
    for (int k = 0; k < 4; ++k) c[k] = _mm256_load_si256(reinterpret_cast<const __m256i*>(out[k]));
    const __m256i round = _mm256_set1_epi32(1 << (secondShift - 1));
    for (int u = 0; u < 8; u += 2) {
        __m256i s0 = round, s1 = round;
        for (int k = 0; k < 4; ++k) {
            int32_t p0, p1;
            std::memcpy(&p0, a + 8 * u + 2 * k, 4);
            std::memcpy(&p1, a + 8 * (u + 1) + 2 * k, 4);
            s0 = _mm256_add_epi32(s0, _mm256_madd_epi16(_mm256_set1_epi32(p0), c[k]));
            s1 = _mm256_add_epi32(s1, _mm256_madd_epi16(_mm256_set1_epi32(p1), c[k]));
        }
        const __m256i packed =
            _mm256_packs_epi32(_mm256_srai_epi32(s0, secondShift), _mm256_srai_epi32(s1, secondShift));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(block + 8 * u), _mm256_permute4x64_epi64(packed, 0xD8));
    }
}

// The magnitudes of `n` 256-bit registers' values OR-ed together: zero for zeros only,
// and below 16384 (bits 14 and 15 clear) when every value lies in -16383..16383, so that
// the sum and the difference of any two fit in 16 bits (|-32768| stays -32768).
__attribute__((target("avx2"))) inline __m256i Magnitudes(const __m256i* r, int n)
{
    __m256i any = _mm256_abs_epi16(r[0]);
#pragma GCC unroll 8
    for (int i = 1; i < n; ++i) any = _mm256_or_si256(any, _mm256_abs_epi16(r[i]));
    return any;
}

__attribute__((target("avx2"))) inline bool ButterflyFitsAvx2(__m256i magnitudes)
{
    return _mm256_testz_si256(magnitudes, _mm256_set1_epi16(int16_t(0xC000)));
}

// Reverses the words of each 64-bit half, as byte indices for _mm256_shuffle_epi8.
constexpr int8_t kReverseHalves[16] = {6, 7, 4, 5, 2, 3, 0, 1, 14, 15, 12, 13, 10, 11, 8, 9};

__attribute__((target("avx2"))) inline __m256i LaneShuffle(const int8_t (&order)[16])
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(order)));
}

// First butterfly pass of the AVX2 routine (down the columns). `rows` holds each row of
// the block in both lanes. The row pairs (0, 1), (2, 3), (5, 4), (7, 6) interleaved
// column by column have as sums and differences the pairs (s0, s1), (s2, s3), (d0, d1),
// (d2, d3) with s_x = in[x] + in[7 - x], d_x = in[x] - in[7 - x]; both lanes hold the
// same four columns, so that one multiply-add serves output u in lane 0 and u + 2 in
// lane 1. Returns lo[g] and hi[g], columns 0..3 and 4..7 of the result's rows
// (4g, 4g + 1 | 4g + 2, 4g + 3): the layout of the second pass.
__attribute__((target("avx2"))) inline void FirstPassButterflyAvx2(const SPairTable& table, const __m256i rows[8],
                                                                   __m256i lo[2], __m256i hi[2])
{
    __m256i even[2][2], odd[2][2];  // [columns 0..3 / 4..7][input pair]
    {
        const __m256i p01[2] = {_mm256_unpacklo_epi16(rows[0], rows[1]), _mm256_unpackhi_epi16(rows[0], rows[1])};
        const __m256i p23[2] = {_mm256_unpacklo_epi16(rows[2], rows[3]), _mm256_unpackhi_epi16(rows[2], rows[3])};
        const __m256i p54[2] = {_mm256_unpacklo_epi16(rows[5], rows[4]), _mm256_unpackhi_epi16(rows[5], rows[4])};
        const __m256i p76[2] = {_mm256_unpacklo_epi16(rows[7], rows[6]), _mm256_unpackhi_epi16(rows[7], rows[6])};
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h) {
            even[h][0] = _mm256_add_epi16(p01[h], p76[h]);
            even[h][1] = _mm256_add_epi16(p23[h], p54[h]);
            odd[h][0] = _mm256_sub_epi16(p01[h], p76[h]);
            odd[h][1] = _mm256_sub_epi16(p23[h], p54[h]);
        }
    }
    const auto& pairs = table.columnPair;
    const __m256i round = _mm256_set1_epi32(1 << (firstShift - 1));
    __m256i x[2][4];  // [columns][q]: outputs (u | u + 2) for u = 0, 1, 4, 5
#pragma GCC unroll 4
    for (int q = 0; q < 4; ++q) {
        const __m256i c0 = _mm256_load_si256(reinterpret_cast<const __m256i*>(pairs[q][0]));
        const __m256i c1 = _mm256_load_si256(reinterpret_cast<const __m256i*>(pairs[q][1]));
        const auto& in = q % 2 ? odd : even;
#pragma GCC unroll 2
        for (int h = 0; h < 2; ++h)
            x[h][q] = _mm256_srai_epi32(_mm256_add_epi32(_mm256_add_epi32(round, _mm256_madd_epi16(in[h][0], c0)),
                                                         _mm256_madd_epi16(in[h][1], c1)),
                                        firstShift);
    }
#pragma GCC unroll 2
    for (int g = 0; g < 2; ++g) {
        lo[g] = _mm256_packs_epi32(x[0][2 * g], x[0][2 * g + 1]);
        hi[g] = _mm256_packs_epi32(x[1][2 * g], x[1][2 * g + 1]);
    }
}

// Second butterfly pass of the AVX2 routine (along the rows of a), four rows at a time:
// lo and hi hold columns 0..3 and 4..7 of rows (r, r + 1 | r + 2, r + 3). Each output
// row's 32-bit lanes are ([e01, o01, e01, o01], [e23, o23, e23, o23]) with e and o the
// row's sums and differences of mirrored values, so one multiply-add pair gives the
// outputs v = 0..3 (even v from e, odd v from o) and another v = 4..7.
__attribute__((target("avx2"))) inline void SecondPassButterflyAvx2(const SPairTable& table, __m256i lo, __m256i hi,
                                                                    int16_t* out)
{
    const __m256i mirrored = _mm256_shuffle_epi8(hi, LaneShuffle(kReverseHalves));
    const __m256i e = _mm256_add_epi16(lo, mirrored), o = _mm256_sub_epi16(lo, mirrored);
    const __m256i rows[2] = {_mm256_unpacklo_epi32(e, o), _mm256_unpackhi_epi32(e, o)};  // (r | r + 2), (r + 1 | r + 3)
    const auto& c = table.rowPair;
    const __m256i round = _mm256_set1_epi32(1 << (secondShift - 1));
    __m256i result[2];
#pragma GCC unroll 2
    for (int i = 0; i < 2; ++i) {
        const __m256i w01 = _mm256_shuffle_epi32(rows[i], 0x44), w23 = _mm256_shuffle_epi32(rows[i], 0xEE);
        const __m256i v0 =
            _mm256_add_epi32(_mm256_add_epi32(round, _mm256_madd_epi16(w01, _mm256_broadcastsi128_si256(c[0][0]))),
                             _mm256_madd_epi16(w23, _mm256_broadcastsi128_si256(c[0][1])));
        const __m256i v4 =
            _mm256_add_epi32(_mm256_add_epi32(round, _mm256_madd_epi16(w01, _mm256_broadcastsi128_si256(c[1][0]))),
                             _mm256_madd_epi16(w23, _mm256_broadcastsi128_si256(c[1][1])));
        result[i] = _mm256_packs_epi32(_mm256_srai_epi32(v0, secondShift), _mm256_srai_epi32(v4, secondShift));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_permute2x128_si256(result[0], result[1], 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 16), _mm256_permute2x128_si256(result[0], result[1], 0x31));
}

}  // namespace

// The AVX2 routine: both passes as butterflies on two rows per register, each pass
// falling back to the full products when its inputs are too large for 16-bit sums.
__attribute__((target("avx2"))) void ForwardDctAvx2(int16_t block[64])
{
    // Each row by one 16-byte load, which a block written by 16-byte stores (memcpy)
    // forwards, into both lanes.
    __m256i rows[8];
#pragma GCC unroll 8
    for (int i = 0; i < 8; ++i)
        rows[i] = _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i)));
    const __m256i magnitudes = Magnitudes(rows, 8);
    if (_mm256_testz_si256(magnitudes, magnitudes)) return;

    // The table once per block: each use of the function-local static tests its guard.
    const SPairTable& table = Pairs();
    alignas(32) int16_t a[64];
    if (!table.butterfly || !ButterflyFitsAvx2(magnitudes)) {
        FirstPassFullAvx2(block, a);
        SecondPassFullAvx2(a, block);
        return;
    }
    __m256i lo[2], hi[2];
    FirstPassButterflyAvx2(table, rows, lo, hi);
    const __m256i result[4] = {lo[0], hi[0], lo[1], hi[1]};
    // Inputs below the table's bound give first-pass results that need no look.
    if (!_mm256_testz_si256(magnitudes, _mm256_set1_epi16(table.smallInputs)) &&
        !ButterflyFitsAvx2(Magnitudes(result, 4))) {
        for (int g = 0; g < 2; ++g) {
            const __m256i even = _mm256_unpacklo_epi64(lo[g], hi[g]);  // rows 4g | 4g + 2
            const __m256i odd = _mm256_unpackhi_epi64(lo[g], hi[g]);  // rows 4g + 1 | 4g + 3
            _mm256_store_si256(reinterpret_cast<__m256i*>(a + 32 * g), _mm256_permute2x128_si256(even, odd, 0x20));
            _mm256_store_si256(reinterpret_cast<__m256i*>(a + 32 * g + 16), _mm256_permute2x128_si256(even, odd, 0x31));
        }
        SecondPassFullAvx2(a, block);
        return;
    }
    SecondPassButterflyAvx2(table, lo[0], hi[0], block);
    SecondPassButterflyAvx2(table, lo[1], hi[1], block + 32);
}

void ForwardDct(int16_t block[64]) { EncoderKernels().forwardDct(block); }

int64_t ForwardDctBound(uint32_t squareSum)
{
    // With r the block and m_u the rows of constants: a first-pass output of row u and
    // column c is at most |m_u| |r_c| / 2^10 + 1/2 (Cauchy-Schwarz, then the rounding),
    // so row u of the first pass has a length of at most |m_u| |r| / 2^10 + sqrt(8) / 2;
    // a second-pass output is at most |m_v| x that / 2^16 + 1/2. Saturation only lowers
    // a magnitude. The largest row length stands for every row, and a small margin
    // covers the floating-point arithmetic.
    static const double length = [] {
        int64_t largest = 0;
        for (const auto& row : Forward().m) {
            int64_t squares = 0;
            for (int16_t c : row) squares += int64_t(c) * c;
            largest = std::max(largest, squares);
        }
        return std::sqrt(double(largest));
    }();
    const double first = length * std::sqrt(double(squareSum)) / double(1 << firstShift) + std::sqrt(8.0) / 2.0;
    return int64_t(std::floor(length * first / double(1 << secondShift) + 0.5 + 1e-6));
}
