// Blur and photo-resize passes over 32-bit pixel rows.
#include "picture/PixelKernels.h"

#include <algorithm>
#include <cstring>

#include <emmintrin.h>
#include <immintrin.h>

// ---------------------------------------------------------------- blur, horizontal pass

void BlurRgbxRowHPlain(const uint8_t* padded, const int w[5], uint32_t* mid, int width)
{
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 4; ++c) {
            uint32_t acc = 0;
            for (int k = 0; k < 5; ++k) acc += uint32_t(w[k]) * padded[4 * (x + k) + c];
            mid[4 * x + c] = acc;
        }
}

// Two pixels a step. q[k] holds the 16-bit bytes of padded pixels x + k and x + k + 1;
// interleaving q[k] with q[k + 1] pairs each byte with the next pixel's same byte,
// so one madd applies two taps (the low half feeds pixel x, the high half x + 1).
void BlurRgbxRowHSse2(const uint8_t* padded, const int w[5], uint32_t* mid, int width)
{
    int x = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i w01 = _mm_set1_epi32((w[0] & 0xFFFF) | (w[1] << 16));
    const __m128i w23 = _mm_set1_epi32((w[2] & 0xFFFF) | (w[3] << 16));
    const __m128i w4 = _mm_set1_epi32(w[4] & 0xFFFF);
    for (; x + 2 <= width; x += 2) {
        const uint8_t* p = padded + 4 * x;
        __m128i q[5];
        for (int k = 0; k < 5; ++k)
            q[k] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 4 * k)), zero);
        __m128i a = _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi16(q[0], q[1]), w01),
                                  _mm_madd_epi16(_mm_unpacklo_epi16(q[2], q[3]), w23));
        a = _mm_add_epi32(a, _mm_madd_epi16(_mm_unpacklo_epi16(q[4], zero), w4));
        __m128i b = _mm_add_epi32(_mm_madd_epi16(_mm_unpackhi_epi16(q[0], q[1]), w01),
                                  _mm_madd_epi16(_mm_unpackhi_epi16(q[2], q[3]), w23));
        b = _mm_add_epi32(b, _mm_madd_epi16(_mm_unpackhi_epi16(q[4], zero), w4));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mid + 4 * x), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(mid + 4 * x + 4), b);
    }
    if (x < width) BlurRgbxRowHPlain(padded + 4 * x, w, mid + 4 * x, width - x);
}

// The SSE2 scheme on four pixels a step: lane 0 works on pixels x, x + 1 and lane 1 on
// x + 2, x + 3, so the results come out as (x | x + 2) and (x + 1 | x + 3).
__attribute__((target("avx2"))) void BlurRgbxRowHAvx2(const uint8_t* padded, const int w[5], uint32_t* mid, int width)
{
    int x = 0;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i w01 = _mm256_set1_epi32((w[0] & 0xFFFF) | (w[1] << 16));
    const __m256i w23 = _mm256_set1_epi32((w[2] & 0xFFFF) | (w[3] << 16));
    const __m256i w4 = _mm256_set1_epi32(w[4] & 0xFFFF);
    for (; x + 4 <= width; x += 4) {
        const uint8_t* p = padded + 4 * x;
        __m256i q[5];
        for (int k = 0; k < 5; ++k)
            q[k] = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * k)));
        __m256i a = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(q[0], q[1]), w01),
                                     _mm256_madd_epi16(_mm256_unpacklo_epi16(q[2], q[3]), w23));
        a = _mm256_add_epi32(a, _mm256_madd_epi16(_mm256_unpacklo_epi16(q[4], zero), w4));
        __m256i b = _mm256_add_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(q[0], q[1]), w01),
                                     _mm256_madd_epi16(_mm256_unpackhi_epi16(q[2], q[3]), w23));
        b = _mm256_add_epi32(b, _mm256_madd_epi16(_mm256_unpackhi_epi16(q[4], zero), w4));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(mid + 4 * x), _mm256_permute2x128_si256(a, b, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(mid + 4 * x + 8), _mm256_permute2x128_si256(a, b, 0x31));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (x < width) BlurRgbxRowHSse2(padded + 4 * x, w, mid + 4 * x, width - x);
}

// ---------------------------------------------------------------- blur, vertical pass

void BlurRgbxRowVPlain(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out, int width)
{
    for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) {
            // With weights summing to at most 4096 the sum stays below 2^32 - 2^23.
            uint32_t acc = 0;
            for (int k = 0; k < 5; ++k) acc += uint32_t(w[k]) * rows[k][4 * x + c];
            out[4 * x + c] = uint8_t((acc + (1u << 23)) >> 24);
        }
        out[4 * x + 3] = alpha[4 * x + 3];
    }
}

namespace {

// One pixel's four sums of the vertical blur, rounded and shifted, as 32-bit lanes.
// SSE2 has no 32-bit multiply, so even and odd lanes go through 32 x 32 -> 64 bit
// multiplies; all products and sums fit the low 32 bits of each 64-bit lane.
inline __m128i BlurPixelV(const uint32_t* const rows[5], const __m128i wk[5], size_t at)
{
    __m128i even = _mm_setzero_si128(), odd = _mm_setzero_si128();
    for (int k = 0; k < 5; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + at));
        even = _mm_add_epi64(even, _mm_mul_epu32(v, wk[k]));
        odd = _mm_add_epi64(odd, _mm_mul_epu32(_mm_srli_epi64(v, 32), wk[k]));
    }
    const __m128i round = _mm_set1_epi64x(1 << 23);
    even = _mm_srli_epi64(_mm_add_epi64(even, round), 24);
    odd = _mm_srli_epi64(_mm_add_epi64(odd, round), 24);
    return _mm_or_si128(even, _mm_slli_epi64(odd, 32));
}

}  // namespace

void BlurRgbxRowVSse2(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out, int width)
{
    int x = 0;
    __m128i wk[5];
    for (int k = 0; k < 5; ++k) wk[k] = _mm_set1_epi32(w[k]);
    const __m128i alphaMask = _mm_set1_epi32(int(0xFF000000u));
    for (; x + 4 <= width; x += 4) {
        const __m128i p0 = BlurPixelV(rows, wk, 4 * size_t(x)), p1 = BlurPixelV(rows, wk, 4 * size_t(x) + 4);
        const __m128i p2 = BlurPixelV(rows, wk, 4 * size_t(x) + 8), p3 = BlurPixelV(rows, wk, 4 * size_t(x) + 12);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(p0, p1), _mm_packs_epi32(p2, p3));
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                         _mm_or_si128(_mm_andnot_si128(alphaMask, bytes), _mm_and_si128(alphaMask, a)));
    }
    if (x < width) {
        const uint32_t* rest[5];
        for (int k = 0; k < 5; ++k) rest[k] = rows[k] + 4 * x;
        BlurRgbxRowVPlain(rest, w, alpha + 4 * x, out + 4 * x, width - x);
    }
}

// Eight pixels a step with 32-bit multiplies. The two per-lane packs leave the pixels
// as 0 2 4 6 | 1 3 5 7; a dword permute puts them in order.
__attribute__((target("avx2"))) void BlurRgbxRowVAvx2(const uint32_t* const rows[5], const int w[5],
                                                      const uint8_t* alpha, uint8_t* out, int width)
{
    int x = 0;
    __m256i wk[5];
    for (int k = 0; k < 5; ++k) wk[k] = _mm256_set1_epi32(w[k]);
    const __m256i round = _mm256_set1_epi32(1 << 23);
    const __m256i alphaMask = _mm256_set1_epi32(int(0xFF000000u));
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; x + 8 <= width; x += 8) {
        __m256i v[4];
        for (int j = 0; j < 4; ++j) {
            __m256i acc = _mm256_setzero_si256();
            for (int k = 0; k < 5; ++k)
                acc = _mm256_add_epi32(
                    acc,
                    _mm256_mullo_epi32(
                        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + 4 * size_t(x) + 8 * j)), wk[k]));
            v[j] = _mm256_srli_epi32(_mm256_add_epi32(acc, round), 24);
        }
        __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(v[0], v[1]), _mm256_packs_epi32(v[2], v[3]));
        bytes = _mm256_permutevar8x32_epi32(bytes, order);
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(alpha + 4 * x));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x),
                            _mm256_or_si256(_mm256_andnot_si256(alphaMask, bytes), _mm256_and_si256(alphaMask, a)));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (x < width) {
        const uint32_t* rest[5];
        for (int k = 0; k < 5; ++k) rest[k] = rows[k] + 4 * x;
        BlurRgbxRowVSse2(rest, w, alpha + 4 * x, out + 4 * x, width - x);
    }
}

// ---------------------------------------------------------------- resize, horizontal pass

void ResizeRgbRowHPlain(const uint8_t* src, int, const int* first, const int16_t* weights, int taps, uint16_t* out,
                        int n)
{
    for (int x = 0; x < n; ++x) {
        const uint8_t* s = src + size_t(first[x]) * 3;
        const int16_t* w = weights + size_t(x) * ((taps + 1) & ~1);
        int acc[3] = {0, 0, 0};
        for (int k = 0; k < taps; ++k)
            for (int c = 0; c < 3; ++c) acc[c] += w[k] * s[3 * k + c];
        for (int c = 0; c < 3; ++c) out[4 * x + c] = uint16_t((acc[c] + 32) >> 6);
        out[4 * x + 3] = 0;
    }
}

namespace {

// Two neighbouring RGB pixels as 16-bit pairs (a_c, b_c) for c = 0..3; the fourth pair
// holds bytes of the following pixel and is masked off later.
inline __m128i RgbPairs(const uint8_t* s)
{
    int32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + 3, 4);
    return _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b)), _mm_setzero_si128());
}

inline __m128i WeightPair(const int16_t* w)
{
    int32_t pair;
    std::memcpy(&pair, w, 4);
    return _mm_set1_epi32(pair);
}

// Sums of one output pixel's taps as four 32-bit lanes (the fourth meaningless).
inline __m128i ResizePixelH(const uint8_t* s, const int16_t* w, int stride)
{
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < stride; k += 2)
        acc = _mm_add_epi32(acc, _mm_madd_epi16(RgbPairs(s + 3 * k), WeightPair(w + k)));
    return acc;
}

}  // namespace

// One output pixel a step; madd applies two taps at once. Sums of up to 16384 x 255
// need 32 bits; results up to 65280 are packed to 16 bits through a signed offset.
// Pixels whose last tap ends the line use the plain loop (the 4-byte loads would
// read past it).
void ResizeRgbRowHSse2(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, int taps,
                       uint16_t* out, int n)
{
    const __m128i round = _mm_set1_epi32(32), keep3 = _mm_setr_epi32(-1, -1, -1, 0);
    const __m128i bias32 = _mm_set1_epi32(32768), bias16 = _mm_set1_epi16(short(0x8000));
    const int stride = (taps + 1) & ~1;
    for (int x = 0; x < n; ++x) {
        if (first[x] + stride >= srcWidth) {
            ResizeRgbRowHPlain(src, srcWidth, first + x, weights + size_t(x) * stride, taps, out + 4 * x, 1);
            continue;
        }
        __m128i v = ResizePixelH(src + size_t(first[x]) * 3, weights + size_t(x) * stride, stride);
        v = _mm_and_si128(_mm_srli_epi32(_mm_add_epi32(v, round), 6), keep3);
        v = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(v, bias32), _mm_setzero_si128()), bias16);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), v);
    }
}

// Two output pixels a step, one per 128-bit lane.
__attribute__((target("avx2"))) void ResizeRgbRowHAvx2(const uint8_t* src, int srcWidth, const int* first,
                                                       const int16_t* weights, int taps, uint16_t* out, int n)
{
    const __m256i round = _mm256_set1_epi32(32), keep3 = _mm256_setr_epi32(-1, -1, -1, 0, -1, -1, -1, 0);
    const __m256i bias32 = _mm256_set1_epi32(32768), bias16 = _mm256_set1_epi16(short(0x8000));
    const int stride = (taps + 1) & ~1;
    int x = 0;
    for (; x + 2 <= n; x += 2) {
        if (first[x + 1] + stride >= srcWidth || first[x] + stride >= srcWidth) break;
        const uint8_t* s0 = src + size_t(first[x]) * 3;
        const uint8_t* s1 = src + size_t(first[x + 1]) * 3;
        const int16_t* w0 = weights + size_t(x) * stride;
        const int16_t* w1 = w0 + stride;
        __m256i acc = _mm256_setzero_si256();
        for (int k = 0; k < stride; k += 2) {
            const __m256i px =
                _mm256_inserti128_si256(_mm256_castsi128_si256(RgbPairs(s0 + 3 * k)), RgbPairs(s1 + 3 * k), 1);
            const __m256i wt =
                _mm256_inserti128_si256(_mm256_castsi128_si256(WeightPair(w0 + k)), WeightPair(w1 + k), 1);
            acc = _mm256_add_epi32(acc, _mm256_madd_epi16(px, wt));
        }
        __m256i v = _mm256_and_si256(_mm256_srli_epi32(_mm256_add_epi32(acc, round), 6), keep3);
        v = _mm256_xor_si256(_mm256_packs_epi32(_mm256_sub_epi32(v, bias32), _mm256_setzero_si256()), bias16);
        // Each lane's low 8 bytes hold one pixel.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), _mm256_castsi256_si128(v));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x + 4), _mm256_extracti128_si256(v, 1));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (x < n) ResizeRgbRowHSse2(src, srcWidth, first + x, weights + size_t(x) * stride, taps, out + 4 * x, n - x);
}

// ---------------------------------------------------------------- resize, vertical pass

namespace {

// Pixels from .. n - 1 of the vertical resize pass, one sample at a time.
void ResizeRgbxRangeV(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int from, int n)
{
    for (int x = from; x < n; ++x) {
        for (int c = 0; c < 3; ++c) {
            uint32_t acc = 0;
            for (int k = 0; k < taps; ++k) acc += uint32_t(weights[k]) * rows[k][4 * x + c];
            out[4 * x + c] = uint8_t(std::min<uint32_t>(255, (acc + (1u << 21)) >> 22));
        }
        out[4 * x + 3] = 255;
    }
}

}  // namespace

void ResizeRgbxRowVPlain(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n)
{
    ResizeRgbxRangeV(rows, weights, taps, out, 0, n);
}

// Four pixels (16 samples) a step; exact 16 x 16 -> 32 bit products from mullo and
// mulhi. The sums stay below 2^31 and shift down to at most 255.
void ResizeRgbxRowVSse2(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n)
{
    int x = 0;
    const __m128i round = _mm_set1_epi32(1 << 21), opaque = _mm_set1_epi32(int(0xFF000000u));
    for (; x + 4 <= n; x += 4) {
        __m128i acc[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
        for (int k = 0; k < taps; ++k) {
            const __m128i wk = _mm_set1_epi16(short(weights[k]));
            for (int h = 0; h < 2; ++h) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + 4 * x + 8 * h));
                const __m128i lo = _mm_mullo_epi16(v, wk), hi = _mm_mulhi_epu16(v, wk);
                acc[2 * h] = _mm_add_epi32(acc[2 * h], _mm_unpacklo_epi16(lo, hi));
                acc[2 * h + 1] = _mm_add_epi32(acc[2 * h + 1], _mm_unpackhi_epi16(lo, hi));
            }
        }
        for (auto& a : acc) a = _mm_srli_epi32(_mm_add_epi32(a, round), 22);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(acc[0], acc[1]), _mm_packs_epi32(acc[2], acc[3]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), _mm_or_si128(bytes, opaque));
    }
    ResizeRgbxRangeV(rows, weights, taps, out, x, n);
}

// Eight pixels (32 samples) a step; per-lane unpacks and packs keep the order within
// each 16-sample vector, and the final byte pack is put in order by a permute.
__attribute__((target("avx2"))) void ResizeRgbxRowVAvx2(const uint16_t* const* rows, const int* weights, int taps,
                                                        uint8_t* out, int n)
{
    int x = 0;
    const __m256i round = _mm256_set1_epi32(1 << 21), opaque = _mm256_set1_epi32(int(0xFF000000u));
    for (; x + 8 <= n; x += 8) {
        __m256i acc[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                          _mm256_setzero_si256()};
        for (int k = 0; k < taps; ++k) {
            const __m256i wk = _mm256_set1_epi16(short(weights[k]));
            for (int h = 0; h < 2; ++h) {
                const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + 4 * x + 16 * h));
                const __m256i lo = _mm256_mullo_epi16(v, wk), hi = _mm256_mulhi_epu16(v, wk);
                acc[2 * h] = _mm256_add_epi32(acc[2 * h], _mm256_unpacklo_epi16(lo, hi));
                acc[2 * h + 1] = _mm256_add_epi32(acc[2 * h + 1], _mm256_unpackhi_epi16(lo, hi));
            }
        }
        for (auto& a : acc) a = _mm256_srli_epi32(_mm256_add_epi32(a, round), 22);
        const __m256i bytes = _mm256_permute4x64_epi64(
            _mm256_packus_epi16(_mm256_packs_epi32(acc[0], acc[1]), _mm256_packs_epi32(acc[2], acc[3])), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), _mm256_or_si256(bytes, opaque));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    ResizeRgbxRangeV(rows, weights, taps, out, x, n);
}
