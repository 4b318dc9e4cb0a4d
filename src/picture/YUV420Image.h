#pragma once
#include <cstdint>

#include "picture/Memory.h"

// An 8-bit planar Y, Cb, Cr picture with chroma halved in both directions.
// All planes and two scratch areas live in one heap block: planeY starts at the
// first 128-byte boundary above the block start, followed without gaps by planeCb,
// planeCr, scratchA and scratchB. Lines are stored top to bottom without padding.
// Copying a picture copies plane contents, never pointers.
class CYUV420Image {
public:
    CYUV420Image() = default;
    virtual ~CYUV420Image() = default;
    CYUV420Image(const CYUV420Image& other);
    CYUV420Image& operator=(const CYUV420Image& other);

    // Allocates the block for a picture of `width` x `height` (both even and positive)
    // and clears it to black. Note the argument order: height first.
    // Returns false (and leaves the picture empty) on bad sizes or allocation failure.
    bool Create(int height, int width);

    // Sets every Y sample to 0 and every Cb and Cr sample to 128.
    void Clear();

    // Exchanges the contents of planeCb and planeCr.
    void SwapChroma();

    // Exchanges the whole picture (sizes, planes and their memory) with `other`, without
    // copying samples.
    void Swap(CYUV420Image& other) noexcept;

    // Copies the three planes of `src`, which must have the same size; returns false
    // (and leaves this picture unchanged) when the sizes differ.
    bool CopyPlanes(const CYUV420Image& src);

    // Converts a bottom-up 32-bit bitmap (bytes B, G, R, unused per pixel, rows of
    // `width` pixels, `height` rows) into the three planes.
    void FromBGRX(const uint8_t* bits);
    // The same for a bottom-up bitmap with bytes R, G, B, unused per pixel.
    void FromRGBX(const uint8_t* bits);
    // Converts two 32-bit lines (bytes R, G, B, unused; `width` pixels each) into
    // picture lines `line` (even) and line + 1 and their chroma line.
    void FromRgbxLinePair(const uint8_t* top, const uint8_t* bottom, int line);
    // Converts top-down packed 4:2:2 rows Y0 U Y1 V (2 x width bytes per row).
    void FromYUY2(const uint8_t* packed);
    // Converts top-down packed 4:2:2 rows U Y0 V Y1 (2 x width bytes per row).
    void FromUYVY(const uint8_t* packed);

    // Scales one plane into another with bilinear weights in 1/256; destination
    // pixel 0 samples source pixel 0 (positions are not centred).
    static void ResampleBilinear(const uint8_t* src, int srcWidth, int srcHeight, int srcStride, uint8_t* dst,
                                 int dstWidth, int dstHeight, int dstStride);

    // Scales `src` across the full width of `dst`, letterboxing sources wider than
    // 1.6:1. Lines above and below the scaled picture keep what `dst` held. Reductions
    // use ResampleBilinear, enlargements the 4-tap Mitchell-Netravali filter whose
    // tables are kept per thread while the two sizes stay the same.
    static void FitPicture(CYUV420Image& dst, const CYUV420Image& src);

    // The number of lines FitPicture gives the picture and the lines above it.
    static void FitGeometry(int srcWidth, int srcHeight, int dstWidth, int dstHeight, int& lines, int& topOffset);

    int32_t width = 0;
    int32_t height = 0;
    int32_t planarSize = 0;
    int32_t lumaSize = 0;
    int32_t chromaSize = 0;
    int32_t lumaStride = 0;
    int32_t chromaStride = 0;
    uint8_t* planeY = nullptr;
    uint8_t* planeCb = nullptr;
    uint8_t* planeCr = nullptr;
    uint8_t* scratchA = nullptr;
    uint8_t* scratchB = nullptr;
    CMemory memory;

private:
    void FromRgb32(const uint8_t* bits, bool redFirst);
    void FromPacked422(const uint8_t* packed, int yOffset);
};
