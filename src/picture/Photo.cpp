#include "picture/Photo.h"

#include <cstring>

#include "picture/ImageFile.h"
#include "picture/ImageOps.h"

CPhoto::CPhoto() : pixels(bufferBytes, 255), work(bufferBytes, 0) {}

void CPhoto::FittedSize(int w, int h, int W, int H, bool closeGaps, int& fw, int& fh)
{
    if (int64_t(H) * w < int64_t(W) * h) {  // relatively taller than the frame
        fw = int(int64_t(H) * w / h);
        fh = H;
    } else {
        fw = W;
        fh = int(int64_t(W) * h / w);
    }
    if (closeGaps) {
        if (W - fw < 2) fw = W;
        if (H - fh < 2) fh = H;
    }
    // A sliver of a photo still shows at least one pixel.
    if (fw < 1) fw = 1;
    if (fh < 1) fh = 1;
}

bool CPhoto::FitInto(const CRgbImage& image, int W, int H, bool closeGaps, uint8_t background, bool bottomUp,
                     uint8_t* bitmap, uint8_t* work)
{
    if (W <= 0 || H <= 0 || int64_t(W) * H * 4 > bufferBytes) return false;
    if (image.width <= 0 || image.height <= 0) return false;
    int fw = 0, fh = 0;
    FittedSize(image.width, image.height, W, H, closeGaps, fw, fh);
    std::memset(bitmap, background, size_t(W) * H * 4);
    CImageOps::ResizeRgbToRgbx(image.pixels.data(), image.width, image.height, image.width * 3, work, fw, fh, fw * 4);
    const int left = (W - fw) / 2, top = (H - fh) / 2;
    for (int y = 0; y < fh; ++y) {
        const int line = top + y;
        const int stored = bottomUp ? H - 1 - line : line;
        std::memcpy(bitmap + (size_t(stored) * W + left) * 4, work + size_t(y) * fw * 4, size_t(fw) * 4);
    }
    return true;
}

bool CPhoto::LoadFitted(int frameWidth, int frameHeight, bool bottomUp, bool blackBackground,
                        const std::string& filePath)
{
    error.clear();
    if (frameWidth <= 0 || frameHeight <= 0 || int64_t(frameWidth) * frameHeight * 4 > bufferBytes) {
        error = "a bitmap of " + std::to_string(frameWidth) + " x " + std::to_string(frameHeight) +
            " pixels does not fit the photo buffer";
        return false;
    }
    CRgbImage image;
    if (!CImageFile::Decode(filePath, image, error, frameWidth, frameHeight)) return false;
    if (!FitInto(image, frameWidth, frameHeight, false, blackBackground ? 0 : 255, bottomUp, pixels.data(),
                 work.data()))
        return false;
    path = filePath;
    bitmapWidth = frameWidth;
    bitmapHeight = frameHeight;
    bitmapStride = frameWidth * 4;
    bitmapBytes = bitmapStride * frameHeight;
    return true;
}

std::string CPhoto::RotatePhotoFile(const std::string& filePath, int turn, std::string* error)
{
    std::string why;
    auto fail = [&](const std::string& text) {
        if (error) *error = text;
        return std::string();
    };
    if (turn < 0 || turn > 2) return fail("unknown turn " + std::to_string(turn));
    CRgbImage image, turned;
    if (!CImageFile::Decode(filePath, image, why)) return fail(why);
    if (!CImageOps::Rotate(image, turn, turned)) return fail("cannot turn \"" + filePath + "\"");
    image.Release();
    // Folder and base name of the source, extension dropped.
    const size_t slash = filePath.find_last_of('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    size_t dot = filePath.find_last_of('.');
    if (dot == std::string::npos || dot <= nameStart) dot = filePath.size();
    const std::string target = filePath.substr(0, dot) + "-r.jpg";
    if (!CImageFile::WriteJpeg(target, turned, 80, why)) return fail(why);
    return target;
}
