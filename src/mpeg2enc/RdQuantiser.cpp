#include "mpeg2enc/RdQuantiser.h"

#include "mpeg2enc/BlockCoding.h"
#include "mpeg2enc/EncoderKernels.h"
#include "mpeg2enc/VlcTables.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

void ShrinkBlockPlain(const int16_t coefficients[64], const int16_t shrink[64], int16_t out[64])
{
    for (int i = 0; i < 64; ++i) {
        const int c = coefficients[i];
        const int m = std::max(std::abs(c) - shrink[i], 0);
        out[i] = int16_t(c < 0 ? -m : m);
    }
}

// The vector routines work modulo 2^16 as the plain routine's conversion to int16_t does.
// |C| is taken as an unsigned 16-bit value (-32768 gives 32768); a shrink s >= 0 is a
// saturating unsigned subtraction, which is max(|C| - s, 0); a negative one a wrapping
// subtraction (the result is positive before the wrap).
void ShrinkBlockSse2(const int16_t coefficients[64], const int16_t shrink[64], int16_t out[64])
{
    for (int i = 0; i < 64; i += 8) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(coefficients + i));
        const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(shrink + i));
        const __m128i sign = _mm_srai_epi16(c, 15);
        const __m128i magnitude = _mm_sub_epi16(_mm_xor_si128(c, sign), sign);
        const __m128i grow = _mm_srai_epi16(s, 15);
        const __m128i m = _mm_or_si128(_mm_and_si128(grow, _mm_sub_epi16(magnitude, s)),
                                       _mm_andnot_si128(grow, _mm_subs_epu16(magnitude, s)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_sub_epi16(_mm_xor_si128(m, sign), sign));
    }
}

__attribute__((target("avx2"))) void ShrinkBlockAvx2(const int16_t coefficients[64], const int16_t shrink[64],
                                                     int16_t out[64])
{
    for (int i = 0; i < 64; i += 16) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(coefficients + i));
        const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(shrink + i));
        const __m256i sign = _mm256_srai_epi16(c, 15);
        const __m256i magnitude = _mm256_abs_epi16(c);
        const __m256i m = _mm256_blendv_epi8(_mm256_subs_epu16(magnitude, s), _mm256_sub_epi16(magnitude, s),
                                             _mm256_srai_epi16(s, 15));
        // Not _mm256_sign_epi16: a zero coefficient grown by a negative shrink stays positive.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_sub_epi16(_mm256_xor_si256(m, sign), sign));
    }
}

void CRdQuantiser::Build(const CQuantiser& quantiser, const SSettings& newSettings)
{
    base = &quantiser;
    settings = newSettings;
    const uint8_t* intraW = quantiser.IntraMatrix();
    const uint8_t* nonIntraW = quantiser.NonIntraMatrix();
    for (int q = 1; q <= CQuantiser::maxQuantiser; ++q) {
        for (int i = 0; i < 64; ++i) {
            // A step is q W / 16; the shrink is a number of sixteenths of it.
            intraShrink[q][i] = int16_t(settings.intraShrink * q * intraW[i] / (16 * kFractionUnit));
            nonIntraShrink[q][i] = int16_t(settings.nonIntraShrink * q * nonIntraW[i] / (16 * kFractionUnit));
            levelOne[q][i] = 3 * q * nonIntraW[i] / 32;
            intraOne[q][i] = q * intraW[i] / 16;
        }
        intraShrink[q][0] = 0;
        weight[q] = settings.lambda * double(q) * double(q);
        blockWeight[q] = settings.blockLambda * double(q) * double(q);
        // Whole gains lie far within +-2^30, so a ceiling beyond it decides as the real
        // product does.
        for (int saved = kSavedMin; saved <= kSavedMax; ++saved)
            dropThreshold[q][saved - kSavedMin] =
                int32_t(std::clamp(std::ceil(weight[q] * saved), -1073741824.0, 1073741824.0));
    }
    for (int table = 0; table < 2; ++table)
        for (int run = 0; run <= 64; ++run)
            for (int level = 1; level <= kEscapeLevel; ++level)
                codeBits[table][run][level] = uint8_t(CodeBits(table, run, level));
}

void CRdQuantiser::QuantiseIntra(const int16_t coefficients[64], int16_t levels[64], int q, int table) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    alignas(32) int16_t shrunk[64];
    EncoderKernels().shrinkBlock(coefficients, intraShrink[q], shrunk);
    base->QuantiseIntra(shrunk, levels, q);
    SCoded coded;
    CodedPositions(NonZeroMask(levels), coded);
    coded.position[0] = 0;  // the DC position: AC runs count from it
    SWeight unused;
    DropLevels<false>(coefficients, levels, q, table ? 1 : 0, intraOne[q], 1, coded, unused);
}

bool CRdQuantiser::QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    alignas(32) int16_t shrunk[64];
    EncoderKernels().shrinkBlock(coefficients, nonIntraShrink[q], shrunk);
    const uint64_t nonZero = base->NonIntraLevels(shrunk, levels, q);
    if (nonZero == 0) return false;
    // The base quantiser's test of small blocks looks at these levels, before the
    // decisions below change them; it is asked last, as only a kept block needs it.
    alignas(32) int16_t quantised[64];
    const bool smallTest = levels[0] == 0;
    if (smallTest) std::memcpy(quantised, levels, sizeof quantised);
    // The coded positions are found once: the level decision removes the ones it drops
    // and the block decision weighs the rest.
    SCoded coded;
    CodedPositions(nonZero, coded);
    coded.position[0] = -1;
    SWeight weight;
    DropLevels<true>(coefficients, levels, q, 0, levelOne[q], 0, coded, weight);
    if (coded.count == 0 || !KeepWeighed(weight, levels, q)) return false;
    if (smallTest && base->RoundsAway(quantised, nonZero)) {
        std::memset(levels, 0, 64 * sizeof(int16_t));
        return false;
    }
    return true;
}

bool CRdQuantiser::KeepBlock(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    SCoded coded;
    CodedPositions(NonZeroMask(levels), coded);
    coded.position[0] = -1;
    return KeepCoded(coefficients, levels, q, coded);
}

namespace {

// A level's error reduction in 1/1024ths: with R = 32 x its reconstruction
// (2 |level| + 1) q W / 32, c^2 - (c - R / 32)^2 = R (64 c - R) / 1024, held at -2^56 (see
// KeepWeighed).
inline int64_t LevelGain(int c, int magnitude, int product)
{
    const int32_t r = (2 * magnitude + 1) * product;
    return std::max(int64_t(r) * (64 * c - r), -(int64_t(1) << 56));
}

}  // namespace

bool CRdQuantiser::KeepCoded(const int16_t coefficients[64], int16_t levels[64], int q, const SCoded& coded) const
{
    if (coded.count == 0) return false;
    const uint8_t* w = base->NonIntraMatrix();
    const uint8_t(*bits)[kLevelIndices] = codeBits[0];
    const int* position = coded.position + coded.start;
    SWeight weight;
    for (int k = 1; k <= coded.count; ++k) {
        const int s = position[k];
        const int raster = zigzagScan[size_t(s)];
        const int magnitude = std::abs(levels[raster]);
        weight.gain += LevelGain(std::abs(coefficients[raster]), magnitude, q * w[raster]);
        weight.bits += bits[s - position[k - 1] - 1][std::min(magnitude, kEscapeLevel)];
    }
    return KeepWeighed(weight, levels, q);
}

// The same decision in doubles (the sum of c^2 - e^2 with e = c - R / 32) is exact: each
// square and partial sum stays below 2^53 1/1024ths, unless a partial sum falls below
// -2^52 (positive terms are at most 1024 c^2 <= 2^40 each). There, and where a term is
// held at -2^56, both sums lie far below any threshold and the block is dropped either
// way. Comparing gain / 1024 with a double product is comparing gain with 1024 times it.
bool CRdQuantiser::KeepWeighed(const SWeight& weight, int16_t levels[64], int q) const
{
    if (double(weight.gain) >= 1024.0 * (blockWeight[q] * (weight.bits + 2))) return true;  // 2: end of block
    std::memset(levels, 0, 64 * sizeof(int16_t));
    return false;
}

int CRdQuantiser::CodeBits(int table, int run, int level)
{
    const SVlc code = VlcCoefficient(table, run, std::abs(level));
    return code.length ? code.length + 1 : 24;
}

void CRdQuantiser::CodedPositions(uint64_t nonZero, SCoded& coded)
{
    // The scan positions of the non-zero levels, lowest first.
    uint64_t scanMask = ScanOrderMask(nonZero, true);
    int count = 0;
    for (; scanMask; scanMask &= scanMask - 1) coded.position[++count] = __builtin_ctzll(scanMask);
    coded.start = 0;
    coded.count = count;
}

int CRdQuantiser::DropCheapLevels(const int16_t coefficients[64], int16_t levels[64], int q) const
{
    q = std::clamp(q, 1, int(CQuantiser::maxQuantiser));
    SCoded coded;
    CodedPositions(NonZeroMask(levels), coded);
    coded.position[0] = -1;
    SWeight unused;
    return DropLevels<false>(coefficients, levels, q, 0, levelOne[q], 0, coded, unused);
}

template <bool kWeigh>
int CRdQuantiser::DropLevels(const int16_t coefficients[64], int16_t levels[64], int q, int table,
                             const int32_t one[64], int first, SCoded& coded, SWeight& weight) const
{
    const uint8_t(*bits)[kLevelIndices] = codeBits[table];
    const int32_t* threshold = dropThreshold[q] - kSavedMin;
    const uint8_t* w = base->NonIntraMatrix();
    int* position = coded.position;  // start 0
    const int count = coded.count;
    // position[0..stop] are not looked at: the one before the first coded position, and
    // a coded position before `first` (the intra DC).
    const int stop = count > 0 && position[1] < first ? 1 : 0;
    int kept = count + 1;  // the kept positions looked at fill position[kept..count]
    // The nearest kept level after the one looked at: its position and level index. At
    // first there is none: level index 0 costs nothing at any run.
    int next = 64;
    int following = 0;
    for (int k = count; k > stop; --k) {
        const int s = position[k];
        const int raster = zigzagScan[size_t(s)];
        const int level = levels[raster];
        const int magnitude = std::abs(level);
        const int c = std::abs(coefficients[raster]);
        // Bits a level of 1 saves: its own code, and the next level's code with its run
        // against the same level after the longer run. Weighed for every level, so that
        // the only branch is the drop itself, not whether the level is 1 as well. (Taking
        // the branch out measured slower: the choice then waits on the table loads of the
        // level after it.)
        const int previous = position[k - 1];
        const int nextBits = bits[next - s - 1][following];
        const int saved = bits[s - previous - 1][1] + nextBits - bits[next - previous - 1][following];
        // The squared error a level of 1 removes, c^2 - (c - one)^2, is a whole number
        // (below 2^26): exactly the value the same expression has in doubles; and a whole
        // number is below a real product exactly when it is below its ceiling.
        if (int(magnitude == 1) & int(one[raster] * (2 * c - one[raster]) < threshold[saved])) {
            levels[raster] = 0;
            continue;
        }
        if constexpr (kWeigh) {
            // The next kept level's code with its run from this one, and this level's gain.
            weight.bits += nextBits;
            weight.gain += LevelGain(c, magnitude, q * w[raster]);
        }
        next = s;
        following = std::min(magnitude, kEscapeLevel);
        position[--kept] = s;  // kept > k: no position still to be read is overwritten
    }
    if constexpr (kWeigh) weight.bits += bits[next - position[stop] - 1][following];  // the first kept level's code
    // position[0..stop] go right before the kept ones.
    const int dropped = kept - stop - 1;
    for (int k = stop; k >= 0; --k) position[k + dropped] = position[k];
    coded.start = dropped;
    coded.count = count - dropped;
    return dropped;
}
