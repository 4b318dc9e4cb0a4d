#include "mpeg2enc/Sad.h"

#include "mpeg2enc/EncoderKernels.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <cstdlib>

uint32_t SadPlain(const uint8_t* src, const uint8_t* ref, int stride, uint32_t limit)
{
    uint32_t sum = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) sum += uint32_t(std::abs(int(src[x]) - int(ref[x])));
        if (sum >= limit) return sum;
        src += 16;
        ref += stride;
    }
    return sum;
}

uint32_t SadHalfHPlain(const uint8_t* src, const uint8_t* ref, int stride)
{
    uint32_t sum = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int p = (ref[x] + ref[x + 1] + 1) >> 1;
            sum += uint32_t(std::abs(int(src[x]) - p));
        }
        src += 16;
        ref += stride;
    }
    return sum;
}

uint32_t SadHalfVPlain(const uint8_t* src, const uint8_t* ref, int stride)
{
    uint32_t sum = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int p = (ref[x] + ref[x + stride] + 1) >> 1;
            sum += uint32_t(std::abs(int(src[x]) - p));
        }
        src += 16;
        ref += stride;
    }
    return sum;
}

uint32_t SadHalfHVPlain(const uint8_t* src, const uint8_t* ref, int stride)
{
    uint32_t sum = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const int p = (ref[x] + ref[x + 1] + ref[x + stride] + ref[x + stride + 1] + 2) >> 2;
            sum += uint32_t(std::abs(int(src[x]) - p));
        }
        src += 16;
        ref += stride;
    }
    return sum;
}

void SadHalfNeighboursPlain(const uint8_t* src, const uint8_t* ref, int stride, uint32_t out[8])
{
    // A position half a sample left or up starts one sample left or up.
    const uint8_t* above = ref - stride;
    out[0] = SadHalfHVPlain(src, above - 1, stride);
    out[1] = SadHalfVPlain(src, above, stride);
    out[2] = SadHalfHVPlain(src, above, stride);
    out[3] = SadHalfHPlain(src, ref - 1, stride);
    out[4] = SadHalfHPlain(src, ref, stride);
    out[5] = SadHalfHVPlain(src, ref - 1, stride);
    out[6] = SadHalfVPlain(src, ref, stride);
    out[7] = SadHalfHVPlain(src, ref, stride);
}

uint32_t IntraDeviationPlain(const uint8_t* src, int stride)
{
    uint32_t total = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) total += src[y * stride + x];
    const int mean = int(total / 256);
    uint32_t dev = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) dev += uint32_t(std::abs(int(src[y * stride + x]) - mean));
    return dev;
}

namespace {

inline __m128i Load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline uint32_t Total(__m128i sums)
{
    return uint32_t(_mm_cvtsi128_si32(sums) + _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
}

__attribute__((target("avx2"))) inline __m256i Load2(const uint8_t* a, const uint8_t* b)
{
    return _mm256_inserti128_si256(_mm256_castsi128_si256(Load(a)), Load(b), 1);
}

// Two rows of a packed source block.
__attribute__((target("avx2"))) inline __m256i LoadRows(const uint8_t* block)
{
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
}

__attribute__((target("avx2"))) inline uint32_t Total2(__m256i sums)
{
    const __m128i s = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    return Total(s);
}

// Rows of 16 samples and their right neighbours summed in 16-bit lanes once; each
// output row adds the pair sums of two reference rows.
__attribute__((target("avx2"))) inline __m256i PairSum(const uint8_t* p)
{
    return _mm256_add_epi16(_mm256_cvtepu8_epi16(Load(p)), _mm256_cvtepu8_epi16(Load(p + 1)));
}

// The four-sample average of 16 samples, in 16-bit lanes: (a + b + c + d + 2) >> 2.
inline __m128i Average4(const uint8_t* ref, int stride)
{
    const __m128i zero = _mm_setzero_si128(), two = _mm_set1_epi16(2);
    const __m128i a = Load(ref), b = Load(ref + 1), c = Load(ref + stride), d = Load(ref + stride + 1);
    const __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                                     _mm_add_epi16(_mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(d, zero)));
    const __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
                                     _mm_add_epi16(_mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(d, zero)));
    return _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(lo, two), 2), _mm_srli_epi16(_mm_add_epi16(hi, two), 2));
}

// The four-sample average (a + b + c + d + 2) >> 2 from the horizontal averages of two
// rows, x = (a + b + 1) >> 1 and y = (c + d + 1) >> 1, and the exclusive or of each pair
// (its low bit: the pair's sum is odd). (x + y + 1) >> 1 is one too high exactly where a
// pair sum was odd and x + y is odd; there one is taken off.
inline __m128i Diagonal(__m128i halfAbove, __m128i oddAbove, __m128i half, __m128i odd)
{
    const __m128i excess =
        _mm_and_si128(_mm_and_si128(_mm_or_si128(oddAbove, odd), _mm_xor_si128(halfAbove, half)), _mm_set1_epi8(1));
    return _mm_sub_epi8(_mm_avg_epu8(halfAbove, half), excess);
}

__attribute__((target("avx2"))) inline __m256i Diagonal2(__m256i halfAbove, __m256i oddAbove, __m256i half, __m256i odd)
{
    const __m256i excess = _mm256_and_si256(
        _mm256_and_si256(_mm256_or_si256(oddAbove, odd), _mm256_xor_si256(halfAbove, half)), _mm256_set1_epi8(1));
    return _mm256_sub_epi8(_mm256_avg_epu8(halfAbove, half), excess);
}

}  // namespace

uint32_t SadSse2(const uint8_t* src, const uint8_t* ref, int stride, uint32_t limit)
{
    __m128i sums = _mm_setzero_si128();
    for (int y = 0; y < 8; ++y) {
        sums = _mm_add_epi64(sums, _mm_sad_epu8(Load(src), Load(ref)));
        src += 16;
        ref += stride;
    }
    // Half way: a sum that already reached the limit cannot win.
    const uint32_t half = Total(sums);
    if (half >= limit) return half;
    for (int y = 8; y < 16; ++y) {
        sums = _mm_add_epi64(sums, _mm_sad_epu8(Load(src), Load(ref)));
        src += 16;
        ref += stride;
    }
    return Total(sums);
}

uint32_t SadHalfHSse2(const uint8_t* src, const uint8_t* ref, int stride)
{
    __m128i sums = _mm_setzero_si128();
    for (int y = 0; y < 16; ++y) {
        const __m128i p = _mm_avg_epu8(Load(ref), Load(ref + 1));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(Load(src), p));
        src += 16;
        ref += stride;
    }
    return Total(sums);
}

uint32_t SadHalfVSse2(const uint8_t* src, const uint8_t* ref, int stride)
{
    __m128i sums = _mm_setzero_si128();
    __m128i above = Load(ref);
    for (int y = 0; y < 16; ++y) {
        ref += stride;
        const __m128i below = Load(ref);
        sums = _mm_add_epi64(sums, _mm_sad_epu8(Load(src), _mm_avg_epu8(above, below)));
        above = below;
        src += 16;
    }
    return Total(sums);
}

uint32_t SadHalfHVSse2(const uint8_t* src, const uint8_t* ref, int stride)
{
    __m128i sums = _mm_setzero_si128();
    for (int y = 0; y < 16; ++y) {
        sums = _mm_add_epi64(sums, _mm_sad_epu8(Load(src), Average4(ref, stride)));
        src += 16;
        ref += stride;
    }
    return Total(sums);
}

// One pass over the 18 rows of the reference around the block: row k of the loop is
// reference row py - 1 + k. The averages of rows k - 1 and k serve output row k - 1 of the
// positions half a sample up and output row k - 2 of those half a sample down; row k alone
// serves output row k - 1 of the positions beside.
void SadHalfNeighboursSse2(const uint8_t* src, const uint8_t* ref, int stride, uint32_t out[8])
{
    __m128i sums[8];
    for (__m128i& v : sums) v = _mm_setzero_si128();
    const uint8_t* row = ref - stride;
    __m128i l = Load(row - 1), c = Load(row), r = Load(row + 1);
    __m128i leftAbove = _mm_avg_epu8(l, c), rightAbove = _mm_avg_epu8(c, r);
    __m128i leftOddAbove = _mm_xor_si128(l, c), rightOddAbove = _mm_xor_si128(c, r);
    __m128i centreAbove = c;
    for (int k = 1; k <= 17; ++k) {
        row += stride;
        l = Load(row - 1), c = Load(row), r = Load(row + 1);
        const __m128i left = _mm_avg_epu8(l, c), right = _mm_avg_epu8(c, r);
        const __m128i leftOdd = _mm_xor_si128(l, c), rightOdd = _mm_xor_si128(c, r);
        const __m128i diagonalLeft = Diagonal(leftAbove, leftOddAbove, left, leftOdd);
        const __m128i diagonalRight = Diagonal(rightAbove, rightOddAbove, right, rightOdd);
        const __m128i vertical = _mm_avg_epu8(centreAbove, c);
        if (k <= 16) {
            const __m128i s = Load(src + 16 * (k - 1));
            sums[0] = _mm_add_epi64(sums[0], _mm_sad_epu8(s, diagonalLeft));
            sums[1] = _mm_add_epi64(sums[1], _mm_sad_epu8(s, vertical));
            sums[2] = _mm_add_epi64(sums[2], _mm_sad_epu8(s, diagonalRight));
            sums[3] = _mm_add_epi64(sums[3], _mm_sad_epu8(s, left));
            sums[4] = _mm_add_epi64(sums[4], _mm_sad_epu8(s, right));
        }
        if (k >= 2) {
            const __m128i s = Load(src + 16 * (k - 2));
            sums[5] = _mm_add_epi64(sums[5], _mm_sad_epu8(s, diagonalLeft));
            sums[6] = _mm_add_epi64(sums[6], _mm_sad_epu8(s, vertical));
            sums[7] = _mm_add_epi64(sums[7], _mm_sad_epu8(s, diagonalRight));
        }
        leftAbove = left, rightAbove = right;
        leftOddAbove = leftOdd, rightOddAbove = rightOdd;
        centreAbove = c;
    }
    for (int i = 0; i < 8; ++i) out[i] = Total(sums[i]);
}

__attribute__((target("avx2"))) uint32_t SadAvx2(const uint8_t* src, const uint8_t* ref, int stride, uint32_t limit)
{
    __m256i sums = _mm256_setzero_si256();
    for (int y = 0; y < 8; y += 2) {
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(LoadRows(src), Load2(ref, ref + stride)));
        src += 32;
        ref += 2 * stride;
    }
    // Half way: a sum that already reached the limit cannot win.
    const uint32_t half = Total2(sums);
    if (half >= limit) return half;
    for (int y = 8; y < 16; y += 2) {
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(LoadRows(src), Load2(ref, ref + stride)));
        src += 32;
        ref += 2 * stride;
    }
    return Total2(sums);
}

__attribute__((target("avx2"))) uint32_t SadHalfHAvx2(const uint8_t* src, const uint8_t* ref, int stride)
{
    __m256i sums = _mm256_setzero_si256();
    for (int y = 0; y < 16; y += 2) {
        const __m256i p = _mm256_avg_epu8(Load2(ref, ref + stride), Load2(ref + 1, ref + stride + 1));
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(LoadRows(src), p));
        src += 32;
        ref += 2 * stride;
    }
    return Total2(sums);
}

__attribute__((target("avx2"))) uint32_t SadHalfVAvx2(const uint8_t* src, const uint8_t* ref, int stride)
{
    __m256i sums = _mm256_setzero_si256();
    for (int y = 0; y < 16; y += 2) {
        const __m256i upper = Load2(ref, ref + stride);
        const __m256i lower = Load2(ref + stride, ref + 2 * stride);
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(LoadRows(src), _mm256_avg_epu8(upper, lower)));
        src += 32;
        ref += 2 * stride;
    }
    return Total2(sums);
}

__attribute__((target("avx2"))) uint32_t SadHalfHVAvx2(const uint8_t* src, const uint8_t* ref, int stride)
{
    const __m256i two = _mm256_set1_epi16(2);
    __m256i sums = _mm256_setzero_si256();
    __m256i above = PairSum(ref);
    for (int y = 0; y < 16; y += 2) {
        const __m256i middle = PairSum(ref + stride), below = PairSum(ref + 2 * stride);
        const __m256i a = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(above, middle), two), 2);
        const __m256i b = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(middle, below), two), 2);
        // packus per 128-bit lane: [a0..7, b0..7 | a8..15, b8..15] -> rows a, b
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(a, b), 0xD8);
        sums = _mm256_add_epi64(sums, _mm256_sad_epu8(LoadRows(src), packed));
        above = below;
        src += 32;
        ref += 2 * stride;
    }
    return Total2(sums);
}

// One pass over the 18 rows of the reference as in the SSE2 routine, with the positions
// half a sample left and right side by side in one register ([left | right]).
__attribute__((target("avx2"))) void SadHalfNeighboursAvx2(const uint8_t* src, const uint8_t* ref, int stride,
                                                           uint32_t out[8])
{
    const __m256i zero = _mm256_setzero_si256();
    // up, beside and down: q0 + q1 the left position, q2 + q3 the right one; vertical:
    // q0 + q1 down, q2 + q3 up.
    __m256i up = zero, down = zero, beside = zero, vertical = zero;
    const uint8_t* row = ref - stride;
    __m256i a = Load2(row - 1, row), b = Load2(row, row + 1);
    __m256i halfAbove = _mm256_avg_epu8(a, b), oddAbove = _mm256_xor_si256(a, b);
    __m256i centreAbove = _mm256_broadcastsi128_si256(Load(row));
    __m256i sourceAbove = zero;  // source row k - 2 in both lanes
    for (int k = 1; k <= 17; ++k) {
        row += stride;
        a = Load2(row - 1, row), b = Load2(row, row + 1);
        const __m256i half = _mm256_avg_epu8(a, b), odd = _mm256_xor_si256(a, b);
        const __m256i diagonal = Diagonal2(halfAbove, oddAbove, half, odd);
        const __m256i centre = _mm256_broadcastsi128_si256(Load(row));
        const __m256i average = _mm256_avg_epu8(centreAbove, centre);
        __m256i source = zero;
        if (k <= 16) {
            source = _mm256_broadcastsi128_si256(Load(src + 16 * (k - 1)));
            up = _mm256_add_epi64(up, _mm256_sad_epu8(diagonal, source));
            beside = _mm256_add_epi64(beside, _mm256_sad_epu8(half, source));
        }
        if (k >= 2) down = _mm256_add_epi64(down, _mm256_sad_epu8(diagonal, sourceAbove));
        // Both vertical positions at once against source rows k - 2 and k - 1, each alone
        // at the ends.
        if (k == 1)
            vertical = _mm256_blend_epi32(zero, _mm256_sad_epu8(average, source), 0xF0);
        else if (k == 17)
            vertical =
                _mm256_add_epi64(vertical, _mm256_blend_epi32(zero, _mm256_sad_epu8(average, sourceAbove), 0x0F));
        else
            vertical = _mm256_add_epi64(vertical, _mm256_sad_epu8(average, LoadRows(src + 16 * (k - 2))));
        halfAbove = half;
        oddAbove = odd;
        centreAbove = centre;
        sourceAbove = source;
    }
    alignas(32) uint64_t q[4][4];
    _mm256_store_si256(reinterpret_cast<__m256i*>(q[0]), up);
    _mm256_store_si256(reinterpret_cast<__m256i*>(q[1]), beside);
    _mm256_store_si256(reinterpret_cast<__m256i*>(q[2]), vertical);
    _mm256_store_si256(reinterpret_cast<__m256i*>(q[3]), down);
    out[0] = uint32_t(q[0][0] + q[0][1]);
    out[1] = uint32_t(q[2][2] + q[2][3]);
    out[2] = uint32_t(q[0][2] + q[0][3]);
    out[3] = uint32_t(q[1][0] + q[1][1]);
    out[4] = uint32_t(q[1][2] + q[1][3]);
    out[5] = uint32_t(q[3][0] + q[3][1]);
    out[6] = uint32_t(q[2][0] + q[2][1]);
    out[7] = uint32_t(q[3][2] + q[3][3]);
}

uint32_t IntraDeviationSse2(const uint8_t* src, int stride)
{
    const __m128i zero = _mm_setzero_si128();
    __m128i sums = zero;
    for (int y = 0; y < 16; ++y) sums = _mm_add_epi64(sums, _mm_sad_epu8(Load(src + y * stride), zero));
    const __m128i mean = _mm_set1_epi8(char(Total(sums) / 256));
    __m128i dev = zero;
    for (int y = 0; y < 16; ++y) dev = _mm_add_epi64(dev, _mm_sad_epu8(Load(src + y * stride), mean));
    return Total(dev);
}

uint32_t IntraDeviation(const uint8_t* src, int stride) { return EncoderKernels().intraDeviation(src, stride); }
