// The live preview's pictures: each raw format the capture hands over lands the right way
// up, with its colour planes in their own order, shrunk to the preview's size; and a new
// preview is made at most once per interval and taken once.
#include "media/DirectShowAV.h"
#include "media/PreviewPicture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

struct SYuv {
    int y, u, v;
};
constexpr SYuv kRed{81, 90, 240};
constexpr SYuv kBlue{41, 240, 110};

// A planar 4:2:0 picture: the left half `left`, the right half `right`; V before U for
// YV12.
std::vector<uint8_t> Planar(int w, int h, SYuv left, SYuv right, bool vFirst)
{
    std::vector<uint8_t> bytes(size_t(w * h + 2 * (w / 2) * (h / 2)));
    uint8_t* y = bytes.data();
    uint8_t* u = y + w * h;
    uint8_t* v = u + (w / 2) * (h / 2);
    if (vFirst) std::swap(u, v);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) y[row * w + x] = uint8_t(x < w / 2 ? left.y : right.y);
    for (int row = 0; row < h / 2; ++row)
        for (int x = 0; x < w / 2; ++x) {
            u[row * (w / 2) + x] = uint8_t(x < w / 4 ? left.u : right.u);
            v[row * (w / 2) + x] = uint8_t(x < w / 4 ? left.v : right.v);
        }
    return bytes;
}

void ExpectColour(uint32_t pixel, int r, int g, int b, const char* where)
{
    EXPECT_LE(std::abs(int((pixel >> 16) & 255) - r), 3) << where << std::hex << " " << pixel;
    EXPECT_LE(std::abs(int((pixel >> 8) & 255) - g), 3) << where << std::hex << " " << pixel;
    EXPECT_LE(std::abs(int(pixel & 255) - b), 3) << where << std::hex << " " << pixel;
    EXPECT_EQ(pixel >> 24, 0xffu) << where;
}

CPreviewPicture::SFrame Make(int32_t code, int w, int h, const std::vector<uint8_t>& bytes)
{
    CPreviewPicture preview;
    preview.SetSize(8, 6);
    EXPECT_TRUE(preview.Offer(code, w, h, bytes.data()));
    CPreviewPicture::SFrame frame;
    uint64_t serial = 0;
    EXPECT_TRUE(preview.Take(frame, serial));
    EXPECT_EQ(frame.width, 8);
    EXPECT_EQ(frame.height, 6);
    EXPECT_EQ(frame.pixels.size(), 48u);
    return frame;
}

}  // namespace

TEST(PreviewPicture, EachRawFormatKeepsItsColoursAndSides)
{
    const int w = 64, h = 48;
    // IYUV (U first) and YV12 (V first): red on the left, blue on the right.
    for (const bool vFirst : {false, true}) {
        const CPreviewPicture::SFrame frame =
            Make(vFirst ? kVideoYV12 : kVideoIYUV, w, h, Planar(w, h, kRed, kBlue, vFirst));
        ExpectColour(frame.pixels[0], 255, 0, 0, vFirst ? "YV12 left" : "IYUV left");
        ExpectColour(frame.pixels[7], 0, 0, 255, vFirst ? "YV12 right" : "IYUV right");
        ExpectColour(frame.pixels[5 * 8 + 1], 255, 0, 0, "bottom left");
    }

    // YUY2: Y0 U Y1 V pairs, white on the left, black on the right.
    std::vector<uint8_t> packed(size_t(w * h * 2));
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; x += 2) {
            uint8_t* p = packed.data() + (row * w + x) * 2;
            p[0] = p[2] = uint8_t(x < w / 2 ? 235 : 16);
            p[1] = p[3] = 128;
        }
    CPreviewPicture::SFrame frame = Make(kVideoYUY2, w, h, packed);
    ExpectColour(frame.pixels[0], 255, 255, 255, "YUY2 left");
    ExpectColour(frame.pixels[7], 0, 0, 0, "YUY2 right");

    // RGB32 comes bottom line first: green on the picture's upper half only.
    std::vector<uint8_t> bitmap(size_t(w * h * 4), 0);
    for (int row = 0; row < h / 2; ++row)  // memory rows of the upper half are the last
        for (int x = 0; x < w; ++x) bitmap[size_t(((h - 1 - row) * w + x) * 4 + 1)] = 200;
    frame = Make(kVideoRGB32, w, h, bitmap);
    ExpectColour(frame.pixels[0], 0, 200, 0, "RGB32 top");
    ExpectColour(frame.pixels[5 * 8], 0, 0, 0, "RGB32 bottom");
}

TEST(PreviewPicture, MakesOnePictureAnIntervalAndHandsEachOverOnce)
{
    const std::vector<uint8_t> picture = Planar(16, 16, kRed, kRed, false);
    CPreviewPicture preview;
    preview.SetSize(4, 4);
    preview.SetInterval(60);
    CPreviewPicture::SFrame frame;
    uint64_t serial = 0;
    EXPECT_FALSE(preview.Take(frame, serial));  // nothing made yet
    EXPECT_TRUE(preview.Offer(kVideoIYUV, 16, 16, picture.data()));
    EXPECT_FALSE(preview.Offer(kVideoIYUV, 16, 16, picture.data()));  // within the interval
    EXPECT_EQ(preview.Serial(), 1u);
    EXPECT_TRUE(preview.Take(frame, serial));
    EXPECT_EQ(serial, 1u);
    EXPECT_FALSE(preview.Take(frame, serial));  // already taken

    CPreviewPicture eager;
    eager.SetInterval(0);
    EXPECT_FALSE(eager.Offer(42, 16, 16, picture.data()));  // an unknown format
    EXPECT_FALSE(eager.Offer(kVideoIYUV, 0, 16, picture.data()));
    EXPECT_FALSE(eager.Offer(kVideoIYUV, 16, 16, nullptr));
    EXPECT_TRUE(eager.Offer(kVideoIYUV, 16, 16, picture.data()));
    EXPECT_TRUE(eager.Offer(kVideoIYUV, 16, 16, picture.data()));
    EXPECT_EQ(eager.Serial(), 2u);
}
