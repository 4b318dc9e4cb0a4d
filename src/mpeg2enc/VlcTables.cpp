#include "mpeg2enc/VlcTables.h"

#include <array>

namespace {

// Raster position -> scan position, as the standard draws the two scans.
constexpr uint8_t zigzagIndexOf[64] = {0,  1,  5,  6,  14, 15, 27, 28, 2,  4,  7,  13, 16, 26, 29, 42,
                                       3,  8,  12, 17, 25, 30, 41, 43, 9,  11, 18, 24, 31, 40, 44, 53,
                                       10, 19, 23, 32, 39, 45, 52, 54, 20, 22, 33, 38, 46, 51, 55, 60,
                                       21, 34, 37, 47, 50, 56, 59, 61, 35, 36, 48, 49, 57, 58, 62, 63};
constexpr uint8_t alternateIndexOf[64] = {0,  4,  6,  20, 22, 36, 38, 52, 1,  5,  7,  21, 23, 37, 39, 53,
                                          2,  8,  19, 24, 34, 40, 50, 54, 3,  9,  18, 25, 35, 41, 51, 55,
                                          10, 17, 26, 30, 42, 46, 56, 60, 11, 16, 27, 31, 43, 47, 57, 61,
                                          12, 15, 28, 32, 44, 48, 58, 62, 13, 14, 29, 33, 45, 49, 59, 63};

constexpr std::array<uint8_t, 64> Invert(const uint8_t (&indexOf)[64])
{
    std::array<uint8_t, 64> scan{};
    for (int raster = 0; raster < 64; ++raster) scan[indexOf[raster]] = uint8_t(raster);
    return scan;
}

constexpr SVlc addressIncrement[34] = {{0, 0},   {1, 1},   {3, 3},   {2, 3},   {3, 4},   {2, 4},   {3, 5},
                                       {2, 5},   {7, 7},   {6, 7},   {11, 8},  {10, 8},  {9, 8},   {8, 8},
                                       {7, 8},   {6, 8},   {23, 10}, {22, 10}, {21, 10}, {20, 10}, {19, 10},
                                       {18, 10}, {35, 11}, {34, 11}, {33, 11}, {32, 11}, {31, 11}, {30, 11},
                                       {29, 11}, {28, 11}, {27, 11}, {26, 11}, {25, 11}, {24, 11}};

constexpr SVlc codedBlockPattern[64] = {
    {0x01, 9}, {0x0b, 5}, {0x09, 5}, {0x0d, 6}, {0x0d, 4}, {0x17, 7}, {0x13, 7}, {0x1f, 8}, {0x0c, 4}, {0x16, 7},
    {0x12, 7}, {0x1e, 8}, {0x13, 5}, {0x1b, 8}, {0x17, 8}, {0x13, 8}, {0x0b, 4}, {0x15, 7}, {0x11, 7}, {0x1d, 8},
    {0x11, 5}, {0x19, 8}, {0x15, 8}, {0x11, 8}, {0x0f, 6}, {0x0f, 8}, {0x0d, 8}, {0x03, 9}, {0x0f, 5}, {0x0b, 8},
    {0x07, 8}, {0x07, 9}, {0x0a, 4}, {0x14, 7}, {0x10, 7}, {0x1c, 8}, {0x0e, 6}, {0x0e, 8}, {0x0c, 8}, {0x02, 9},
    {0x10, 5}, {0x18, 8}, {0x14, 8}, {0x10, 8}, {0x0e, 5}, {0x0a, 8}, {0x06, 8}, {0x06, 9}, {0x12, 5}, {0x1a, 8},
    {0x16, 8}, {0x12, 8}, {0x0d, 5}, {0x09, 8}, {0x05, 8}, {0x05, 9}, {0x0c, 5}, {0x08, 8}, {0x04, 8}, {0x04, 9},
    {0x07, 3}, {0x0a, 5}, {0x08, 5}, {0x0c, 6}};

constexpr SVlc motionCode[17] = {{1, 1},  {1, 2}, {1, 3},   {1, 4},   {3, 6},   {5, 7},   {4, 7},   {3, 7},  {11, 9},
                                 {10, 9}, {9, 9}, {17, 10}, {16, 10}, {15, 10}, {14, 10}, {13, 10}, {12, 10}};

constexpr SVlc dcSizeLuma[12] = {{4, 3},  {0, 2},  {1, 2},   {5, 3},   {6, 3},   {14, 4},
                                 {30, 5}, {62, 6}, {126, 7}, {254, 8}, {510, 9}, {511, 9}};
constexpr SVlc dcSizeChroma[12] = {{0, 2},  {1, 2},   {2, 2},   {6, 3},   {14, 4},    {30, 5},
                                   {62, 6}, {126, 7}, {254, 8}, {510, 9}, {1022, 10}, {1023, 10}};

struct SRunLevelCode {
    uint8_t run;
    uint8_t level;
    uint16_t code;
    uint8_t length;
};

// Table B.14 without the sign bit. (0, 1) is the "11" form used after the first
// coefficient of a non-intra block and throughout intra blocks.
constexpr SRunLevelCode tableZero[] = {
    {0, 1, 0x3, 2},    {1, 1, 0x3, 3},    {0, 2, 0x4, 4},    {2, 1, 0x5, 4},    {0, 3, 0x5, 5},    {4, 1, 0x6, 5},
    {3, 1, 0x7, 5},    {7, 1, 0x4, 6},    {6, 1, 0x5, 6},    {1, 2, 0x6, 6},    {5, 1, 0x7, 6},    {2, 2, 0x4, 7},
    {9, 1, 0x5, 7},    {0, 4, 0x6, 7},    {8, 1, 0x7, 7},    {13, 1, 0x20, 8},  {0, 6, 0x21, 8},   {12, 1, 0x22, 8},
    {11, 1, 0x23, 8},  {3, 2, 0x24, 8},   {1, 3, 0x25, 8},   {0, 5, 0x26, 8},   {10, 1, 0x27, 8},  {16, 1, 0x8, 10},
    {5, 2, 0x9, 10},   {0, 7, 0xA, 10},   {2, 3, 0xB, 10},   {1, 4, 0xC, 10},   {15, 1, 0xD, 10},  {14, 1, 0xE, 10},
    {4, 2, 0xF, 10},   {0, 11, 0x10, 12}, {8, 2, 0x11, 12},  {4, 3, 0x12, 12},  {0, 10, 0x13, 12}, {2, 4, 0x14, 12},
    {7, 2, 0x15, 12},  {21, 1, 0x16, 12}, {20, 1, 0x17, 12}, {0, 9, 0x18, 12},  {19, 1, 0x19, 12}, {18, 1, 0x1A, 12},
    {1, 5, 0x1B, 12},  {3, 3, 0x1C, 12},  {0, 8, 0x1D, 12},  {6, 2, 0x1E, 12},  {17, 1, 0x1F, 12}, {10, 2, 0x10, 13},
    {9, 2, 0x11, 13},  {5, 3, 0x12, 13},  {3, 4, 0x13, 13},  {2, 5, 0x14, 13},  {1, 7, 0x15, 13},  {1, 6, 0x16, 13},
    {0, 15, 0x17, 13}, {0, 14, 0x18, 13}, {0, 13, 0x19, 13}, {0, 12, 0x1A, 13}, {26, 1, 0x1B, 13}, {25, 1, 0x1C, 13},
    {24, 1, 0x1D, 13}, {23, 1, 0x1E, 13}, {22, 1, 0x1F, 13}, {0, 31, 0x10, 14}, {0, 30, 0x11, 14}, {0, 29, 0x12, 14},
    {0, 28, 0x13, 14}, {0, 27, 0x14, 14}, {0, 26, 0x15, 14}, {0, 25, 0x16, 14}, {0, 24, 0x17, 14}, {0, 23, 0x18, 14},
    {0, 22, 0x19, 14}, {0, 21, 0x1A, 14}, {0, 20, 0x1B, 14}, {0, 19, 0x1C, 14}, {0, 18, 0x1D, 14}, {0, 17, 0x1E, 14},
    {0, 16, 0x1F, 14}, {0, 40, 0x10, 15}, {0, 39, 0x11, 15}, {0, 38, 0x12, 15}, {0, 37, 0x13, 15}, {0, 36, 0x14, 15},
    {0, 35, 0x15, 15}, {0, 34, 0x16, 15}, {0, 33, 0x17, 15}, {0, 32, 0x18, 15}, {1, 14, 0x19, 15}, {1, 13, 0x1A, 15},
    {1, 12, 0x1B, 15}, {1, 11, 0x1C, 15}, {1, 10, 0x1D, 15}, {1, 9, 0x1E, 15},  {1, 8, 0x1F, 15},  {1, 18, 0x10, 16},
    {1, 17, 0x11, 16}, {1, 16, 0x12, 16}, {1, 15, 0x13, 16}, {6, 3, 0x14, 16},  {16, 2, 0x15, 16}, {15, 2, 0x16, 16},
    {14, 2, 0x17, 16}, {13, 2, 0x18, 16}, {12, 2, 0x19, 16}, {11, 2, 0x1A, 16}, {31, 1, 0x1B, 16}, {30, 1, 0x1C, 16},
    {29, 1, 0x1D, 16}, {28, 1, 0x1E, 16}, {27, 1, 0x1F, 16}};

// Entries where table B.15 differs from B.14; both tables hold the same pairs.
constexpr SRunLevelCode tableOneChanges[] = {
    {0, 1, 0x2, 2},   {1, 1, 0x2, 3},   {0, 2, 0x6, 3},   {0, 3, 0x7, 4},   {2, 1, 0x5, 5},   {1, 2, 0x6, 5},
    {3, 1, 0x7, 5},   {0, 4, 0x1C, 5},  {0, 5, 0x1D, 5},  {0, 7, 0x4, 6},   {0, 6, 0x5, 6},   {4, 1, 0x6, 6},
    {5, 1, 0x7, 6},   {7, 1, 0x4, 7},   {8, 1, 0x5, 7},   {6, 1, 0x6, 7},   {2, 2, 0x7, 7},   {9, 1, 0x78, 7},
    {1, 3, 0x79, 7},  {10, 1, 0x7A, 7}, {0, 8, 0x7B, 7},  {0, 9, 0x7C, 7},  {1, 5, 0x20, 8},  {11, 1, 0x21, 8},
    {0, 11, 0x22, 8}, {0, 10, 0x23, 8}, {13, 1, 0x24, 8}, {12, 1, 0x25, 8}, {3, 2, 0x26, 8},  {1, 4, 0x27, 8},
    {0, 12, 0xFA, 8}, {0, 13, 0xFB, 8}, {2, 3, 0xFC, 8},  {4, 2, 0xFD, 8},  {0, 14, 0xFE, 8}, {0, 15, 0xFF, 8},
    {5, 2, 0x4, 9},   {14, 1, 0x5, 9},  {15, 1, 0x7, 9},  {2, 4, 0xC, 10},  {16, 1, 0xD, 10}};

// Direct lookup [table][run 0..31][level 0..40].
struct SCoefficientTables {
    SVlc entry[2][32][41];
    constexpr SCoefficientTables() : entry{}
    {
        for (const auto& e : tableZero) {
            entry[0][e.run][e.level] = {e.code, e.length};
            entry[1][e.run][e.level] = {e.code, e.length};
        }
        for (const auto& e : tableOneChanges) entry[1][e.run][e.level] = {e.code, e.length};
    }
};

constexpr SCoefficientTables coefficientTables;

}  // namespace

const std::array<uint8_t, 64> zigzagScan = Invert(zigzagIndexOf);
const std::array<uint8_t, 64> alternateScan = Invert(alternateIndexOf);

const uint8_t defaultIntraMatrix[64] = {8,  16, 19, 22, 26, 27, 29, 34, 16, 16, 22, 24, 27, 29, 34, 37,
                                        19, 22, 26, 27, 29, 34, 34, 38, 22, 22, 26, 27, 29, 34, 37, 40,
                                        22, 26, 27, 29, 32, 35, 40, 48, 26, 27, 29, 32, 35, 40, 48, 58,
                                        26, 27, 29, 34, 38, 46, 56, 69, 27, 29, 35, 38, 46, 56, 69, 83};

SVlc VlcAddressIncrement(int increment)
{
    return increment >= 1 && increment <= 33 ? addressIncrement[increment] : SVlc{0, 0};
}

SVlc VlcMacroblockTypeP(int flags)
{
    switch (flags & 11) {
    case 10:
        return {1, 1};  // forward motion, coded
    case 2:
        return {1, 2};  // no motion compensation, coded
    case 8:
        return {1, 3};  // forward motion, not coded
    case 1:
        return {3, 5};  // intra
    default:
        return {0, 0};
    }
}

SVlc VlcCodedBlockPattern(int pattern)
{
    return pattern >= 1 && pattern <= 63 ? codedBlockPattern[pattern] : SVlc{0, 0};
}

SVlc VlcMotionCode(int magnitude) { return magnitude >= 0 && magnitude <= 16 ? motionCode[magnitude] : SVlc{0, 0}; }

SVlc VlcDcSizeLuma(int size) { return size >= 0 && size <= 11 ? dcSizeLuma[size] : SVlc{0, 0}; }

SVlc VlcDcSizeChroma(int size) { return size >= 0 && size <= 11 ? dcSizeChroma[size] : SVlc{0, 0}; }

SVlc VlcCoefficient(int table, int run, int level)
{
    if (run < 0 || run > 31 || level < 1 || level > 40) return {0, 0};
    return coefficientTables.entry[table ? 1 : 0][run][level];
}

SVlc VlcEndOfBlock(int table) { return table ? SVlc{0x6, 4} : SVlc{0x2, 2}; }

int NonLinearScaleCode(int quantiser)
{
    static constexpr uint8_t values[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  10, 12, 14, 16, 18, 20,  22,
                                           24, 28, 32, 36, 40, 44, 48, 52, 56, 64, 72, 80, 88, 96, 104, 112};
    for (int code = 1; code < 32; ++code)
        if (values[code] == quantiser) return code;
    return 0;
}
