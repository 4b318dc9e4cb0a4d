#include "mpeg2enc/BlockCoding.h"

#include "mpeg2enc/BitWriter.h"
#include "mpeg2enc/EncoderKernels.h"
#include "mpeg2enc/VlcTables.h"

#include <emmintrin.h>
#include <immintrin.h>

#include <cstdlib>

namespace {

// The coefficient codes with their sign bit as one value: for table t, run 0..31 and
// magnitude 1..40, `bits` is the code shifted left by one (the sign goes below) and
// `length` the code's length plus one; length 0 marks a pair that must be escaped.
struct SCoefficientCodes {
    uint32_t bits[2][32][41];
    uint8_t length[2][32][41];
    // For scan o (0: alternate, 1: zigzag), byte k of a raster-order mask (positions
    // 8k..8k+7) and its value b, the scan positions of the set bits as a mask.
    uint64_t scanBits[2][8][256];
    SCoefficientCodes()
    {
        for (int t = 0; t < 2; ++t)
            for (int run = 0; run < 32; ++run)
                for (int level = 0; level < 41; ++level) {
                    const SVlc code = level ? VlcCoefficient(t, run, level) : SVlc{0, 0};
                    bits[t][run][level] = uint32_t(code.code) << 1;
                    length[t][run][level] = code.length ? uint8_t(code.length + 1) : uint8_t(0);
                }
        for (int o = 0; o < 2; ++o) {
            const auto& order = o ? zigzagScan : alternateScan;
            uint8_t scanIndexOf[64];  // raster position -> scan position
            for (int i = 0; i < 64; ++i) scanIndexOf[order[size_t(i)]] = uint8_t(i);
            for (int k = 0; k < 8; ++k)
                for (int b = 0; b < 256; ++b) {
                    scanBits[o][k][b] = 0;
                    for (int bit = 0; bit < 8; ++bit)
                        if (b & (1 << bit)) scanBits[o][k][b] |= uint64_t(1) << scanIndexOf[8 * k + bit];
                }
        }
    }
};

// Inlined into the writers, so that each block pays one test of the guard, not a call.
__attribute__((always_inline)) inline const SCoefficientCodes& Codes()
{
    static const SCoefficientCodes codes;
    return codes;
}

// One (run, level) pair: its code and sign in one write, or the escape (prefix, 6-bit
// run and 12-bit level) in one 24-bit write.
inline void PutCoefficient(CBitWriter& writer, const SCoefficientCodes& codes, int table, int run, int level)
{
    const int magnitude = std::abs(level);
    if (magnitude <= 40 && run <= 31) {
        const int length = codes.length[table][run][magnitude];
        if (length) {
            writer.PutWholeBits(codes.bits[table][run][magnitude] | (level < 0 ? 1u : 0u), length);
            return;
        }
    }
    writer.PutWholeBits(
        (uint32_t(vlcCoefficientEscape.code) << 18) | (uint32_t(run & 63) << 12) | (uint32_t(level) & 0xFFF), 24);
}

// ScanOrderMask with the tables at hand (`order` 0: alternate, 1: zigzag).
inline uint64_t ScanMask(uint64_t raster, const SCoefficientCodes& codes, int order)
{
    uint64_t scan = 0;
    for (int k = 0; k < 8; ++k) scan |= codes.scanBits[order][k][(raster >> (8 * k)) & 0xFF];
    return scan;
}

// The raster position of each scan position.
inline const uint8_t* ScanOrder(bool zigzag) { return zigzag ? zigzagScan.data() : alternateScan.data(); }

inline void WriteDc(CBitWriter& writer, int level, int component, int& dcPredictor)
{
    const int difference = level - dcPredictor;
    dcPredictor = level;
    int size = 0;
    for (int m = std::abs(difference); m; m >>= 1) ++size;
    const SVlc sizeCode = component == 0 ? VlcDcSizeLuma(size) : VlcDcSizeChroma(size);
    writer.PutBits(sizeCode.code, sizeCode.length);
    if (size > 0) writer.PutBits(uint32_t(difference < 0 ? (1 << size) + difference - 1 : difference), size);
}

}  // namespace

uint64_t NonZeroMaskPlain(const int16_t levels[64])
{
    uint64_t mask = 0;
    for (int i = 0; i < 64; ++i)
        if (levels[i] != 0) mask |= uint64_t(1) << i;
    return mask;
}

uint64_t NonZeroMaskSse2(const int16_t levels[64])
{
    // 16 values per step: compare with zero, pack the two 16-bit results to bytes, take
    // one bit per byte, invert.
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int i = 0; i < 64; i += 16) {
        const __m128i a = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + i)), zero);
        const __m128i b = _mm_cmpeq_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(levels + i + 8)), zero);
        zeros |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_packs_epi16(a, b)))) << i;
    }
    return ~zeros;
}

__attribute__((target("avx2"))) uint64_t NonZeroMaskAvx2(const int16_t levels[64])
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i* p = reinterpret_cast<const __m256i*>(levels);
    uint64_t zeros = 0;
    for (int i = 0; i < 2; ++i) {
        const __m256i a = _mm256_cmpeq_epi16(_mm256_loadu_si256(p + 2 * i), zero);
        const __m256i b = _mm256_cmpeq_epi16(_mm256_loadu_si256(p + 2 * i + 1), zero);
        // packs per 128-bit lane: [a 0..7, b 0..7 | a 8..15, b 8..15] -> values in order
        const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packs_epi16(a, b), 0xD8);
        zeros |= uint64_t(uint32_t(_mm256_movemask_epi8(bytes))) << (32 * i);
    }
    return ~zeros;
}

uint64_t NonZeroMask(const int16_t levels[64]) { return EncoderKernels().nonZeroMask(levels); }

uint64_t ScanOrderMask(uint64_t rasterMask, bool zigzag) { return ScanMask(rasterMask, Codes(), zigzag ? 1 : 0); }

void WriteAddressIncrement(CBitWriter& writer, int increment)
{
    while (increment > 33) {
        writer.PutBits(vlcMacroblockEscape.code, vlcMacroblockEscape.length);
        increment -= 33;
    }
    const SVlc code = VlcAddressIncrement(increment);
    writer.PutBits(code.code, code.length);
}

void WriteMotionDifference(CBitWriter& writer, int delta)
{
    constexpr int rSize = 4;  // f_code 5
    constexpr int span = 16 << rSize;
    if (delta > span - 1) delta -= 2 * span;
    if (delta < -span) delta += 2 * span;
    const int magnitude = std::abs(delta);
    const int code = (magnitude + (1 << rSize) - 1) >> rSize;
    const SVlc vlc = VlcMotionCode(code);
    writer.PutBits(vlc.code, vlc.length);
    if (code != 0) {
        writer.PutBits(delta < 0 ? 1 : 0, 1);
        writer.PutBits(uint32_t((magnitude + (1 << rSize) - 1) & ((1 << rSize) - 1)), rSize);
    }
}

void WriteIntraBlockPlain(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                          bool zigzag)
{
    const uint8_t* order = ScanOrder(zigzag);
    const int difference = levels[0] - dcPredictor;
    dcPredictor = levels[0];
    int size = 0;
    for (int m = std::abs(difference); m; m >>= 1) ++size;
    const SVlc sizeCode = component == 0 ? VlcDcSizeLuma(size) : VlcDcSizeChroma(size);
    writer.PutBits(sizeCode.code, sizeCode.length);
    if (size > 0) writer.PutBits(uint32_t(difference < 0 ? (1 << size) + difference - 1 : difference), size);
    int run = 0;
    for (int i = 1; i < 64; ++i) {
        const int level = levels[order[i]];
        if (level == 0) {
            ++run;
            continue;
        }
        const SVlc code = VlcCoefficient(table, run, std::abs(level));
        if (code.length) {
            writer.PutBits(code.code, code.length);
            writer.PutBits(level < 0 ? 1 : 0, 1);
        } else {
            writer.PutBits(vlcCoefficientEscape.code, vlcCoefficientEscape.length);
            writer.PutBits(uint32_t(run), 6);
            writer.PutBits(uint32_t(level) & 0xFFF, 12);
        }
        run = 0;
    }
    const SVlc eob = VlcEndOfBlock(table);
    writer.PutBits(eob.code, eob.length);
}

void WriteNonIntraBlockPlain(CBitWriter& writer, const int16_t levels[64], bool zigzag)
{
    const uint8_t* order = ScanOrder(zigzag);
    int run = 0;
    bool first = true;
    for (int i = 0; i < 64; ++i) {
        const int level = levels[order[i]];
        if (level == 0) {
            ++run;
            continue;
        }
        const int magnitude = std::abs(level);
        if (first && run == 0 && magnitude == 1) {
            writer.PutBits(level < 0 ? 3 : 2, 2);  // "1s"
        } else {
            const SVlc code = VlcCoefficient(0, run, magnitude);
            if (code.length) {
                writer.PutBits(code.code, code.length);
                writer.PutBits(level < 0 ? 1 : 0, 1);
            } else {
                writer.PutBits(vlcCoefficientEscape.code, vlcCoefficientEscape.length);
                writer.PutBits(uint32_t(run), 6);
                writer.PutBits(uint32_t(level) & 0xFFF, 12);
            }
        }
        first = false;
        run = 0;
    }
    const SVlc eob = VlcEndOfBlock(0);
    writer.PutBits(eob.code, eob.length);
}

namespace {

// The fast writers: the scan positions of the non-zero levels come from a mask, runs
// are the gaps between set bits, and each code goes out with its sign in one write.
template <uint64_t (*Mask)(const int16_t*)>
void WriteIntraByMask(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                      bool zigzag)
{
    const SCoefficientCodes& codes = Codes();
    const uint8_t* order = ScanOrder(zigzag);
    WriteDc(writer, levels[0], component, dcPredictor);
    const int t = table ? 1 : 0;
    int last = 0;
    for (uint64_t scan = ScanMask(Mask(levels), codes, zigzag ? 1 : 0) & ~uint64_t(1); scan; scan &= scan - 1) {
        const int position = __builtin_ctzll(scan);
        PutCoefficient(writer, codes, t, position - last - 1, levels[order[position]]);
        last = position;
    }
    const SVlc eob = VlcEndOfBlock(table);
    writer.PutWholeBits(eob.code, eob.length);
}

template <uint64_t (*Mask)(const int16_t*)>
void WriteNonIntraByMask(CBitWriter& writer, const int16_t levels[64], bool zigzag)
{
    const SCoefficientCodes& codes = Codes();
    const uint8_t* order = ScanOrder(zigzag);
    uint64_t scan = ScanMask(Mask(levels), codes, zigzag ? 1 : 0);
    int last = -1;
    if (scan & 1) {
        // The first coefficient at scan position 0 with magnitude 1 has the short form "1s".
        const int level = levels[order[0]];
        if (level == 1 || level == -1)
            writer.PutWholeBits(level < 0 ? 3 : 2, 2);
        else
            PutCoefficient(writer, codes, 0, 0, level);
        last = 0;
        scan &= scan - 1;
    }
    for (; scan; scan &= scan - 1) {
        const int position = __builtin_ctzll(scan);
        PutCoefficient(writer, codes, 0, position - last - 1, levels[order[position]]);
        last = position;
    }
    writer.PutWholeBits(0x2, 2);  // end of block, table B.14
}

}  // namespace

void WriteIntraBlockSse2(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                         bool zigzag)
{
    WriteIntraByMask<NonZeroMaskSse2>(writer, levels, component, dcPredictor, table, zigzag);
}

void WriteIntraBlockAvx2(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                         bool zigzag)
{
    WriteIntraByMask<NonZeroMaskAvx2>(writer, levels, component, dcPredictor, table, zigzag);
}

void WriteNonIntraBlockSse2(CBitWriter& writer, const int16_t levels[64], bool zigzag)
{
    WriteNonIntraByMask<NonZeroMaskSse2>(writer, levels, zigzag);
}

void WriteNonIntraBlockAvx2(CBitWriter& writer, const int16_t levels[64], bool zigzag)
{
    WriteNonIntraByMask<NonZeroMaskAvx2>(writer, levels, zigzag);
}

void WriteIntraBlock(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                     bool zigzag)
{
    EncoderKernels().writeIntraBlock(writer, levels, component, dcPredictor, table, zigzag);
}

void WriteNonIntraBlock(CBitWriter& writer, const int16_t levels[64], bool zigzag)
{
    EncoderKernels().writeNonIntraBlock(writer, levels, zigzag);
}
