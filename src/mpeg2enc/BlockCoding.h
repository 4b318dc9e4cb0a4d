// Writers of the macroblock and block layer syntax elements that carry values: the
// address increment, motion vector differences and the coefficients of intra and
// non-intra blocks (alternate or zigzag scan, run/level codes of tables B.14 and B.15,
// escapes).
#pragma once

#include <cstdint>

class CBitWriter;

// macroblock_address_increment: one macroblock_escape per 33, then the code of the rest
// (1..33).
void WriteAddressIncrement(CBitWriter& writer, int increment);

// One motion vector component difference with f_code 5 (range -256..255 half samples
// after wrapping): motion_code, its sign and the 4-bit residual.
void WriteMotionDifference(CBitWriter& writer, int delta);

// The levels (raster order) are sent in the alternate scan, or with `zigzag` in the
// zigzag scan (the picture's alternate_scan flag says which).
//
// An intra block: the DC difference from `dcPredictor` (which becomes this block's DC)
// with the luma (`component` 0) or chroma size table, then the AC levels with table
// `table` (0: B.14, 1: B.15), escapes for pairs without a code, and end of block.
void WriteIntraBlock(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                     bool zigzag = false);

// A non-intra block: all 64 levels with table B.14 (the first pair (0, +-1) as "1s"),
// escapes, and end of block.
void WriteNonIntraBlock(CBitWriter& writer, const int16_t levels[64], bool zigzag = false);

// The block writers above call through EncoderKernels(). The Sse2 and Avx2 writers walk
// the non-zero levels found by that level's NonZeroMask; the Plain twins walk all 64 scan
// positions one by one (the definition). All write the same bits.
void WriteIntraBlockPlain(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                          bool zigzag);
void WriteIntraBlockSse2(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                         bool zigzag);
void WriteIntraBlockAvx2(CBitWriter& writer, const int16_t levels[64], int component, int& dcPredictor, int table,
                         bool zigzag);
void WriteNonIntraBlockPlain(CBitWriter& writer, const int16_t levels[64], bool zigzag);
void WriteNonIntraBlockSse2(CBitWriter& writer, const int16_t levels[64], bool zigzag);
void WriteNonIntraBlockAvx2(CBitWriter& writer, const int16_t levels[64], bool zigzag);

// A mask over raster positions (bit i: position i) as a mask over the positions of the
// alternate scan, or with `zigzag` of the zigzag scan (bit s: scan position s).
uint64_t ScanOrderMask(uint64_t rasterMask, bool zigzag);

// Returns a mask of the non-zero values of a block: bit i is set when levels[i] != 0.
uint64_t NonZeroMask(const int16_t levels[64]);
uint64_t NonZeroMaskPlain(const int16_t levels[64]);
uint64_t NonZeroMaskSse2(const int16_t levels[64]);
uint64_t NonZeroMaskAvx2(const int16_t levels[64]);
