// Variable-length code tables of ISO/IEC 13818-2 Annex B used by the video encoder, and
// the scan orders. A code is given by its value (right-aligned) and its length in bits;
// sign bits that follow some codes are not part of the table entries.
#pragma once

#include <array>
#include <cstdint>

struct SVlc {
    uint16_t code;
    uint8_t length;
};

// macroblock_address_increment 1..33 (table B.1). Returns the code for `increment`.
SVlc VlcAddressIncrement(int increment);
// The 11-bit macroblock_escape that stands for an increment of 33.
constexpr SVlc vlcMacroblockEscape{0x008, 11};

// macroblock_type in P pictures (table B.3) for the flags 1 intra, 2 pattern, 8 forward.
// Returns {0, 0} for combinations the encoder never writes.
SVlc VlcMacroblockTypeP(int flags);
// macroblock_type "intra" in I pictures (table B.2): the single bit 1.
constexpr SVlc vlcMacroblockTypeIntraI{1, 1};

// coded_block_pattern_420 1..63 (table B.9).
SVlc VlcCodedBlockPattern(int pattern);
// motion_code magnitude 0..16 (table B.10); a sign bit follows for non-zero codes.
SVlc VlcMotionCode(int magnitude);
// dct_dc_size 0..11 for luma (table B.12) and chroma (table B.13).
SVlc VlcDcSizeLuma(int size);
SVlc VlcDcSizeChroma(int size);

// DCT coefficient (run, level) codes without the sign bit. `table` 0 is B.14 (table
// zero), 1 is B.15 (table one). Returns {0, 0} when the pair has no code and must be
// escaped. `level` is the magnitude (1..40 have codes for run 0).
SVlc VlcCoefficient(int table, int run, int level);
// End of block: "10" in B.14, "0110" in B.15.
SVlc VlcEndOfBlock(int table);
// The 6-bit escape prefix 000001 of both tables.
constexpr SVlc vlcCoefficientEscape{0x01, 6};

// Scan orders: scan position -> raster position (row * 8 + column) for the zigzag scan
// (used for the matrices of the sequence header) and the alternate scan (used for every
// coefficient block).
extern const std::array<uint8_t, 64> zigzagScan;
extern const std::array<uint8_t, 64> alternateScan;

// Default intra quantiser matrix of 13818-2 in raster order.
extern const uint8_t defaultIntraMatrix[64];

// quantiser_scale_code (1..31) of a non-linear quantiser value that the table holds
// (1..8, 10, 12, ..., 24, 28); 0 when the value has no code.
int NonLinearScaleCode(int quantiser);
