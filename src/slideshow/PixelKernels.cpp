#include "slideshow/PixelKernels.h"

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

void RgbRowPairToYuv(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst,
                     uint8_t* yTop, uint8_t* yBottom, uint8_t* cb, uint8_t* cr) {
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

void BilinearVertical(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out,
                      int n) {
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

void Cubic4Vertical(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n) {
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
    const __m256i wa = _mm256_set1_epi16((short)(256 - k)), wb = _mm256_set1_epi16((short)k);
    for (; i + 16 <= n; i += 16) {
        const __m256i va = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i)));
        const __m256i vb = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i)));
        const __m256i s = _mm256_srli_epi16(
            _mm256_add_epi16(_mm256_mullo_epi16(va, wa), _mm256_mullo_epi16(vb, wb)), 8);
        const __m128i packed = _mm_packus_epi16(_mm256_castsi256_si128(s), _mm256_extracti128_si256(s, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), packed);
    }
    if (i < n) BlendRows_C(a + i, b + i, k, out + i, n - i);
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

void BilinearRgbxRow_C(const uint8_t* src, const int* x0, const int* w1, uint16_t* out, int n) {
    for (int i = 0; i < n; ++i) {
        const uint8_t* a = src + (size_t)x0[i] * 4;
        const int wb = w1[i], wa = 256 - wb;
        for (int c = 0; c < 4; ++c) out[i * 4 + c] = (uint16_t)(a[c] * wa + a[4 + c] * wb);
    }
}

void BilinearRgbxRow_SSE2(const uint8_t* src, const int* x0, const int* w1, uint16_t* out, int n) {
    int i = 0;
    const __m128i zero = _mm_setzero_si128();
    for (; i + 2 <= n; i += 2) {
        // Two neighbouring pixels per output pixel, widened to 16 bits.
        const __m128i pa = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (size_t)x0[i] * 4)), zero);
        const __m128i pb = _mm_unpacklo_epi8(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + (size_t)x0[i + 1] * 4)), zero);
        const short wa1 = (short)w1[i], wa0 = (short)(256 - w1[i]);
        const short wb1 = (short)w1[i + 1], wb0 = (short)(256 - w1[i + 1]);
        const __m128i ma = _mm_mullo_epi16(pa, _mm_setr_epi16(wa0, wa0, wa0, wa0, wa1, wa1, wa1, wa1));
        const __m128i mb = _mm_mullo_epi16(pb, _mm_setr_epi16(wb0, wb0, wb0, wb0, wb1, wb1, wb1, wb1));
        // Add the upper four lanes (second pixel) onto the lower four.
        const __m128i lo = _mm_unpacklo_epi64(ma, mb), hi = _mm_unpackhi_epi64(ma, mb);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + (size_t)i * 4), _mm_add_epi16(lo, hi));
    }
    if (i < n) BilinearRgbxRow_C(src, x0 + i, w1 + i, out + (size_t)i * 4, n - i);
}

void BilinearRgbxRow(const uint8_t* src, const int* x0, const int* w1, uint16_t* out, int n) {
    BilinearRgbxRow_SSE2(src, x0, w1, out, n);
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

void Packed422Row(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb,
                  uint8_t* cr) {
    Packed422Row_SSE2(row, width, yOffset, average, y, cb, cr);
}
