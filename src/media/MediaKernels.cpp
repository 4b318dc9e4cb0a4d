#include "media/MediaKernels.h"

#include <emmintrin.h>
#include <immintrin.h>
#include <cstring>

// ---- PCM to 16-bit stereo --------------------------------------------------------

void ExpandToStereo16Plain(const uint8_t* src, size_t frames, int channels, int bits, int16_t* dst)
{
    for (size_t i = 0; i < frames; ++i) {
        int16_t left, right;
        if (bits == 8) {
            left = static_cast<int16_t>((src[i * channels] - 128) * 256);
            right = channels == 2 ? static_cast<int16_t>((src[i * 2 + 1] - 128) * 256) : 0;
        } else {
            const uint8_t* s = src + i * channels * 2;
            left = static_cast<int16_t>(s[0] | (s[1] << 8));
            right = channels == 2 ? static_cast<int16_t>(s[2] | (s[3] << 8)) : 0;
        }
        dst[i * 2] = left;
        dst[i * 2 + 1] = right;
    }
}

void ExpandToStereo16Sse2(const uint8_t* src, size_t frames, int channels, int bits, int16_t* dst)
{
    size_t i = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    if (bits == 8 && channels == 1) {
        for (; i + 16 <= frames; i += 16) {
            __m128i s = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)), flip);
            __m128i lo = _mm_unpacklo_epi8(zero, s);  // (s - 128) << 8
            __m128i hi = _mm_unpackhi_epi8(zero, s);
            __m128i* d = reinterpret_cast<__m128i*>(dst + i * 2);
            _mm_storeu_si128(d, _mm_unpacklo_epi16(lo, zero));
            _mm_storeu_si128(d + 1, _mm_unpackhi_epi16(lo, zero));
            _mm_storeu_si128(d + 2, _mm_unpacklo_epi16(hi, zero));
            _mm_storeu_si128(d + 3, _mm_unpackhi_epi16(hi, zero));
        }
    } else if (bits == 8 && channels == 2) {
        for (; i + 8 <= frames; i += 8) {
            __m128i s = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 2)), flip);
            __m128i* d = reinterpret_cast<__m128i*>(dst + i * 2);
            _mm_storeu_si128(d, _mm_unpacklo_epi8(zero, s));
            _mm_storeu_si128(d + 1, _mm_unpackhi_epi8(zero, s));
        }
    } else if (bits == 16 && channels == 1) {
        for (; i + 8 <= frames; i += 8) {
            __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 2));
            __m128i* d = reinterpret_cast<__m128i*>(dst + i * 2);
            _mm_storeu_si128(d, _mm_unpacklo_epi16(s, zero));
            _mm_storeu_si128(d + 1, _mm_unpackhi_epi16(s, zero));
        }
    } else if (bits == 16 && channels == 2) {
        std::memcpy(dst, src, frames * 4);
        return;
    }
    ExpandToStereo16Plain(src + i * channels * (bits / 8), frames - i, channels, bits, dst + i * 2);
}

__attribute__((target("avx2"))) void ExpandToStereo16Avx2(const uint8_t* src, size_t frames, int channels, int bits,
                                                          int16_t* dst)
{
    size_t i = 0;
    const __m256i zero = _mm256_setzero_si256();
    if (bits == 8 && channels == 1) {
        const __m256i bias = _mm256_set1_epi16(128);
        for (; i + 16 <= frames; i += 16) {
            __m256i w = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
            w = _mm256_slli_epi16(_mm256_sub_epi16(w, bias), 8);
            // Interleave with zero per 128-bit lane, then put the lanes in order.
            __m256i lo = _mm256_unpacklo_epi16(w, zero);
            __m256i hi = _mm256_unpackhi_epi16(w, zero);
            __m256i* d = reinterpret_cast<__m256i*>(dst + i * 2);
            _mm256_storeu_si256(d, _mm256_permute2x128_si256(lo, hi, 0x20));
            _mm256_storeu_si256(d + 1, _mm256_permute2x128_si256(lo, hi, 0x31));
        }
    } else if (bits == 8 && channels == 2) {
        const __m256i bias = _mm256_set1_epi16(128);
        for (; i + 8 <= frames; i += 8) {
            __m256i w = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i * 2)));
            w = _mm256_slli_epi16(_mm256_sub_epi16(w, bias), 8);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i * 2), w);
        }
    } else if (bits == 16 && channels == 1) {
        for (; i + 16 <= frames; i += 16) {
            __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i * 2));
            __m256i lo = _mm256_unpacklo_epi16(s, zero);
            __m256i hi = _mm256_unpackhi_epi16(s, zero);
            __m256i* d = reinterpret_cast<__m256i*>(dst + i * 2);
            _mm256_storeu_si256(d, _mm256_permute2x128_si256(lo, hi, 0x20));
            _mm256_storeu_si256(d + 1, _mm256_permute2x128_si256(lo, hi, 0x31));
        }
    } else if (bits == 16 && channels == 2) {
        std::memcpy(dst, src, frames * 4);
        return;
    }
    ExpandToStereo16Plain(src + i * channels * (bits / 8), frames - i, channels, bits, dst + i * 2);
}

// ---- Fades -----------------------------------------------------------------------

void FadeLumaPlain(const uint8_t* src, uint8_t* dst, size_t count, int k)
{
    for (size_t i = 0; i < count; ++i) dst[i] = static_cast<uint8_t>((src[i] * k) >> 8);
}

void FadeChromaPlain(const uint8_t* src, uint8_t* dst, size_t count, int k)
{
    for (size_t i = 0; i < count; ++i) {
        int d = (src[i] - 128) * k;
        // Arithmetic shift: rounds towards minus infinity as the vector version does.
        dst[i] = static_cast<uint8_t>(128 + (d >> 8));
    }
}

void FadeLumaSse2(const uint8_t* src, uint8_t* dst, size_t count, int k)
{
    size_t i = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i kk = _mm_set1_epi16(static_cast<short>(k));
    for (; i + 16 <= count; i += 16) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(s, zero), kk), 8);
        __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(s, zero), kk), 8);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
    FadeLumaPlain(src + i, dst + i, count - i, k);
}

void FadeChromaSse2(const uint8_t* src, uint8_t* dst, size_t count, int k)
{
    size_t i = 0;
    const __m128i zero = _mm_setzero_si128();
    const __m128i kk = _mm_set1_epi16(static_cast<short>(k));
    const __m128i mid = _mm_set1_epi16(128);
    for (; i + 16 <= count; i += 16) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
        __m128i lo = _mm_sub_epi16(_mm_unpacklo_epi8(s, zero), mid);
        __m128i hi = _mm_sub_epi16(_mm_unpackhi_epi8(s, zero), mid);
        lo = _mm_add_epi16(_mm_srai_epi16(_mm_mullo_epi16(lo, kk), 8), mid);
        hi = _mm_add_epi16(_mm_srai_epi16(_mm_mullo_epi16(hi, kk), 8), mid);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(lo, hi));
    }
    FadeChromaPlain(src + i, dst + i, count - i, k);
}

__attribute__((target("avx2"))) void FadeLumaAvx2(const uint8_t* src, uint8_t* dst, size_t count, int k)
{
    size_t i = 0;
    const __m256i kk = _mm256_set1_epi16(static_cast<short>(k));
    for (; i + 16 <= count; i += 16) {
        __m256i w = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
        w = _mm256_srli_epi16(_mm256_mullo_epi16(w, kk), 8);
        __m128i packed = _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), packed);
    }
    FadeLumaPlain(src + i, dst + i, count - i, k);
}

__attribute__((target("avx2"))) void FadeChromaAvx2(const uint8_t* src, uint8_t* dst, size_t count, int k)
{
    size_t i = 0;
    const __m256i kk = _mm256_set1_epi16(static_cast<short>(k));
    const __m256i mid = _mm256_set1_epi16(128);
    for (; i + 16 <= count; i += 16) {
        __m256i w = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
        w = _mm256_sub_epi16(w, mid);
        w = _mm256_add_epi16(_mm256_srai_epi16(_mm256_mullo_epi16(w, kk), 8), mid);
        __m128i packed = _mm_packus_epi16(_mm256_castsi256_si128(w), _mm256_extracti128_si256(w, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), packed);
    }
    FadeChromaPlain(src + i, dst + i, count - i, k);
}

// ---- Dispatch --------------------------------------------------------------------

namespace {

constexpr SMediaKernels kPlain{ExpandToStereo16Plain, FadeLumaPlain, FadeChromaPlain};
constexpr SMediaKernels kSse2{ExpandToStereo16Sse2, FadeLumaSse2, FadeChromaSse2};
constexpr SMediaKernels kAvx2{ExpandToStereo16Avx2, FadeLumaAvx2, FadeChromaAvx2};

constinit CKernelTable<SMediaKernels> table(kPlain, kSse2, kAvx2);

[[maybe_unused]] const bool registered = table.Register();

}  // namespace

SMediaKernels MediaKernelsAt(ECpuLevel level) { return table.At(level); }

const SMediaKernels& MediaKernels() { return table.Current(); }

void ExpandToStereo16(const uint8_t* src, size_t frames, int channels, int bits, int16_t* dst)
{
    table.Current().expandToStereo16(src, frames, channels, bits, dst);
}

void FadeLuma(const uint8_t* src, uint8_t* dst, size_t count, int k) { table.Current().fadeLuma(src, dst, count, k); }

void FadeChroma(const uint8_t* src, uint8_t* dst, size_t count, int k)
{
    table.Current().fadeChroma(src, dst, count, k);
}
