// Transitions on small frames of two flat colours: which samples come from which
// picture at chosen progress values.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "slideshow/ImageFx.h"

namespace {

constexpr int kOldY = 50, kNewY = 200;

class TransitionFixture : public ::testing::Test {
protected:
    void SetUp() override { Make(40, 20); }

    void Make(int w, int h)
    {
        ASSERT_TRUE(fx.InitFx(w, h));
        ASSERT_TRUE(oldPic.Create(h, w));
        ASSERT_TRUE(newPic.Create(h, w));
        ASSERT_TRUE(out.Create(h, w));
        Fill(oldPic, kOldY, 60, 70);
        Fill(newPic, kNewY, 210, 220);
        W = w;
        H = h;
    }

    static void Fill(CYUV420Image& p, int y, int cb, int cr)
    {
        std::memset(p.planeY, y, p.lumaSize);
        std::memset(p.planeCb, cb, p.chromaSize);
        std::memset(p.planeCr, cr, p.chromaSize);
    }

    // One character per luma sample: 'o' old, 'n' new, '?' anything else.
    std::string Line(int r) const
    {
        std::string s;
        for (int x = 0; x < W; ++x) {
            const int v = out.planeY[r * W + x];
            s += v == kOldY ? 'o' : v == kNewY ? 'n' : '?';
        }
        return s;
    }

    double NewShare() const
    {
        int n = 0;
        for (int i = 0; i < out.lumaSize; ++i) n += out.planeY[i] == kNewY;
        return double(n) / out.lumaSize;
    }

    void Render(int code, double p)
    {
        fx.blackPicture.Clear();
        out.Clear();
        fx.RenderTransition(code, p, oldPic, newPic, out);
    }

    CImageFx fx;
    CYUV420Image oldPic, newPic, out;
    int W = 0, H = 0;
};

std::string Repeat(char c, int n) { return std::string(n, c); }

}  // namespace

TEST_F(TransitionFixture, WipesRevealWholeSpansIncludingEdges)
{
    Render(CImageFx::kWipeRight, 0.0);
    for (int r = 0; r < H; ++r) ASSERT_EQ(Line(r), "n" + Repeat('o', W - 1)) << r;
    EXPECT_EQ(out.planeCb[0], 210);  // chroma of the single sample comes along
    EXPECT_EQ(out.planeCb[1], 60);

    Render(CImageFx::kWipeRight, 0.5);
    EXPECT_EQ(Line(7), Repeat('n', 20) + Repeat('o', 20));

    Render(CImageFx::kWipeLeft, 0.5);  // span W - f - 1 .. W, the last column included
    EXPECT_EQ(Line(0), Repeat('o', 19) + Repeat('n', 21));

    Render(CImageFx::kWipeDown, 0.25);
    EXPECT_EQ(Line(4), Repeat('n', W));
    EXPECT_EQ(Line(5), Repeat('o', W));

    Render(CImageFx::kWipeUp, 0.25);
    EXPECT_EQ(Line(15), Repeat('n', W));
    EXPECT_EQ(Line(14), Repeat('o', W));
    Render(CImageFx::kWipeUp, 0.0);
    EXPECT_EQ(NewShare(), 0.0);
}

TEST_F(TransitionFixture, BoxesAndBlindsFollowTheirGeometry)
{
    Render(CImageFx::kBoxIn, 0.0);  // the old picture still covers everything
    EXPECT_EQ(NewShare(), 0.0);
    Render(CImageFx::kBoxIn, 0.5);  // old box of 20 x 10 around the centre
    EXPECT_EQ(Line(4), Repeat('n', W));
    EXPECT_EQ(Line(5), Repeat('n', 10) + Repeat('o', 20) + Repeat('n', 10));
    EXPECT_EQ(Line(14), Repeat('n', 10) + Repeat('o', 20) + Repeat('n', 10));
    EXPECT_EQ(Line(15), Repeat('n', W));

    Render(CImageFx::kBoxOut, 0.5);
    EXPECT_EQ(Line(5), Repeat('o', 10) + Repeat('n', 20) + Repeat('o', 10));
    EXPECT_EQ(Line(4), Repeat('o', W));

    Render(CImageFx::kVerticalBlinds, 0.5);  // blinds of 6 columns, 3 revealed
    EXPECT_EQ(Line(3), "nnnooonnnooonnnooonnnooonnnooonnnooooooo");

    Render(CImageFx::kSplitVerticalIn, 0.25);  // d = 5 from the left, 6 from the right
    EXPECT_EQ(Line(0), Repeat('n', 5) + Repeat('o', 29) + Repeat('n', 6));

    Render(CImageFx::kInset, 0.5);
    EXPECT_EQ(Line(9), Repeat('n', 20) + Repeat('o', 20));
    EXPECT_EQ(Line(10), Repeat('o', W));
}

TEST_F(TransitionFixture, ShiftingEffectsMoveTheNewPicture)
{
    // A new picture whose luma tells the column it came from.
    for (int r = 0; r < H; ++r)
        for (int x = 0; x < W; ++x) newPic.planeY[r * W + x] = uint8_t(100 + x);
    Render(CImageFx::kSlide, 0.25);  // d = 10: output 0..9 shows new columns 30..39
    EXPECT_EQ(out.planeY[0], 130);
    EXPECT_EQ(out.planeY[9], 139);
    EXPECT_EQ(out.planeY[10], kOldY);

    Render(CImageFx::kPush, 0.25);  // and the old picture moves right by 10
    EXPECT_EQ(out.planeY[5 * W + 9], 139);
    EXPECT_EQ(out.planeY[5 * W + 10], kOldY);
    EXPECT_EQ(out.planeY[5 * W + 39], kOldY);

    // At p = 0 the single sample of the span would come from beyond the line's end;
    // it is left alone rather than read from the next line.
    oldPic.planeY[0] = 7;
    Render(CImageFx::kSlide, 0.0);
    EXPECT_EQ(out.planeY[0], 7);

    Render(CImageFx::kBandSlide, 0.25);  // bands of 2 lines; even bands come from the right
    EXPECT_EQ(out.planeY[0 * W + 30], 100);
    EXPECT_EQ(out.planeY[0 * W + 29], kOldY);
    EXPECT_EQ(out.planeY[2 * W + 0], 130);
}

TEST_F(TransitionFixture, MixesBlendAndFadeThroughBlack)
{
    Render(CImageFx::kBlend, 0.5);
    EXPECT_EQ(out.planeY[33], (kOldY + kNewY) / 2);
    EXPECT_EQ(out.planeCr[3], (70 + 220) / 2);

    Render(CImageFx::kFadeInOut, 0.25);  // halfway from old to black
    EXPECT_EQ(out.planeY[0], kOldY / 2);
    EXPECT_EQ(out.planeCb[0], (60 + 128) / 2);
    Render(CImageFx::kFadeInOut, 0.75);  // halfway from black to new
    EXPECT_EQ(out.planeY[0], kNewY / 2);
    Render(25, 0.75);  // codes without a rule of their own fade
    EXPECT_EQ(out.planeY[0], kNewY / 2);
}

TEST_F(TransitionFixture, ClockWipeSweepsClockwiseFromTwelve)
{
    Make(80, 80);
    Render(CImageFx::kClockWipe, 0.1);
    auto at = [&](int x, int y) { return out.planeY[y * W + x] == kNewY; };
    EXPECT_TRUE(at(45, 2));  // just right of twelve o'clock
    EXPECT_FALSE(at(35, 2));  // left of it
    EXPECT_FALSE(at(45, 45));  // lower half untouched
    Render(CImageFx::kClockWipe, 0.6);
    EXPECT_TRUE(at(70, 70));  // lower right quarter done
    EXPECT_FALSE(at(10, 10));  // upper left not yet
}

TEST_F(TransitionFixture, RandomDissolveRepeatsWithinOneSecond)
{
    Make(120, 60);
    int64_t now = 1000;
    fx.clockSeconds = [&] { return now; };
    Render(CImageFx::kRandomDissolve, 0.5);
    std::vector<uint8_t> first(out.planeY, out.planeY + out.planarSize);
    Render(CImageFx::kRandomDissolve, 0.5);
    EXPECT_EQ(0, std::memcmp(first.data(), out.planeY, first.size()));
    EXPECT_NEAR(NewShare(), 0.5, 0.1);
    // Blocks are 3 x 3 samples from one picture.
    for (int y = 0; y < H; y += 3)
        for (int x = 0; x < W; x += 3) ASSERT_EQ(out.planeY[y * W + x], out.planeY[(y + 2) * W + x + 2]);
    now = 1001;
    Render(CImageFx::kRandomDissolve, 0.5);
    EXPECT_NE(0, std::memcmp(first.data(), out.planeY, first.size()));
}

// Every drawn effect takes whole samples from one of the two pictures, stays inside
// the frame, and moves from mostly old early on to mostly new near the end.
TEST_F(TransitionFixture, EveryEffectRunsFromOldToNew)
{
    const int codes[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                         17, 18, 19, 20, 23, 24, 27, 28, 29, 30, 31, 32, 33, 34, 36, 37};
    for (auto size : {std::pair{120, 80}, std::pair{720, 480}, std::pair{34, 10}}) {
        Make(size.first, size.second);
        fx.clockSeconds = [] { return int64_t(42); };
        for (int code : codes) {
            Render(code, 0.05);
            const double early = NewShare();
            for (int i = 0; i < out.lumaSize; ++i) {
                const int v = out.planeY[i];
                // SwinOut shows black where its picture has not reached.
                ASSERT_TRUE(v == kOldY || v == kNewY || (code == 37 && v == 0))
                    << "code " << code << " sample " << i << " = " << v;
            }
            Render(code, 0.95);
            const double late = NewShare();
            if (size.first >= 120) {
                EXPECT_LT(early, 0.3) << "code " << code;
                EXPECT_GT(late, 0.7) << "code " << code;
            }
        }
    }
}

TEST(ImageFx, AutoChoicesFollowTheShowPosition)
{
    const int motions[9] = {0, 4, 2, 6, 1, 7, 3, 5, 0};
    for (int k = 0; k < 9; ++k) EXPECT_EQ(CImageFx::ResolveMotion(999, k), motions[k]);
    EXPECT_EQ(CImageFx::ResolveMotion(7, 3), 7);
    const int transitions[16] = {0, 1, 2, 3, 4, 5, 27, 29, 23, 24, 28, 30, 10, 11, 13, 16};
    for (int k = 0; k < 16; ++k) EXPECT_EQ(CImageFx::ResolveTransition(999, k), transitions[k]);
    EXPECT_EQ(CImageFx::ResolveTransition(999, 16), CImageFx::kBoxIn);  // the 17th transition
    EXPECT_EQ(CImageFx::ResolveTransition(-1, 5), -1);
}

TEST(ImageFx, CornerZoomsEachKeepADifferentCornerOfThePicture)
{
    // Zooms 8-11 (in) and 12-15 (out) at their 80 % rectangle: each touches two edges of
    // the picture, and the four of a kind use the four corners once each.
    for (int first : {8, 12}) {
        std::set<std::pair<double, double>> corners;
        for (int code = first; code < first + 4; ++code) {
            double x, y, w, h;
            ASSERT_TRUE(CImageFx::MotionRect(code, first == 8 ? 1.0 : 0.0, 720, 480, x, y, w, h));
            EXPECT_NEAR(w, 576, 1e-9) << code;
            EXPECT_TRUE(x == 0 || std::abs(x + w - 720) < 1e-9) << code;
            EXPECT_TRUE(y == 0 || std::abs(y + h - 480) < 1e-9) << code;
            corners.insert({x, y});
        }
        EXPECT_EQ(corners.size(), 4u) << "zooms from " << first;
    }
    double x, y, w, h;
    EXPECT_FALSE(CImageFx::MotionRect(16, 0.5, 720, 480, x, y, w, h));
    EXPECT_FALSE(CImageFx::MotionRect(-1, 0.5, 720, 480, x, y, w, h));
}

TEST(ImageFx, MotionRectanglesZoomAndPan)
{
    double x, y, w, h;
    ASSERT_TRUE(CImageFx::MotionRect(0, 0.0, 720, 480, x, y, w, h));  // zoom in starts whole
    EXPECT_DOUBLE_EQ(w, 720);
    EXPECT_DOUBLE_EQ(x, 0);
    const int S = 149;
    ASSERT_TRUE(CImageFx::MotionRect(0, (S - 1.0) / S, 720, 480, x, y, w, h));
    EXPECT_NEAR(w, 720 * (0.8 + 0.2 / S), 1e-9);
    EXPECT_NEAR(x, (720 - w) / 2, 1e-9);
    ASSERT_TRUE(CImageFx::MotionRect(1, 0.0, 720, 480, x, y, w, h));  // zoom out starts at 80 %
    EXPECT_NEAR(h, 384, 1e-9);
    ASSERT_TRUE(CImageFx::MotionRect(4, 0.5, 720, 480, x, y, w, h));  // zoom in, right anchor
    EXPECT_NEAR(w, 648, 1e-9);
    EXPECT_NEAR(x, 72, 1e-9);
    EXPECT_NEAR(y, 24, 1e-9);
    ASSERT_TRUE(CImageFx::MotionRect(12, 1.0, 720, 480, x, y, w, h));  // zoom out, bottom right
    EXPECT_NEAR(x, 0, 1e-9);
    ASSERT_TRUE(CImageFx::MotionRect(9, 1.0, 720, 480, x, y, w, h));  // zoom in, top right
    EXPECT_NEAR(x, 144, 1e-9);
    EXPECT_NEAR(y, 0, 1e-9);
    ASSERT_TRUE(CImageFx::MotionRect(2, 0.5, 720, 480, x, y, w, h));  // pan left
    EXPECT_NEAR(x, 72, 1e-9);
    EXPECT_NEAR(y, 48, 1e-9);
    EXPECT_NEAR(w, 576, 1e-9);
    ASSERT_TRUE(CImageFx::MotionRect(3, 0.25, 720, 480, x, y, w, h));  // pan right
    EXPECT_NEAR(x, 108, 1e-9);
    EXPECT_FALSE(CImageFx::MotionRect(-1, 0.5, 720, 480, x, y, w, h));
    EXPECT_FALSE(CImageFx::MotionRect(16, 0.5, 720, 480, x, y, w, h));
}
