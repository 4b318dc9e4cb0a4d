// CRdQuantiser: the quantisation of the high-quality mode. It wraps the encoder's
// CQuantiser (whose levels and inverse quantisation it uses unchanged) with three
// rate-distortion choices:
//
// - rounding: every non-intra coefficient is first moved toward zero by a fraction of
//   its quantiser step, which widens the zero zone and lowers the levels that lie just
//   above a step (cheaper codes for a small loss); intra AC coefficients are rounded to
//   the nearest level;
// - cheap levels: walking back from the last coded level of a non-intra block, a level
//   of magnitude 1 is dropped when the squared error it removes is worth less than the
//   bits it saves at the picture's rate-distortion weight (lambda x step^2);
// - a non-intra block left with nothing but such small levels is not coded at all.
//
// The transform is orthonormal, so squared errors of coefficients are squared errors of
// samples.
#pragma once

#include "mpeg2enc/Quantiser.h"

#include <cstdint>

class CRdQuantiser {
public:
    // Fixed-point unit of the rounding fractions (sixteenths of a step).
    static constexpr int kFractionUnit = 16;

    struct SSettings {
        // Sixteenths of a step taken off intra AC coefficients; negative adds them: -2
        // lifts the quantiser's rounding offset from 3/8 to 1/2 (plain rounding), which
        // measured better for the I pictures the whole group predicts from.
        int intraShrink = -2;
        int nonIntraShrink = 3;  // sixteenths of a step taken off non-intra coefficients
        double lambda = 0.3;  // rate-distortion weight in step^2 per bit
        double blockLambda = 0.25;  // the same for keeping a whole non-intra block
    };

    // Builds the shrink tables for the matrices of `quantiser` (which must stay alive and
    // unchanged while this object is used) with the given settings.
    void Build(const CQuantiser& quantiser, const SSettings& settings);

    // Quantises an intra block as CQuantiser::QuantiseIntra does, after the rounding
    // shrink (the DC coefficient keeps its own rounding), then drops the AC levels that
    // do not pay for their bits in coefficient table `table` (0: B.14, 1: B.15).
    void QuantiseIntra(const int16_t coefficients[64], int16_t levels[64], int q, int table) const;
    // Quantises a non-intra block as CQuantiser::QuantiseNonIntra does after the rounding
    // shrink, then drops the levels and the block that do not pay for their bits.
    // Returns true when the block is coded.
    bool QuantiseNonIntra(const int16_t coefficients[64], int16_t levels[64], int q) const;

    // The level decision alone: walking back from the end of the scan, drops each level
    // of magnitude 1 whose error reduction against `coefficients` is below lambda x
    // step^2 x the bits it saves (its own code, and the change of the next level's code
    // whose run grows). Returns the number of levels dropped.
    int DropCheapLevels(const int16_t coefficients[64], int16_t levels[64], int q) const;

    // Whether a non-intra block is worth its bits: the squared error its levels remove
    // against lambda x step^2 x the bits of its codes and end of block. Clears the levels
    // and returns false when it is not (or has no level).
    bool KeepBlock(const int16_t coefficients[64], int16_t levels[64], int q) const;

    // Bits of the run/level code of a coefficient in table `table` (0: B.14, 1: B.15;
    // sign included; 24 for an escape).
    static int CodeBits(int table, int run, int level);

    const SSettings& Settings() const { return settings; }

private:
    // Level index of the code-bit table: |level| for 1..40, kEscapeLevel for every larger
    // magnitude (all escaped); index 0 (no level) costs nothing at any run.
    static constexpr int kEscapeLevel = 41;
    static constexpr int kLevelIndices = 64;  // row length of the table
    // Range of the bits a dropped level saves: its own code (3..24 bits) plus the change
    // of the next level's code (-21..21), held with room to spare.
    static constexpr int kSavedMin = -24;
    static constexpr int kSavedMax = 48;

    // A block's coded scan positions: position[start + 1..start + count] in scan order,
    // position[start] the one before the first the decisions look at (a run counts from it).
    struct SCoded {
        int position[65];
        int start;
        int count;
    };

    // Fills `coded` with the scan positions of the non-zero levels, given as a mask over
    // raster positions (start 0); the caller sets the position before them.
    static void CodedPositions(uint64_t nonZero, SCoded& coded);
    // The error reduction of a block's kept levels in 1/1024ths and the bits of their
    // codes (end of block not included).
    struct SWeight {
        int64_t gain = 0;
        int bits = 0;
    };

    // DropCheapLevels over the coded positions from scan position `first` on (coded[0]
    // must be first - 1), with code table `table` and `one` the reconstruction of a level
    // of 1 at each position. Removes the dropped positions from `coded` (moving its
    // start). With kWeigh (non-intra, first 0) it also weighs the kept levels into
    // `weight` as KeepCoded does. Returns the number of levels dropped.
    template <bool kWeigh>
    int DropLevels(const int16_t coefficients[64], int16_t levels[64], int q, int table, const int32_t one[64],
                   int first, SCoded& coded, SWeight& weight) const;
    // KeepBlock over the coded positions of `levels` (the one before them -1).
    bool KeepCoded(const int16_t coefficients[64], int16_t levels[64], int q, const SCoded& coded) const;
    // The block decision on the weight of its levels: clears `levels` and returns false
    // when the block is not worth its bits.
    bool KeepWeighed(const SWeight& weight, int16_t levels[64], int q) const;

    const CQuantiser* base = nullptr;
    SSettings settings;
    // [q][position]: the amount taken off |C| before quantisation (0 for the intra DC,
    // which keeps its own rounding).
    alignas(32) int16_t intraShrink[CQuantiser::maxQuantiser + 1][64] = {};
    alignas(32) int16_t nonIntraShrink[CQuantiser::maxQuantiser + 1][64] = {};
    // [q][position]: reconstruction of a level of 1 (non-intra), and lambda x step^2.
    int32_t levelOne[CQuantiser::maxQuantiser + 1][64] = {};
    int32_t intraOne[CQuantiser::maxQuantiser + 1][64] = {};
    double weight[CQuantiser::maxQuantiser + 1] = {};
    double blockWeight[CQuantiser::maxQuantiser + 1] = {};
    // [table][run][level index]: CodeBits for runs 0..64 and levels 1..40 or escaped.
    uint8_t codeBits[2][65][kLevelIndices] = {};
    // [q][saved - kSavedMin]: the smallest whole error reduction that keeps a level of 1
    // saving `saved` bits, i.e. the ceiling of weight[q] x saved: an integer gain is
    // below the real product exactly when it is below its ceiling.
    int32_t dropThreshold[CQuantiser::maxQuantiser + 1][kSavedMax - kSavedMin + 1] = {};
};

// Moves every coefficient toward zero by its entry of `shrink`, never past zero (a
// negative entry moves it away from zero), in 16-bit arithmetic: the rounding shrink of
// CRdQuantiser. The Plain routine is the definition; all give the same values.
void ShrinkBlockPlain(const int16_t coefficients[64], const int16_t shrink[64], int16_t out[64]);
void ShrinkBlockSse2(const int16_t coefficients[64], const int16_t shrink[64], int16_t out[64]);
void ShrinkBlockAvx2(const int16_t coefficients[64], const int16_t shrink[64], int16_t out[64]);
