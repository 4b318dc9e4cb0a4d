// CQuantiser: quantisation and inverse quantisation of 8 x 8 coefficient blocks with the
// intra and non-intra matrices. Division is replaced by reciprocal tables built once per
// matrix pair for every quantiser value 1..31.
//
// Each operation has a plain routine (the definition) and SSE2 and AVX2 routines with
// identical results; the unsuffixed call uses the best one the processor supports.
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
    void QuantiseIntraPlain(const int16_t coefficients[64], int16_t levels[64], int q) const;
    void QuantiseIntraSse2(const int16_t coefficients[64], int16_t levels[64], int q) const;
    void QuantiseIntraAvx2(const int16_t coefficients[64], int16_t levels[64], int q) const;
    // Quantises a non-intra block: (16 |C| + W / 2) / (q W) truncated, sign restored.
    // Returns true when the block is coded; a block whose levels would only add noise
    // that the transform rounds away (DC level 0 and the levels' own forward DCT all
    // zero) has its levels cleared and returns false, as does an all-zero block.
    bool QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const;
    // The test of QuantiseNonIntra on a block's levels, whose non-zero positions are
    // `nonZero` (bit i set when levels[i] != 0): true when they would only add noise that
    // the transform rounds away (DC level 0 and their own forward DCT all zero, or no
    // level at all).
    bool RoundsAway(const int16_t levels[64], uint64_t nonZero) const;
    // The same with plain routines only (levels, forward DCT of the probe), for tests.
    bool QuantiseNonIntraPlain(const int16_t coefficients[64], int16_t levels[64], int q) const;

    // The level computation of QuantiseNonIntra alone (no zero-block test), by the plain
    // routine and by the vector routines, with identical levels and results: each returns
    // the positions of the non-zero levels (bit i set when levels[i] != 0), so zero for
    // an all-zero block. The vector routines compute in 16 bits where the coefficients
    // are within +-2047 and the reciprocals within 16 bits, and call the plain routine
    // for other blocks.
    uint64_t NonIntraLevels(const int16_t coefficients[64], int16_t levels[64], int q) const;
    uint64_t NonIntraLevelsPlain(const int16_t coefficients[64], int16_t levels[64], int q) const;
    uint64_t NonIntraLevelsSse2(const int16_t coefficients[64], int16_t levels[64], int q) const;
    uint64_t NonIntraLevelsAvx2(const int16_t coefficients[64], int16_t levels[64], int q) const;
    // The largest sum of squares of a prediction error block (ResidualBlock's result)
    // whose forward transform is sure to quantise to all-zero non-intra levels at
    // quantiser q: such a block is not coded, with or without the transform. Any rounding
    // that only moves coefficients toward zero before this quantisation keeps it true.
    uint32_t NonIntraZeroSum(int q) const { return nonIntraZeroSum[ClampQ(q)]; }

    // Inverse quantisation as a decoder does it: DC x 4, AC level x q x W / 16 (intra);
    // (2 |level| + 1) x q x W / 32 (non-intra); limited to -2048..2047, followed by
    // mismatch control (an even sum toggles the lowest bit of coefficient 63).
    void DequantiseIntra(const int16_t levels[64], int16_t coefficients[64], int q) const;
    void DequantiseNonIntra(const int16_t levels[64], int16_t coefficients[64], int q) const;
    void DequantiseIntraPlain(const int16_t levels[64], int16_t coefficients[64], int q) const;
    void DequantiseIntraSse2(const int16_t levels[64], int16_t coefficients[64], int q) const;
    void DequantiseIntraAvx2(const int16_t levels[64], int16_t coefficients[64], int q) const;
    void DequantiseNonIntraPlain(const int16_t levels[64], int16_t coefficients[64], int q) const;
    void DequantiseNonIntraSse2(const int16_t levels[64], int16_t coefficients[64], int q) const;
    void DequantiseNonIntraAvx2(const int16_t levels[64], int16_t coefficients[64], int q) const;

    const uint8_t* IntraMatrix() const { return intraW; }
    const uint8_t* NonIntraMatrix() const { return nonIntraW; }

private:
    static int ClampQ(int q) { return q < 1 ? 1 : q > maxQuantiser ? maxQuantiser : q; }

    uint8_t intraW[64] = {};
    uint8_t nonIntraW[64] = {};
    // [q][position]: 2^17 / (q W) and q W for both matrices.
    int32_t intraReciprocal[maxQuantiser + 1][64] = {};
    int32_t intraProduct[maxQuantiser + 1][64] = {};
    int32_t nonIntraReciprocal[maxQuantiser + 1][64] = {};
    int32_t nonIntraProduct[maxQuantiser + 1][64] = {};
    // Vector copies: (3 q W) / 4 and 2^17 / (q W) of the intra matrix as 32-bit values,
    // q W of both matrices as 16-bit values (at most 31 x 255).
    int32_t intraBias[maxQuantiser + 1][64] = {};
    uint32_t intraReciprocal32[maxQuantiser + 1][64] = {};
    uint16_t intraProduct16[maxQuantiser + 1][64] = {};
    uint16_t nonIntraProduct16[maxQuantiser + 1][64] = {};
    // 16-bit copies for the vector level routines, valid where `vectorReady[q]` is set.
    uint16_t nonIntraReciprocal16[maxQuantiser + 1][64] = {};
    uint16_t nonIntraHalf16[64] = {};
    bool vectorReady[maxQuantiser + 1] = {};
    uint32_t nonIntraZeroSum[maxQuantiser + 1] = {};
};
