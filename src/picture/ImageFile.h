#pragma once
#include <cstdint>
#include <string>

#include "picture/RgbImage.h"

// Reading photo files (JPEG, PNG, BMP, WebP, GIF) into 24-bit RGB and writing JPEG
// files. Failures never print anything; they return false with one line in `error`:
// the file, a colon and the reason ("no such file", "is a folder", "empty file", "not a
// picture", "unsupported kind (...)", "too large (...)", "damaged (...)").
class CImageFile {
public:
    enum EKind { kUnknown = 0, kJpeg = 1, kBmp = 2, kPng = 3, kWebp = 4, kGif = 5 };

    // Photos that would decode to more than this many pixels (100 megapixels, 300 MB
    // of RGB) are refused before any memory is taken for them. A JPEG decoded at a
    // reduced size counts at that size.
    static constexpr int64_t maxPixels = 100'000'000;

    // The reason given for a picture of w x h pixels over maxPixels.
    static std::string TooLargeReason(int64_t w, int64_t h);

    // Reads the first bytes of the file and returns its kind (kUnknown when the file
    // cannot be opened or is of no decodable kind).
    static EKind DetectKind(const std::string& path);

    // Decodes the file into `out` (RGB, top line first). When wantWidth/wantHeight
    // are given, a JPEG may be decoded at 1/2, 1/4 or 1/8 size as long as the result
    // still covers wantWidth x wantHeight. CMYK and YCCK JPEGs are converted to RGB
    // (inverted when an Adobe marker says so, as print workflows write them); a GIF gives
    // its first picture with transparent parts black. Returns false (out released) on
    // failure.
    static bool Decode(const std::string& path, CRgbImage& out, std::string& error, int wantWidth = 0,
                       int wantHeight = 0);

    // Writes `image` as a baseline JPEG of the given quality. The file is written
    // under a temporary name and renamed over `path` only when complete, so a failure
    // leaves any earlier file of that name untouched. Returns false on failure.
    static bool WriteJpeg(const std::string& path, const CRgbImage& image, int quality, std::string& error);
};
