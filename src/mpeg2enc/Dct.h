// 8 x 8 transforms of the video encoder.
//
// The forward DCT is a fixed-point transform on the scale of ISO/IEC 13818-2 Annex A
// (the DC coefficient is eight times the block mean): two separable passes of 16-bit
// samples times 13-bit cosine constants with exact 32-bit sums, each pass rounded and
// saturated to 16 bits. The vector routines and the plain routine give identical results.
//
// The inverse DCT is the double-precision definition of Annex A, each output rounded to
// the nearest integer and limited to -256..255. The vector routines compute a block in
// single precision first and keep that result only when every output lies far enough from
// a rounding edge to round as the double computation does (InverseDct.cpp).
#pragma once

#include <cstdint>

// Forward DCT of one block in place (raster order), with the routine chosen for the
// processor.
void ForwardDct(int16_t block[64]);
// The plain C++, SSE2 and AVX2 forward transforms (identical results), for tests and
// benchmarks.
void ForwardDctPlain(int16_t block[64]);
void ForwardDctSse2(int16_t block[64]);
void ForwardDctAvx2(int16_t block[64]);

// An upper bound of the coefficient magnitudes ForwardDct can give for a block whose
// 64 samples' squares sum to `squareSum`, following both passes' constants and rounding:
// a block whose bound is below the smallest coefficient that makes a level needs no
// transform.
int64_t ForwardDctBound(uint32_t squareSum);

// Inverse DCT of `coefficients` (raster order) into `out`, outputs in -256..255.
// A block whose only non-zero coefficient is a 1 at position 63 (what mismatch control
// leaves on an empty block) gives all zeros.
void InverseDct(const int16_t coefficients[64], int16_t out[64]);
// The plain, SSE2 and AVX2 inverse transforms (identical results), for tests and benchmarks.
void InverseDctPlain(const int16_t coefficients[64], int16_t out[64]);
void InverseDctSse2(const int16_t coefficients[64], int16_t out[64]);
void InverseDctAvx2(const int16_t coefficients[64], int16_t out[64]);
