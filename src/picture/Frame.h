#pragma once
#include <cstdint>

#include "picture/Memory.h"
#include "picture/YUV420Image.h"

// The encoder's frame: one picture plus nine arrays of one 32-bit value per
// macroblock (raster order), each in its own 128-byte-aligned, zero-filled block.
class CFrame {
public:
    // Indices of the per-macroblock arrays the encoder uses; the rest are spare.
    enum EArray {
        kMotionX = 0,  // horizontal motion vector, half-pel units
        kMotionY = 1,  // vertical motion vector, half-pel units
        kMbFlags = 2,  // macroblock flags (1 intra, 2 coded, 4 backward, 8 forward, 16 quant)
        kQuantiser = 3,  // quantiser
        kArrayCount = 9
    };

    CFrame() = default;
    virtual ~CFrame() = default;
    CFrame(const CFrame&) = delete;
    CFrame& operator=(const CFrame&) = delete;

    // Creates the picture (cleared to black) and the nine zero-filled arrays for a
    // frame of width x height (multiples of 16). Returns false on bad sizes or
    // allocation failure.
    bool Create(int width, int height);

    // The per-macroblock array with index `which` (0..8), or null before Create.
    int32_t* Array(int which) const { return arrays[which]; }

    int32_t width = 0;
    int32_t height = 0;
    CYUV420Image picture;
    int32_t mbCount = 0;
    int32_t* arrays[kArrayCount] = {};
    CMemory arrayMemory[kArrayCount];
};
