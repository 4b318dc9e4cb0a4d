#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "picture/RgbImage.h"

// A photo fitted into a frame as a 32-bit bitmap (R, G, B, 255 per pixel), for
// thumbnails and previews; also the shared fitting rule and the rotated copy.
class CPhoto {
public:
    // Both bitmaps are reserved once at this size and reused for every photo.
    static constexpr int bufferBytes = 4'194'304;

    CPhoto();
    virtual ~CPhoto() = default;

    // Decodes `filePath` and fits it into a frameWidth x frameHeight bitmap on a white
    // (or black) background, lines top-down unless bottomUp. Returns false when the
    // file cannot be opened or decoded, or the frame exceeds 1,048,576 pixels;
    // `pixels` then keeps its previous content and Error() says why.
    bool LoadFitted(int frameWidth, int frameHeight, bool bottomUp, bool blackBackground, const std::string& filePath);

    // Fits `image` into a W x H 32-bit bitmap (`bitmap`, W x 4 bytes per line) filled
    // with `background` in every byte, centred, lines bottom-up when asked. With
    // closeGaps, a bar of less than two pixels is closed by stretching. `work` receives
    // the resized image before centring (top-down, its width x 4 bytes per line).
    // Returns false when W x H exceeds the buffers or the image is empty.
    static bool FitInto(const CRgbImage& image, int W, int H, bool closeGaps, uint8_t background, bool bottomUp,
                        uint8_t* bitmap, uint8_t* work);

    // The size FitInto gives the photo inside the frame.
    static void FittedSize(int w, int h, int W, int H, bool closeGaps, int& fittedWidth, int& fittedHeight);

    // Writes a copy of the photo turned by a quarter (0 = 90 degrees clockwise,
    // 1 = 180 degrees, 2 = 90 degrees counter-clockwise) as a JPEG of quality 80
    // named after the source with "-r.jpg" in place of its extension, beside it,
    // replacing any file of that name. Returns the new path, or "" on failure (the
    // reason in `error`). The source file is never changed.
    static std::string RotatePhotoFile(const std::string& filePath, int turn, std::string* error = nullptr);

    std::string path;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> work;
    int32_t bitmapHeight = 0;
    int32_t bitmapWidth = 0;
    int32_t bitmapBytes = 0;
    int32_t bitmapStride = 0;

    // Why the last LoadFitted failed.
    const std::string& Error() const { return error; }

private:
    std::string error;
};
