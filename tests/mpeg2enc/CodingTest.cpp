// Bit writer, code tables, block writers and quantisation.
#include "mpeg2enc/BitWriter.h"
#include "mpeg2enc/BlockCoding.h"
#include "mpeg2enc/Dct.h"
#include "mpeg2enc/Quantiser.h"
#include "mpeg2enc/VlcTables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// Collects what a writer produced as a string of '0' and '1'.
struct SBits {
    std::vector<uint8_t> buffer = std::vector<uint8_t>(4096, 0xAA);
    CBitWriter writer;
    SBits() { writer.Attach(buffer.data(), buffer.size()); }
    std::string Take()
    {
        const uint64_t bits = writer.BitCount();
        const size_t end = writer.Finish();
        std::string s;
        for (uint64_t i = 0; i < bits; ++i) s += (buffer[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
        EXPECT_EQ(end, (bits + 7) / 8);
        return s;
    }
};

std::string Code(SVlc v)
{
    std::string s;
    for (int i = v.length - 1; i >= 0; --i) s += (v.code >> i) & 1 ? '1' : '0';
    return s;
}

// True when no code of the list is a prefix of another (the decoder could not tell them
// apart otherwise).
bool PrefixFree(const std::vector<std::string>& codes)
{
    for (size_t i = 0; i < codes.size(); ++i)
        for (size_t j = 0; j < codes.size(); ++j)
            if (i != j && codes[j].compare(0, codes[i].size(), codes[i]) == 0) return false;
    return true;
}

}  // namespace

TEST(BitWriter, StoresBigEndianWordsAndEndsOnTheLastByte)
{
    std::vector<uint8_t> buffer(64, 0xEE);
    CBitWriter w;
    w.Attach(buffer.data(), buffer.size());
    w.PutBits(0x5, 3);  // 101
    w.PutBits(0xFFFFFFFF, 32);  // 32 ones, crossing the first word
    w.PutBits(0x12345678, 32);
    w.PutBits(0x3, 2);
    EXPECT_EQ(w.BitCount(), 69u);
    const size_t end = w.Finish();
    EXPECT_EQ(end, 9u);  // 69 bits end in byte 9
    const uint8_t expected[] = {0xBF, 0xFF, 0xFF, 0xFF, 0xE2, 0x46, 0x8A, 0xCF, 0x18};
    EXPECT_EQ(std::memcmp(buffer.data(), expected, sizeof expected), 0);
    EXPECT_EQ(buffer[9], 0);  // the padding of the last word is zero
    // After Finish the writer starts again at the buffer start.
    w.PutStartCode(0x1B3);
    w.Finish();
    EXPECT_EQ(buffer[3], 0xB3);
}

TEST(BitWriter, NeverWritesPastItsBuffer)
{
    std::vector<uint8_t> buffer(16, 0);
    buffer.resize(24, 0x77);  // guard bytes beyond the 16 given to the writer
    CBitWriter w;
    w.Attach(buffer.data(), 16);
    for (int i = 0; i < 10; ++i) w.PutBits(0xFFFFFFFF, 32);
    EXPECT_TRUE(w.overflowed);
    for (size_t i = 16; i < 24; ++i) EXPECT_EQ(buffer[i], 0x77);
}

TEST(CodeTables, EveryTableIsPrefixFree)
{
    std::vector<std::string> increments{Code(vlcMacroblockEscape)};
    for (int i = 1; i <= 33; ++i) increments.push_back(Code(VlcAddressIncrement(i)));
    EXPECT_TRUE(PrefixFree(increments));
    std::vector<std::string> patterns, motion, lumaDc, chromaDc;
    for (int p = 1; p <= 63; ++p) patterns.push_back(Code(VlcCodedBlockPattern(p)));
    for (int m = 0; m <= 16; ++m) motion.push_back(Code(VlcMotionCode(m)) + (m ? "0" : ""));
    for (int s = 0; s <= 11; ++s) lumaDc.push_back(Code(VlcDcSizeLuma(s)));
    for (int s = 0; s <= 11; ++s) chromaDc.push_back(Code(VlcDcSizeChroma(s)));
    EXPECT_TRUE(PrefixFree(patterns));
    EXPECT_TRUE(PrefixFree(motion));
    EXPECT_TRUE(PrefixFree(lumaDc));
    EXPECT_TRUE(PrefixFree(chromaDc));
    for (int table = 0; table < 2; ++table) {
        std::vector<std::string> coefficients{Code(VlcEndOfBlock(table)), Code(vlcCoefficientEscape)};
        int pairs = 0;
        for (int run = 0; run < 32; ++run)
            for (int level = 1; level <= 40; ++level) {
                const SVlc v = VlcCoefficient(table, run, level);
                if (!v.length) continue;
                coefficients.push_back(Code(v) + "0");
                ++pairs;
            }
        EXPECT_EQ(pairs, 111) << "table " << table;
        EXPECT_TRUE(PrefixFree(coefficients)) << "table " << table;
    }
    // The two scans are permutations of the 64 positions.
    for (const auto* scan : {&zigzagScan, &alternateScan}) {
        std::vector<int> seen(64, 0);
        for (uint8_t p : *scan) ++seen[p];
        for (int c : seen) EXPECT_EQ(c, 1);
    }
    EXPECT_EQ(alternateScan[1], 8);  // the alternate scan goes down the first column first
    EXPECT_EQ(zigzagScan[2], 8);
}

TEST(BlockCoding, AddressIncrementsAboveThirtyThreeUseEscapes)
{
    SBits b;
    WriteAddressIncrement(b.writer, 41);
    EXPECT_EQ(b.Take(),
              "00000001000"
              "0000111");  // escape + increment 8
    SBits c;
    WriteAddressIncrement(c.writer, 67);
    EXPECT_EQ(c.Take(),
              "00000001000"
              "00000001000"
              "1");
    SBits d;
    WriteAddressIncrement(d.writer, 66);  // 33 + 33: one escape, then the code of 33
    EXPECT_EQ(d.Take(),
              "00000001000"
              "00000011000");
}

TEST(BlockCoding, MotionDifferencesWrapIntoTheFCodeRange)
{
    SBits a;
    WriteMotionDifference(a.writer, 0);
    EXPECT_EQ(a.Take(), "1");
    SBits b;
    WriteMotionDifference(b.writer, -17);  // code 2, sign 1, residual (17 + 15) & 15 = 0
    EXPECT_EQ(b.Take(),
              "001"
              "1"
              "0000");
    SBits c;
    WriteMotionDifference(c.writer, 300);  // wraps to -212: code 14, residual 3
    EXPECT_EQ(c.Take(),
              "0000001110"
              "1"
              "0011");
}

TEST(BlockCoding, IntraLevelOf2047IsEscapedInPPictures)
{
    int16_t levels[64] = {};
    levels[0] = 5;
    levels[alternateScan[1]] = 2047;
    levels[alternateScan[3]] = -2047;
    SBits b;
    int dc = 5;
    WriteIntraBlock(b.writer, levels, 0, dc, 0);
    // DC difference 0 (size code "100"); escape, run 0, level 2047; escape, run 1, -2047;
    // end of block "10" of table B.14.
    EXPECT_EQ(b.Take(),
              "100"
              "000001"
              "000000"
              "011111111111"
              "000001"
              "000001"
              "100000000001"
              "10");
}

TEST(BlockCoding, FlatGreyIntraBlockIsDcSizeZeroAndEndOfBlock)
{
    int16_t levels[64] = {};
    SBits b;
    int dc = 0;
    WriteIntraBlock(b.writer, levels, 1, dc, 1);
    EXPECT_EQ(b.Take(),
              "00"
              "0110");  // chroma size 0, end of block of table B.15
    // A negative DC difference: -3 has size 2 and is written as (1 << 2) - 3 - 1 = 0.
    levels[0] = -3;
    SBits c;
    dc = 0;
    WriteIntraBlock(c.writer, levels, 0, dc, 1);
    EXPECT_EQ(c.Take(),
              "01"
              "00"
              "0110");
    EXPECT_EQ(dc, -3);
}

TEST(BlockCoding, NonIntraFirstCoefficientUsesTheShortCode)
{
    int16_t levels[64] = {};
    levels[0] = -1;
    levels[alternateScan[1]] = 1;
    SBits b;
    WriteNonIntraBlock(b.writer, levels);
    EXPECT_EQ(b.Take(),
              "11"
              "110"
              "10");  // "1s" first, then "11s", end of block
}

TEST(BlockCoding, ZigzagScanSendsTheLevelsInZigzagOrder)
{
    // Levels at the second and third zigzag positions (raster 1 and 8) and one far out:
    // sent in the zigzag scan they come out as the same levels placed at the same scan
    // positions of the alternate scan would.
    int16_t levels[64] = {};
    levels[zigzagScan[1]] = 3;
    levels[zigzagScan[2]] = -1;
    levels[zigzagScan[40]] = 2;
    int16_t moved[64] = {};
    for (int i = 0; i < 64; ++i) moved[alternateScan[size_t(i)]] = levels[zigzagScan[size_t(i)]];
    for (bool intra : {false, true}) {
        levels[0] = moved[0] = intra ? 7 : 0;
        SBits zigzag, alternate;
        int dcA = 0, dcB = 0;
        if (intra) {
            WriteIntraBlock(zigzag.writer, levels, 0, dcA, 1, true);
            WriteIntraBlock(alternate.writer, moved, 0, dcB, 1);
        } else {
            WriteNonIntraBlock(zigzag.writer, levels, true);
            WriteNonIntraBlock(alternate.writer, moved);
        }
        const std::string bits = zigzag.Take();
        EXPECT_EQ(bits, alternate.Take()) << intra;
        // In the alternate scan the same raster levels read differently.
        SBits plain;
        int dcC = 0;
        if (intra)
            WriteIntraBlock(plain.writer, levels, 0, dcC, 1);
        else
            WriteNonIntraBlock(plain.writer, levels);
        EXPECT_NE(bits, plain.Take()) << intra;
    }
}

TEST(Quantiser, IntraQuantisationRoundsAndLimits)
{
    uint8_t intra[64], nonIntra[64];
    std::memcpy(intra, defaultIntraMatrix, 64);
    std::memset(nonIntra, 16, 64);
    CQuantiser q;
    q.Build(intra, nonIntra);
    int16_t c[64] = {}, l[64];
    c[0] = 6;  // 6 / 4 = 1.5 -> 2
    c[1] = 100;  // 16 x 100 / (4 x 16) + 3/8 = 25.375 -> 25
    c[8] = -22;  // -(16 x 22 / (4 x 16) + 3/8) = -5.875 -> -5
    q.QuantiseIntra(c, l, 4);
    EXPECT_EQ(l[0], 2);
    EXPECT_EQ(l[1], 25);
    EXPECT_EQ(l[8], -5);
    c[0] = -6;
    q.QuantiseIntra(c, l, 4);
    EXPECT_EQ(l[0], -2);

    // A matrix of ones makes levels that only the 12-bit escape could carry: limited.
    uint8_t ones[64];
    std::memset(ones, 1, 64);
    q.Build(ones, ones);
    c[1] = 2000;
    c[2] = -2000;
    q.QuantiseIntra(c, l, 2);
    EXPECT_EQ(l[1], 2047);
    EXPECT_EQ(l[2], -2047);
    EXPECT_TRUE(q.QuantiseNonIntra(c, l, 2));
    EXPECT_EQ(l[1], 2047);
    EXPECT_EQ(l[2], -2047);
}

// Lone small levels and pairs of ones take their keep-or-drop answer from tables worked
// out at start-up; they must agree with transforming the levels, at every position, for
// both signs, up to and past the tables' range, and with a second level beside the lone one.
TEST(Quantiser, SmallLevelShortcutsAgreeWithTransform)
{
    uint8_t intra[64], nonIntra[64];
    std::memcpy(intra, defaultIntraMatrix, 64);
    std::memset(nonIntra, 16, 64);
    CQuantiser q;
    q.Build(intra, nonIntra);
    int kept = 0, dropped = 0;
    for (int pos = 1; pos < 64; ++pos)
        for (int scale : {1, 2})
            for (int value = -26; value <= 26; ++value)
                for (int second : {0, 3}) {
                    alignas(32) int16_t c[64] = {}, a[64], b[64];
                    c[pos] = int16_t(value);
                    if (second) c[64 - pos] = int16_t(second);
                    const bool plain = q.QuantiseNonIntraPlain(c, a, scale);
                    const bool fast = q.QuantiseNonIntra(c, b, scale);
                    ASSERT_EQ(plain, fast) << "position " << pos << " value " << value << " q " << scale;
                    ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "position " << pos << " value " << value;
                    (plain ? kept : dropped)++;
                }
    // Both answers occur, so the comparison covered the drop and the keep path.
    EXPECT_GT(kept, 100);
    EXPECT_GT(dropped, 100);

    // Pairs of levels at every two positions: ones of either sign (the pair shortcut) and,
    // past the table, a one beside a two. At q 2 a coefficient of 2 gives a level of 1.
    kept = dropped = 0;
    for (int p = 1; p < 64; ++p)
        for (int r = p + 1; r < 64; ++r)
            for (const auto& [first, second] : {std::pair{2, 2}, {2, -2}, {-2, 2}, {-2, -2}, {2, 4}, {-4, -2}}) {
                alignas(32) int16_t c[64] = {}, a[64], b[64];
                c[p] = int16_t(first);
                c[r] = int16_t(second);
                const bool plain = q.QuantiseNonIntraPlain(c, a, 2);
                ASSERT_EQ(plain, q.QuantiseNonIntra(c, b, 2))
                    << "positions " << p << ", " << r << " coefficients " << first << ", " << second;
                ASSERT_EQ(0, std::memcmp(a, b, sizeof a)) << "positions " << p << ", " << r;
                (plain ? kept : dropped)++;
            }
    EXPECT_GT(kept, 1000);
    EXPECT_GT(dropped, 1000);
}

TEST(Quantiser, ZeroBlockTestDropsLoneHighFrequencyLevels)
{
    uint8_t intra[64], nonIntra[64];
    std::memcpy(intra, defaultIntraMatrix, 64);
    std::memset(nonIntra, 16, 64);
    CQuantiser q;
    q.Build(intra, nonIntra);
    int16_t c[64] = {}, l[64];
    EXPECT_FALSE(q.QuantiseNonIntra(c, l, 2));
    // A lone level of 1 at the highest frequency: its own transform rounds to zero.
    c[63] = 40;  // (16 x 40 + 8) / 32 = 20 -> too big; use a value giving level 1
    c[63] = 2;  // (32 + 8) x 4096 >> 17 = 1
    EXPECT_FALSE(q.QuantiseNonIntra(c, l, 2));
    for (int i = 0; i < 64; ++i) EXPECT_EQ(l[i], 0);
    // A DC level keeps the block.
    c[0] = 2;
    EXPECT_TRUE(q.QuantiseNonIntra(c, l, 2));
    // Strong AC alone survives the test.
    c[0] = 0;
    c[9] = 200;
    EXPECT_TRUE(q.QuantiseNonIntra(c, l, 2));
    EXPECT_EQ(l[9], (16 * 200 + 8) / 32);
}

TEST(Quantiser, InverseQuantisationAppliesMismatchControl)
{
    uint8_t intra[64], nonIntra[64];
    std::memcpy(intra, defaultIntraMatrix, 64);
    std::memset(nonIntra, 16, 64);
    CQuantiser q;
    q.Build(intra, nonIntra);
    int16_t l[64] = {}, c[64];
    l[0] = 3;  // DC 12, even sum -> coefficient 63 becomes 1
    q.DequantiseIntra(l, c, 8);
    EXPECT_EQ(c[0], 12);
    EXPECT_EQ(c[63], 1);
    l[1] = 3;  // 3 x 8 x 16 / 16 = 24: sum 36, still even
    q.DequantiseIntra(l, c, 8);
    EXPECT_EQ(c[1], 24);
    EXPECT_EQ(c[63], 1);
    int16_t n[64] = {};
    n[5] = -2;  // -(5 x 8 x 16 / 32) = -20, even -> toggle
    q.DequantiseNonIntra(n, c, 8);
    EXPECT_EQ(c[5], -20);
    EXPECT_EQ(c[63], 1);
    n[63] = 1;  // (3 x 8 x 16) / 32 = 12: sum -8, even: 12 -> 13
    q.DequantiseNonIntra(n, c, 8);
    EXPECT_EQ(c[63], 13);
    // Saturation before the parity check.
    int16_t big[64] = {};
    big[1] = 2047;
    q.DequantiseNonIntra(big, c, 28);
    EXPECT_EQ(c[1], 2047);
}

// A prediction error whose sum of squares is within NonIntraZeroSum(q) is not transformed:
// the transform of every such block must quantise to nothing. The hardest blocks for the
// bound put all their energy into one coefficient (a scaled cosine pattern) or one sample;
// noise and flat offsets are the common case. Tried at every quantiser with the flat
// matrix and with a matrix of small weights (the smallest coefficient that makes a level).
TEST(Quantiser, BlocksWithinTheZeroSumQuantiseToNothing)
{
    std::mt19937 rng(17);
    uint8_t intra[64], flat[64], fine[64];
    std::memcpy(intra, defaultIntraMatrix, 64);
    std::memset(flat, 16, 64);
    for (int i = 0; i < 64; ++i) fine[i] = uint8_t(i == 0 ? 1 : 8 + i);
    for (const uint8_t* matrix : {static_cast<const uint8_t*>(flat), static_cast<const uint8_t*>(fine)}) {
        CQuantiser q;
        q.Build(intra, matrix);
        for (int scale = 1; scale <= CQuantiser::maxQuantiser; ++scale) {
            const uint32_t limit = q.NonIntraZeroSum(scale);
            for (int trial = 0; trial < 60; ++trial) {
                double shape[64];
                const int kind = trial % 4;
                const int u = int(rng() % 8), v = int(rng() % 8);
                for (int i = 0; i < 64; ++i) {
                    const int x = i % 8, y = i / 8;
                    shape[i] = kind == 0 ? std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16)
                        : kind == 1      ? (i == u * 8 + v ? 1.0 : 0.0)
                        : kind == 2      ? 1.0
                                         : double(int(rng() % 511) - 255);
                }
                // The largest scale of the shape whose rounded samples stay within the limit.
                double low = 0.0, high = 300.0;
                alignas(32) int16_t block[64], levels[64];
                auto make = [&](double gain) {
                    uint32_t squares = 0;
                    for (int i = 0; i < 64; ++i) {
                        block[i] = int16_t(std::clamp<long>(std::lround(gain * shape[i]), -255, 255));
                        squares += uint32_t(block[i] * block[i]);
                    }
                    return squares;
                };
                for (int step = 0; step < 40; ++step) {
                    const double middle = (low + high) / 2;
                    (make(middle) <= limit ? low : high) = middle;
                }
                ASSERT_LE(make(low), limit);
                ForwardDctPlain(block);
                ASSERT_FALSE(q.QuantiseNonIntraPlain(block, levels, scale))
                    << "q " << scale << " kind " << kind << " limit " << limit;
            }
        }
        // The bound is of use: with the flat matrix, an error of +-1 everywhere (64) is
        // within it from quantiser 10 on, and +-2 (256) from quantiser 18 on.
        if (matrix == flat) {
            EXPECT_GE(q.NonIntraZeroSum(10), 64u);
            EXPECT_GE(q.NonIntraZeroSum(18), 256u);
        }
    }
}

// The coefficient bound holds for the blocks that come closest to it.
TEST(ForwardDctBound, CoversEveryCoefficient)
{
    std::mt19937 rng(5);
    for (int trial = 0; trial < 3000; ++trial) {
        alignas(32) int16_t block[64];
        const int u = int(rng() % 8), v = int(rng() % 8), amplitude = 1 + int(rng() % 255);
        uint32_t squares = 0;
        for (int i = 0; i < 64; ++i) {
            const int x = i % 8, y = i / 8;
            const double pattern = trial % 2
                ? std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16)
                : double(int(rng() % 3) - 1);
            block[i] = int16_t(std::lround(amplitude * pattern));
            squares += uint32_t(block[i] * block[i]);
        }
        ForwardDctPlain(block);
        const int64_t bound = ForwardDctBound(squares);
        for (int i = 0; i < 64; ++i) ASSERT_LE(std::abs(block[i]), bound) << "trial " << trial;
    }
}
