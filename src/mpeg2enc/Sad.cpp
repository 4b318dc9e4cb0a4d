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
