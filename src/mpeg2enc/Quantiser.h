// CQuantiser: quantisation and inverse quantisation of 8 x 8 coefficient blocks with the
// intra and non-intra matrices. Division is replaced by reciprocal tables built once per
// matrix pair for every quantiser value 1..31.
#pragma once

#include <cstdint>

class CQuantiser {
public:
    static constexpr int maxQuantiser = 31;
    static constexpr int maxLevel = 2047;  // largest level the 12-bit escape can carry

    // Builds the tables from the intra and non-intra matrices (raster order, entries
    // 1..255; a zero entry is taken as 1).
    void Build(const uint8_t intraMatrix[64], const uint8_t nonIntraMatrix[64]);

    // Quantises an intra block: DC to C / 4 rounded half away from zero, AC to
    // 16 |C| / (q W) + 3/8 truncated with the sign restored, levels limited to +-2047.
    void QuantiseIntra(const int16_t coefficients[64], int16_t levels[64], int q) const;
    // Quantises a non-intra block: (16 |C| + W / 2) / (q W) truncated, sign restored.
    // Returns true when the block is coded; a block whose levels would only add noise
    // that the transform rounds away (DC level 0 and the levels' own forward DCT all
    // zero) has its levels cleared and returns false, as does an all-zero block.
    bool QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const;

    // The level computation of QuantiseNonIntra alone (no zero-block test), by the plain
    // routine and by the SSE2 routine; both return true when any level is non-zero and
    // give identical levels. QuantiseNonIntra uses the SSE2 routine where it applies
    // (coefficients within +-2047 and reciprocals within 16 bits).
    bool NonIntraLevelsPlain(const int16_t coefficients[64], int16_t levels[64], int q) const;
    bool NonIntraLevelsSse2(const int16_t coefficients[64], int16_t levels[64], int q) const;

    // Inverse quantisation as a decoder does it: DC x 4, AC level x q x W / 16 (intra);
    // (2 |level| + 1) x q x W / 32 (non-intra); limited to -2048..2047, followed by
    // mismatch control (an even sum toggles the lowest bit of coefficient 63).
    void DequantiseIntra(const int16_t levels[64], int16_t coefficients[64], int q) const;
    void DequantiseNonIntra(const int16_t levels[64], int16_t coefficients[64], int q) const;

    const uint8_t* IntraMatrix() const { return intraW; }
    const uint8_t* NonIntraMatrix() const { return nonIntraW; }

private:
    uint8_t intraW[64] = {};
    uint8_t nonIntraW[64] = {};
    // [q][position]: 2^17 / (q W) and q W for both matrices.
    int32_t intraReciprocal[maxQuantiser + 1][64] = {};
    int32_t intraProduct[maxQuantiser + 1][64] = {};
    int32_t nonIntraReciprocal[maxQuantiser + 1][64] = {};
    int32_t nonIntraProduct[maxQuantiser + 1][64] = {};
    // 16-bit copies for the SSE2 routine, valid where `vectorReady[q]` is set.
    uint16_t nonIntraReciprocal16[maxQuantiser + 1][64] = {};
    uint16_t nonIntraHalf16[64] = {};
    bool vectorReady[maxQuantiser + 1] = {};
};
