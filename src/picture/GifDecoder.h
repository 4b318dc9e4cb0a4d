#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "picture/RgbImage.h"

// Reads the first picture of a GIF file (GIF87a or GIF89a) held in memory. The bytes
// come from outside, so every length and code is checked against what is there; a
// picture whose data ends early keeps black where no pixels arrived.
class CGifDecoder {
public:
    // Decodes the first picture of `data` (`size` bytes) into `out` as RGB of the
    // logical screen's size (grown to hold the picture when it reaches past it),
    // transparent and uncovered pixels black. Refuses pictures of more than `maxPixels`
    // before allocating them. Returns false (out released) with a short reason in
    // `reason`, such as "damaged (the file ends before its first picture)" or
    // "too large (70000 x 70000 pixels; at most 100 megapixels are decoded)".
    static bool Decode(const uint8_t* data, size_t size, int64_t maxPixels, CRgbImage& out, std::string& reason);
};
