// CMotionSearch: the predictive motion search of P pictures. For each macroblock it
// tries a few candidate vectors (the median of the left, top and top-right neighbours,
// the zero vector, the co-located vector of the previous picture, the neighbours
// themselves), stops early when one is already good, otherwise walks greedily over
// neighbouring integer positions, then refines by one half sample horizontally and
// vertically. It then decides between motion compensation and intra coding. Only luma
// is searched.
#pragma once

#include <cstdint>
#include <vector>

class CMotionSearch {
public:
    // Result of one macroblock: vector in half-sample units and its SAD.
    struct SVector {
        int32_t x = 0;
        int32_t y = 0;
        uint32_t cost = 0;
    };

    // Macroblock flags left by the search (see the encoder's macroblock coding).
    static constexpr int32_t flagIntra = 1;
    static constexpr int32_t flagForward = 8;

    // Searches every macroblock of a picture in raster order. `src` and `ref` are luma
    // planes of `width` x `height` with stride `width`; `previousX/Y` hold the vectors
    // of the previous picture; `vectorX/Y` and `flags` receive, per macroblock, the
    // vector and 1 (intra, zero vector), 8 (non-zero vector) or 0 (zero vector).
    void SearchPicture(const uint8_t* src, const uint8_t* ref, int width, int height, const int32_t* previousX,
                       const int32_t* previousY, int32_t* vectorX, int32_t* vectorY, int32_t* flags);

    // Searches macroblock `index` as SearchPicture does and stores its result: the vector
    // in `vectorX/Y[index]` and the flags in `flags[index]` (an intra decision stores the
    // zero vector). It reads the stored vectors of the left, top and top-right neighbours,
    // so those must be final; callers on several threads give each thread its own
    // CMotionSearch (the evaluation counter is not shared).
    void SearchAndClassify(int index, const uint8_t* src, const uint8_t* ref, int width, int height,
                           const int32_t* previousX, const int32_t* previousY, int32_t* vectorX, int32_t* vectorY,
                           int32_t* flags);

    // Searches macroblock `index` (at column `index % (width / 16)`) with the vectors
    // already found for the macroblocks before it in `vectorX/Y`. Returns the vector and
    // its cost.
    SVector SearchMacroblock(int index, const uint8_t* src, const uint8_t* ref, int width, int height,
                             const int32_t* previousX, const int32_t* previousY, const int32_t* vectorX,
                             const int32_t* vectorY);

    // The high-quality search: every candidate is tried (no early stop), the eight
    // positions two samples around the best integer position and a second walk (unless the
    // best is already a close match), all eight half-sample neighbours priced with their
    // vector bits and their smoothing (see halfSamplePenalty), and the zero vector kept when
    // it is nearly as good (so the macroblock can be skipped). No position is evaluated
    // twice.
    bool highQuality = false;
    // The high-quality search's price of one bit of vector difference, in SAD units (set
    // per picture from its quantiser, see SetQuantiser).
    double motionWeight = 0.0;
    // The high-quality search's extra price, in SAD units, of a prediction at a half-sample
    // position in one direction and in both. Such a prediction averages two or four
    // reference samples, which smooths grain and fine texture away; where the quantiser
    // is too coarse to code the difference back, a chain of P pictures each predicted
    // that way grows blurrier from picture to picture. So at coarse quantisers a
    // half-sample prediction must win clearly.
    double halfSamplePenalty = 0.0;
    double diagonalPenalty = 0.0;

    // Sets the high-quality search's prices for a picture coded with quantiser q.
    void SetQuantiser(int q);

    // Number of SAD evaluations since construction (for benchmarks and tests).
    uint64_t sadEvaluations = 0;

private:
    // Integer positions the high-quality search has tried for the current macroblock:
    // one stamp per offset of up to +-128 samples, equal to `seenStamp` once tried.
    std::vector<uint16_t> seen;
    uint16_t seenStamp = 0;
};
