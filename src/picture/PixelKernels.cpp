#include "picture/PixelKernels.h"

#include <algorithm>
#include <cstring>

#include <emmintrin.h>
#include <immintrin.h>

// ---------------------------------------------------------------- RGB to Y, Cb, Cr

void RgbRowPairToYuv_C(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst,
                       uint8_t* yTop, uint8_t* yBottom, uint8_t* cb, uint8_t* cr) {
    const int ri = redFirst ? 0 : 2, bi = redFirst ? 2 : 0;
    for (int x = 0; x < width; x += 2) {
        int sR = 0, sG = 0, sB = 0;
        const uint8_t* px[4] = {top + 4 * x, top + 4 * x + 4, bottom + 4 * x, bottom + 4 * x + 4};
        uint8_t* py[4] = {yTop + x, yTop + x + 1, yBottom + x, yBottom + x + 1};
        for (int k = 0; k < 4; ++k) {
            const int r = px[k][ri], g = px[k][1], b = px[k][bi];
            *py[k] = (uint8_t)(((66 * r + 129 * g + 25 * b) >> 8) + 16);
            sR += r;
            sG += g;
            sB += b;
        }
        // Arithmetic right shift rounds toward minus infinity.
        cb[x / 2] = (uint8_t)(((-38 * sR - 74 * sG + 112 * sB) >> 10) + 128);
        cr[x / 2] = (uint8_t)(((112 * sR - 94 * sG - 18 * sB) >> 10) + 128);
    }
}

namespace {

// Splits 8 pixels (two 16-byte loads) into three 16-bit vectors of components 0, 1, 2.
inline void SplitPixels8(const uint8_t* p, __m128i& c0, __m128i& c1, __m128i& c2) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i mask = _mm_set1_epi32(0xFF);
    c0 = _mm_packs_epi32(_mm_and_si128(lo, mask), _mm_and_si128(hi, mask));
    c1 = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, 8), mask),
                         _mm_and_si128(_mm_srli_epi32(hi, 8), mask));
    c2 = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, 16), mask),
                         _mm_and_si128(_mm_srli_epi32(hi, 16), mask));
}

// Y for 8 pixels: products and sums stay below 65536, so unsigned 16-bit lanes suffice.
inline __m128i Luma8(__m128i r, __m128i g, __m128i b) {
    __m128i s = _mm_add_epi16(_mm_mullo_epi16(r, _mm_set1_epi16(66)),
                              _mm_mullo_epi16(g, _mm_set1_epi16(129)));
    s = _mm_add_epi16(s, _mm_mullo_epi16(b, _mm_set1_epi16(25)));
    return _mm_add_epi16(_mm_srli_epi16(s, 8), _mm_set1_epi16(16));
}

}  // namespace

void RgbRowPairToYuv_SSE2(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst,
                          uint8_t* yTop, uint8_t* yBottom, uint8_t* cb, uint8_t* cr) {
    int x = 0;
    const __m128i ones = _mm_set1_epi16(1);
    for (; x + 8 <= width; x += 8) {
        __m128i t0, t1, t2, b0, b1, b2;
        SplitPixels8(top + 4 * x, t0, t1, t2);
        SplitPixels8(bottom + 4 * x, b0, b1, b2);
        __m128i tr = redFirst ? t0 : t2, tb = redFirst ? t2 : t0;
        __m128i br = redFirst ? b0 : b2, bb = redFirst ? b2 : b0;
        const __m128i yt = Luma8(tr, t1, tb), yb = Luma8(br, b1, bb);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(yTop + x), _mm_packus_epi16(yt, yt));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(yBottom + x), _mm_packus_epi16(yb, yb));
        // Sums over the 2 x 2 blocks as 32-bit lanes (at most 1020, so the upper
        // 16 bits are zero and madd with (w, 0) multiplies exactly).
        const __m128i sR = _mm_madd_epi16(_mm_add_epi16(tr, br), ones);
        const __m128i sG = _mm_madd_epi16(_mm_add_epi16(t1, b1), ones);
        const __m128i sB = _mm_madd_epi16(_mm_add_epi16(tb, bb), ones);
        const __m128i c128 = _mm_set1_epi32(128);
        __m128i vcb = _mm_add_epi32(_mm_madd_epi16(sR, _mm_set1_epi32(0xFFFF & -38)),
                                    _mm_madd_epi16(sG, _mm_set1_epi32(0xFFFF & -74)));
        vcb = _mm_add_epi32(vcb, _mm_madd_epi16(sB, _mm_set1_epi32(112)));
        vcb = _mm_add_epi32(_mm_srai_epi32(vcb, 10), c128);
        __m128i vcr = _mm_add_epi32(_mm_madd_epi16(sR, _mm_set1_epi32(112)),
                                    _mm_madd_epi16(sG, _mm_set1_epi32(0xFFFF & -94)));
        vcr = _mm_add_epi32(vcr, _mm_madd_epi16(sB, _mm_set1_epi32(0xFFFF & -18)));
        vcr = _mm_add_epi32(_mm_srai_epi32(vcr, 10), c128);
        const __m128i both = _mm_packus_epi16(_mm_packs_epi32(vcb, vcr), _mm_setzero_si128());
        const uint64_t bytes = (uint64_t)_mm_cvtsi128_si64(both);
        for (int k = 0; k < 4; ++k) {
            cb[x / 2 + k] = (uint8_t)(bytes >> (8 * k));
            cr[x / 2 + k] = (uint8_t)(bytes >> (8 * (k + 4)));
        }
    }
    if (x < width)
        RgbRowPairToYuv_C(top + 4 * x, bottom + 4 * x, width - x, redFirst, yTop + x, yBottom + x,
                          cb + x / 2, cr + x / 2);
}

namespace {

// Splits 16 pixels (two 32-byte loads) into three 16-bit vectors of components 0, 1, 2
// in pixel order. The packs work per 128-bit lane and leave the quarters as pixels
// 0-3, 8-11, 4-7, 12-15; the permute puts them back in order.
__attribute__((target("avx2"))) inline void SplitPixels16(const uint8_t* p, __m256i& c0, __m256i& c1,
                                                          __m256i& c2) {
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const __m256i mask = _mm256_set1_epi32(0xFF);
    c0 = _mm256_permute4x64_epi64(_mm256_packs_epi32(_mm256_and_si256(lo, mask), _mm256_and_si256(hi, mask)),
                                  0xD8);
    c1 = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(lo, 8), mask),
                           _mm256_and_si256(_mm256_srli_epi32(hi, 8), mask)),
        0xD8);
    c2 = _mm256_permute4x64_epi64(
        _mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(lo, 16), mask),
                           _mm256_and_si256(_mm256_srli_epi32(hi, 16), mask)),
        0xD8);
}

__attribute__((target("avx2"))) inline __m256i Luma16(__m256i r, __m256i g, __m256i b) {
    __m256i s = _mm256_add_epi16(_mm256_mullo_epi16(r, _mm256_set1_epi16(66)),
                                 _mm256_mullo_epi16(g, _mm256_set1_epi16(129)));
    s = _mm256_add_epi16(s, _mm256_mullo_epi16(b, _mm256_set1_epi16(25)));
    return _mm256_add_epi16(_mm256_srli_epi16(s, 8), _mm256_set1_epi16(16));
}

// Packs 16 unsigned 16-bit lanes (each at most 255) into 16 bytes in order.
__attribute__((target("avx2"))) inline __m128i PackBytes16(__m256i v) {
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}

}  // namespace

// The same arithmetic as the SSE2 version on 16 pixels (8 chroma samples) a step.
__attribute__((target("avx2"))) void RgbRowPairToYuv_AVX2(const uint8_t* top, const uint8_t* bottom, int width,
                                                          bool redFirst, uint8_t* yTop, uint8_t* yBottom,
                                                          uint8_t* cb, uint8_t* cr) {
    int x = 0;
    const __m256i ones = _mm256_set1_epi16(1);
    const __m256i c128 = _mm256_set1_epi32(128);
    const __m256i kCbR = _mm256_set1_epi32(0xFFFF & -38), kCbG = _mm256_set1_epi32(0xFFFF & -74);
    const __m256i kCrG = _mm256_set1_epi32(0xFFFF & -94), kCrB = _mm256_set1_epi32(0xFFFF & -18);
    const __m256i k112 = _mm256_set1_epi32(112);
    for (; x + 16 <= width; x += 16) {
        __m256i t0, t1, t2, b0, b1, b2;
        SplitPixels16(top + 4 * x, t0, t1, t2);
        SplitPixels16(bottom + 4 * x, b0, b1, b2);
        const __m256i tr = redFirst ? t0 : t2, tb = redFirst ? t2 : t0;
        const __m256i br = redFirst ? b0 : b2, bb = redFirst ? b2 : b0;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(yTop + x), PackBytes16(Luma16(tr, t1, tb)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(yBottom + x), PackBytes16(Luma16(br, b1, bb)));
        // 2 x 2 sums as eight 32-bit lanes (at most 1020).
        const __m256i sR = _mm256_madd_epi16(_mm256_add_epi16(tr, br), ones);
        const __m256i sG = _mm256_madd_epi16(_mm256_add_epi16(t1, b1), ones);
        const __m256i sB = _mm256_madd_epi16(_mm256_add_epi16(tb, bb), ones);
        __m256i vcb = _mm256_add_epi32(_mm256_madd_epi16(sR, kCbR), _mm256_madd_epi16(sG, kCbG));
        vcb = _mm256_add_epi32(vcb, _mm256_madd_epi16(sB, k112));
        vcb = _mm256_add_epi32(_mm256_srai_epi32(vcb, 10), c128);
        __m256i vcr = _mm256_add_epi32(_mm256_madd_epi16(sR, k112), _mm256_madd_epi16(sG, kCrG));
        vcr = _mm256_add_epi32(vcr, _mm256_madd_epi16(sB, kCrB));
        vcr = _mm256_add_epi32(_mm256_srai_epi32(vcr, 10), c128);
        // Lanes hold Cb 0-3, Cr 0-3 | Cb 4-7, Cr 4-7; bytes then reordered to Cb 0-7, Cr 0-7.
        const __m256i both = _mm256_packs_epi32(vcb, vcr);
        const __m128i bytes = _mm_shuffle_epi32(PackBytes16(both), 0xD8);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + x / 2), bytes);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + x / 2), _mm_srli_si128(bytes, 8));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (x < width)
        RgbRowPairToYuv_SSE2(top + 4 * x, bottom + 4 * x, width - x, redFirst, yTop + x, yBottom + x,
                             cb + x / 2, cr + x / 2);
}

void RgbRowPairToYuv(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst,
                     uint8_t* yTop, uint8_t* yBottom, uint8_t* cb, uint8_t* cr) {
    if (HaveAvx2())
        RgbRowPairToYuv_AVX2(top, bottom, width, redFirst, yTop, yBottom, cb, cr);
    else
        RgbRowPairToYuv_SSE2(top, bottom, width, redFirst, yTop, yBottom, cb, cr);
}

// ---------------------------------------------------------------- bilinear, vertical pass

void BilinearVertical_C(const uint16_t* row0, const uint16_t* row1, int w0, int w1,
                        uint8_t* out, int n) {
    for (int i = 0; i < n; ++i)
        out[i] = (uint8_t)(((uint32_t)row1[i] * (uint32_t)w1 + (uint32_t)row0[i] * (uint32_t)w0) >> 16);
}

void BilinearVertical_SSE2(const uint16_t* row0, const uint16_t* row1, int w0, int w1,
                           uint8_t* out, int n) {
    int i = 0;
    const __m128i vw0 = _mm_set1_epi16((short)w0), vw1 = _mm_set1_epi16((short)w1);
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
    if (i < n) BilinearVertical_C(row0 + i, row1 + i, w0, w1, out + i, n - i);
}

// The SSE2 arithmetic on 16 samples a step. Unpacks and packs both work per 128-bit
// lane, so the lanes come back in order.
__attribute__((target("avx2"))) void BilinearVertical_AVX2(const uint16_t* row0, const uint16_t* row1, int w0,
                                                           int w1, uint8_t* out, int n) {
    int i = 0;
    const __m256i vw0 = _mm256_set1_epi16((short)w0), vw1 = _mm256_set1_epi16((short)w1);
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
    if (i < n) BilinearVertical_SSE2(row0 + i, row1 + i, w0, w1, out + i, n - i);
}

void BilinearVertical(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out,
                      int n) {
    if (HaveAvx2())
        BilinearVertical_AVX2(row0, row1, w0, w1, out, n);
    else
        BilinearVertical_SSE2(row0, row1, w0, w1, out, n);
}

// ---------------------------------------------------------------- 4-tap vertical pass

void Cubic4Vertical_C(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n) {
    for (int i = 0; i < n; ++i) {
        int s = 0;
        for (int k = 0; k < 4; ++k) s += rows[k][i] * weights[k];
        out[i] = (uint8_t)(s >> 8);
    }
}

void Cubic4Vertical_SSE2(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n) {
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    __m128i w[4];
    for (int k = 0; k < 4; ++k) w[k] = _mm_set1_epi16((short)weights[k]);
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
        Cubic4Vertical_C(rest, weights, out + i, n - i);
    }
}

// 32 samples a step; the per-lane unpacks and the per-lane pack undo each other's order.
__attribute__((target("avx2"))) void Cubic4Vertical_AVX2(const uint8_t* const rows[4], const int weights[4],
                                                         uint8_t* out, int n) {
    int i = 0;
    const __m256i zero = _mm256_setzero_si256();
    __m256i w[4];
    for (int k = 0; k < 4; ++k) w[k] = _mm256_set1_epi16((short)weights[k]);
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
        Cubic4Vertical_SSE2(rest, weights, out + i, n - i);
    }
}

void Cubic4Vertical(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n) {
    if (HaveAvx2())
        Cubic4Vertical_AVX2(rows, weights, out, n);
    else
        Cubic4Vertical_SSE2(rows, weights, out, n);
}

// ---------------------------------------------------------------- blend of two rows

void BlendRows_C(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = (uint8_t)((a[i] * (256 - k) + b[i] * k) >> 8);
}

void BlendRows_SSE2(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n) {
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i wa = _mm_set1_epi16((short)(256 - k)), wb = _mm_set1_epi16((short)k);
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
    if (i < n) BlendRows_C(a + i, b + i, k, out + i, n - i);
}

__attribute__((target("avx2"))) void BlendRows_AVX2(const uint8_t* a, const uint8_t* b, int k,
                                                    uint8_t* out, int n) {
    int i = 0;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i wa = _mm256_set1_epi16((short)(256 - k)), wb = _mm256_set1_epi16((short)k);
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
    if (i < n) BlendRows_SSE2(a + i, b + i, k, out + i, n - i);
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

void BlendRows(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n) {
    if (HaveAvx2())
        BlendRows_AVX2(a, b, k, out, n);
    else
        BlendRows_SSE2(a, b, k, out, n);
}

// ---------------------------------------------------------------- bilinear, 32-bit pixels

void BilinearRgbxWeights(const int* w1, uint16_t* weights, int n) {
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < 4; ++c) {
            weights[8 * i + c] = (uint16_t)(256 - w1[i]);
            weights[8 * i + 4 + c] = (uint16_t)w1[i];
        }
}

void BilinearRgbxRow_C(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n) {
    for (int i = 0; i < n; ++i) {
        const uint8_t* a = src + (size_t)x0[i] * 4;
        const int wa = weights[8 * i], wb = weights[8 * i + 4];
        for (int c = 0; c < 4; ++c) out[i * 4 + c] = (uint16_t)(a[c] * wa + a[4 + c] * wb);
    }
}

// Two output pixels a step: each one's two source pixels (8 bytes) widen to one
// vector that multiplies by its prepared weights; the halves are then added.
void BilinearRgbxRow_SSE2(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n) {
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; i + 2 <= n; i += 2) {
        const __m128i pa = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (size_t)x0[i] * 4)), zero);
        const __m128i pb = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (size_t)x0[i + 1] * 4)), zero);
        const __m128i ma = _mm_mullo_epi16(pa, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 8 * i)));
        const __m128i mb = _mm_mullo_epi16(pb, _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + 8 * i + 8)));
        // Add the upper four lanes (second source pixel) onto the lower four.
        const __m128i lo = _mm_unpacklo_epi64(ma, mb), hi = _mm_unpackhi_epi64(ma, mb);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (size_t)i * 4), _mm_add_epi16(lo, hi));
    }
    if (i < n) BilinearRgbxRow_C(src, x0 + i, weights + 8 * i, out + (size_t)i * 4, n - i);
}

// Four output pixels a step: output pixels i and i + 1 share one 256-bit vector (one
// per lane), as do i + 2 and i + 3; the lane halves are then added and the permute
// puts the four results in order.
__attribute__((target("avx2"))) void BilinearRgbxRow_AVX2(const uint8_t* src, const int* x0, const uint16_t* weights,
                                                          uint16_t* out, int n) {
    int i = 0;
    for (; i + 4 <= n; i += 4) {
        const __m128i p01 = _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (size_t)x0[i] * 4)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (size_t)x0[i + 1] * 4)));
        const __m128i p23 = _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (size_t)x0[i + 2] * 4)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (size_t)x0[i + 3] * 4)));
        const __m256i m01 = _mm256_mullo_epi16(
            _mm256_cvtepu8_epi16(p01), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 8 * i)));
        const __m256i m23 = _mm256_mullo_epi16(
            _mm256_cvtepu8_epi16(p23), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(weights + 8 * i + 16)));
        // Lanes now hold output pixels (i, i+2) and (i+1, i+3).
        const __m256i sum = _mm256_add_epi16(_mm256_unpacklo_epi64(m01, m23), _mm256_unpackhi_epi64(m01, m23));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + (size_t)i * 4), _mm256_permute4x64_epi64(sum, 0xD8));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) BilinearRgbxRow_SSE2(src, x0 + i, weights + 8 * i, out + (size_t)i * 4, n - i);
}

void BilinearRgbxRow(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n) {
    if (HaveAvx2())
        BilinearRgbxRow_AVX2(src, x0, weights, out, n);
    else
        BilinearRgbxRow_SSE2(src, x0, weights, out, n);
}

// ---------------------------------------------------------------- packed 4:2:2

void Packed422Row_C(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y,
                    uint8_t* cb, uint8_t* cr) {
    const int uOffset = yOffset ? 0 : 1, vOffset = yOffset ? 2 : 3;
    for (int x = 0; x < width; ++x) y[x] = row[2 * x + yOffset];
    for (int k = 0; k < width / 2; ++k) {
        const uint8_t u = row[4 * k + uOffset], v = row[4 * k + vOffset];
        cb[k] = average ? (uint8_t)((cb[k] + u) >> 1) : u;
        cr[k] = average ? (uint8_t)((cr[k] + v) >> 1) : v;
    }
}

namespace {

// (a + b) >> 1 per byte without rounding up.
inline __m128i HalfSum(__m128i a, __m128i b) {
    const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(a, b), 1), _mm_set1_epi8(0x7F));
    return _mm_add_epi8(_mm_and_si128(a, b), half);
}

}  // namespace

void Packed422Row_SSE2(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y,
                       uint8_t* cb, uint8_t* cr) {
    int x = 0;
    const __m128i low = _mm_set1_epi16(0x00FF);
    for (; x + 16 <= width; x += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x + 16));
        __m128i ya, yb, ca, cbv;
        if (yOffset == 0) {
            ya = _mm_and_si128(a, low);
            yb = _mm_and_si128(b, low);
            ca = _mm_srli_epi16(a, 8);
            cbv = _mm_srli_epi16(b, 8);
        } else {
            ya = _mm_srli_epi16(a, 8);
            yb = _mm_srli_epi16(b, 8);
            ca = _mm_and_si128(a, low);
            cbv = _mm_and_si128(b, low);
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x), _mm_packus_epi16(ya, yb));
        // Chroma bytes U0 V0 U1 V1 ... U7 V7, then split into U and V.
        const __m128i c = _mm_packus_epi16(ca, cbv);
        __m128i u = _mm_packus_epi16(_mm_and_si128(c, low), _mm_setzero_si128());
        __m128i v = _mm_packus_epi16(_mm_srli_epi16(c, 8), _mm_setzero_si128());
        if (average) {
            u = HalfSum(u, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cb + x / 2)));
            v = HalfSum(v, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cr + x / 2)));
        }
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cb + x / 2), u);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(cr + x / 2), v);
    }
    if (x < width) Packed422Row_C(row + 2 * x, width - x, yOffset, average, y + x, cb + x / 2, cr + x / 2);
}

// 32 pixels a step; each per-lane pack is followed by a permute that restores order.
__attribute__((target("avx2"))) void Packed422Row_AVX2(const uint8_t* row, int width, int yOffset, bool average,
                                                       uint8_t* y, uint8_t* cb, uint8_t* cr) {
    int x = 0;
    const __m256i low = _mm256_set1_epi16(0x00FF);
    const __m256i zero = _mm256_setzero_si256();
    for (; x + 32 <= width; x += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 2 * x));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + 2 * x + 32));
        __m256i ya, yb, ca, cbv;
        if (yOffset == 0) {
            ya = _mm256_and_si256(a, low);
            yb = _mm256_and_si256(b, low);
            ca = _mm256_srli_epi16(a, 8);
            cbv = _mm256_srli_epi16(b, 8);
        } else {
            ya = _mm256_srli_epi16(a, 8);
            yb = _mm256_srli_epi16(b, 8);
            ca = _mm256_and_si256(a, low);
            cbv = _mm256_and_si256(b, low);
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(y + x),
                            _mm256_permute4x64_epi64(_mm256_packus_epi16(ya, yb), 0xD8));
        // Chroma bytes U0 V0 ... U15 V15 in order, then split into U and V.
        const __m256i c = _mm256_permute4x64_epi64(_mm256_packus_epi16(ca, cbv), 0xD8);
        __m128i u = _mm256_castsi256_si128(
            _mm256_permute4x64_epi64(_mm256_packus_epi16(_mm256_and_si256(c, low), zero), 0x08));
        __m128i v = _mm256_castsi256_si128(
            _mm256_permute4x64_epi64(_mm256_packus_epi16(_mm256_srli_epi16(c, 8), zero), 0x08));
        if (average) {
            u = HalfSum(u, _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x / 2)));
            v = HalfSum(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x / 2)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + x / 2), u);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + x / 2), v);
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (x < width) Packed422Row_SSE2(row + 2 * x, width - x, yOffset, average, y + x, cb + x / 2, cr + x / 2);
}

void Packed422Row(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb,
                  uint8_t* cr) {
    if (HaveAvx2())
        Packed422Row_AVX2(row, width, yOffset, average, y, cb, cr);
    else
        Packed422Row_SSE2(row, width, yOffset, average, y, cb, cr);
}

// ---------------------------------------------------------------- blur, horizontal pass

void BlurRgbxRowH_C(const uint8_t* padded, const int w[5], uint32_t* mid, int width) {
    for (int x = 0; x < width; ++x)
        for (int c = 0; c < 4; ++c) {
            uint32_t acc = 0;
            for (int k = 0; k < 5; ++k) acc += (uint32_t)w[k] * padded[4 * (x + k) + c];
            mid[4 * x + c] = acc;
        }
}

// Two pixels a step. q[k] holds the 16-bit bytes of padded pixels x + k and x + k + 1;
// interleaving q[k] with q[k + 1] pairs each byte with the next pixel's same byte,
// so one madd applies two taps (the low half feeds pixel x, the high half x + 1).
void BlurRgbxRowH_SSE2(const uint8_t* padded, const int w[5], uint32_t* mid, int width) {
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
    if (x < width) BlurRgbxRowH_C(padded + 4 * x, w, mid + 4 * x, width - x);
}

// The SSE2 scheme on four pixels a step: lane 0 works on pixels x, x + 1 and lane 1 on
// x + 2, x + 3, so the results come out as (x | x + 2) and (x + 1 | x + 3).
__attribute__((target("avx2"))) void BlurRgbxRowH_AVX2(const uint8_t* padded, const int w[5], uint32_t* mid,
                                                       int width) {
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
    if (x < width) BlurRgbxRowH_SSE2(padded + 4 * x, w, mid + 4 * x, width - x);
}

void BlurRgbxRowH(const uint8_t* padded, const int w[5], uint32_t* mid, int width) {
    if (HaveAvx2())
        BlurRgbxRowH_AVX2(padded, w, mid, width);
    else
        BlurRgbxRowH_SSE2(padded, w, mid, width);
}

// ---------------------------------------------------------------- blur, vertical pass

void BlurRgbxRowV_C(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out,
                    int width) {
    for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) {
            // With weights summing to at most 4096 the sum stays below 2^32 - 2^23.
            uint32_t acc = 0;
            for (int k = 0; k < 5; ++k) acc += (uint32_t)w[k] * rows[k][4 * x + c];
            out[4 * x + c] = (uint8_t)((acc + (1u << 23)) >> 24);
        }
        out[4 * x + 3] = alpha[4 * x + 3];
    }
}

namespace {

// One pixel's four sums of the vertical blur, rounded and shifted, as 32-bit lanes.
// SSE2 has no 32-bit multiply, so even and odd lanes go through 32 x 32 -> 64 bit
// multiplies; all products and sums fit the low 32 bits of each 64-bit lane.
inline __m128i BlurPixelV(const uint32_t* const rows[5], const __m128i wk[5], size_t at) {
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

void BlurRgbxRowV_SSE2(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out,
                       int width) {
    int x = 0;
    __m128i wk[5];
    for (int k = 0; k < 5; ++k) wk[k] = _mm_set1_epi32(w[k]);
    const __m128i alphaMask = _mm_set1_epi32((int)0xFF000000u);
    for (; x + 4 <= width; x += 4) {
        const __m128i p0 = BlurPixelV(rows, wk, 4 * (size_t)x), p1 = BlurPixelV(rows, wk, 4 * (size_t)x + 4);
        const __m128i p2 = BlurPixelV(rows, wk, 4 * (size_t)x + 8), p3 = BlurPixelV(rows, wk, 4 * (size_t)x + 12);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(p0, p1), _mm_packs_epi32(p2, p3));
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x),
                         _mm_or_si128(_mm_andnot_si128(alphaMask, bytes), _mm_and_si128(alphaMask, a)));
    }
    if (x < width) {
        const uint32_t* rest[5];
        for (int k = 0; k < 5; ++k) rest[k] = rows[k] + 4 * x;
        BlurRgbxRowV_C(rest, w, alpha + 4 * x, out + 4 * x, width - x);
    }
}

// Eight pixels a step with 32-bit multiplies. The two per-lane packs leave the pixels
// as 0 2 4 6 | 1 3 5 7; a dword permute puts them in order.
__attribute__((target("avx2"))) void BlurRgbxRowV_AVX2(const uint32_t* const rows[5], const int w[5],
                                                       const uint8_t* alpha, uint8_t* out, int width) {
    int x = 0;
    __m256i wk[5];
    for (int k = 0; k < 5; ++k) wk[k] = _mm256_set1_epi32(w[k]);
    const __m256i round = _mm256_set1_epi32(1 << 23);
    const __m256i alphaMask = _mm256_set1_epi32((int)0xFF000000u);
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    for (; x + 8 <= width; x += 8) {
        __m256i v[4];
        for (int j = 0; j < 4; ++j) {
            __m256i acc = _mm256_setzero_si256();
            for (int k = 0; k < 5; ++k)
                acc = _mm256_add_epi32(
                    acc, _mm256_mullo_epi32(
                             _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + 4 * (size_t)x + 8 * j)),
                             wk[k]));
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
        BlurRgbxRowV_SSE2(rest, w, alpha + 4 * x, out + 4 * x, width - x);
    }
}

void BlurRgbxRowV(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out,
                  int width) {
    if (HaveAvx2())
        BlurRgbxRowV_AVX2(rows, w, alpha, out, width);
    else
        BlurRgbxRowV_SSE2(rows, w, alpha, out, width);
}

// ---------------------------------------------------------------- resize, horizontal pass

void ResizeRgbRowH_C(const uint8_t* src, int, const int* first, const int16_t* weights, int taps,
                     uint16_t* out, int n) {
    for (int x = 0; x < n; ++x) {
        const uint8_t* s = src + (size_t)first[x] * 3;
        const int16_t* w = weights + (size_t)x * ((taps + 1) & ~1);
        int acc[3] = {0, 0, 0};
        for (int k = 0; k < taps; ++k)
            for (int c = 0; c < 3; ++c) acc[c] += w[k] * s[3 * k + c];
        for (int c = 0; c < 3; ++c) out[4 * x + c] = (uint16_t)((acc[c] + 32) >> 6);
        out[4 * x + 3] = 0;
    }
}

namespace {

// Two neighbouring RGB pixels as 16-bit pairs (a_c, b_c) for c = 0..3; the fourth pair
// holds bytes of the following pixel and is masked off later.
inline __m128i RgbPairs(const uint8_t* s) {
    int32_t a, b;
    std::memcpy(&a, s, 4);
    std::memcpy(&b, s + 3, 4);
    return _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b)), _mm_setzero_si128());
}

inline __m128i WeightPair(const int16_t* w) {
    int32_t pair;
    std::memcpy(&pair, w, 4);
    return _mm_set1_epi32(pair);
}

// Sums of one output pixel's taps as four 32-bit lanes (the fourth meaningless).
inline __m128i ResizePixelH(const uint8_t* s, const int16_t* w, int stride) {
    __m128i acc = _mm_setzero_si128();
    for (int k = 0; k < stride; k += 2) acc = _mm_add_epi32(acc, _mm_madd_epi16(RgbPairs(s + 3 * k), WeightPair(w + k)));
    return acc;
}

}  // namespace

// One output pixel a step; madd applies two taps at once. Sums of up to 16384 x 255
// need 32 bits; results up to 65280 are packed to 16 bits through a signed offset.
// Pixels whose last tap ends the line use the plain loop (the 4-byte loads would
// read past it).
void ResizeRgbRowH_SSE2(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, int taps,
                        uint16_t* out, int n) {
    const __m128i round = _mm_set1_epi32(32), keep3 = _mm_setr_epi32(-1, -1, -1, 0);
    const __m128i bias32 = _mm_set1_epi32(32768), bias16 = _mm_set1_epi16((short)0x8000);
    const int stride = (taps + 1) & ~1;
    for (int x = 0; x < n; ++x) {
        if (first[x] + stride >= srcWidth) {
            ResizeRgbRowH_C(src, srcWidth, first + x, weights + (size_t)x * stride, taps, out + 4 * x, 1);
            continue;
        }
        __m128i v = ResizePixelH(src + (size_t)first[x] * 3, weights + (size_t)x * stride, stride);
        v = _mm_and_si128(_mm_srli_epi32(_mm_add_epi32(v, round), 6), keep3);
        v = _mm_xor_si128(_mm_packs_epi32(_mm_sub_epi32(v, bias32), _mm_setzero_si128()), bias16);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), v);
    }
}

// Two output pixels a step, one per 128-bit lane.
__attribute__((target("avx2"))) void ResizeRgbRowH_AVX2(const uint8_t* src, int srcWidth, const int* first,
                                                        const int16_t* weights, int taps, uint16_t* out, int n) {
    const __m256i round = _mm256_set1_epi32(32), keep3 = _mm256_setr_epi32(-1, -1, -1, 0, -1, -1, -1, 0);
    const __m256i bias32 = _mm256_set1_epi32(32768), bias16 = _mm256_set1_epi16((short)0x8000);
    const int stride = (taps + 1) & ~1;
    int x = 0;
    for (; x + 2 <= n; x += 2) {
        if (first[x + 1] + stride >= srcWidth || first[x] + stride >= srcWidth) break;
        const uint8_t* s0 = src + (size_t)first[x] * 3;
        const uint8_t* s1 = src + (size_t)first[x + 1] * 3;
        const int16_t* w0 = weights + (size_t)x * stride;
        const int16_t* w1 = w0 + stride;
        __m256i acc = _mm256_setzero_si256();
        for (int k = 0; k < stride; k += 2) {
            const __m256i px = _mm256_inserti128_si256(_mm256_castsi128_si256(RgbPairs(s0 + 3 * k)),
                                                       RgbPairs(s1 + 3 * k), 1);
            const __m256i wt = _mm256_inserti128_si256(_mm256_castsi128_si256(WeightPair(w0 + k)),
                                                       WeightPair(w1 + k), 1);
            acc = _mm256_add_epi32(acc, _mm256_madd_epi16(px, wt));
        }
        __m256i v = _mm256_and_si256(_mm256_srli_epi32(_mm256_add_epi32(acc, round), 6), keep3);
        v = _mm256_xor_si256(_mm256_packs_epi32(_mm256_sub_epi32(v, bias32), _mm256_setzero_si256()), bias16);
        // Each lane's low 8 bytes hold one pixel.
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x), _mm256_castsi256_si128(v));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * x + 4), _mm256_extracti128_si256(v, 1));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (x < n) ResizeRgbRowH_SSE2(src, srcWidth, first + x, weights + (size_t)x * stride, taps, out + 4 * x, n - x);
}

void ResizeRgbRowH(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, int taps,
                   uint16_t* out, int n) {
    if (HaveAvx2())
        ResizeRgbRowH_AVX2(src, srcWidth, first, weights, taps, out, n);
    else
        ResizeRgbRowH_SSE2(src, srcWidth, first, weights, taps, out, n);
}

// ---------------------------------------------------------------- resize, vertical pass

namespace {

// Pixels from .. n - 1 of the vertical resize pass, one sample at a time.
void ResizeRgbxRangeV(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int from, int n) {
    for (int x = from; x < n; ++x) {
        for (int c = 0; c < 3; ++c) {
            uint32_t acc = 0;
            for (int k = 0; k < taps; ++k) acc += (uint32_t)weights[k] * rows[k][4 * x + c];
            out[4 * x + c] = (uint8_t)std::min<uint32_t>(255, (acc + (1u << 21)) >> 22);
        }
        out[4 * x + 3] = 255;
    }
}

}  // namespace

void ResizeRgbxRowV_C(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n) {
    ResizeRgbxRangeV(rows, weights, taps, out, 0, n);
}

// Four pixels (16 samples) a step; exact 16 x 16 -> 32 bit products from mullo and
// mulhi. The sums stay below 2^31 and shift down to at most 255.
void ResizeRgbxRowV_SSE2(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n) {
    int x = 0;
    const __m128i round = _mm_set1_epi32(1 << 21), opaque = _mm_set1_epi32((int)0xFF000000u);
    for (; x + 4 <= n; x += 4) {
        __m128i acc[4] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
        for (int k = 0; k < taps; ++k) {
            const __m128i wk = _mm_set1_epi16((short)weights[k]);
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
__attribute__((target("avx2"))) void ResizeRgbxRowV_AVX2(const uint16_t* const* rows, const int* weights, int taps,
                                                         uint8_t* out, int n) {
    int x = 0;
    const __m256i round = _mm256_set1_epi32(1 << 21), opaque = _mm256_set1_epi32((int)0xFF000000u);
    for (; x + 8 <= n; x += 8) {
        __m256i acc[4] = {_mm256_setzero_si256(), _mm256_setzero_si256(), _mm256_setzero_si256(),
                          _mm256_setzero_si256()};
        for (int k = 0; k < taps; ++k) {
            const __m256i wk = _mm256_set1_epi16((short)weights[k]);
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

void ResizeRgbxRowV(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n) {
    if (HaveAvx2())
        ResizeRgbxRowV_AVX2(rows, weights, taps, out, n);
    else
        ResizeRgbxRowV_SSE2(rows, weights, taps, out, n);
}

// ---------------------------------------------------------------- masked choice

void SelectBytes_C(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n) {
    for (int i = 0; i < n; ++i) out[i] = (uint8_t)((a[i] & ~mask[i]) | (b[i] & mask[i]));
}

void SelectBytes_SSE2(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n) {
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask + i));
        const __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i));
        const __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_or_si128(_mm_andnot_si128(m, va), _mm_and_si128(m, vb)));
    }
    if (i < n) SelectBytes_C(a + i, b + i, mask + i, out + i, n - i);
}

__attribute__((target("avx2"))) void SelectBytes_AVX2(const uint8_t* a, const uint8_t* b, const uint8_t* mask,
                                                      uint8_t* out, int n) {
    int i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i m = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mask + i));
        const __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + i));
        const __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_or_si256(_mm256_andnot_si256(m, va), _mm256_and_si256(m, vb)));
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) SelectBytes_SSE2(a + i, b + i, mask + i, out + i, n - i);
}

void SelectBytes(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n) {
    if (HaveAvx2())
        SelectBytes_AVX2(a, b, mask, out, n);
    else
        SelectBytes_SSE2(a, b, mask, out, n);
}

// ---------------------------------------------------------------- 4-tap horizontal pass

void Cubic4Row_C(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n) {
    for (int i = 0; i < n; ++i) {
        int acc = 0;
        for (int j = 0; j < 4; ++j) acc += weights[4 * i + j] * src[std::min(first[i] + j, srcWidth - 1)];
        out[i] = (uint8_t)(acc >> 8);
    }
}

namespace {

inline int32_t Load4(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// Adds the two 32-bit halves of each output's taps: a = (o0 taps 0-1, o0 taps 2-3,
// o1 ..., o1 ...), b likewise for o2 and o3; returns the four sums in order.
inline __m128i SumTapPairs(__m128i a, __m128i b) {
    const __m128 fa = _mm_castsi128_ps(a), fb = _mm_castsi128_ps(b);
    return _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
                         _mm_castps_si128(_mm_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
}

}  // namespace

// Four outputs a step: their four source samples each are loaded as one 32-bit word,
// widened, and multiplied by the weights with madd. Groups whose window reaches the
// line's end (where the taps are clamped) use the plain loop.
void Cubic4Row_SSE2(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out,
                    int n) {
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
        if (first[i + 3] + 3 >= srcWidth || first[i] + 3 >= srcWidth || first[i + 1] + 3 >= srcWidth ||
            first[i + 2] + 3 >= srcWidth) {
            Cubic4Row_C(src, srcWidth, first + i, weights + 4 * i, out + i, 4);
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
    if (i < n) Cubic4Row_C(src, srcWidth, first + i, weights + 4 * i, out + i, n - i);
}

// Eight outputs a step, four per 128-bit lane, as in the SSE2 version.
__attribute__((target("avx2"))) void Cubic4Row_AVX2(const uint8_t* src, int srcWidth, const int* first,
                                                    const int16_t* weights, uint8_t* out, int n) {
    int i = 0;
    const __m256i zero = _mm256_setzero_si256();
    for (; i + 8 <= n; i += 8) {
        bool inside = true;
        for (int k = 0; k < 8; ++k) inside &= first[i + k] + 3 < srcWidth;
        if (!inside) {
            Cubic4Row_C(src, srcWidth, first + i, weights + 4 * i, out + i, 8);
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
        const __m256i sums =
            _mm256_add_epi32(_mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(2, 0, 2, 0))),
                             _mm256_castps_si256(_mm256_shuffle_ps(fa, fb, _MM_SHUFFLE(3, 1, 3, 1))));
        const __m256i v = _mm256_srli_epi32(sums, 8);
        const __m256i bytes = _mm256_packus_epi16(_mm256_packs_epi32(v, zero), zero);
        const __m128i both = _mm_unpacklo_epi32(_mm256_castsi256_si128(bytes), _mm256_extracti128_si256(bytes, 1));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + i), both);
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (i < n) Cubic4Row_SSE2(src, srcWidth, first + i, weights + 4 * i, out + i, n - i);
}

void Cubic4Row(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n) {
    if (HaveAvx2())
        Cubic4Row_AVX2(src, srcWidth, first, weights, out, n);
    else
        Cubic4Row_SSE2(src, srcWidth, first, weights, out, n);
}

// ---------------------------------------------------------------- bilinear, 8-bit samples

void BilinearPlaneRow_C(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n) {
    for (int i = 0; i < n; ++i) {
        const int a = src[x0[i]], b = src[std::min(x0[i] + 1, srcWidth - 1)];
        out[i] = (uint16_t)(a * (256 - w1[i]) + b * w1[i]);
    }
}

namespace {

// Eight sample pairs (src[x0], src[x0 + 1]) as 16-bit words, first sample in the low byte.
inline __m128i SamplePairs8(const uint8_t* src, const int* x0) {
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
inline bool PairsInside(const int* x0, int n, int srcWidth) {
    bool inside = true;
    for (int k = 0; k < n; ++k) inside &= x0[k] + 1 < srcWidth;
    return inside;
}

}  // namespace

// Eight outputs a step: each pair of neighbouring samples is one 16-bit load; the
// products of at most 255 x 256 and their sum fit 16 bits.
void BilinearPlaneRow_SSE2(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out,
                           int n) {
    int i = 0;
    const __m128i low = _mm_set1_epi16(0xFF), full = _mm_set1_epi32(256);
    for (; i + 8 <= n; i += 8) {
        if (!PairsInside(x0 + i, 8, srcWidth)) {
            BilinearPlaneRow_C(src, srcWidth, x0 + i, w1 + i, out + i, 8);
            continue;
        }
        const __m128i pairs = SamplePairs8(src, x0 + i);
        const __m128i wbLo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w1 + i));
        const __m128i wbHi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(w1 + i + 4));
        // Weights up to 256 do not fit the signed pack; 256 - w and w pack as w - 128.
        const __m128i bias = _mm_set1_epi32(128);
        const __m128i wb = _mm_add_epi16(_mm_packs_epi32(_mm_sub_epi32(wbLo, bias), _mm_sub_epi32(wbHi, bias)),
                                         _mm_set1_epi16(128));
        const __m128i wa = _mm_add_epi16(
            _mm_packs_epi32(_mm_sub_epi32(_mm_sub_epi32(full, wbLo), bias), _mm_sub_epi32(_mm_sub_epi32(full, wbHi), bias)),
            _mm_set1_epi16(128));
        const __m128i a = _mm_and_si128(pairs, low), b = _mm_srli_epi16(pairs, 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_add_epi16(_mm_mullo_epi16(a, wa), _mm_mullo_epi16(b, wb)));
    }
    if (i < n) BilinearPlaneRow_C(src, srcWidth, x0 + i, w1 + i, out + i, n - i);
}

// Sixteen outputs a step: two SSE2-built halves of sample pairs, 256-bit arithmetic.
__attribute__((target("avx2"))) void BilinearPlaneRow_AVX2(const uint8_t* src, int srcWidth, const int* x0,
                                                           const int* w1, uint16_t* out, int n) {
    int i = 0;
    const __m256i low = _mm256_set1_epi16(0xFF), full = _mm256_set1_epi32(256);
    for (; i + 16 <= n; i += 16) {
        if (!PairsInside(x0 + i, 16, srcWidth)) {
            BilinearPlaneRow_C(src, srcWidth, x0 + i, w1 + i, out + i, 16);
            continue;
        }
        const __m256i pairs =
            _mm256_inserti128_si256(_mm256_castsi128_si256(SamplePairs8(src, x0 + i)), SamplePairs8(src, x0 + i + 8), 1);
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
    if (i < n) BilinearPlaneRow_SSE2(src, srcWidth, x0 + i, w1 + i, out + i, n - i);
}

void BilinearPlaneRow(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n) {
    if (HaveAvx2())
        BilinearPlaneRow_AVX2(src, srcWidth, x0, w1, out, n);
    else
        BilinearPlaneRow_SSE2(src, srcWidth, x0, w1, out, n);
}
