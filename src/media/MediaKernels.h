// Inner loops of the media import, each with a plain C++ twin (suffix Plain) that the
// vector versions (Sse2, Avx2) match bit for bit. The unsuffixed entry points call through
// the table MediaKernels(), filled for the highest level CpuFlags() allows (base/Cpu.h).
#pragma once

#include "base/Cpu.h"

#include <cstddef>
#include <cstdint>

// Turns `frames` sample frames of 8-bit unsigned or 16-bit signed PCM with one or two
// channels into 16-bit stereo: 8-bit samples become (s - 128) * 256; a mono sample goes
// to the left channel and the right channel is 0.
void ExpandToStereo16(const uint8_t* src, size_t frames, int channels, int bits, int16_t* dst);
void ExpandToStereo16Plain(const uint8_t* src, size_t frames, int channels, int bits, int16_t* dst);
void ExpandToStereo16Sse2(const uint8_t* src, size_t frames, int channels, int bits, int16_t* dst);
void ExpandToStereo16Avx2(const uint8_t* src, size_t frames, int channels, int bits, int16_t* dst);

// Fades picture samples towards black by k / 256 (k in 0..256): luma (y * k) >> 8,
// chroma 128 + (((c - 128) * k) >> 8) with the shift rounding towards minus infinity.
void FadeLuma(const uint8_t* src, uint8_t* dst, size_t count, int k);
void FadeChroma(const uint8_t* src, uint8_t* dst, size_t count, int k);
void FadeLumaPlain(const uint8_t* src, uint8_t* dst, size_t count, int k);
void FadeChromaPlain(const uint8_t* src, uint8_t* dst, size_t count, int k);
void FadeLumaSse2(const uint8_t* src, uint8_t* dst, size_t count, int k);
void FadeChromaSse2(const uint8_t* src, uint8_t* dst, size_t count, int k);
void FadeLumaAvx2(const uint8_t* src, uint8_t* dst, size_t count, int k);
void FadeChromaAvx2(const uint8_t* src, uint8_t* dst, size_t count, int k);

// The versions of one instruction-set level.
struct SMediaKernels {
    decltype(&ExpandToStereo16Plain) expandToStereo16;
    decltype(&FadeLumaPlain) fadeLuma;
    decltype(&FadeChromaPlain) fadeChroma;
};

// The table the unsuffixed entry points use: filled at start-up for CpuLevel() and
// again whenever SetCpuMask changes the allowed instruction sets.
const SMediaKernels& MediaKernels();
// The versions of `level` (tests and benchmarks; only call them when
// CpuLevelAvailable(level)).
SMediaKernels MediaKernelsAt(ECpuLevel level);
