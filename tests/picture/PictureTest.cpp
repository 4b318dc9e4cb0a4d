// Picture buffers: layout, colour conversion and resampling.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "picture/Frame.h"
#include "picture/PixelKernels.h"
#include "picture/YUV420Image.h"

namespace {

// A bottom-up 32-bit bitmap of one colour, bytes in the given order.
std::vector<uint8_t> FlatBitmap(int w, int h, uint8_t b0, uint8_t b1, uint8_t b2)
{
    std::vector<uint8_t> bits(size_t(w) * h * 4);
    for (size_t i = 0; i < bits.size(); i += 4) {
        bits[i] = b0;
        bits[i + 1] = b1;
        bits[i + 2] = b2;
        bits[i + 3] = 0x5A;
    }
    return bits;
}

void ExpectFlat(const CYUV420Image& p, int y, int cb, int cr)
{
    for (int i = 0; i < p.lumaSize; ++i) ASSERT_EQ(p.planeY[i], y) << "luma sample " << i;
    for (int i = 0; i < p.chromaSize; ++i) {
        ASSERT_EQ(p.planeCb[i], cb) << "Cb sample " << i;
        ASSERT_EQ(p.planeCr[i], cr) << "Cr sample " << i;
    }
}

std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = uint8_t(rng());
    return v;
}

}  // namespace

TEST(YUV420Image, CreateLaysOutOneAlignedBlockAndClearsToBlack)
{
    CYUV420Image p;
    ASSERT_TRUE(p.Create(480, 720));
    EXPECT_EQ(p.width, 720);
    EXPECT_EQ(p.height, 480);
    EXPECT_EQ(p.lumaSize, 345600);
    EXPECT_EQ(p.chromaSize, 86400);
    EXPECT_EQ(p.planarSize, 518400);
    EXPECT_EQ(p.chromaStride, 360);
    const uintptr_t start = reinterpret_cast<uintptr_t>(p.memory.block);
    const uintptr_t y = reinterpret_cast<uintptr_t>(p.planeY);
    EXPECT_EQ(y % 128, 0u);
    EXPECT_GE(y - start, 1u);
    EXPECT_LE(y - start, 128u);
    EXPECT_EQ(p.memory.size, size_t((3 * 345600 + 2 * 86400 + 256) / 128 * 128));
    EXPECT_EQ(p.planeCb, p.planeY + p.lumaSize);
    EXPECT_EQ(p.planeCr, p.planeCb + p.chromaSize);
    EXPECT_EQ(p.scratchA, p.planeCr + p.chromaSize);
    EXPECT_EQ(p.scratchB, p.scratchA + p.lumaSize);
    EXPECT_LE(p.scratchB + p.lumaSize, p.memory.block + p.memory.size);
    ExpectFlat(p, 0, 128, 128);

    std::fill(p.planeY, p.planeY + p.planarSize, 77);
    p.Clear();
    ExpectFlat(p, 0, 128, 128);

    EXPECT_FALSE(p.Create(481, 720));
    EXPECT_FALSE(p.Create(480, 0));
    EXPECT_EQ(p.planeY, nullptr);
}

TEST(YUV420Image, CopyCopiesContentsNotPointers)
{
    CYUV420Image a;
    ASSERT_TRUE(a.Create(16, 32));
    a.planeY[5] = 200;
    a.planeCr[3] = 17;
    CYUV420Image b(a);
    ASSERT_NE(b.planeY, a.planeY);
    EXPECT_EQ(b.planeY[5], 200);
    EXPECT_EQ(b.planeCr[3], 17);
    a.planeY[5] = 1;
    EXPECT_EQ(b.planeY[5], 200);

    b.SwapChroma();
    EXPECT_EQ(b.planeCb[3], 17);
    EXPECT_EQ(b.planeCr[3], 128);
}

TEST(YUV420Image, RgbConversionGivesStudioLevels)
{
    CYUV420Image p;
    ASSERT_TRUE(p.Create(4, 24));
    auto white = FlatBitmap(24, 4, 255, 255, 255);
    p.FromBGRX(white.data());
    ExpectFlat(p, 235, 128, 128);
    auto black = FlatBitmap(24, 4, 0, 0, 0);
    p.FromBGRX(black.data());
    ExpectFlat(p, 16, 128, 128);
    auto redBgrx = FlatBitmap(24, 4, 0, 0, 255);
    p.FromBGRX(redBgrx.data());
    ExpectFlat(p, 81, 90, 239);
    auto redRgbx = FlatBitmap(24, 4, 255, 0, 0);
    p.FromRGBX(redRgbx.data());
    ExpectFlat(p, 81, 90, 239);
}

TEST(YUV420Image, RgbBitmapIsReadBottomUp)
{
    CYUV420Image p;
    ASSERT_TRUE(p.Create(2, 2));
    // Row 0 of the bitmap (white) is the bottom line; row 1 (black) is the top line.
    std::vector<uint8_t> bits = {255, 255, 255, 0, 255, 255, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    p.FromRGBX(bits.data());
    EXPECT_EQ(p.planeY[0], 16);
    EXPECT_EQ(p.planeY[2], 235);
}

TEST(YUV420Image, PackedYuvAveragesChromaOverLinePairs)
{
    CYUV420Image p;
    ASSERT_TRUE(p.Create(2, 4));
    // Two lines of YUY2: Y0 U Y1 V per pixel pair.
    std::vector<uint8_t> yuy2 = {10, 100, 11, 200, 12, 50, 13, 60, 20, 121, 21, 31, 22, 70, 23, 81};
    p.FromYUY2(yuy2.data());
    EXPECT_EQ(std::vector<uint8_t>(p.planeY, p.planeY + 8), (std::vector<uint8_t>{10, 11, 12, 13, 20, 21, 22, 23}));
    EXPECT_EQ(p.planeCb[0], (100 + 121) >> 1);
    EXPECT_EQ(p.planeCr[0], (200 + 31) >> 1);
    EXPECT_EQ(p.planeCb[1], 60);
    EXPECT_EQ(p.planeCr[1], (60 + 81) >> 1);

    std::vector<uint8_t> uyvy = {100, 10, 200, 11, 50, 12, 60, 13, 121, 20, 31, 21, 70, 22, 81, 23};
    CYUV420Image q;
    ASSERT_TRUE(q.Create(2, 4));
    q.FromUYVY(uyvy.data());
    EXPECT_EQ(0, std::memcmp(p.planeY, q.planeY, p.planarSize));
}

TEST(YUV420Image, BilinearReductionKeepsFlatLevelsAndSamplesUncentred)
{
    // A flat picture stays flat at any ratio (the two weights always add up to 256).
    std::vector<uint8_t> src(97 * 61, 235), dst(40 * 23, 0);
    CYUV420Image::ResampleBilinear(src.data(), 97, 61, 97, dst.data(), 40, 23, 40);
    for (uint8_t v : dst) ASSERT_EQ(v, 235);

    // Halving picks the even source samples exactly; destination 0 samples source 0.
    std::vector<uint8_t> ramp(8 * 4);
    for (int i = 0; i < 32; ++i) ramp[i] = uint8_t(i * 7);
    std::vector<uint8_t> half(4 * 2);
    CYUV420Image::ResampleBilinear(ramp.data(), 8, 4, 8, half.data(), 4, 2, 4);
    EXPECT_EQ(half, (std::vector<uint8_t>{0, 14, 28, 42, 112, 126, 140, 154}));

    // Three source columns into two: column 1 sits at 1.5 -> halfway between 1 and 2.
    std::vector<uint8_t> row = {0, 100, 200, 0, 100, 200};
    std::vector<uint8_t> out(2 * 2);
    CYUV420Image::ResampleBilinear(row.data(), 3, 2, 3, out.data(), 2, 2, 2);
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 150);
}

TEST(YUV420Image, FitGeometryLetterboxesWideSources)
{
    int lines = 0, top = 0;
    CYUV420Image::FitGeometry(1920, 816, 720, 480, lines, top);
    EXPECT_EQ(lines, 362);
    EXPECT_EQ(top, 59);
    CYUV420Image::FitGeometry(640, 480, 720, 480, lines, top);
    EXPECT_EQ(lines, 480);
    EXPECT_EQ(top, 0);
    // 1.5:1 is not wider than 1.6:1, so it fills the frame height proportionally.
    CYUV420Image::FitGeometry(720, 480, 720, 576, lines, top);
    EXPECT_EQ(lines, 480);
    EXPECT_EQ(top, 48);
}

TEST(YUV420Image, FitPictureScalesIntoBandAndKeepsBars)
{
    CYUV420Image src, dst;
    ASSERT_TRUE(src.Create(816, 1920));
    auto bits = FlatBitmap(1920, 816, 255, 255, 255);
    src.FromBGRX(bits.data());
    ASSERT_TRUE(dst.Create(480, 720));
    std::fill(dst.planeY, dst.planeY + dst.lumaSize, 9);
    CYUV420Image::FitPicture(dst, src);
    for (int y = 0; y < 480; ++y) {
        const int expect = (y >= 59 && y < 59 + 362) ? 235 : 9;
        for (int x = 0; x < 720; x += 37) ASSERT_EQ(dst.planeY[y * 720 + x], expect) << y << "," << x;
    }
}

TEST(YUV420Image, FitPictureEnlargesWithCubicFilter)
{
    // Unit scale with the 4-tap filter: weights 1/18, 8/9, 1/18 quantised to 14, 228, 14.
    CYUV420Image src, dst;
    ASSERT_TRUE(src.Create(8, 16));
    ASSERT_TRUE(dst.Create(8, 16));
    std::fill(src.planeY, src.planeY + src.lumaSize, 0);
    src.planeY[3 * 16 + 5] = 255;
    CYUV420Image::FitPicture(dst, src);
    EXPECT_EQ(dst.planeY[3 * 16 + 5], (228 * 255 >> 8) * 228 >> 8);
    EXPECT_EQ(dst.planeY[3 * 16 + 6], (14 * 255 >> 8) * 228 >> 8);
    EXPECT_EQ(dst.planeY[2 * 16 + 5], (228 * 255 >> 8) * 14 >> 8);
    EXPECT_EQ(dst.planeY[3 * 16 + 7], 0);

    // A flat source stays flat when doubled (no overshoot at the edges).
    CYUV420Image big;
    ASSERT_TRUE(big.Create(16, 32));
    std::fill(src.planeY, src.planeY + src.lumaSize, 180);
    CYUV420Image::FitPicture(big, src);
    for (int i = 0; i < big.lumaSize; ++i) ASSERT_EQ(big.planeY[i], 180) << i;
}

TEST(YUV420Image, FitPictureRebuildsTablesWhenTheDestinationSizeChanges)
{
    CYUV420Image src;
    ASSERT_TRUE(src.Create(120, 180));
    auto noise = RandomBytes(src.lumaSize, 5);
    std::copy(noise.begin(), noise.end(), src.planeY);
    CYUV420Image a, b, fresh;
    ASSERT_TRUE(a.Create(240, 360));
    ASSERT_TRUE(b.Create(240, 352));
    ASSERT_TRUE(fresh.Create(240, 352));
    CYUV420Image::FitPicture(a, src);
    CYUV420Image::FitPicture(b, src);
    // The same fit on a new thread starts from empty tables.
    std::thread([&] { CYUV420Image::FitPicture(fresh, src); }).join();
    EXPECT_EQ(0, std::memcmp(b.planeY, fresh.planeY, b.planarSize));
}

TEST(CFrame, CreatesPictureAndNineZeroedAlignedArrays)
{
    CFrame f;
    ASSERT_TRUE(f.Create(720, 480));
    EXPECT_EQ(f.mbCount, 1350);
    EXPECT_EQ(f.picture.width, 720);
    EXPECT_EQ(f.picture.planeY[100], 0);
    for (int i = 0; i < CFrame::kArrayCount; ++i) {
        ASSERT_NE(f.Array(i), nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(f.Array(i)) % 128, 0u);
        for (int m = 0; m < f.mbCount; ++m) ASSERT_EQ(f.Array(i)[m], 0);
        f.Array(i)[f.mbCount - 1] = 1;  // the whole array is writable
    }
    EXPECT_FALSE(CFrame().Create(720, 470));
}
