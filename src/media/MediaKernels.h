// Inner loops of the media import, each with a plain C++ twin that the vector versions
// must match bit for bit. The dispatching entry points pick AVX2 or SSE2 at run time.
#pragma once

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

// True when the processor runs the AVX2 versions.
bool MediaKernelsHaveAvx2();
