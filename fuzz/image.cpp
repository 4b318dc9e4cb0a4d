// Photo files of any content through the photo loader (JPEG, PNG, BMP, WebP, told apart
// by their first bytes). The input is the photo file.
// Checked for every input: a decoded photo has a size within the loader's limit and
// exactly three bytes per pixel, a failure says why, and a JPEG decoded at reduced size
// still covers the size asked for.
#include <algorithm>

#include "MemoryFile.h"
#include "picture/ImageFile.h"

namespace {

void CheckDecoded(const CRgbImage& image)
{
    FUZZ_CHECK(image.width > 0 && image.height > 0);
    FUZZ_CHECK(int64_t(image.width) * image.height <= CImageFile::maxPixels);
    FUZZ_CHECK(image.pixels.size() == size_t(image.width) * size_t(image.height) * 3);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMemoryFile file(data, size);
    const CImageFile::EKind kind = CImageFile::DetectKind(file.Path());
    CRgbImage image;
    std::string error;
    if (!CImageFile::Decode(file.Path(), image, error)) {
        FUZZ_CHECK(!error.empty());
        FUZZ_CHECK(image.width == 0 && image.height == 0 && image.pixels.empty());
        return 0;
    }
    FUZZ_CHECK(kind != CImageFile::kUnknown);
    CheckDecoded(image);
    if (kind != CImageFile::kJpeg) return 0;

    // The scaled decode is asked for a quarter of the size, at least one pixel.
    const int wantWidth = std::max(1, image.width / 4), wantHeight = std::max(1, image.height / 4);
    CRgbImage reduced;
    if (!CImageFile::Decode(file.Path(), reduced, error, wantWidth, wantHeight)) return 0;
    CheckDecoded(reduced);
    FUZZ_CHECK(reduced.width >= wantWidth && reduced.height >= wantHeight);
    FUZZ_CHECK(reduced.width <= image.width && reduced.height <= image.height);
    return 0;
}
