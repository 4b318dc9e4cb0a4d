// Row blends: weighted mix of two rows and byte-wise choice by a mask.
#include "picture/PixelKernels.h"

#include <emmintrin.h>
#include <immintrin.h>

// ---------------------------------------------------------------- blend of two rows

void BlendRowsPlain(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n)
{
    for (int i = 0; i < n; ++i) out[i] = uint8_t((a[i] * (256 - k) + b[i] * k) >> 8);
}

void BlendRowsSse2(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n)
{
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i wa = _mm_set1_epi16(short(256 - k)), wb = _mm_set1_epi16(short(k));
    for (; i + 16 <= n; i += 16) {
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        const __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), wa),
                                         _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), wb));
        const __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), wa),
                                         _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), wb));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)));
    }
    if (i < n) BlendRowsPlain(a + i, b + i, k, out + i, n - i);
}

__attribute__((target("avx2"))) void BlendRowsAvx2(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n)
{
    int i = 0;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i wa = _mm256_set1_epi16(short(256 - k)), wb = _mm256_set1_epi16(short(k));
    for (; i + 32 <= n; i += 32) {
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        const __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(va, zero), wa),
                                            _mm256_mullo_epi16(_mm256_unpacklo_epi8(vb, zero), wb));
        const __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(va, zero), wa),
                                            _mm256_mullo_epi16(_mm256_unpackhi_epi8(vb, zero), wb));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) BlendRowsSse2(a + i, b + i, k, out + i, n - i);
}

// ---------------------------------------------------------------- masked choice

void SelectBytesPlain(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n)
{
    for (int i = 0; i < n; ++i) out[i] = uint8_t((a[i] & ~mask[i]) | (b[i] & mask[i]));
}

void SelectBytesSse2(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n)
{
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i));
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_or_si128(_mm_andnot_si128(m, va), _mm_and_si128(m, vb)));
    }
    if (i < n) SelectBytesPlain(a + i, b + i, mask + i, out + i, n - i);
}

__attribute__((target("avx2"))) void SelectBytesAvx2(const uint8_t* a, const uint8_t* b, const uint8_t* mask,
                                                     uint8_t* out, int n)
{
    int i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask + i));
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_or_si256(_mm256_andnot_si256(m, va), _mm256_and_si256(m, vb)));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) SelectBytesSse2(a + i, b + i, mask + i, out + i, n - i);
}
