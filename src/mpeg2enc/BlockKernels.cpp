#include "mpeg2enc/BlockKernels.h"

#include "mpeg2enc/EncoderKernels.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <cstring>

// ------------------------------------------------------------------ plain routines

uint32_t ResidualBlockPlain(const uint8_t* source, int stride, const uint8_t* prediction, int predStride,
                            int16_t out[64])
{
    uint32_t sum = 0;
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const int d = source[j * stride + i] - prediction[j * predStride + i];
            out[j * 8 + i] = int16_t(d);
            sum += uint32_t(d * d);
        }
    return sum;
}

void ReconstructBlockPlain(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest,
                           int stride)
{
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) {
            const int v = prediction[j * predStride + i] + (residual ? residual[j * 8 + i] : 0);
            dest[j * stride + i] = uint8_t(std::clamp(v, 0, 255));
        }
}

void PredictBlockPlain(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride, int size)
{
    const uint8_t* p = ref;
    for (int j = 0; j < size; ++j, p += refStride, out += outStride)
        for (int i = 0; i < size; ++i) {
            if (!halfX && !halfY)
                out[i] = p[i];
            else if (halfX && !halfY)
                out[i] = uint8_t((p[i] + p[i + 1] + 1) >> 1);
            else if (!halfX && halfY)
                out[i] = uint8_t((p[i] + p[i + refStride] + 1) >> 1);
            else
                out[i] = uint8_t((p[i] + p[i + 1] + p[i + refStride] + p[i + refStride + 1] + 2) >> 2);
        }
}

bool IsZeroBlockPlain(const int16_t block[64])
{
    for (int i = 0; i < 64; ++i)
        if (block[i] != 0) return false;
    return true;
}

// ------------------------------------------------------------------ SSE2 routines

namespace {

inline __m128i Load8(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline __m128i Load16(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store8(uint8_t* p, __m128i v) { _mm_storel_epi64(reinterpret_cast<__m128i*>(p), v); }
inline void Store16(uint8_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

// (a + b + c + d + 2) >> 2 for the eight samples in the low halves of four registers
// widened to 16 bits; exact, as the sum is at most 1022.
inline __m128i Average4Lo(__m128i a, __m128i b, __m128i c, __m128i d)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero)),
                                      _mm_add_epi16(_mm_unpacklo_epi8(c, zero), _mm_unpacklo_epi8(d, zero)));
    return _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(2)), 2);
}

inline __m128i Average4Hi(__m128i a, __m128i b, __m128i c, __m128i d)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero)),
                                      _mm_add_epi16(_mm_unpackhi_epi8(c, zero), _mm_unpackhi_epi8(d, zero)));
    return _mm_srli_epi16(_mm_add_epi16(sum, _mm_set1_epi16(2)), 2);
}

// Prediction with the case decided once per block: `Load` reads the row width (8 or
// 16 samples) and `Store` writes it. _mm_avg_epu8 is (a + b + 1) >> 1. Loads never go
// beyond the samples the plain routine reads.
template <bool wide>
inline void PredictSse2(const uint8_t* p, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride)
{
    constexpr int size = wide ? 16 : 8;
    auto load = [](const uint8_t* q) { return wide ? Load16(q) : Load8(q); };
    auto store = [](uint8_t* q, __m128i v) { wide ? Store16(q, v) : Store8(q, v); };
    if (!halfX && !halfY) {
        for (int j = 0; j < size; ++j, p += refStride, out += outStride) store(out, load(p));
    } else if (!halfY) {
        for (int j = 0; j < size; ++j, p += refStride, out += outStride) store(out, _mm_avg_epu8(load(p), load(p + 1)));
    } else if (!halfX) {
        __m128i above = load(p);
        for (int j = 0; j < size; ++j, p += refStride, out += outStride) {
            const __m128i below = load(p + refStride);
            store(out, _mm_avg_epu8(above, below));
            above = below;
        }
    } else {
        for (int j = 0; j < size; ++j, p += refStride, out += outStride) {
            const __m128i a = load(p), b = load(p + 1), c = load(p + refStride), d = load(p + refStride + 1);
            const __m128i lo = Average4Lo(a, b, c, d);
            store(out, _mm_packus_epi16(lo, wide ? Average4Hi(a, b, c, d) : lo));
        }
    }
}

}  // namespace

uint32_t ResidualBlockSse2(const uint8_t* source, int stride, const uint8_t* prediction, int predStride,
                           int16_t out[64])
{
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = zero;
    for (int j = 0; j < 8; ++j) {
        const __m128i s = _mm_unpacklo_epi8(Load8(source + j * stride), zero);
        const __m128i p = _mm_unpacklo_epi8(Load8(prediction + j * predStride), zero);
        const __m128i d = _mm_sub_epi16(s, p);
        sum = _mm_add_epi32(sum, _mm_madd_epi16(d, d));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j * 8), d);
    }
    sum = _mm_add_epi32(sum, _mm_srli_si128(sum, 8));
    return uint32_t(_mm_cvtsi128_si32(_mm_add_epi32(sum, _mm_srli_si128(sum, 4))));
}

void ReconstructBlockSse2(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest, int stride)
{
    if (!residual) {
        for (int j = 0; j < 8; ++j) Store8(dest + j * stride, Load8(prediction + j * predStride));
        return;
    }
    // The saturating add stays exact where it matters: a sum above 32767 clamps to 255
    // either way, and packus limits the 16-bit sums to 0..255.
    const __m128i zero = _mm_setzero_si128();
    for (int j = 0; j < 8; ++j) {
        const __m128i p = _mm_unpacklo_epi8(Load8(prediction + j * predStride), zero);
        const __m128i r = _mm_loadu_si128(reinterpret_cast<const __m128i*>(residual + j * 8));
        const __m128i sum = _mm_adds_epi16(p, r);
        Store8(dest + j * stride, _mm_packus_epi16(sum, sum));
    }
}

void PredictBlockSse2(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride, int size)
{
    if (size == 16)
        PredictSse2<true>(ref, refStride, halfX, halfY, out, outStride);
    else
        PredictSse2<false>(ref, refStride, halfX, halfY, out, outStride);
}

bool IsZeroBlockSse2(const int16_t block[64])
{
    __m128i any = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 8)
        any = _mm_or_si128(any, _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i)));
    return _mm_movemask_epi8(_mm_cmpeq_epi8(any, _mm_setzero_si128())) == 0xFFFF;
}

// ------------------------------------------------------------------ AVX2 routines

namespace {

// Two rows of 8 samples, `stride` apart, in the low and high halves (the second inserted
// straight from memory).
inline __m128i Load8Rows(const uint8_t* p, int stride) __attribute__((target("avx2")));
inline __m128i Load8Rows(const uint8_t* p, int stride)
{
    int64_t second;
    std::memcpy(&second, p + stride, sizeof second);
    return _mm_insert_epi64(Load8(p), second, 1);
}

}  // namespace

uint32_t ResidualBlockAvx2(const uint8_t* source, int stride, const uint8_t* prediction, int predStride,
                           int16_t out[64]) __attribute__((target("avx2")));
uint32_t ResidualBlockAvx2(const uint8_t* source, int stride, const uint8_t* prediction, int predStride,
                           int16_t out[64])
{
    // Two rows per step, widened to sixteen 16-bit lanes; the squares are summed in
    // eight 32-bit lanes (each at most 8 x 2 x 255^2).
    __m256i sum = _mm256_setzero_si256();
    for (int j = 0; j < 8; j += 2) {
        const __m128i s = Load8Rows(source + j * stride, stride);
        const __m128i p = Load8Rows(prediction + j * predStride, predStride);
        const __m256i d = _mm256_sub_epi16(_mm256_cvtepu8_epi16(s), _mm256_cvtepu8_epi16(p));
        sum = _mm256_add_epi32(sum, _mm256_madd_epi16(d, d));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j * 8), d);
    }
    __m128i half = _mm_add_epi32(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
    half = _mm_add_epi32(half, _mm_srli_si128(half, 8));
    return uint32_t(_mm_cvtsi128_si32(_mm_add_epi32(half, _mm_srli_si128(half, 4))));
}

void ReconstructBlockAvx2(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest, int stride)
    __attribute__((target("avx2")));
void ReconstructBlockAvx2(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest, int stride)
{
    if (!residual) {
        for (int j = 0; j < 8; ++j) Store8(dest + j * stride, Load8(prediction + j * predStride));
        return;
    }
    for (int j = 0; j < 8; j += 2) {
        const __m256i p = _mm256_cvtepu8_epi16(Load8Rows(prediction + j * predStride, predStride));
        const __m256i r = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(residual + j * 8));
        const __m256i sum = _mm256_adds_epi16(p, r);
        // Rows j and j + 1 in the two halves; packus works per 128-bit lane.
        const __m128i packed = _mm_packus_epi16(_mm256_castsi256_si128(sum), _mm256_extracti128_si256(sum, 1));
        Store8(dest + j * stride, packed);
        Store8(dest + (j + 1) * stride, _mm_srli_si128(packed, 8));
    }
}

void PredictBlockAvx2(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride, int size)
    __attribute__((target("avx2")));
void PredictBlockAvx2(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride, int size)
{
    if (size != 16) {
        // Rows of 8: the 128-bit routine (in its VEX form).
        PredictSse2<false>(ref, refStride, halfX, halfY, out, outStride);
        return;
    }
    if (!halfX || !halfY) {
        // Byte averages and copies: one 128-bit operation per row is already the width
        // of a row.
        PredictSse2<true>(ref, refStride, halfX, halfY, out, outStride);
        return;
    }
    // Four-sample averages of 16-sample rows in sixteen 16-bit lanes; each reference row
    // is widened once and used for the row above and the row below.
    const __m256i two = _mm256_set1_epi16(2);
    __m256i above = _mm256_add_epi16(_mm256_cvtepu8_epi16(Load16(ref)), _mm256_cvtepu8_epi16(Load16(ref + 1)));
    for (int j = 0; j < 16; ++j) {
        const uint8_t* below = ref + (j + 1) * refStride;
        const __m256i next =
            _mm256_add_epi16(_mm256_cvtepu8_epi16(Load16(below)), _mm256_cvtepu8_epi16(Load16(below + 1)));
        const __m256i v = _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(above, next), two), 2);
        Store16(out + j * outStride, _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1)));
        above = next;
    }
}

bool IsZeroBlockAvx2(const int16_t block[64]) __attribute__((target("avx2")));
bool IsZeroBlockAvx2(const int16_t block[64])
{
    const __m256i* p = reinterpret_cast<const __m256i*>(block);
    const __m256i any = _mm256_or_si256(_mm256_or_si256(_mm256_loadu_si256(p), _mm256_loadu_si256(p + 1)),
                                        _mm256_or_si256(_mm256_loadu_si256(p + 2), _mm256_loadu_si256(p + 3)));
    return _mm256_testz_si256(any, any) != 0;
}

// ------------------------------------------------------------------ dispatch

uint32_t ResidualBlock(const uint8_t* source, int stride, const uint8_t* prediction, int predStride, int16_t out[64])
{
    return EncoderKernels().residualBlock(source, stride, prediction, predStride, out);
}

void ReconstructBlock(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest, int stride)
{
    EncoderKernels().reconstructBlock(prediction, predStride, residual, dest, stride);
}

void PredictBlock(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride, int size)
{
    EncoderKernels().predictBlock(ref, refStride, halfX, halfY, out, outStride, size);
}

bool IsZeroBlock(const int16_t block[64]) { return EncoderKernels().isZeroBlock(block); }
