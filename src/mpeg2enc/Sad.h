// Block-matching kernels of the motion search: sums of absolute differences over a
// 16 x 16 luma block, at integer and half-sample positions, and the intra deviation.
// Each kernel has a plain C++ routine and vector routines (SSE2, AVX2) that give the
// same results; the encoder calls them through EncoderKernels() (mpeg2enc/EncoderKernels.h).
#pragma once

#include <cstdint>

// `src` is always the source macroblock packed: its 16 rows of 16 samples back to back
// (the search packs it once for all the positions it tries); `stride` is the
// reference's.
//
// SAD of the 16 x 16 block at `src` against the block at `ref`.
// The plain routine checks the running sum after each row and returns it as soon as it
// reaches `limit`; the vector routines check it once, after eight rows. Either way a
// result below `limit` is the full sum, and a partial sum is returned only when it is
// already at least `limit`.
uint32_t SadPlain(const uint8_t* src, const uint8_t* ref, int stride, uint32_t limit);
uint32_t SadSse2(const uint8_t* src, const uint8_t* ref, int stride, uint32_t limit);
uint32_t SadAvx2(const uint8_t* src, const uint8_t* ref, int stride, uint32_t limit);

// SAD against the reference averaged with its right neighbour ((a + b + 1) >> 1), or with
// the sample below; returns the full sum. Reads one column (H) or one row (V) more.
uint32_t SadHalfHPlain(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfHSse2(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfHAvx2(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfVPlain(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfVSse2(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfVAvx2(const uint8_t* src, const uint8_t* ref, int stride);

// SAD against the average of four reference samples ((a + b + c + d + 2) >> 2): the
// sample, its right neighbour and the two below; returns the full sum.
uint32_t SadHalfHVPlain(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfHVSse2(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfHVAvx2(const uint8_t* src, const uint8_t* ref, int stride);

// The SADs of the eight half-sample positions around the whole-sample position `ref`,
// in one pass over the reference: out[i] for the offsets (hx, hy) in half samples, row by
// row with the centre left out: (-1,-1) (0,-1) (+1,-1) (-1,0) (+1,0) (-1,+1) (0,+1) (+1,+1).
// Each is exactly what the single kernel of that position gives (SadHalfHV, SadHalfV or
// SadHalfH at the matching corner). Reads the rows above and below the block and the
// columns left and right of it: 18 x 18 samples from ref - stride - 1.
void SadHalfNeighboursPlain(const uint8_t* src, const uint8_t* ref, int stride, uint32_t out[8]);
void SadHalfNeighboursSse2(const uint8_t* src, const uint8_t* ref, int stride, uint32_t out[8]);
void SadHalfNeighboursAvx2(const uint8_t* src, const uint8_t* ref, int stride, uint32_t out[8]);

// Sum over the 16 x 16 block of |sample - mean|, mean = sum / 256 truncated (the AVX2
// level uses the SSE2 routine).
uint32_t IntraDeviation(const uint8_t* src, int stride);
uint32_t IntraDeviationPlain(const uint8_t* src, int stride);
uint32_t IntraDeviationSse2(const uint8_t* src, int stride);
