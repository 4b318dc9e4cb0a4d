// Scaling passes: bilinear and 4-tap filters over planes and 32-bit pixel rows.
#include "picture/PixelKernels.h"
#include "picture/PixelVectors.h"

#include <algorithm>
#include <cstring>

#include <emmintrin.h>
#include <immintrin.h>

// ---------------------------------------------------------------- bilinear, vertical pass

void BilinearVerticalPlain(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out, int n)
{
    for (int i = 0; i < n; ++i)
        out[i] = uint8_t((uint32_t(row1[i]) * uint32_t(w1) + uint32_t(row0[i]) * uint32_t(w0)) >> 16);
}

void BilinearVerticalSse2(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out, int n)
{
    int i = 0;
    const __m128i vw0 = _mm_set1_epi16(short(w0)), vw1 = _mm_set1_epi16(short(w1));
    for (; i + 8 <= n; i += 8) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row0 + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row1 + i));
        // Full 32-bit products from the low and high halves of 16 x 16 multiplies.
        const __m128i alo = _mm_mullo_epi16(a, vw0), ahi = _mm_mulhi_epu16(a, vw0);
        const __m128i blo = _mm_mullo_epi16(b, vw1), bhi = _mm_mulhi_epu16(b, vw1);
        __m128i s0 = _mm_add_epi32(_mm_unpacklo_epi16(alo, ahi), _mm_unpacklo_epi16(blo, bhi));
        __m128i s1 = _mm_add_epi32(_mm_unpackhi_epi16(alo, ahi), _mm_unpackhi_epi16(blo, bhi));
        s0 = _mm_srli_epi32(s0, 16);
        s1 = _mm_srli_epi32(s1, 16);
        const __m128i p = _mm_packs_epi32(s0, s1);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(p, p));
    }
    if (i < n) BilinearVerticalPlain(row0 + i, row1 + i, w0, w1, out + i, n - i);
}

// The SSE2 arithmetic on 16 samples a step. Unpacks and packs both work per 128-bit
// lane, so the lanes come back in order.
__attribute__((target("avx2"))) void BilinearVerticalAvx2(const uint16_t* row0, const uint16_t* row1, int w0, int w1,
                                                          uint8_t* out, int n)
{
    int i = 0;
    const __m256i vw0 = _mm256_set1_epi16(short(w0)), vw1 = _mm256_set1_epi16(short(w1));
    for (; i + 16 <= n; i += 16) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row0 + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row1 + i));
        const __m256i alo = _mm256_mullo_epi16(a, vw0), ahi = _mm256_mulhi_epu16(a, vw0);
        const __m256i blo = _mm256_mullo_epi16(b, vw1), bhi = _mm256_mulhi_epu16(b, vw1);
        __m256i s0 = _mm256_add_epi32(_mm256_unpacklo_epi16(alo, ahi), _mm256_unpacklo_epi16(blo, bhi));
        __m256i s1 = _mm256_add_epi32(_mm256_unpackhi_epi16(alo, ahi), _mm256_unpackhi_epi16(blo, bhi));
        s0 = _mm256_srli_epi32(s0, 16);
        s1 = _mm256_srli_epi32(s1, 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), PackBytes16(_mm256_packs_epi32(s0, s1)));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) BilinearVerticalSse2(row0 + i, row1 + i, w0, w1, out + i, n - i);
}

// ---------------------------------------------------------------- 4-tap vertical pass

void Cubic4VerticalPlain(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n)
{
    for (int i = 0; i < n; ++i) {
        int s = 0;
        for (int k = 0; k < 4; ++k) s += rows[k][i] * weights[k];
        out[i] = uint8_t(s >> 8);
    }
}

void Cubic4VerticalSse2(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n)
{
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    __m128i w[4];
    for (int k = 0; k < 4; ++k) w[k] = _mm_set1_epi16(short(weights[k]));
    for (; i + 16 <= n; i += 16) {
        __m128i lo = zero, hi = zero;
        for (int k = 0; k < 4; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + i));
            // Weights are non-negative and sum to 256, so the sums stay below 65536.
            lo = _mm_add_epi16(lo, _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), w[k]));
            hi = _mm_add_epi16(hi, _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), w[k]));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(_mm_srli_epi16(lo, 8), _mm_srli_epi16(hi, 8)));
    }
    if (i < n) {
        const uint8_t* rest[4] = {rows[0] + i, rows[1] + i, rows[2] + i, rows[3] + i};
        Cubic4VerticalPlain(rest, weights, out + i, n - i);
    }
}

// 32 samples a step; the per-lane unpacks and the per-lane pack undo each other's order.
__attribute__((target("avx2"))) void Cubic4VerticalAvx2(const uint8_t* const rows[4], const int weights[4],
                                                        uint8_t* out, int n)
{
    int i = 0;
    const __m256i zero = _mm256_setzero_si256();
    __m256i w[4];
    for (int k = 0; k < 4; ++k) w[k] = _mm256_set1_epi16(short(weights[k]));
    for (; i + 32 <= n; i += 32) {
        __m256i lo = zero, hi = zero;
        for (int k = 0; k < 4; ++k) {
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + i));
            lo = _mm256_add_epi16(lo, _mm256_mullo_epi16(_mm256_unpacklo_epi8(v, zero), w[k]));
            hi = _mm256_add_epi16(hi, _mm256_mullo_epi16(_mm256_unpackhi_epi8(v, zero), w[k]));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_packus_epi16(_mm256_srli_epi16(lo, 8), _mm256_srli_epi16(hi, 8)));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) {
        const uint8_t* rest[4] = {rows[0] + i, rows[1] + i, rows[2] + i, rows[3] + i};
        Cubic4VerticalSse2(rest, weights, out + i, n - i);
    }
}

// ---------------------------------------------------------------- bilinear, 32-bit pixels

void BilinearRgbxWeights(const int* w1, uint16_t* weights, int n)
{
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 4; ++c) {
            weights[8 * i + c] = uint16_t(256 - w1[i]);
            weights[8 * i + 4 + c] = uint16_t(w1[i]);
        }
}

void BilinearRgbxRowPlain(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n)
{
    for (int i = 0; i < n; ++i) {
        const uint8_t* a = src + size_t(x0[i]) * 4;
        const int wa = weights[8 * i], wb = weights[8 * i + 4];
        for (int c = 0; c < 4; ++c) out[i * 4 + c] = uint16_t(a[c] * wa + a[4 + c] * wb);
    }
}

// Two output pixels a step: each one's two source pixels (8 bytes) widen to one
// vector that multiplies by its prepared weights; the halves are then added.
void BilinearRgbxRowSse2(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n)
{
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; i + 2 <= n; i += 2) {
        const __m128i pa =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + size_t(x0[i]) * 4)), zero);
        const __m128i pb =
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + size_t(x0[i + 1]) * 4)), zero);
        const __m128i ma = _mm_mullo_epi16(pa, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 8 * i)));
        const __m128i mb = _mm_mullo_epi16(pb, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 8 * i + 8)));
        // Add the upper four lanes (second source pixel) onto the lower four.
        const __m128i lo = _mm_unpacklo_epi64(ma, mb), hi = _mm_unpackhi_epi64(ma, mb);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + size_t(i) * 4), _mm_add_epi16(lo, hi));
    }
    if (i < n) BilinearRgbxRowPlain(src, x0 + i, weights + 8 * i, out + size_t(i) * 4, n - i);
}

// Four output pixels a step: output pixels i and i + 1 share one 256-bit vector (one
// per lane), as do i + 2 and i + 3; the lane halves are then added and the permute
// puts the four results in order.
__attribute__((target("avx2"))) void BilinearRgbxRowAvx2(const uint8_t* src, const int* x0, const uint16_t* weights,
                                                         uint16_t* out, int n)
{
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i p01 =
            _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + size_t(x0[i]) * 4)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + size_t(x0[i + 1]) * 4)));
        const __m128i p23 =
            _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + size_t(x0[i + 2]) * 4)),
                               _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + size_t(x0[i + 3]) * 4)));
        const __m256i m01 = _mm256_mullo_epi16(_mm256_cvtepu8_epi16(p01),
                                               _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 8 * i)));
        const __m256i m23 = _mm256_mullo_epi16(
            _mm256_cvtepu8_epi16(p23), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 8 * i + 16)));
        // Lanes now hold output pixels (i, i+2) and (i+1, i+3).
        const __m256i sum = _mm256_add_epi16(_mm256_unpacklo_epi64(m01, m23), _mm256_unpackhi_epi64(m01, m23));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + size_t(i) * 4), _mm256_permute4x64_epi64(sum, 0xD8));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) BilinearRgbxRowSse2(src, x0 + i, weights + 8 * i, out + size_t(i) * 4, n - i);
}

// ---------------------------------------------------------------- 4-tap horizontal pass

void Cubic4RowPlain(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n)
{
    for (int i = 0; i < n; ++i) {
        int acc = 0;
        for (int j = 0; j < 4; ++j) acc += weights[4 * i + j] * src[std::min(first[i] + j, srcWidth - 1)];
        out[i] = uint8_t(acc >> 8);
    }
}

namespace {

inline int32_t Load4(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Adds the two 32-bit halves of each output's taps: a = (o0 taps 0-1, o0 taps 2-3,
// o1 ..., o1 ...), b likewise for o2 and o3; returns the four sums in order.
inline __m128i SumTapPairs(__m128i a, __m128i b)
{
    const __m128 fa = _mm_castsi128_ps(a), fb = _mm_castsi128_ps(b);
    return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
}

}  // namespace

// Four outputs a step: their four source samples each are loaded as one 32-bit word,
// widened, and multiplied by the weights with madd. Groups whose window reaches the
// line's end (where the taps are clamped) use the plain loop.
void Cubic4RowSse2(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n)
{
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
        if (first[i + 3] + 3 >= srcWidth || first[i] + 3 >= srcWidth || first[i + 1] + 3 >= srcWidth ||
            first[i + 2] + 3 >= srcWidth) {
            Cubic4RowPlain(src, srcWidth, first + i, weights + 4 * i, out + i, 4);
            continue;
        }
        const __m128i px = _mm_setr_epi32(Load4(src + first[i]), Load4(src + first[i + 1]), Load4(src + first[i + 2]),
                                          Load4(src + first[i + 3]));
        const __m128i w01 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 4 * i));
        const __m128i w23 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 4 * i + 8));
        const __m128i sums = SumTapPairs(_mm_madd_epi16(_mm_unpacklo_epi8(px, zero), w01),
                                         _mm_madd_epi16(_mm_unpackhi_epi8(px, zero), w23));
        const __m128i v = _mm_srli_epi32(sums, 8);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(v, zero), zero);
        const int32_t word = _mm_cvtsi128_si32(bytes);
        std::memcpy(out + i, &word, 4);
    }
    if (i < n) Cubic4RowPlain(src, srcWidth, first + i, weights + 4 * i, out + i, n - i);
}

// Eight outputs a step, four per 128-bit lane, as in the SSE2 version.
__attribute__((target("avx2"))) void Cubic4RowAvx2(const uint8_t* src, int srcWidth, const int* first,
                                                   const int16_t* weights, uint8_t* out, int n)
{
    int i = 0;
    const __m256i zero = _mm256_setzero_si256();
    for (; i + 8 <= n; i += 8) {
        bool inside = true;
        for (int k = 0; k < 8; ++k) inside &= first[i + k] + 3 < srcWidth;
        if (!inside) {
            Cubic4RowPlain(src, srcWidth, first + i, weights + 4 * i, out + i, 8);
            continue;
        }
        const __m256i px = _mm256_setr_epi32(
            Load4(src + first[i]), Load4(src + first[i + 1]), Load4(src + first[i + 2]), Load4(src + first[i + 3]),
            Load4(src + first[i + 4]), Load4(src + first[i + 5]), Load4(src + first[i + 6]), Load4(src + first[i + 7]));
        // Weights of outputs 0-3 and 4-7, rearranged so that each lane pairs with its
        // samples: (o0 o1 | o4 o5) and (o2 o3 | o6 o7).
        const __m256i wa = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 4 * i));
        const __m256i wb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 4 * i + 16));
        const __m256i a = _mm256_madd_epi16(_mm256_unpacklo_epi8(px, zero), _mm256_permute2x128_si256(wa, wb, 0x20));
        const __m256i b = _mm256_madd_epi16(_mm256_unpackhi_epi8(px, zero), _mm256_permute2x128_si256(wa, wb, 0x31));
        const __m256 fa = _mm256_castsi256_ps(a), fb = _mm256_castsi256_ps(b);
        const __m256i sums = _mm256_add_epi32(_mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
                                              _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
        const __m256i v = _mm256_srli_epi32(sums, 8);
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(v, zero), zero);
        const __m128i both = _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), both);
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) Cubic4RowSse2(src, srcWidth, first + i, weights + 4 * i, out + i, n - i);
}

// ---------------------------------------------------------------- bilinear, 8-bit samples

void BilinearPlaneRowPlain(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n)
{
    for (int i = 0; i < n; ++i) {
        const int a = src[x0[i]], b = src[std::min(x0[i] + 1, srcWidth - 1)];
        out[i] = uint16_t(a * (256 - w1[i]) + b * w1[i]);
    }
}

namespace {

// Eight sample pairs (src[x0], src[x0 + 1]) as 16-bit words, first sample in the low byte.
inline __m128i SamplePairs8(const uint8_t* src, const int* x0)
{
    __m128i v = _mm_setzero_si128();
    uint16_t w;
    std::memcpy(&w, src + x0[0], 2);
    v = _mm_insert_epi16(v, w, 0);
    std::memcpy(&w, src + x0[1], 2);
    v = _mm_insert_epi16(v, w, 1);
    std::memcpy(&w, src + x0[2], 2);
    v = _mm_insert_epi16(v, w, 2);
    std::memcpy(&w, src + x0[3], 2);
    v = _mm_insert_epi16(v, w, 3);
    std::memcpy(&w, src + x0[4], 2);
    v = _mm_insert_epi16(v, w, 4);
    std::memcpy(&w, src + x0[5], 2);
    v = _mm_insert_epi16(v, w, 5);
    std::memcpy(&w, src + x0[6], 2);
    v = _mm_insert_epi16(v, w, 6);
    std::memcpy(&w, src + x0[7], 2);
    v = _mm_insert_epi16(v, w, 7);
    return v;
}

// True when every pair of the n outputs lies inside the line (no clamped right edge).
inline bool PairsInside(const int* x0, int n, int srcWidth)
{
    bool inside = true;
    for (int k = 0; k < n; ++k) inside &= x0[k] + 1 < srcWidth;
    return inside;
}

}  // namespace

// Eight outputs a step: each pair of neighbouring samples is one 16-bit load; the
// products of at most 255 x 256 and their sum fit 16 bits.
void BilinearPlaneRowSse2(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n)
{
    int i = 0;
    const __m128i low = _mm_set1_epi16(0xFF), full = _mm_set1_epi32(256);
    for (; i + 8 <= n; i += 8) {
        if (!PairsInside(x0 + i, 8, srcWidth)) {
            BilinearPlaneRowPlain(src, srcWidth, x0 + i, w1 + i, out + i, 8);
            continue;
        }
        const __m128i pairs = SamplePairs8(src, x0 + i);
        const __m128i wbLo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w1 + i));
        const __m128i wbHi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w1 + i + 4));
        // Weights up to 256 do not fit the signed pack; 256 - w and w pack as w - 128.
        const __m128i bias = _mm_set1_epi32(128);
        const __m128i wb =
            _mm_add_epi16(_mm_packs_epi32(_mm_sub_epi32(wbLo, bias), _mm_sub_epi32(wbHi, bias)), _mm_set1_epi16(128));
        const __m128i wa = _mm_add_epi16(_mm_packs_epi32(_mm_sub_epi32(_mm_sub_epi32(full, wbLo), bias),
                                                         _mm_sub_epi32(_mm_sub_epi32(full, wbHi), bias)),
                                         _mm_set1_epi16(128));
        const __m128i a = _mm_and_si128(pairs, low), b = _mm_srli_epi16(pairs, 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_add_epi16(_mm_mullo_epi16(a, wa), _mm_mullo_epi16(b, wb)));
    }
    if (i < n) BilinearPlaneRowPlain(src, srcWidth, x0 + i, w1 + i, out + i, n - i);
}

// Sixteen outputs a step: two SSE2-built halves of sample pairs, 256-bit arithmetic.
__attribute__((target("avx2"))) void BilinearPlaneRowAvx2(const uint8_t* src, int srcWidth, const int* x0,
                                                          const int* w1, uint16_t* out, int n)
{
    int i = 0;
    const __m256i low = _mm256_set1_epi16(0xFF), full = _mm256_set1_epi32(256);
    for (; i + 16 <= n; i += 16) {
        if (!PairsInside(x0 + i, 16, srcWidth)) {
            BilinearPlaneRowPlain(src, srcWidth, x0 + i, w1 + i, out + i, 16);
            continue;
        }
        const __m256i pairs = _mm256_inserti128_si256(_mm256_castsi128_si256(SamplePairs8(src, x0 + i)),
                                                      SamplePairs8(src, x0 + i + 8), 1);
        const __m256i wbLo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w1 + i));
        const __m256i wbHi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w1 + i + 8));
        // packus_epi32 keeps values up to 256 exactly; its per-lane order is undone by
        // the 64-bit permute.
        const __m256i wb = _mm256_permute4x64_epi64(_mm256_packus_epi32(wbLo, wbHi), 0xD8);
        const __m256i wa = _mm256_permute4x64_epi64(
            _mm256_packus_epi32(_mm256_sub_epi32(full, wbLo), _mm256_sub_epi32(full, wbHi)), 0xD8);
        const __m256i a = _mm256_and_si256(pairs, low), b = _mm256_srli_epi16(pairs, 8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_add_epi16(_mm256_mullo_epi16(a, wa), _mm256_mullo_epi16(b, wb)));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) BilinearPlaneRowSse2(src, srcWidth, x0 + i, w1 + i, out + i, n - i);
}
