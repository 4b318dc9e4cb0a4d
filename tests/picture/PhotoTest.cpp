// Photo files: decoding of the four kinds, refusal of bad and huge files, fitting,
// softening and the rotated copy.
#include <gtest/gtest.h>

#include <png.h>
#include <webp/encode.h>
#include <zlib.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include "picture/ImageFile.h"
#include "picture/ImageOps.h"
#include "picture/Photo.h"
#include "support/TestSupport.h"

namespace {

// The resize and blur as straightforward sums over clamped neighbours, one sample at a
// time: the reference that the row-kernel versions must match byte for byte.
struct SRefTaps {
    int first = 0;
    std::vector<int> weights;
};

std::vector<SRefTaps> RefTentTaps(int src, int dst)
{
    std::vector<SRefTaps> taps(dst);
    const double scale = double(src) / dst, support = std::max(1.0, scale);
    for (int i = 0; i < dst; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        const int lo = int(std::floor(centre - support)) + 1, hi = int(std::floor(centre + support));
        const int first = std::clamp(lo, 0, src - 1), last = std::clamp(hi, 0, src - 1);
        std::vector<double> folded(last - first + 1, 0.0);
        double sum = 0.0;
        for (int j = lo; j <= hi; ++j) {
            const double v = std::max(0.0, 1.0 - std::fabs(j - centre) / support);
            folded[std::clamp(j, 0, src - 1) - first] += v;
            sum += v;
        }
        double running = 0.0;
        long before = 0;
        taps[i].first = first;
        for (size_t k = 0; k < folded.size(); ++k) {
            running += sum > 0 ? folded[k] / sum : (k == 0 ? 1.0 : 0.0);
            const long after = std::lround(16384.0 * running);
            taps[i].weights.push_back(int(after - before));
            before = after;
        }
    }
    return taps;
}

std::vector<uint8_t> RefResize(const CRgbImage& img, int dw, int dh)
{
    const auto tx = RefTentTaps(img.width, dw), ty = RefTentTaps(img.height, dh);
    std::vector<int> mid(size_t(img.height) * dw * 3);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < dw; ++x)
            for (int c = 0; c < 3; ++c) {
                int acc = 0;
                for (size_t k = 0; k < tx[x].weights.size(); ++k)
                    acc += tx[x].weights[k] * img.pixels[(size_t(y) * img.width + tx[x].first + k) * 3 + c];
                mid[(size_t(y) * dw + x) * 3 + c] = (acc + 32) >> 6;
            }
    std::vector<uint8_t> out(size_t(dw) * dh * 4);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            for (int c = 0; c < 3; ++c) {
                int64_t acc = 0;
                for (size_t k = 0; k < ty[y].weights.size(); ++k)
                    acc += int64_t(ty[y].weights[k]) * mid[((ty[y].first + k) * dw + x) * 3 + c];
                out[(size_t(y) * dw + x) * 4 + c] = uint8_t(std::min<int64_t>(255, (acc + (1 << 21)) >> 22));
            }
            out[(size_t(y) * dw + x) * 4 + 3] = 255;
        }
    return out;
}

std::vector<uint8_t> RefBlur(const std::vector<uint8_t>& src, int w, int h)
{
    const int g[5] = {39, 841, 2336, 841, 39};  // exp(-k^2 / 0.98) normalised to 4096
    std::vector<uint8_t> out(src.size());
    auto at = [&](int x, int y, int c) {
        return src[(size_t(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)) * 4 + c];
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            for (int c = 0; c < 3; ++c) {
                uint64_t acc = 0;
                for (int j = -2; j <= 2; ++j)
                    for (int i = -2; i <= 2; ++i) acc += uint64_t(g[j + 2]) * g[i + 2] * at(x + i, y + j, c);
                out[(size_t(y) * w + x) * 4 + c] = uint8_t((acc + (1u << 23)) >> 24);
            }
            out[(size_t(y) * w + x) * 4 + 3] = src[(size_t(y) * w + x) * 4 + 3];
        }
    return out;
}

CRgbImage Pattern(int w, int h)
{
    CRgbImage img;
    img.width = w;
    img.height = h;
    img.pixels.resize(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &img.pixels[(size_t(y) * w + x) * 3];
            p[0] = uint8_t(x * 40 + 10);
            p[1] = uint8_t(y * 60 + 5);
            p[2] = uint8_t((x + y) * 20);
        }
    return img;
}

CRgbImage Flat(int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    CRgbImage img;
    img.width = w;
    img.height = h;
    img.pixels.resize(size_t(w) * h * 3);
    for (size_t i = 0; i < img.pixels.size(); i += 3) {
        img.pixels[i] = r;
        img.pixels[i + 1] = g;
        img.pixels[i + 2] = b;
    }
    return img;
}

void WritePng(const std::string& path, const CRgbImage& img)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = img.width;
    image.height = img.height;
    image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, img.pixels.data(), 0, nullptr));
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int k = 0; k < 4; ++k) v[at + k] = uint8_t(x >> (8 * k));
}

// A 24-bit bottom-up BMP (or top-down when topDown) of `img`.
std::vector<uint8_t> Bmp24(const CRgbImage& img, bool topDown)
{
    const int rowBytes = (img.width * 3 + 3) / 4 * 4;
    std::vector<uint8_t> f(54 + size_t(rowBytes) * img.height, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 2, uint32_t(f.size()));
    Put32(f, 10, 54);
    Put32(f, 14, 40);
    Put32(f, 18, uint32_t(img.width));
    Put32(f, 22, uint32_t(topDown ? -img.height : img.height));
    f[26] = 1;
    f[28] = 24;
    for (int y = 0; y < img.height; ++y) {
        const int stored = topDown ? y : img.height - 1 - y;
        for (int x = 0; x < img.width; ++x) {
            const uint8_t* p = &img.pixels[(size_t(y) * img.width + x) * 3];
            uint8_t* o = &f[54 + size_t(stored) * rowBytes + x * 3];
            o[0] = p[2];
            o[1] = p[1];
            o[2] = p[0];
        }
    }
    return f;
}

}  // namespace

TEST(ImageFile, DecodesTheFourKindsToRgb)
{
    testsupport::TempDir dir;
    const CRgbImage img = Pattern(5, 3);
    std::string error;

    WritePng(dir.File("p.png"), img);
    testsupport::WriteBytes(dir.File("b.bmp"), Bmp24(img, false));
    testsupport::WriteBytes(dir.File("t.bmp"), Bmp24(img, true));
    uint8_t* webp = nullptr;
    const size_t webpSize = WebPEncodeLosslessRGB(img.pixels.data(), 5, 3, 15, &webp);
    ASSERT_GT(webpSize, 0u);
    testsupport::WriteBytes(dir.File("w.webp"), std::vector<uint8_t>(webp, webp + webpSize));
    WebPFree(webp);

    for (const char* name : {"p.png", "b.bmp", "t.bmp", "w.webp"}) {
        CRgbImage out;
        ASSERT_TRUE(CImageFile::Decode(dir.File(name), out, error)) << name << ": " << error;
        EXPECT_EQ(out.width, 5);
        EXPECT_EQ(out.height, 3);
        EXPECT_EQ(out.pixels, img.pixels) << name;
    }

    // JPEG goes through our writer and back; lossy, so only close.
    const CRgbImage flat = Flat(32, 16, 200, 40, 90);
    ASSERT_TRUE(CImageFile::WriteJpeg(dir.File("f.jpg"), flat, 95, error)) << error;
    EXPECT_EQ(CImageFile::DetectKind(dir.File("f.jpg")), CImageFile::kJpeg);
    CRgbImage out;
    ASSERT_TRUE(CImageFile::Decode(dir.File("f.jpg"), out, error)) << error;
    ASSERT_EQ(out.width, 32);
    ASSERT_EQ(out.height, 16);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(out.pixels[3 * 100 + c], flat.pixels[c], 4);
}

TEST(ImageFile, DecodesIndexedBmpWithPalette)
{
    // 3 x 2 pixels, 8 bits, two palette entries (blue, yellow), rows padded to 4 bytes.
    std::vector<uint8_t> f(54 + 8 + 8, 0);
    f[0] = 'B';
    f[1] = 'M';
    Put32(f, 10, 62);
    Put32(f, 14, 40);
    Put32(f, 18, 3);
    Put32(f, 22, 2);
    f[26] = 1;
    f[28] = 8;
    Put32(f, 46, 2);
    const uint8_t pal[8] = {255, 0, 0, 0, 0, 255, 255, 0};  // B, G, R, x
    std::memcpy(&f[54], pal, 8);
    const uint8_t rows[8] = {0, 1, 0, 0, 1, 1, 0, 0};  // bottom line first
    std::memcpy(&f[62], rows, 8);
    testsupport::TempDir dir;
    testsupport::WriteBytes(dir.File("i.bmp"), f);
    CRgbImage out;
    std::string error;
    ASSERT_TRUE(CImageFile::Decode(dir.File("i.bmp"), out, error)) << error;
    const std::vector<uint8_t> expect = {255, 255, 0,   255, 255, 0, 0, 0, 255,  // top line: 1 1 0
                                         0,   0,   255, 255, 255, 0, 0, 0, 255};
    EXPECT_EQ(out.pixels, expect);
}

TEST(ImageFile, RefusesMissingBrokenAndHugeFilesNamingThem)
{
    testsupport::TempDir dir;
    CRgbImage out;
    std::string error;
    EXPECT_FALSE(CImageFile::Decode(dir.File("none.jpg"), out, error));
    EXPECT_NE(error.find("none.jpg"), std::string::npos);

    testsupport::WriteText(dir.File("text.jpg"), "just some words");
    EXPECT_FALSE(CImageFile::Decode(dir.File("text.jpg"), out, error));
    EXPECT_NE(error.find("text.jpg"), std::string::npos);

    // A BMP whose pixel data stops short of what its header promises.
    auto bmp = Bmp24(Pattern(5, 3), false);
    bmp.resize(bmp.size() - 10);
    testsupport::WriteBytes(dir.File("short.bmp"), bmp);
    EXPECT_FALSE(CImageFile::Decode(dir.File("short.bmp"), out, error));
    EXPECT_NE(error.find("short.bmp"), std::string::npos);

    // A JPEG cut off inside its header.
    ASSERT_TRUE(CImageFile::WriteJpeg(dir.File("cut.jpg"), Flat(16, 16, 1, 2, 3), 80, error));
    auto jpg = testsupport::ReadBytes(dir.File("cut.jpg"));
    jpg.resize(40);
    testsupport::WriteBytes(dir.File("cut.jpg"), jpg);
    EXPECT_FALSE(CImageFile::Decode(dir.File("cut.jpg"), out, error));
    EXPECT_NE(error.find("cut.jpg"), std::string::npos);

    // Headers announcing more than 100 megapixels are refused before any pixel is read.
    std::vector<uint8_t> huge(54, 0);
    huge[0] = 'B';
    huge[1] = 'M';
    Put32(huge, 10, 54);
    Put32(huge, 14, 40);
    Put32(huge, 18, 20000);
    Put32(huge, 22, 10001);
    huge[26] = 1;
    huge[28] = 24;
    testsupport::WriteBytes(dir.File("huge.bmp"), huge);
    EXPECT_FALSE(CImageFile::Decode(dir.File("huge.bmp"), out, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;

    // The same for a PNG: signature plus an IHDR chunk of 30000 x 30000.
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G',  '\r', '\n', 0x1a, '\n', 0,    0, 0, 13, 'I', 'H', 'D',
                                'R',  0,   0,   0x75, 0x30, 0,    0,    0x75, 0x30, 8, 2, 0,  0,   0};
    const uint32_t crc = uint32_t(crc32(0, png.data() + 12, 17));
    for (int k = 3; k >= 0; --k) png.push_back(uint8_t(crc >> (8 * k)));
    // An empty IDAT chunk so the reader reaches the end of the header.
    const uint8_t idat[] = {0, 0, 0, 0, 'I', 'D', 'A', 'T'};
    png.insert(png.end(), idat, idat + 8);
    const uint32_t idatCrc = uint32_t(crc32(0, idat + 4, 4));
    for (int k = 3; k >= 0; --k) png.push_back(uint8_t(idatCrc >> (8 * k)));
    testsupport::WriteBytes(dir.File("huge.png"), png);
    EXPECT_FALSE(CImageFile::Decode(dir.File("huge.png"), out, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    EXPECT_TRUE(out.pixels.empty());
}

TEST(Photo, FittedSizesAndGapClosing)
{
    int w = 0, h = 0;
    CPhoto::FittedSize(1600, 1200, 720, 480, true, w, h);
    EXPECT_EQ(w, 640);
    EXPECT_EQ(h, 480);
    CPhoto::FittedSize(3000, 1000, 720, 480, true, w, h);
    EXPECT_EQ(w, 720);
    EXPECT_EQ(h, 240);
    CPhoto::FittedSize(1000, 665, 720, 480, true, w, h);
    EXPECT_EQ(h, 478);  // a gap of 2 is kept
    CPhoto::FittedSize(1000, 666, 720, 480, true, w, h);
    EXPECT_EQ(h, 480);  // a gap of 1 is closed
    CPhoto::FittedSize(1000, 666, 720, 480, false, w, h);
    EXPECT_EQ(h, 479);
}

TEST(Photo, ThumbnailIsCentredOnWhiteWithOddLineBelow)
{
    testsupport::TempDir dir;
    WritePng(dir.File("wide.png"), Flat(1000, 665, 255, 0, 0));
    CPhoto photo;
    ASSERT_TRUE(photo.LoadFitted(80, 80, false, false, dir.File("wide.png"))) << photo.Error();
    EXPECT_EQ(photo.bitmapStride, 320);
    EXPECT_EQ(photo.bitmapBytes, 80 * 80 * 4);
    auto px = [&](int x, int y) { return &photo.pixels[size_t(y * 80 + x) * 4]; };
    for (int y = 0; y < 80; ++y) {
        const bool photoLine = y >= 13 && y < 13 + 53;
        EXPECT_EQ(px(40, y)[1], photoLine ? 0 : 255) << "line " << y;
        EXPECT_EQ(px(40, y)[3], 255);
    }
    // Bottom-up on black: the first stored line is the bottom bar.
    ASSERT_TRUE(photo.LoadFitted(80, 80, true, true, dir.File("wide.png")));
    EXPECT_EQ(px(0, 0)[0], 0);
    EXPECT_EQ(px(0, 14)[0], 255);
    EXPECT_EQ(px(0, 13)[0], 0);

    // A failed load keeps the previous bitmap.
    const auto before = photo.pixels;
    EXPECT_FALSE(photo.LoadFitted(80, 80, false, false, dir.File("missing.png")));
    EXPECT_EQ(photo.pixels, before);
    EXPECT_FALSE(photo.Error().empty());
}

TEST(ImageOps, ResizeAveragesOnReductionAndBlurSpreadsFiveTaps)
{
    // Black and white columns reduced to half width average to mid grey.
    CRgbImage stripes;
    stripes.width = 8;
    stripes.height = 2;
    stripes.pixels.resize(8 * 2 * 3);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 8; ++x)
            for (int c = 0; c < 3; ++c) stripes.pixels[(y * 8 + x) * 3 + c] = x % 2 ? 255 : 0;
    std::vector<uint8_t> out(4 * 2 * 4);
    CImageOps::ResizeRgbToRgbx(stripes.pixels.data(), 8, 2, 24, out.data(), 4, 2, 16);
    for (int x = 1; x < 3; ++x) EXPECT_NEAR(out[x * 4], 128, 1);
    EXPECT_EQ(out[3], 255);

    // One bright pixel spreads to two neighbours each way, symmetrically.
    const int w = 9, h = 9;
    std::vector<uint8_t> src(size_t(w) * h * 4, 0), dst(size_t(w) * h * 4, 0);
    for (int i = 0; i < w * h; ++i) src[i * 4 + 3] = 77;
    src[(4 * w + 4) * 4 + 1] = 255;
    CImageOps::BlurRgbx(src.data(), dst.data(), w, h, w * 4);
    auto g = [&](int x, int y) { return int(dst[(y * w + x) * 4 + 1]); };
    EXPECT_NEAR(g(4, 4), 83, 1);  // 255 x 0.5698^2
    EXPECT_EQ(g(3, 4), g(5, 4));
    EXPECT_EQ(g(4, 3), g(4, 5));
    EXPECT_GT(g(4, 2) + g(2, 4), 0);
    EXPECT_EQ(g(4, 1), 0);
    EXPECT_EQ(g(1, 4), 0);
    EXPECT_EQ(dst[3], 77);
}

// The row-kernel resize and blur give exactly the straightforward sums, for sizes down
// to one pixel, reductions and enlargements, and odd widths.
TEST(ImageOps, ResizeAndBlurMatchTheDirectSumsAtEverySize)
{
    std::mt19937 rng(5);
    const int sizes[][4] = {{1, 1, 1, 1},       {1, 1, 5, 3},    {3, 2, 1, 1},      {7, 5, 3, 2},
                            {8, 2, 4, 2},       {17, 9, 40, 21}, {100, 60, 33, 27}, {1000, 750, 720, 480},
                            {333, 41, 720, 89}, {64, 64, 7, 61}};
    for (const auto& sz : sizes) {
        CRgbImage img;
        img.width = sz[0];
        img.height = sz[1];
        img.pixels.resize(size_t(sz[0]) * sz[1] * 3);
        for (auto& b : img.pixels) b = uint8_t(rng() % 3 == 0 ? (rng() & 1) * 255 : rng());
        std::vector<uint8_t> out(size_t(sz[2]) * sz[3] * 4, 0);
        CImageOps::ResizeRgbToRgbx(img.pixels.data(), sz[0], sz[1], sz[0] * 3, out.data(), sz[2], sz[3], sz[2] * 4);
        ASSERT_EQ(out, RefResize(img, sz[2], sz[3])) << sz[0] << "x" << sz[1] << " -> " << sz[2] << "x" << sz[3];
    }
    for (const auto& sz : sizes) {
        const int w = sz[2], h = sz[3];
        std::vector<uint8_t> src(size_t(w) * h * 4), dst(src.size(), 0);
        for (auto& b : src) b = uint8_t(rng() % 3 == 0 ? (rng() & 1) * 255 : rng());
        CImageOps::BlurRgbx(src.data(), dst.data(), w, h, w * 4);
        ASSERT_EQ(dst, RefBlur(src, w, h)) << w << "x" << h;
    }
}

TEST(Photo, RotatedCopiesAreNamedAfterTheirSource)
{
    testsupport::TempDir dir;
    // 64 x 32: left half red, right half blue.
    CRgbImage img = Flat(64, 32, 0, 0, 255);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) img.pixels[(y * 64 + x) * 3] = 255, img.pixels[(y * 64 + x) * 3 + 2] = 0;
    std::string error;
    ASSERT_TRUE(CImageFile::WriteJpeg(dir.File("a.jpg"), img, 95, error));
    const auto original = testsupport::ReadBytes(dir.File("a.jpg"));

    const std::string once = CPhoto::RotatePhotoFile(dir.File("a.jpg"), 0, &error);
    ASSERT_EQ(once, dir.File("a-r.jpg")) << error;
    CRgbImage turned;
    ASSERT_TRUE(CImageFile::Decode(once, turned, error));
    EXPECT_EQ(turned.width, 32);
    EXPECT_EQ(turned.height, 64);
    // Clockwise: the left (red) half is now on top.
    EXPECT_GT(turned.pixels[(5 * 32 + 16) * 3], 200);
    EXPECT_GT(turned.pixels[(58 * 32 + 16) * 3 + 2], 200);

    const std::string twice = CPhoto::RotatePhotoFile(once, 1, &error);
    ASSERT_EQ(twice, dir.File("a-r-r.jpg")) << error;
    ASSERT_TRUE(CImageFile::Decode(twice, turned, error));
    EXPECT_GT(turned.pixels[(58 * 32 + 16) * 3], 200);  // red now at the bottom

    EXPECT_EQ(testsupport::ReadBytes(dir.File("a.jpg")), original);
    EXPECT_EQ(CPhoto::RotatePhotoFile(dir.File("a.jpg"), 3), "");
    EXPECT_EQ(CPhoto::RotatePhotoFile(dir.File("nothing.jpg"), 0), "");
    EXPECT_FALSE(std::filesystem::exists(dir.File("nothing-r.jpg")));
}
