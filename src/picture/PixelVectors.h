// Vector helpers shared by the pixel kernel files.
#pragma once

#include <immintrin.h>

// Packs 16 unsigned 16-bit lanes (each at most 255) into 16 bytes in order; returns them.
__attribute__((target("avx2"))) inline __m128i PackBytes16(__m256i v)
{
    return _mm_packus_epi16(_mm256_castsi256_si128(v), _mm256_extracti128_si256(v, 1));
}
