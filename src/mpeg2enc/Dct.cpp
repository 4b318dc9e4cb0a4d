#include "mpeg2enc/Dct.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>

namespace {

// c(u)/2 x cos((2x + 1) u pi / 16) times 8192, rounded.
struct SForwardTable {
    int16_t m[8][8];
    SForwardTable()
    {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x) {
                const double c = (u == 0 ? std::sqrt(0.5) : 1.0) / 2.0;
                m[u][x] = int16_t(std::lround(c * std::cos((2 * x + 1) * u * M_PI / 16.0) * 8192.0));
            }
    }
};

const SForwardTable& Forward()
{
    static const SForwardTable table;
    return table;
}

// First pass: 13-bit constants, keep 3 fractional bits (shift 10). Second pass: shift 16.
constexpr int firstShift = 10;
constexpr int secondShift = 16;

inline int16_t Saturate16(int32_t v)
{
    return int16_t(std::clamp<int32_t>(v, -32768, 32767));
}

// out = M x in (columns transformed), rounded by `shift`; `in` and `out` may not alias.
void ColumnPassPlain(const int16_t* in, int16_t* out, int shift)
{
    const auto& m = Forward().m;
    const int32_t round = 1 << (shift - 1);
    for (int u = 0; u < 8; ++u)
        for (int c = 0; c < 8; ++c) {
            int32_t sum = 0;
            for (int x = 0; x < 8; ++x) sum += int32_t(m[u][x]) * in[x * 8 + c];
            out[u * 8 + c] = Saturate16((sum + round) >> shift);
        }
}

void TransposePlain(const int16_t* in, int16_t* out)
{
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) out[c * 8 + r] = in[r * 8 + c];
}

inline void Transpose8x8(__m128i r[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]);
    const __m128i a1 = _mm_unpackhi_epi16(r[0], r[1]);
    const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]);
    const __m128i a3 = _mm_unpackhi_epi16(r[2], r[3]);
    const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]);
    const __m128i a5 = _mm_unpackhi_epi16(r[4], r[5]);
    const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]);
    const __m128i a7 = _mm_unpackhi_epi16(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2);
    const __m128i b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3);
    const __m128i b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6);
    const __m128i b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7);
    const __m128i b7 = _mm_unpackhi_epi32(a5, a7);
    r[0] = _mm_unpacklo_epi64(b0, b4);
    r[1] = _mm_unpackhi_epi64(b0, b4);
    r[2] = _mm_unpacklo_epi64(b1, b5);
    r[3] = _mm_unpackhi_epi64(b1, b5);
    r[4] = _mm_unpacklo_epi64(b2, b6);
    r[5] = _mm_unpackhi_epi64(b2, b6);
    r[6] = _mm_unpacklo_epi64(b3, b7);
    r[7] = _mm_unpackhi_epi64(b3, b7);
}

// Pairs of constants (m[u][2k], m[u][2k+1]) for _mm_madd_epi16, per u and k.
struct SPairTable {
    __m128i pair[8][4];
    SPairTable()
    {
        const auto& m = Forward().m;
        for (int u = 0; u < 8; ++u)
            for (int k = 0; k < 4; ++k) {
                const uint32_t lo = uint16_t(m[u][2 * k]);
                const uint32_t hi = uint16_t(m[u][2 * k + 1]);
                pair[u][k] = _mm_set1_epi32(int32_t(lo | (hi << 16)));
            }
    }
};

const SPairTable& Pairs()
{
    static const SPairTable table;
    return table;
}

inline void ColumnPassSse2(const __m128i in[8], __m128i out[8], int shift)
{
    const auto& pairs = Pairs().pair;
    __m128i lo[4], hi[4];
    for (int k = 0; k < 4; ++k) {
        lo[k] = _mm_unpacklo_epi16(in[2 * k], in[2 * k + 1]);
        hi[k] = _mm_unpackhi_epi16(in[2 * k], in[2 * k + 1]);
    }
    const __m128i round = _mm_set1_epi32(1 << (shift - 1));
    const __m128i count = _mm_cvtsi32_si128(shift);
    for (int u = 0; u < 8; ++u) {
        __m128i sumLo = round, sumHi = round;
        for (int k = 0; k < 4; ++k) {
            sumLo = _mm_add_epi32(sumLo, _mm_madd_epi16(lo[k], pairs[u][k]));
            sumHi = _mm_add_epi32(sumHi, _mm_madd_epi16(hi[k], pairs[u][k]));
        }
        out[u] = _mm_packs_epi32(_mm_sra_epi32(sumLo, count), _mm_sra_epi32(sumHi, count));
    }
}

bool HaveSse2()
{
    static const bool have = __builtin_cpu_supports("sse2");
    return have;
}

// cos((2x + 1) u pi / 16) x c(u) / 2 for the inverse transform.
struct SInverseTable {
    double m[8][8];
    SInverseTable()
    {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                m[u][x] = (u == 0 ? std::sqrt(0.5) : 1.0) / 2.0 * std::cos((2 * x + 1) * u * M_PI / 16.0);
    }
};

const SInverseTable& Inverse()
{
    static const SInverseTable table;
    return table;
}

}  // namespace

void ForwardDctPlain(int16_t block[64])
{
    int16_t a[64], b[64];
    ColumnPassPlain(block, a, firstShift);
    TransposePlain(a, b);
    ColumnPassPlain(b, a, secondShift);
    TransposePlain(a, block);
}

void ForwardDctSse2(int16_t block[64])
{
    __m128i r[8], t[8];
    for (int i = 0; i < 8; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * i));
    ColumnPassSse2(r, t, firstShift);
    Transpose8x8(t);
    ColumnPassSse2(t, r, secondShift);
    Transpose8x8(r);
    for (int i = 0; i < 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), r[i]);
}

void ForwardDct(int16_t block[64])
{
    if (HaveSse2())
        ForwardDctSse2(block);
    else
        ForwardDctPlain(block);
}

void InverseDct(const int16_t coefficients[64], int16_t out[64])
{
    bool nothing = coefficients[63] == 0 || coefficients[63] == 1;
    for (int i = 0; i < 63 && nothing; ++i) nothing = coefficients[i] == 0;
    if (nothing) {
        std::fill(out, out + 64, int16_t(0));
        return;
    }
    const auto& m = Inverse().m;
    // Rows: tmp[v][x] = sum_u F[v][u] m[u][x]; columns: f[y][x] = sum_v m[v][y] tmp[v][x].
    // Zero coefficients and zero rows are skipped: adding 0.0 changes no sum, so the
    // result is that of the full computation.
    double tmp[8][8];
    bool rowUsed[8];
    for (int v = 0; v < 8; ++v) {
        rowUsed[v] = false;
        for (int x = 0; x < 8; ++x) tmp[v][x] = 0.0;
        for (int u = 0; u < 8; ++u) {
            const int16_t c = coefficients[v * 8 + u];
            if (c == 0) continue;
            rowUsed[v] = true;
            for (int x = 0; x < 8; ++x) tmp[v][x] += c * m[u][x];
        }
    }
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            double s = 0.0;
            for (int v = 0; v < 8; ++v)
                if (rowUsed[v]) s += m[v][y] * tmp[v][x];
            const double r = std::floor(s + 0.5);
            out[y * 8 + x] = int16_t(std::clamp(r, -256.0, 255.0));
        }
}
