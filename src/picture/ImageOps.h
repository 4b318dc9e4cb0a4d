#pragma once
#include <cstdint>

#include "picture/RgbImage.h"

// The image operations of the photo stage: resizing, the 5-tap Gaussian softening
// and quarter turns.
class CImageOps {
public:
    // Resizes a 24-bit RGB image (rows of srcStride bytes) into a 32-bit bitmap region
    // (R, G, B, 255 per pixel, rows of dstStride bytes) with a tent filter that
    // widens to the reduction ratio, so reductions average every source pixel.
    static void ResizeRgbToRgbx(const uint8_t* src, int srcWidth, int srcHeight, int srcStride, uint8_t* dst,
                                int dstWidth, int dstHeight, int dstStride);

    // Gaussian blur (standard deviation 0.7, 5 taps, edges repeated) of the three
    // colour bytes of a 32-bit bitmap; the fourth byte is copied. src and dst must
    // not overlap.
    static void BlurRgbx(const uint8_t* src, uint8_t* dst, int width, int height, int stride);

    // Turns an image by a quarter: 0 = 90 degrees clockwise, 1 = 180 degrees,
    // 2 = 90 degrees counter-clockwise. Returns false for other turns.
    static bool Rotate(const CRgbImage& src, int turn, CRgbImage& dst);
};
