// Per-block sample loops of the video encoder: the prediction error of an 8 x 8 block,
// the reconstruction of a block from its prediction and decoded residual, and the
// motion-compensated prediction of a block from a reference plane at full- or
// half-sample positions.
//
// Each kernel has a plain C++ routine (the definition), an SSE2 routine and an AVX2
// routine that give identical results; the unsuffixed call picks the best one the
// processor supports. Blocks named `[64]` are 8 x 8 in raster order without padding.
#pragma once

#include <cstdint>

// Prediction error: out[8j + i] = source[j * stride + i] - prediction[j * predStride + i].
// The prediction is read in place: a block of the reference plane (its stride), a
// prediction buffer (8 or 16), or one row used for every row (0). Returns the sum of the
// errors' squares (0 for a block that needs no transform; a small sum bounds every
// coefficient of its transform, see ForwardDctBound).
uint32_t ResidualBlock(const uint8_t* source, int stride, const uint8_t* prediction, int predStride, int16_t out[64]);
uint32_t ResidualBlockPlain(const uint8_t* source, int stride, const uint8_t* prediction, int predStride,
                            int16_t out[64]);
uint32_t ResidualBlockSse2(const uint8_t* source, int stride, const uint8_t* prediction, int predStride,
                           int16_t out[64]);
uint32_t ResidualBlockAvx2(const uint8_t* source, int stride, const uint8_t* prediction, int predStride,
                           int16_t out[64]);

// Reconstruction: dest[j * stride + i] = clamp(prediction[j * predStride + i] + residual[8j + i],
// 0, 255). A null `residual` (a block that was not coded) copies the prediction. The
// prediction must not overlap `dest`.
void ReconstructBlock(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest, int stride);
void ReconstructBlockPlain(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest,
                           int stride);
void ReconstructBlockSse2(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest,
                          int stride);
void ReconstructBlockAvx2(const uint8_t* prediction, int predStride, const int16_t* residual, uint8_t* dest,
                          int stride);

// Prediction of a `size` x `size` block (size 8 or 16) whose top left reference sample
// is `ref` (rows `refStride` apart), into `out` (rows `outStride` apart). With halfX
// the sample is averaged with its right neighbour, with halfY with the one below,
// with both the four are averaged: (a + b + 1) >> 1 and (a + b + c + d + 2) >> 2.
// Reads one column to the right when halfX and one row below when halfY.
void PredictBlock(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride, int size);
void PredictBlockPlain(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride,
                       int size);
void PredictBlockSse2(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride, int size);
void PredictBlockAvx2(const uint8_t* ref, int refStride, bool halfX, bool halfY, uint8_t* out, int outStride, int size);

// True when all 64 values of the block are zero (a residual that needs no transform:
// the forward DCT of zeros is zeros, and its levels are all zero).
bool IsZeroBlock(const int16_t block[64]);
bool IsZeroBlockPlain(const int16_t block[64]);
bool IsZeroBlockSse2(const int16_t block[64]);
bool IsZeroBlockAvx2(const int16_t block[64]);
