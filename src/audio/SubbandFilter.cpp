#include "audio/SubbandFilter.h"

#include "base/Cpu.h"

#include <emmintrin.h>
#include <immintrin.h>
#include <cmath>
#include <cstring>

namespace {

// The first 257 coefficients of the analysis window in units of 2^-21 (the window is
// antisymmetric about index 256, except at multiples of 64 where it is symmetric).
const int windowHalf[257] = {
#include "audio/SubbandWindow.inc"
};

struct CFilterTables {
    alignas(32) float window[512];
    alignas(32) float cosTable[32][32];  // [a][i] = cos((2i + 1) a π / 64)

    CFilterTables()
    {
        for (int i = 0; i <= 256; ++i) window[i] = float(windowHalf[i] / 2097152.0);
        for (int i = 257; i < 512; ++i) {
            int m = 512 - i;
            window[i] = (i % 64 == 0) ? window[m] : -window[m];
        }
        for (int a = 0; a < 32; ++a)
            for (int i = 0; i < 32; ++i) cosTable[a][i] = float(std::cos((2 * i + 1) * a * M_PI / 64.0));
    }
};

const CFilterTables& Tables()
{
    static const CFilterTables tables;
    return tables;
}

void WindowPlain(const float* x, float* y)
{
    const float* c = Tables().window;
    for (int k = 0; k < 64; ++k) {
        float sum = 0.0f;
        for (int j = 0; j < 8; ++j) sum = sum + c[k + 64 * j] * x[k + 64 * j];
        y[k] = sum;
    }
}

void WindowSse2(const float* x, float* y)
{
    const float* c = Tables().window;
    for (int k = 0; k < 64; k += 4) {
        __m128 sum = _mm_setzero_ps();
        for (int j = 0; j < 8; ++j)
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_load_ps(c + k + 64 * j), _mm_loadu_ps(x + k + 64 * j)));
        _mm_storeu_ps(y + k, sum);
    }
}

__attribute__((target("avx2"))) void WindowAvx2(const float* x, float* y)
{
    const float* c = Tables().window;
    for (int k = 0; k < 64; k += 8) {
        __m256 sum = _mm256_setzero_ps();
        for (int j = 0; j < 8; ++j)
            sum = _mm256_add_ps(sum, _mm256_mul_ps(_mm256_load_ps(c + k + 64 * j), _mm256_loadu_ps(x + k + 64 * j)));
        _mm256_storeu_ps(y + k, sum);
    }
}

void MatrixPlain(const float* u, float* s)
{
    const auto& m = Tables().cosTable;
    float acc[32] = {};
    for (int a = 0; a < 32; ++a)
        for (int i = 0; i < 32; ++i) acc[i] = acc[i] + m[a][i] * u[a];
    std::memcpy(s, acc, sizeof acc);
}

void MatrixSse2(const float* u, float* s)
{
    const auto& m = Tables().cosTable;
    __m128 acc[8];
    for (auto& v : acc) v = _mm_setzero_ps();
    for (int a = 0; a < 32; ++a) {
        __m128 ua = _mm_set1_ps(u[a]);
        for (int q = 0; q < 8; ++q) acc[q] = _mm_add_ps(acc[q], _mm_mul_ps(_mm_load_ps(&m[a][4 * q]), ua));
    }
    for (int q = 0; q < 8; ++q) _mm_storeu_ps(s + 4 * q, acc[q]);
}

__attribute__((target("avx2"))) void MatrixAvx2(const float* u, float* s)
{
    const auto& m = Tables().cosTable;
    __m256 acc[4];
    for (auto& v : acc) v = _mm256_setzero_ps();
    for (int a = 0; a < 32; ++a) {
        __m256 ua = _mm256_set1_ps(u[a]);
        for (int q = 0; q < 4; ++q) acc[q] = _mm256_add_ps(acc[q], _mm256_mul_ps(_mm256_load_ps(&m[a][8 * q]), ua));
    }
    for (int q = 0; q < 4; ++q) _mm256_storeu_ps(s + 8 * q, acc[q]);
}

}  // namespace

namespace {

// The kernel set Process uses: the one of CpuLevel(), refilled whenever SetCpuMask
// changes the allowed instruction sets.
constinit CKernelTable<CSubbandFilter::Isa> bestIsa(CSubbandFilter::Isa::Plain, CSubbandFilter::Isa::Sse2,
                                                    CSubbandFilter::Isa::Avx2);

[[maybe_unused]] const bool registered = bestIsa.Register();

}  // namespace

CSubbandFilter::CSubbandFilter() { Reset(); }

void CSubbandFilter::Reset()
{
    std::memset(history, 0, sizeof history);
    position = 0;
}

CSubbandFilter::Isa CSubbandFilter::BestIsa() { return bestIsa.Current(); }

float CSubbandFilter::WindowCoefficient(int i) { return Tables().window[i]; }

void CSubbandFilter::WindowKernel(Isa isa, const float* x, float* y)
{
    switch (isa) {
    case Isa::Avx2:
        WindowAvx2(x, y);
        break;
    case Isa::Sse2:
        WindowSse2(x, y);
        break;
    default:
        WindowPlain(x, y);
        break;
    }
}

void CSubbandFilter::MatrixKernel(Isa isa, const float* u, float* s)
{
    switch (isa) {
    case Isa::Avx2:
        MatrixAvx2(u, s);
        break;
    case Isa::Sse2:
        MatrixSse2(u, s);
        break;
    default:
        MatrixPlain(u, s);
        break;
    }
}

void CSubbandFilter::Process(const float* in, float* out) { Process(in, out, BestIsa()); }

void CSubbandFilter::Process(const float* in, float* out, Isa isa)
{
    // The newest sample sits at the lowest index: x[31 - n] = in[n].
    position = (position + 512 - 32) & 511;
    for (int n = 0; n < 32; ++n) {
        history[position + 31 - n] = in[n];
        history[position + 512 + 31 - n] = in[n];
    }
    alignas(32) float y[64];
    WindowKernel(isa, history + position, y);

    // Fold the 64 windowed sums onto 32 inputs of a cosine transform, using
    // cos((2i+1)(k-16)π/64) being even in k-16 and changing sign about k-16 = 32.
    alignas(32) float u[32];
    u[0] = y[16];
    for (int a = 1; a <= 16; ++a) u[a] = y[16 + a] + y[16 - a];
    for (int a = 17; a < 32; ++a) u[a] = y[16 + a] - y[80 - a];
    MatrixKernel(isa, u, out);
}
