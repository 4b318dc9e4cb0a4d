// Colour conversion rows: 32-bit RGB pixel pairs and packed 4:2:2 into Y, Cb, Cr planes.
#include "picture/PixelKernels.h"
#include "picture/PixelVectors.h"

#include <emmintrin.h>
#include <immintrin.h>

// ---------------------------------------------------------------- RGB to Y, Cb, Cr

void RgbRowPairToYuvPlain(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst, uint8_t* yTop,
                          uint8_t* yBottom, uint8_t* cb, uint8_t* cr)
{
    const int ri = redFirst ? 0 : 2, bi = redFirst ? 2 : 0;
    for (int x = 0; x < width; x += 2) {
        int sR = 0, sG = 0, sB = 0;
        const uint8_t* px[4] = {top + 4 * x, top + 4 * x + 4, bottom + 4 * x, bottom + 4 * x + 4};
        uint8_t* py[4] = {yTop + x, yTop + x + 1, yBottom + x, yBottom + x + 1};
        for (int k = 0; k < 4; ++k) {
            const int r = px[k][ri], g = px[k][1], b = px[k][bi];
            *py[k] = uint8_t(((66 * r + 129 * g + 25 * b) >> 8) + 16);
            sR += r;
            sG += g;
            sB += b;
        }
        // Arithmetic right shift rounds toward minus infinity.
        cb[x / 2] = uint8_t(((-38 * sR - 74 * sG + 112 * sB) >> 10) + 128);
        cr[x / 2] = uint8_t(((112 * sR - 94 * sG - 18 * sB) >> 10) + 128);
    }
}

namespace {

// Splits 8 pixels (two 16-byte loads) into three 16-bit vectors of components 0, 1, 2.
inline void SplitPixels8(const uint8_t* p, __m128i& c0, __m128i& c1, __m128i& c2)
{
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i mask = _mm_set1_epi32(0xFF);
    c0 = _mm_packs_epi32(_mm_and_si128(lo, mask), _mm_and_si128(hi, mask));
    c1 = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, 8), mask), _mm_and_si128(_mm_srli_epi32(hi, 8), mask));
    c2 = _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(lo, 16), mask), _mm_and_si128(_mm_srli_epi32(hi, 16), mask));
}

// Y for 8 pixels: products and sums stay below 65536, so unsigned 16-bit lanes suffice.
inline __m128i Luma8(__m128i r, __m128i g, __m128i b)
{
    __m128i s = _mm_add_epi16(_mm_mullo_epi16(r, _mm_set1_epi16(66)), _mm_mullo_epi16(g, _mm_set1_epi16(129)));
    s = _mm_add_epi16(s, _mm_mullo_epi16(b, _mm_set1_epi16(25)));
    return _mm_add_epi16(_mm_srli_epi16(s, 8), _mm_set1_epi16(16));
}

}  // namespace

void RgbRowPairToYuvSse2(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst, uint8_t* yTop,
                         uint8_t* yBottom, uint8_t* cb, uint8_t* cr)
{
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
        __m128i vcr =
            _mm_add_epi32(_mm_madd_epi16(sR, _mm_set1_epi32(112)), _mm_madd_epi16(sG, _mm_set1_epi32(0xFFFF & -94)));
        vcr = _mm_add_epi32(vcr, _mm_madd_epi16(sB, _mm_set1_epi32(0xFFFF & -18)));
        vcr = _mm_add_epi32(_mm_srai_epi32(vcr, 10), c128);
        const __m128i both = _mm_packus_epi16(_mm_packs_epi32(vcb, vcr), _mm_setzero_si128());
        const uint64_t bytes = uint64_t(_mm_cvtsi128_si64(both));
        for (int k = 0; k < 4; ++k) {
            cb[x / 2 + k] = uint8_t(bytes >> (8 * k));
            cr[x / 2 + k] = uint8_t(bytes >> (8 * (k + 4)));
        }
    }
    if (x < width)
        RgbRowPairToYuvPlain(top + 4 * x, bottom + 4 * x, width - x, redFirst, yTop + x, yBottom + x, cb + x / 2,
                             cr + x / 2);
}

namespace {

// Splits 16 pixels (two 32-byte loads) into three 16-bit vectors of components 0, 1, 2
// in pixel order. The packs work per 128-bit lane and leave the quarters as pixels
// 0-3, 8-11, 4-7, 12-15; the permute puts them back in order.
__attribute__((target("avx2"))) inline void SplitPixels16(const uint8_t* p, __m256i& c0, __m256i& c1, __m256i& c2)
{
    const __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    const __m256i mask = _mm256_set1_epi32(0xFF);
    c0 = _mm256_permute4x64_epi64(_mm256_packs_epi32(_mm256_and_si256(lo, mask), _mm256_and_si256(hi, mask)), 0xD8);
    c1 = _mm256_permute4x64_epi64(_mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(lo, 8), mask),
                                                     _mm256_and_si256(_mm256_srli_epi32(hi, 8), mask)),
                                  0xD8);
    c2 = _mm256_permute4x64_epi64(_mm256_packs_epi32(_mm256_and_si256(_mm256_srli_epi32(lo, 16), mask),
                                                     _mm256_and_si256(_mm256_srli_epi32(hi, 16), mask)),
                                  0xD8);
}

__attribute__((target("avx2"))) inline __m256i Luma16(__m256i r, __m256i g, __m256i b)
{
    __m256i s =
        _mm256_add_epi16(_mm256_mullo_epi16(r, _mm256_set1_epi16(66)), _mm256_mullo_epi16(g, _mm256_set1_epi16(129)));
    s = _mm256_add_epi16(s, _mm256_mullo_epi16(b, _mm256_set1_epi16(25)));
    return _mm256_add_epi16(_mm256_srli_epi16(s, 8), _mm256_set1_epi16(16));
}

}  // namespace

// The same arithmetic as the SSE2 version on 16 pixels (8 chroma samples) a step.
__attribute__((target("avx2"))) void RgbRowPairToYuvAvx2(const uint8_t* top, const uint8_t* bottom, int width,
                                                         bool redFirst, uint8_t* yTop, uint8_t* yBottom, uint8_t* cb,
                                                         uint8_t* cr)
{
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
        RgbRowPairToYuvSse2(top + 4 * x, bottom + 4 * x, width - x, redFirst, yTop + x, yBottom + x, cb + x / 2,
                            cr + x / 2);
}

// ---------------------------------------------------------------- packed 4:2:2

void Packed422RowPlain(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb, uint8_t* cr)
{
    const int uOffset = yOffset ? 0 : 1, vOffset = yOffset ? 2 : 3;
    for (int x = 0; x < width; ++x) y[x] = row[2 * x + yOffset];
    for (int k = 0; k < width / 2; ++k) {
        const uint8_t u = row[4 * k + uOffset], v = row[4 * k + vOffset];
        cb[k] = average ? uint8_t((cb[k] + u) >> 1) : u;
        cr[k] = average ? uint8_t((cr[k] + v) >> 1) : v;
    }
}

namespace {

// (a + b) >> 1 per byte without rounding up.
inline __m128i HalfSum(__m128i a, __m128i b)
{
    const __m128i half = _mm_and_si128(_mm_srli_epi16(_mm_xor_si128(a, b), 1), _mm_set1_epi8(0x7F));
    return _mm_add_epi8(_mm_and_si128(a, b), half);
}

}  // namespace

void Packed422RowSse2(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb, uint8_t* cr)
{
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
    if (x < width) Packed422RowPlain(row + 2 * x, width - x, yOffset, average, y + x, cb + x / 2, cr + x / 2);
}

// 32 pixels a step; each per-lane pack is followed by a permute that restores order.
__attribute__((target("avx2"))) void Packed422RowAvx2(const uint8_t* row, int width, int yOffset, bool average,
                                                      uint8_t* y, uint8_t* cb, uint8_t* cr)
{
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
        __m128i u =
            _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(_mm256_and_si256(c, low), zero), 0x08));
        __m128i v =
            _mm256_castsi256_si128(_mm256_permute4x64_epi64(_mm256_packus_epi16(_mm256_srli_epi16(c, 8), zero), 0x08));
        if (average) {
            u = HalfSum(u, _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb + x / 2)));
            v = HalfSum(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr + x / 2)));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + x / 2), u);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + x / 2), v);
    }
    _mm256_zeroupper();  // the rest runs in SSE code
    if (x < width) Packed422RowSse2(row + 2 * x, width - x, yOffset, average, y + x, cb + x / 2, cr + x / 2);
}
