#pragma once
#include <cstdint>
#include <string>

#include "picture/RgbImage.h"

// Reading photo files (JPEG, PNG, BMP, WebP) into 24-bit RGB and writing JPEG files.
// Failures never print anything; they return false with a sentence naming the file
// and the problem in `error`.
class CImageFile {
public:
    enum EKind { kUnknown = 0, kJpeg = 1, kBmp = 2, kPng = 3, kWebp = 4 };

    // Photos larger than this many pixels are refused instead of decoded.
    static constexpr int64_t maxPixels = 200'000'000;

    // Reads the first bytes of the file and returns its kind (kUnknown when the file
    // cannot be opened or is of no decodable kind).
    static EKind DetectKind(const std::string& path);

    // Decodes the file into `out` (RGB, top line first). When wantWidth/wantHeight
    // are given, a JPEG may be decoded at 1/2, 1/4 or 1/8 size as long as the result
    // still covers wantWidth x wantHeight. Returns false (out released) on failure.
    static bool Decode(const std::string& path, CRgbImage& out, std::string& error, int wantWidth = 0,
                       int wantHeight = 0);

    // Writes `image` as a baseline JPEG of the given quality. The file is written
    // under a temporary name and renamed over `path` only when complete, so a failure
    // leaves any earlier file of that name untouched. Returns false on failure.
    static bool WriteJpeg(const std::string& path, const CRgbImage& image, int quality, std::string& error);
};
