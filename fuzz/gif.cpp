// The GIF decoder on any bytes, from memory, with a pixel limit small enough to try
// its refusal too. The input is the GIF file.
// Checked for every input: a decoded picture has a size within the limit and exactly
// three bytes per pixel; a refusal says why and leaves no picture.
#include <string>

#include "FuzzCheck.h"
#include "picture/GifDecoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr int64_t maxPixels = 4'000'000;
    CRgbImage image;
    std::string reason;
    if (!CGifDecoder::Decode(data, size, maxPixels, image, reason)) {
        FUZZ_CHECK(!reason.empty());
        FUZZ_CHECK(image.width == 0 && image.height == 0 && image.pixels.empty());
        return 0;
    }
    FUZZ_CHECK(image.width > 0 && image.height > 0);
    FUZZ_CHECK(int64_t(image.width) * image.height <= maxPixels);
    FUZZ_CHECK(image.pixels.size() == size_t(image.width) * size_t(image.height) * 3);
    return 0;
}
