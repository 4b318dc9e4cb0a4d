#pragma once
#include <cstdint>
#include <vector>

// A decoded photo: 24-bit pixels in red, green, blue byte order, top line first,
// rows packed without padding (stride = 3 x width).
class CRgbImage {
public:
    virtual ~CRgbImage() = default;

    // Drops the pixels and the size.
    void Release()
    {
        std::vector<uint8_t>().swap(pixels);
        width = height = 0;
    }

    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};
