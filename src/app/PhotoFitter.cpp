#include "app/PhotoFitter.h"

#include "picture/Photo.h"

#include <cstring>

CPhotoFitter::CPhotoFitter() : photo(std::make_unique<CPhoto>()) {}

CPhotoFitter::~CPhotoFitter() = default;

bool CPhotoFitter::Fit(const std::string& path, int width, int height, std::vector<uint8_t>& rgba, bool black)
{
    rgba.clear();
    error.clear();
    if (!photo->LoadFitted(width, height, false, black, path)) {
        error = photo->Error();
        return false;
    }
    const size_t line = size_t(photo->bitmapWidth) * 4;
    rgba.resize(line * size_t(photo->bitmapHeight));
    for (int y = 0; y < photo->bitmapHeight; ++y)
        std::memcpy(rgba.data() + line * size_t(y), photo->pixels.data() + size_t(photo->bitmapStride) * size_t(y),
                    line);
    return true;
}
