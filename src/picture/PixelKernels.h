#pragma once
// Per-pixel inner loops of the picture code. Each loop has a plain C++ version (suffix
// Plain) and vector versions (Sse2, Avx2); all give identical bytes for every input, and
// the SIMD tests compare them on random and extreme data. The unsuffixed entry points
// call through the table PixelKernels(), filled for the highest level CpuFlags() allows
// (see base/Cpu.h). Every version can be called on its own so that tests and
// benchmarks can compare them.
#include "base/Cpu.h"

#include <cstdint>

// Converts two 32-bit pixel rows (top, bottom; `width` pixels, even) into two luma
// rows and one Cb and one Cr row of width/2 samples. `redFirst` says whether the
// bytes are R, G, B, x (true) or B, G, R, x (false).
void RgbRowPairToYuv(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst, uint8_t* yTop,
                     uint8_t* yBottom, uint8_t* cb, uint8_t* cr);
void RgbRowPairToYuvPlain(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst, uint8_t* yTop,
                          uint8_t* yBottom, uint8_t* cb, uint8_t* cr);
void RgbRowPairToYuvSse2(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst, uint8_t* yTop,
                         uint8_t* yBottom, uint8_t* cb, uint8_t* cr);
void RgbRowPairToYuvAvx2(const uint8_t* top, const uint8_t* bottom, int width, bool redFirst, uint8_t* yTop,
                         uint8_t* yBottom, uint8_t* cb, uint8_t* cr);

// out[i] = (row0[i] * w0 + row1[i] * w1) >> 16 for n samples; rows hold horizontal
// sums of at most 65280 and w0 + w1 <= 256.
void BilinearVertical(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out, int n);
void BilinearVerticalPlain(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out, int n);
void BilinearVerticalSse2(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out, int n);
void BilinearVerticalAvx2(const uint16_t* row0, const uint16_t* row1, int w0, int w1, uint8_t* out, int n);

// out[i] = (sum over k of rows[k][i] * weights[k]) >> 8 for n samples; the four
// weights are non-negative and sum to 256.
void Cubic4Vertical(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n);
void Cubic4VerticalPlain(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n);
void Cubic4VerticalSse2(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n);
void Cubic4VerticalAvx2(const uint8_t* const rows[4], const int weights[4], uint8_t* out, int n);

// out[i] = (a[i] * (256 - k) + b[i] * k) >> 8 for n samples, 0 <= k <= 256.
void BlendRows(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n);
void BlendRowsPlain(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n);
void BlendRowsSse2(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n);
void BlendRowsAvx2(const uint8_t* a, const uint8_t* b, int k, uint8_t* out, int n);

// Horizontal bilinear pass over a 32-bit pixel row: for output pixel i and each of
// its 4 bytes c, out[4i + c] = src[4 x0[i] + c] x (256 - w1[i]) + src[4 (x0[i] + 1) + c] x w1[i].
// Both source pixels x0[i] and x0[i] + 1 must exist. The weights come prepared by
// BilinearRgbxWeights (they stay the same for every line of a frame).
void BilinearRgbxRow(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n);
void BilinearRgbxRowPlain(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n);
void BilinearRgbxRowSse2(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n);
void BilinearRgbxRowAvx2(const uint8_t* src, const int* x0, const uint16_t* weights, uint16_t* out, int n);

// Prepares the weights of BilinearRgbxRow for n output pixels: weights[8i .. 8i + 3] =
// 256 - w1[i] and weights[8i + 4 .. 8i + 7] = w1[i] (0 <= w1[i] <= 256), the factors of
// the two source pixels' bytes in the order they are loaded.
void BilinearRgbxWeights(const int* w1, uint16_t* weights, int n);

// One top-down row of packed 4:2:2 (2 x width bytes; luma at byte yOffset of each
// pair, U and V at uOffset and vOffset of each 4-byte group): copies the luma into
// `y` and the chroma into `cb`, `cr` (width/2 samples each), or with `average`
// replaces each chroma sample by (stored + new) >> 1. yOffset 0 means YUY2 order
// (Y0 U Y1 V), 1 means UYVY order (U Y0 V Y1).
void Packed422Row(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb, uint8_t* cr);
void Packed422RowPlain(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb, uint8_t* cr);
void Packed422RowSse2(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb, uint8_t* cr);
void Packed422RowAvx2(const uint8_t* row, int width, int yOffset, bool average, uint8_t* y, uint8_t* cb, uint8_t* cr);

// Horizontal pass of the 5-tap blur over one line of 32-bit pixels. `padded` holds the
// line with two copies of its first pixel before it and two of its last after it
// (width + 4 pixels); for pixel x and each of its 4 bytes c,
// mid[4x + c] = sum over k = 0..4 of w[k] x padded[4 (x + k) + c].
// The weights are non-negative and sum to at most 4096.
void BlurRgbxRowH(const uint8_t* padded, const int w[5], uint32_t* mid, int width);
void BlurRgbxRowHPlain(const uint8_t* padded, const int w[5], uint32_t* mid, int width);
void BlurRgbxRowHSse2(const uint8_t* padded, const int w[5], uint32_t* mid, int width);
void BlurRgbxRowHAvx2(const uint8_t* padded, const int w[5], uint32_t* mid, int width);

// Vertical pass of the blur: for pixel x and colour byte c < 3,
// out[4x + c] = (sum over k of w[k] x rows[k][4x + c] + 2^23) >> 24, where rows are five
// horizontal-pass lines made with the same weights; out[4x + 3] = alpha[4x + 3].
void BlurRgbxRowV(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out, int width);
void BlurRgbxRowVPlain(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out, int width);
void BlurRgbxRowVSse2(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out, int width);
void BlurRgbxRowVAvx2(const uint32_t* const rows[5], const int w[5], const uint8_t* alpha, uint8_t* out, int width);

// Horizontal pass of the photo resize from 24-bit RGB into 16-bit samples, `taps`
// weights per output pixel stored in groups of s = taps rounded up to even (a zero
// weight fills an odd group): for output pixel x and colour c < 3,
// out[4x + c] = (sum over k < taps of weights[x s + k] x src[3 (first[x] + k) + c] + 32) >> 6
// and out[4x + 3] = 0. Weights are non-negative and each pixel's sum to at most 16384;
// every pixel first[x] .. first[x] + taps - 1 lies in the `srcWidth`-pixel line.
void ResizeRgbRowH(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, int taps, uint16_t* out,
                   int n);
void ResizeRgbRowHPlain(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, int taps,
                        uint16_t* out, int n);
void ResizeRgbRowHSse2(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, int taps,
                       uint16_t* out, int n);
void ResizeRgbRowHAvx2(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, int taps,
                       uint16_t* out, int n);

// Vertical pass of the photo resize into n 32-bit pixels R, G, B, 255: for colour c < 3,
// out[4x + c] = min(255, (sum over k < taps of weights[k] x rows[k][4x + c] + 2^21) >> 22).
// Weights are non-negative and sum to at most 16384; samples are at most 65280.
void ResizeRgbxRowV(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n);
void ResizeRgbxRowVPlain(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n);
void ResizeRgbxRowVSse2(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n);
void ResizeRgbxRowVAvx2(const uint16_t* const* rows, const int* weights, int taps, uint8_t* out, int n);

// Byte-wise choice between two rows: out[i] = (a[i] & ~mask[i]) | (b[i] & mask[i]) for
// n samples, so a mask byte of 0 takes a and 255 takes b.
void SelectBytes(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n);
void SelectBytesPlain(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n);
void SelectBytesSse2(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n);
void SelectBytesAvx2(const uint8_t* a, const uint8_t* b, const uint8_t* mask, uint8_t* out, int n);

// Horizontal 4-tap pass over one line of 8-bit samples:
// out[i] = (sum over j < 4 of weights[4i + j] x src[min(first[i] + j, srcWidth - 1)]) >> 8.
// Each output's four weights are non-negative and sum to 256.
void Cubic4Row(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n);
void Cubic4RowPlain(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n);
void Cubic4RowSse2(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n);
void Cubic4RowAvx2(const uint8_t* src, int srcWidth, const int* first, const int16_t* weights, uint8_t* out, int n);

// Horizontal bilinear pass over one line of 8-bit samples: out[i] =
// src[x0[i]] x (256 - w1[i]) + src[min(x0[i] + 1, srcWidth - 1)] x w1[i], 0 <= w1[i] <= 256.
void BilinearPlaneRow(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n);
void BilinearPlaneRowPlain(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n);
void BilinearPlaneRowSse2(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n);
void BilinearPlaneRowAvx2(const uint8_t* src, int srcWidth, const int* x0, const int* w1, uint16_t* out, int n);

// The versions of one instruction-set level, one pointer per loop.
struct SPixelKernels {
    decltype(&RgbRowPairToYuvPlain) rgbRowPairToYuv;
    decltype(&BilinearVerticalPlain) bilinearVertical;
    decltype(&Cubic4VerticalPlain) cubic4Vertical;
    decltype(&BlendRowsPlain) blendRows;
    decltype(&BilinearRgbxRowPlain) bilinearRgbxRow;
    decltype(&Packed422RowPlain) packed422Row;
    decltype(&BlurRgbxRowHPlain) blurRgbxRowH;
    decltype(&BlurRgbxRowVPlain) blurRgbxRowV;
    decltype(&ResizeRgbRowHPlain) resizeRgbRowH;
    decltype(&ResizeRgbxRowVPlain) resizeRgbxRowV;
    decltype(&SelectBytesPlain) selectBytes;
    decltype(&Cubic4RowPlain) cubic4Row;
    decltype(&BilinearPlaneRowPlain) bilinearPlaneRow;
};

// The table the unsuffixed entry points use: filled at start-up for CpuLevel() and
// again whenever SetCpuMask changes the allowed instruction sets.
const SPixelKernels& PixelKernels();
// The versions of `level` (tests and benchmarks; only call them when
// CpuLevelAvailable(level)).
SPixelKernels PixelKernelsAt(ECpuLevel level);
