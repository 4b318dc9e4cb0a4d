// Block-matching kernels of the motion search: sums of absolute differences over a
// 16 x 16 luma block, at integer and half-sample positions, and the intra deviation.
// Each kernel has a plain C++ routine and vector routines (SSE2, AVX2) that give the
// same results; the set in use is chosen once from the processor's features.
#pragma once

#include <cstdint>

enum class SadKernelSet { Plain, Sse2, Avx2 };

struct SSadKernels {
    SadKernelSet kind;
    // SAD of the 16 x 16 block at `src` against the block at `ref`, both with `stride`.
    // The plain routine checks the running sum after each row and returns it as soon as
    // it reaches `limit`; the vector routines check it once, after eight rows. Either
    // way a result below `limit` is the full sum, and a partial sum is returned only
    // when it is already at least `limit`.
    uint32_t (*sad)(const uint8_t* src, const uint8_t* ref, int stride, uint32_t limit);
    // SAD against the reference averaged with its right neighbour ((a + b + 1) >> 1), or
    // with the sample below; null when half-sample search is not available.
    uint32_t (*sadHalfH)(const uint8_t* src, const uint8_t* ref, int stride);
    uint32_t (*sadHalfV)(const uint8_t* src, const uint8_t* ref, int stride);
    // SAD against the average of four reference samples ((a + b + c + d + 2) >> 2): the
    // sample, its right neighbour and the two below; null with the plain set.
    uint32_t (*sadHalfHV)(const uint8_t* src, const uint8_t* ref, int stride);
};

// The kernels in use: AVX2 or SSE2 when the processor has them, else plain.
const SSadKernels& SadKernels();
// The kernels of one set, for tests and benchmarks (AVX2 only where supported).
SSadKernels SadKernelsOf(SadKernelSet kind);
// True when the processor can run `kind`.
bool SadKernelSetSupported(SadKernelSet kind);
// Replaces the kernels in use (tests: the search without SSE2); returns the previous set.
SadKernelSet SetSadKernels(SadKernelSet kind);

// Plain twins of the vector kernels.
uint32_t SadPlain(const uint8_t* src, const uint8_t* ref, int stride, uint32_t limit);
uint32_t SadHalfHPlain(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfVPlain(const uint8_t* src, const uint8_t* ref, int stride);
uint32_t SadHalfHVPlain(const uint8_t* src, const uint8_t* ref, int stride);

// Sum over the 16 x 16 block of |sample - mean|, mean = sum / 256 truncated.
uint32_t IntraDeviation(const uint8_t* src, int stride);
uint32_t IntraDeviationPlain(const uint8_t* src, int stride);
