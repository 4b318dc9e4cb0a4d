// Drawn sub-pictures: the run-length codes read back to the pixels drawn, the display
// control sequences, the stop delays, the outline around every letter and the size
// limit.
#include "dvd/SubFont.h"
#include "dvd/SubPicture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Reads one field's rows back from the nibble codes, as a player's decoder does.
struct SFieldReader {
    const uint8_t* data;
    size_t nibble;
    unsigned Next()
    {
        const unsigned v = nibble % 2 == 0 ? data[nibble / 2] >> 4 : data[nibble / 2] & 0xF;
        ++nibble;
        return v;
    }
    std::vector<uint8_t> Row(int width)
    {
        std::vector<uint8_t> row;
        while (int(row.size()) < width) {
            // 1, 2, 3 or 4 nibbles: a code is read on while its leading bits are zero.
            unsigned code = Next();
            for (unsigned limit : {0x4u, 0x10u, 0x40u}) {
                if (code >= limit) break;
                code = code << 4 | Next();
            }
            const int length = code >> 2 ? int(code >> 2) : width - int(row.size());
            row.insert(row.end(), size_t(length), uint8_t(code & 3));
        }
        if (nibble % 2) ++nibble;
        return row;
    }
};

// The rows 317.. of the unit, decoded from both fields.
std::vector<uint8_t> DecodeUnit(const uint8_t* unit, int height)
{
    const int first = int(unit[2]) << 8 | unit[3];
    const uint8_t* dcsq = unit + first;
    const int bottom = int(dcsq[4 + 1 + 3 + 3 + 7 + 3]) << 8 | dcsq[4 + 1 + 3 + 3 + 7 + 4];
    std::vector<uint8_t> pixels(size_t(CSubPicture::width) * size_t(height), 0);
    SFieldReader top{unit, 8}, low{unit, size_t(bottom) * 2};
    for (int row = CSubPicture::firstCodedRow; row < height; ++row) {
        auto decoded =
            (row - CSubPicture::firstCodedRow) % 2 == 0 ? top.Row(CSubPicture::width) : low.Row(CSubPicture::width);
        std::copy(decoded.begin(), decoded.begin() + CSubPicture::width, pixels.begin() + row * CSubPicture::width);
    }
    return pixels;
}

class SubPictureTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(font.Open("Arial")) << font.Error(); }
    CSubFont font;
};

}  // namespace

TEST(SubPictureDelay, TwoSecondsStopAfter172InPalAnd170InNtsc)
{
    EXPECT_EQ(CSubPicture::StopDelay(180000, false), 172);  // 50 frames -> 49 -> 176,400 ticks
    EXPECT_EQ(CSubPicture::StopDelay(180000, true), 170);  // 59 frames -> 58 -> 174,174 ticks
    EXPECT_EQ(CSubPicture::StopDelay(3600 * 10, false), 35);  // ten frames are not shortened
}

TEST_F(SubPictureTest, EmptyPicture_EveryRowIsOneEndOfLineCode_AndTheCommandsFollow)
{
    CSubPicture p(font, 180000, true);
    p.Clear(1);
    p.Rasterise();
    const int size = p.Encode();
    const uint8_t* u = p.Unit();
    const int rows = 480 - 317;  // 163, each two bytes 00 00
    const int first = 4 + 2 * rows;
    ASSERT_EQ(int(u[2]) << 8 | u[3], first);
    for (int i = 4; i < first; ++i) ASSERT_EQ(u[i], 0) << i;
    const int second = first + 4 + 1 + 3 + 3 + 7 + 5 + 1;
    const std::vector<uint8_t> commands = {0x00,
                                           0x00,
                                           uint8_t(second >> 8),
                                           uint8_t(second),
                                           0x01,
                                           0x03,
                                           0x30,
                                           0x20,
                                           0x04,
                                           0x0F,
                                           0xF0,
                                           0x05,
                                           0x00,
                                           0x02,
                                           0xCF,
                                           0x13,
                                           0xD1,
                                           0xDF,
                                           0x06,
                                           0x00,
                                           0x04,
                                           uint8_t((4 + 82 * 2) >> 8),
                                           uint8_t(4 + 82 * 2),
                                           0xFF};
    EXPECT_EQ(std::vector<uint8_t>(u + first, u + first + commands.size()), commands);
    const std::vector<uint8_t> stop = {0x00, 170, uint8_t(second >> 8), uint8_t(second), 0x02, 0xFF};
    EXPECT_EQ(std::vector<uint8_t>(u + second, u + second + 6), stop);
    EXPECT_EQ(size, second + 6);
    EXPECT_EQ(int(u[0]) << 8 | u[1], size);
    EXPECT_EQ(size % 2, 0);
}

TEST_F(SubPictureTest, NegativeDuration_HasOneSequenceThatPointsToItself)
{
    CSubPicture p(font, -1, false);
    p.Clear(1);
    p.Rasterise();
    const int size = p.Encode();
    const uint8_t* u = p.Unit();
    const int first = int(u[2]) << 8 | u[3];
    EXPECT_EQ(int(u[first + 2]) << 8 | u[first + 3], first);
    EXPECT_EQ(size, first + 24);  // the one sequence, already of even length
    EXPECT_EQ(u[first + 17], 0x3F);  // y2 = 575 in PAL
}

TEST_F(SubPictureTest, TextBlockTopFollowsTheLineCount)
{
    CSubPicture p(font, 90000, true);
    const int tops[] = {421, 389, 357, 325};
    for (int lines = 1; lines <= 4; ++lines) {
        p.Clear(lines);
        EXPECT_EQ(p.Top(), tops[lines - 1]);
    }
    p.Clear(7);
    EXPECT_EQ(p.Top(), 325);  // other counts keep the top
}

TEST_F(SubPictureTest, CodesReadBackToThePixelsDrawn_InBothStandards)
{
    for (bool ntsc : {true, false}) {
        CSubPicture p(font, 90000, ntsc);
        p.Clear(3);
        p.DrawLine(0, "Ça va? Übermäßig — gut!");
        p.DrawLine(1, "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW");  // wider than the frame
        p.DrawLine(2, "i l 1 | ; : . , ' ");
        p.Rasterise();
        ASSERT_GT(p.Encode(), 0);
        const auto decoded = DecodeUnit(p.Unit(), p.Height());
        size_t differ = 0;
        while (differ < decoded.size() && decoded[differ] == p.Pixels()[differ]) ++differ;
        EXPECT_EQ(differ, decoded.size()) << (ntsc ? "NTSC" : "PAL") << " row " << differ / CSubPicture::width;
    }
}

TEST_F(SubPictureTest, EveryLetterHasAClosedOutline_AlsoUnderTheLastLinesDescenders)
{
    CSubPicture p(font, 90000, true);
    p.Clear(3);
    p.DrawLine(0, "Top line");
    p.DrawLine(1, "middle");
    p.DrawLine(2, "gjpqy gjpqy");
    p.Rasterise();
    const auto& px = p.Pixels();
    const int w = CSubPicture::width;
    int textPixels = 0, outlineBelowCell = 0;
    for (int y = 1; y < p.Height() - 1; ++y)
        for (int x = 1; x < w - 1; ++x) {
            const uint8_t v = px[size_t(y * w + x)];
            if (v > CSubPicture::text) ADD_FAILURE() << "pixel value " << int(v);
            if (v == CSubPicture::outline && y >= p.Top() + 3 * 32) ++outlineBelowCell;
            if (v != CSubPicture::text) continue;
            ++textPixels;
            // No text pixel touches the transparent background: the outline closes.
            for (int d : {-1, 1, -w, w}) ASSERT_NE(px[size_t(y * w + x + d)], CSubPicture::background) << x << "," << y;
        }
    EXPECT_GT(textPixels, 1000);
    EXPECT_GT(outlineBelowCell, 0);
}

TEST_F(SubPictureTest, AWideLineStartsAtTheLeftEdge_AShortOneIsCentred)
{
    CSubPicture p(font, 90000, true);
    p.Clear(2);
    p.DrawLine(0, std::string(80, 'M'));
    p.DrawLine(1, "ii");
    p.Rasterise();
    const auto& px = p.Pixels();
    const int w = CSubPicture::width;
    int leftMost = w, rightMost = -1;
    for (int y = p.Top(); y < p.Top() + 32; ++y)
        for (int x = 0; x < w; ++x)
            if (px[size_t(y * w + x)] == CSubPicture::text) leftMost = std::min(leftMost, x);
    EXPECT_LT(leftMost, 6);
    leftMost = w;
    for (int y = p.Top() + 32; y < p.Top() + 64; ++y)
        for (int x = 0; x < w; ++x)
            if (px[size_t(y * w + x)] != CSubPicture::background) {
                leftMost = std::min(leftMost, x);
                rightMost = std::max(rightMost, x);
            }
    EXPECT_NEAR((leftMost + rightMost) / 2.0, 360.0, 4.0);
}

TEST_F(SubPictureTest, AUnitOfTheSizeLimitOrMoreIsRefused)
{
    // Text alone stays far below the limit; a picture whose every pixel differs from
    // the next needs a nibble per pixel over 130 rows and more.
    CSubPicture p(font, 90000, false);
    p.Clear(4);
    p.DrawLine(0, std::string(100, '|'));
    p.Rasterise();
    EXPECT_GT(p.Encode(), 0);
    for (int y = 317; y < 576; ++y)
        for (int x = 0; x < CSubPicture::width; ++x) p.SetPixel(x, y, uint8_t((x + y) % 3));
    EXPECT_EQ(p.Encode(), -1);  // 259 rows of 360 bytes
    CSubPicture q(font, 90000, false);
    for (int y = 317; y < 317 + 140; ++y)
        for (int x = 0; x < CSubPicture::width; ++x) q.SetPixel(x, y, uint8_t((x + y) % 3));
    const int size = q.Encode();  // 140 x 360 + 119 x 2 bytes and the commands: below the limit
    EXPECT_GT(size, 140 * 360);
    EXPECT_LT(size, CSubPicture::maxUnitBytes);
}
