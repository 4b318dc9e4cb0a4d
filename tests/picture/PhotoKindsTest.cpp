// Photo kinds beyond plain RGB: CMYK and YCCK JPEGs from print workflows, GIFs (first
// picture, transparency, interlacing, damage), and the one-line reasons given for
// files that are no photo at all.
#include <gtest/gtest.h>

#include <zlib.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "picture/GifDecoder.h"
#include "picture/ImageFile.h"
#include "support/InkJpeg.h"
#include "support/TestSupport.h"

namespace {

using testsupport::TempDir;

void ExpectPixelNear(const CRgbImage& image, int x, int y, int r, int g, int b, const std::string& what)
{
    const uint8_t* p = &image.pixels[(size_t(y) * image.width + x) * 3];
    EXPECT_NEAR(p[0], r, 6) << what;
    EXPECT_NEAR(p[1], g, 6) << what;
    EXPECT_NEAR(p[2], b, 6) << what;
}

// A minimal GIF writer: codes of nine bits (eight-bit colour indices), a clear code
// before the table would grow past them.
struct SGifPicture {
    int screenWidth = 0, screenHeight = 0;
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<uint8_t> palette;  // RGB triples, 256 entries are written
    std::vector<uint8_t> indices;  // stored order
    int transparent = -1;
    bool interlaced = false;
};

std::vector<uint8_t> WriteGif(const SGifPicture& g)
{
    std::vector<uint8_t> f = {'G', 'I', 'F', '8', '9', 'a'};
    auto le16 = [&](int v) {
        f.push_back(uint8_t(v));
        f.push_back(uint8_t(v >> 8));
    };
    le16(g.screenWidth);
    le16(g.screenHeight);
    f.push_back(0xF7);  // a global table of 256 colours
    f.push_back(0);
    f.push_back(0);
    for (int i = 0; i < 256 * 3; ++i) f.push_back(size_t(i) < g.palette.size() ? g.palette[size_t(i)] : 0);
    if (g.transparent >= 0) {
        const uint8_t control[] = {0x21, 0xF9, 4, 1, 0, 0, uint8_t(g.transparent), 0};
        f.insert(f.end(), control, control + sizeof control);
    }
    f.push_back(0x2C);
    le16(g.left);
    le16(g.top);
    le16(g.width);
    le16(g.height);
    f.push_back(g.interlaced ? 0x40 : 0);
    f.push_back(8);
    std::vector<uint8_t> data;
    uint32_t bits = 0;
    int held = 0;
    auto code = [&](int c) {
        bits |= uint32_t(c) << held;
        for (held += 9; held >= 8; held -= 8, bits >>= 8) data.push_back(uint8_t(bits));
    };
    for (size_t i = 0; i < g.indices.size(); ++i) {
        if (i % 254 == 0) code(256);
        code(g.indices[i]);
    }
    code(257);
    if (held > 0) data.push_back(uint8_t(bits));
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        f.push_back(uint8_t(n));
        f.insert(f.end(), data.begin() + long(at), data.begin() + long(at + n));
    }
    f.push_back(0);
    f.push_back(0x3B);
    return f;
}

// Four colours: red, green, blue, white.
SGifPicture FourColourGif(int w, int h)
{
    SGifPicture g;
    g.screenWidth = g.width = w;
    g.screenHeight = g.height = h;
    g.palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    for (int i = 0; i < w * h; ++i) g.indices.push_back(uint8_t((i / w + i % w) % 4));
    return g;
}

bool Decode(const std::vector<uint8_t>& bytes, CRgbImage& out, std::string& reason)
{
    return CGifDecoder::Decode(bytes.data(), bytes.size(), CImageFile::maxPixels, out, reason);
}

}  // namespace

TEST(ImageFile, CmykAndYcckJpegsShowTheirColoursWithAndWithoutTheAdobeMarker)
{
    TempDir dir;
    // Red is magenta plus yellow ink; blue is cyan plus magenta. With the Adobe marker the
    // stored bytes are inverted (255 = no ink), as print workflows write them.
    const uint8_t redInverted[4] = {255, 0, 0, 255}, blueInverted[4] = {0, 0, 255, 255};
    const uint8_t redPlain[4] = {0, 255, 255, 0}, bluePlain[4] = {255, 255, 0, 0};
    const uint8_t greyInverted[4] = {255, 255, 255, 127};  // half black ink
    struct {
        const char* name;
        const uint8_t* left;
        const uint8_t* right;
        bool ycck, adobe;
    } cases[] = {
        {"cmyk-adobe.jpg", redInverted, blueInverted, false, true},
        {"ycck-adobe.jpg", redInverted, greyInverted, true, true},
        {"cmyk-plain.jpg", redPlain, bluePlain, false, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(testsupport::WriteInkJpeg(dir.File(c.name), c.left, c.right, c.ycck, c.adobe));
        CRgbImage out;
        std::string error;
        ASSERT_TRUE(CImageFile::Decode(dir.File(c.name), out, error)) << c.name << ": " << error;
        ASSERT_EQ(out.width, 16);
        ASSERT_EQ(out.height, 8);
        ExpectPixelNear(out, 2, 3, 255, 0, 0, c.name);
        if (c.right == greyInverted)
            ExpectPixelNear(out, 13, 3, 127, 127, 127, c.name);
        else
            ExpectPixelNear(out, 13, 3, 0, 0, 255, c.name);
    }
}

TEST(GifDecoder, FirstPictureWithTransparencyOffsetAndInterlacing)
{
    // Straight, then interlaced (lines stored 0, 8, 4, 2, 6, 10, 1, 3, ...).
    SGifPicture g = FourColourGif(5, 11);
    CRgbImage plain, interlaced;
    std::string reason;
    ASSERT_TRUE(Decode(WriteGif(g), plain, reason)) << reason;
    ASSERT_EQ(plain.width, 5);
    ASSERT_EQ(plain.height, 11);
    EXPECT_EQ(plain.pixels[0], 255);  // (0,0) index 0: red
    EXPECT_EQ(plain.pixels[(1 * 5 + 0) * 3 + 1], 255);  // (0,1) index 1: green
    SGifPicture inter = g;
    inter.interlaced = true;
    const int order[] = {0, 8, 4, 2, 6, 10, 1, 3, 5, 7, 9};
    for (int n = 0; n < 11; ++n) std::copy_n(g.indices.begin() + order[n] * 5, 5, inter.indices.begin() + n * 5);
    ASSERT_TRUE(Decode(WriteGif(inter), interlaced, reason)) << reason;
    EXPECT_EQ(interlaced.pixels, plain.pixels);

    // A 2 x 2 picture at (3, 1) on a 6 x 4 screen, its index 3 transparent: the rest of
    // the screen and the transparent pixels are black.
    SGifPicture small = FourColourGif(2, 2);
    small.screenWidth = 6;
    small.screenHeight = 4;
    small.left = 3;
    small.top = 1;
    small.indices = {0, 3, 2, 1};
    small.transparent = 3;
    CRgbImage out;
    ASSERT_TRUE(Decode(WriteGif(small), out, reason)) << reason;
    ASSERT_EQ(out.width, 6);
    ASSERT_EQ(out.height, 4);
    auto at = [&](int x, int y) {
        const uint8_t* p = &out.pixels[(size_t(y) * 6 + x) * 3];
        return std::vector<int>{p[0], p[1], p[2]};
    };
    EXPECT_EQ(at(3, 1), (std::vector<int>{255, 0, 0}));
    EXPECT_EQ(at(4, 1), (std::vector<int>{0, 0, 0}));  // transparent
    EXPECT_EQ(at(3, 2), (std::vector<int>{0, 0, 255}));
    EXPECT_EQ(at(4, 2), (std::vector<int>{0, 255, 0}));
    EXPECT_EQ(at(0, 0), (std::vector<int>{0, 0, 0}));  // outside the picture
}

TEST(GifDecoder, RefusesDamageAndGiantScreensAndSurvivesMutations)
{
    const std::vector<uint8_t> good = WriteGif(FourColourGif(8, 8));
    CRgbImage out;
    std::string reason;

    std::vector<uint8_t> cut(good.begin(), good.begin() + 6 + 7 + 256 * 3 + 4);  // inside the picture header
    EXPECT_FALSE(Decode(cut, out, reason));
    EXPECT_EQ(reason.rfind("damaged (", 0), 0u) << reason;
    EXPECT_TRUE(out.pixels.empty());

    // A first code that names a table entry that does not exist yet.
    std::vector<uint8_t> badCode = good;
    const size_t data = 6 + 7 + 256 * 3 + 10 + 1 + 1;  // first data byte after the length byte
    badCode[data + 1] = 0xFF;  // after the clear code comes 511, ...
    badCode[data + 2] |= 0x03;  // ... while the table ends at 257
    EXPECT_FALSE(Decode(badCode, out, reason));
    EXPECT_EQ(reason, "damaged (a picture code that was never defined)");

    // A 60000 x 60000 screen is refused by its header, before any memory is taken.
    SGifPicture giant = FourColourGif(2, 2);
    giant.screenWidth = giant.screenHeight = 60000;
    EXPECT_FALSE(Decode(WriteGif(giant), out, reason));
    EXPECT_EQ(reason, "too large (60000 x 60000 pixels; at most 100 megapixels are decoded)");

    // Pixels the data does not reach stay black.
    std::vector<uint8_t> shortData = WriteGif(FourColourGif(8, 8));
    shortData[6 + 7 + 256 * 3 + 10 + 1] = 20;  // the first sub-block claims 20 bytes ...
    shortData.resize(6 + 7 + 256 * 3 + 10 + 2 + 20);  // ... and the file ends there
    ASSERT_TRUE(Decode(shortData, out, reason)) << reason;
    EXPECT_EQ(out.pixels[0], 255);
    EXPECT_EQ(out.pixels.back(), 0);

    // Random damage never reads outside the file (the sanitizer build checks it); a
    // small cap keeps damaged screen sizes from taking much memory.
    std::mt19937 random(7);
    for (int round = 0; round < 3000; ++round) {
        std::vector<uint8_t> bytes = good;
        // Damage in the header or after the colour table, where the lengths and codes are.
        const size_t tableEnd = 6 + 7 + 256 * 3;
        for (int k = 0; k < 4; ++k) {
            const size_t at = random() % 2 ? random() % 13 : tableEnd + random() % (bytes.size() - tableEnd);
            bytes[at] = uint8_t(random());
        }
        bytes.resize(bytes.size() - random() % 40);
        if (CGifDecoder::Decode(bytes.data(), bytes.size(), 1'000'000, out, reason)) {
            EXPECT_EQ(out.pixels.size(), size_t(out.width) * out.height * 3);
        }
    }
}

TEST(GifDecoder, MatchesFfmpegOnACompressedGif)
{
    if (!testsupport::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string gif = dir.File("t.gif"), raw = dir.File("t.rgb");
    auto made = testsupport::Run("ffmpeg -nostdin -v error -f lavfi -i testsrc=size=97x61 -frames:v 1 " +
                                 testsupport::Quote(gif) + " && ffmpeg -nostdin -v error -i " +
                                 testsupport::Quote(gif) + " -f rawvideo -pix_fmt rgb24 " + testsupport::Quote(raw));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    CRgbImage out;
    std::string error;
    ASSERT_TRUE(CImageFile::Decode(gif, out, error)) << error;
    ASSERT_EQ(out.width, 97);
    ASSERT_EQ(out.height, 61);
    EXPECT_EQ(out.pixels, testsupport::ReadBytes(raw));
}

TEST(ImageFile, ReasonsNameTheFileAndWhatIsWrong)
{
    TempDir dir;
    std::filesystem::create_directory(dir.File("folder.jpg"));
    testsupport::WriteText(dir.File("empty.jpg"), "");
    testsupport::WriteText(dir.File("text.jpg"), "just some words");
    testsupport::WriteBytes(dir.File("scan.jpg"), {'I', 'I', '*', 0, 8, 0, 0, 0, 0, 0});
    // A PNG whose header claims 100000 x 100000 pixels.
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G',  '\r', '\n', 0x1a, '\n', 0,    0, 0, 13, 'I', 'H', 'D',
                                'R',  0,   1,   0x86, 0xA0, 0,    1,    0x86, 0xA0, 8, 2, 0,  0,   0};
    const uint32_t crc = uint32_t(crc32(0, png.data() + 12, 17));
    for (int k = 3; k >= 0; --k) png.push_back(uint8_t(crc >> (8 * k)));
    const uint8_t idat[] = {0, 0, 0, 0, 'I', 'D', 'A', 'T', 0x35, 0xAF, 0x06, 0x1E};  // empty, with its checksum
    png.insert(png.end(), idat, idat + sizeof idat);
    testsupport::WriteBytes(dir.File("bomb.png"), png);
    // The same header for 4 x 4 pixels, with a checksum that does not match.
    std::vector<uint8_t> broken = png;
    broken[16] = broken[20] = 0;
    broken[17] = broken[21] = 0;
    broken[18] = broken[22] = 0;
    broken[19] = broken[23] = 4;
    testsupport::WriteBytes(dir.File("broken.png"), broken);

    const std::pair<const char*, const char*> cases[] = {
        {"missing.jpg", "no such file"},
        {"folder.jpg", "is a folder"},
        {"empty.jpg", "empty file"},
        {"text.jpg", "not a picture"},
        {"scan.jpg", "unsupported kind (TIFF)"},
        {"bomb.png", "too large (100000 x 100000 pixels; at most 100 megapixels are decoded)"},
        {"broken.png", "damaged ("},
    };
    for (const auto& [name, reason] : cases) {
        CRgbImage out;
        std::string error;
        EXPECT_FALSE(CImageFile::Decode(dir.File(name), out, error)) << name;
        EXPECT_EQ(error.rfind(dir.File(name) + ": " + reason, 0), 0u) << error;
        EXPECT_TRUE(out.pixels.empty()) << name;
    }
}

TEST(ImageFile, LongStripDecodesWhole)
{
    TempDir dir;
    CRgbImage strip;
    strip.width = 20000;
    strip.height = 100;
    strip.pixels.assign(size_t(20000) * 100 * 3, 200);
    std::string error;
    ASSERT_TRUE(CImageFile::WriteJpeg(dir.File("strip.jpg"), strip, 50, error)) << error;
    CRgbImage out;
    ASSERT_TRUE(CImageFile::Decode(dir.File("strip.jpg"), out, error)) << error;
    EXPECT_EQ(out.width, 20000);
    EXPECT_EQ(out.height, 100);
}
