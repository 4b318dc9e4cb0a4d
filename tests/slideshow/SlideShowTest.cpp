// The slide-show timeline: segment lengths, the frame order inside a segment, Auto
// choices across the show, and the photo stage feeding the motions.
#include <gtest/gtest.h>

#include <png.h>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>

#include "picture/Frame.h"
#include "slideshow/ImageFx.h"
#include "slideshow/PhotoSlideSource.h"
#include "support/TestSupport.h"

namespace {

// Writes a flat-coloured PNG of w x h.
void WriteFlatPng(const std::string& path, int w, int h, uint8_t r, uint8_t g, uint8_t b)
{
    std::vector<uint8_t> px(size_t(w) * h * 3);
    for (size_t i = 0; i < px.size(); i += 3) {
        px[i] = r;
        px[i + 1] = g;
        px[i + 2] = b;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = w;
    image.height = h;
    image.format = PNG_FORMAT_RGB;
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, px.data(), 0, nullptr));
}

// Random pictures of the frame size.
void FillRandom(CYUV420Image& pic, std::mt19937& rng)
{
    for (int i = 0; i < pic.planarSize; ++i) pic.planeY[i] = uint8_t(rng());
}

int RefTrunc(double v)
{
    if (!(v == v)) return 0;
    if (v > 1e9) return 1000000000;
    if (v < -1e9) return -1000000000;
    return int(v);
}

// RandomDissolve and the two swings written sample by sample, as the rules state them:
// the references for the block-mask and per-column versions.
void RefRandomDissolve(double p, int64_t clock, const CYUV420Image& from, const CYUV420Image& to, CYUV420Image& out)
{
    const int W = out.width, H = out.height;
    uint32_t seed = uint32_t(clock);
    const int threshold = RefTrunc(p * 32767.0);
    for (int by = 0; by < H; by += 3)
        for (int bx = 0; bx < W; bx += 3) {
            seed = seed * 214013u + 2531011u;
            const CYUV420Image& src = threshold < int((seed >> 16) & 0x7FFF) ? from : to;
            for (int y = by; y < std::min(by + 3, H); ++y)
                for (int x = bx; x < std::min(bx + 3, W); ++x) {
                    out.planeY[y * W + x] = src.planeY[y * W + x];
                    out.planeCb[(y / 2) * (W / 2) + x / 2] = src.planeCb[(y / 2) * (W / 2) + x / 2];
                    out.planeCr[(y / 2) * (W / 2) + x / 2] = src.planeCr[(y / 2) * (W / 2) + x / 2];
                }
        }
}

void RefSwing(bool in, double p, const CYUV420Image& to, CYUV420Image& out)
{
    const int W = out.width, H = out.height, H2 = H / 2, CW = W / 2;
    const double s = std::sin(p * 3.1415926589793 / 2);
    const double m = std::max(1.0, s * W);
    auto copy = [&](int dy, int dx, int sy, int sx) {
        out.planeY[dy * W + dx] = to.planeY[sy * W + sx];
        out.planeCb[(dy / 2) * CW + dx / 2] = to.planeCb[(sy / 2) * CW + sx / 2];
        out.planeCr[(dy / 2) * CW + dx / 2] = to.planeCr[(sy / 2) * CW + sx / 2];
    };
    if (in) {
        const double l = (p + 1) * H2;
        for (int i = 0; i < H; ++i)
            for (int e = 0; e < W; ++e) {
                const double o = e * s;
                const int g = RefTrunc(H2 + (i - H2) * (l + (H - l) * (m - o) / m) / H);
                const int ox = RefTrunc(o);
                if (g >= 0 && g < H && ox >= 0 && ox < W) copy(g, ox, i, e);
            }
        return;
    }
    for (int i = 0; i < H; ++i)
        for (int j = 0; j < std::min(W, int(std::ceil(m))); ++j) {
            const int o = p == 0.0 ? W - 1 : std::min(W - 1, RefTrunc(j / s));
            const int t = RefTrunc(H2 + double(i - H2) * H / (H + j * (H - H * p) / m));
            if (t >= 0 && t < H) {
                copy(i, j, t, o);
            } else {
                out.planeY[i * W + j] = 0;
                out.planeCb[(i / 2) * CW + j / 2] = 128;
                out.planeCr[(i / 2) * CW + j / 2] = 128;
            }
        }
}

int CentreY(const CYUV420Image& p) { return p.planeY[(p.height / 2) * p.width + p.width / 2]; }

}  // namespace

TEST(PhotoSlideSource, SegmentLengthsFollowTheFrameRateOfTheStandard)
{
    CPhotoSlideSource ntsc, pal;
    ASSERT_TRUE(ntsc.Init(720, 480, 30000.0 / 1001.0));
    ASSERT_TRUE(pal.Init(720, 576, 25.0));
    ntsc.AddPhoto(999, "a.jpg", 5000, 2000, 999);
    pal.AddPhoto(999, "a.jpg", 5000, 2000, 999);
    EXPECT_EQ(ntsc.segmentFrames[0], 149 + 59);
    EXPECT_EQ(pal.segmentFrames[0], 125 + 50);
    ntsc.AddPhoto(999, "b.jpg", 0, 0, 999);  // zero times still give one frame each
    EXPECT_EQ(ntsc.segmentFrames[1], 2);
    EXPECT_EQ(ntsc.totalFrames, 210);
    EXPECT_EQ(ntsc.FrameCount(), 210);

    for (int i = 2; i < 805; ++i) ntsc.AddPhoto(-1, "c.jpg", 1000, 1000, -1);
    EXPECT_EQ(ntsc.photoCount, 800);
    EXPECT_FALSE(ntsc.AddPhoto(-1, "d.jpg", 1000, 1000, -1));
    EXPECT_EQ(ntsc.totalFrames, 210 + 798 * 58);

    // Init empties the lists again.
    ASSERT_TRUE(ntsc.Init(352, 240));
    EXPECT_EQ(ntsc.photoCount, 0);
    EXPECT_EQ(ntsc.totalFrames, 0);
}

TEST(PhotoSlideSource, NoneTransitionShowsBlackBetweenPhotos)
{
    testsupport::TempDir dir;
    WriteFlatPng(dir.File("white.png"), 64, 32, 255, 255, 255);
    WriteFlatPng(dir.File("grey.png"), 64, 32, 128, 128, 128);
    CPhotoSlideSource show;
    ASSERT_TRUE(show.Init(64, 32));
    // S = trunc(29.97 x 0.1) = 2, T = trunc(29.97 x 0.2) = 5.
    show.AddPhoto(-1, dir.File("white.png"), 100, 200, -1);
    show.AddPhoto(-1, dir.File("grey.png"), 100, 100, -1);  // S = 2, T = 2
    ASSERT_EQ(show.totalFrames, 7 + 4);
    CFrame frame;
    ASSERT_TRUE(frame.Create(64, 32));
    std::vector<int> ys;
    while (show.NextFrame(frame)) ys.push_back(CentreY(frame.picture));
    const int white = 235, grey = ((66 * 128 + 129 * 128 + 25 * 128) >> 8) + 16;
    // 2 still frames, T - 1 = 4 black frames, then the next photo's first frame;
    // the last photo: 2 still frames, 1 black frame, and the black end picture.
    EXPECT_EQ(ys, (std::vector<int>{white, white, 0, 0, 0, 0, grey, grey, grey, 0, 0})) << "frames " << ys.size();
    // Each photo is decoded once: the second is kept from the first segment.
    EXPECT_EQ(show.fx.photoLoads, 2);
    // The show over, every further call gives black and reports the end.
    EXPECT_FALSE(show.NextFrame(frame));
    EXPECT_EQ(CentreY(frame.picture), 0);
    EXPECT_EQ(frame.picture.planeCb[10], 128);
}

TEST(PhotoSlideSource, GivesExactlyTotalFramesAndEndsOnTheArrivalPicture)
{
    testsupport::TempDir dir;
    WriteFlatPng(dir.File("a.png"), 48, 32, 255, 0, 0);
    WriteFlatPng(dir.File("b.png"), 48, 32, 0, 0, 255);
    CPhotoSlideSource show;
    ASSERT_TRUE(show.Init(48, 32));
    show.AddPhoto(6, dir.File("a.png"), 100, 0, -1);  // T = 1: no drawn transition frames
    show.AddPhoto(21, dir.File("b.png"), 100, 100, 999);
    CYUV420Image pic;
    ASSERT_TRUE(pic.Create(32, 48));
    int frames = 0;
    std::vector<int> cr;
    while (show.NextPicture(pic)) {
        ++frames;
        cr.push_back(pic.planeCr[pic.chromaSize / 2]);
    }
    EXPECT_EQ(frames, show.totalFrames);
    ASSERT_EQ(cr.size(), 7u);  // 2 + 1, then 2 + 2
    EXPECT_EQ(cr[0], 239);  // red
    EXPECT_EQ(cr[2], cr[3]);  // the segment's last frame is the next photo's first frame
    EXPECT_LT(cr[2], 128);  // blue
    EXPECT_EQ(cr[6], 128);  // ends in black
}

TEST(PhotoSlideSource, AutoMotionsAndTransitionsCountThroughTheShow)
{
    CPhotoSlideSource show;
    ASSERT_TRUE(show.Init(32, 16));
    for (int i = 0; i < 20; ++i) show.AddPhoto(999, "missing.jpg", 0, 0, 999);
    CFrame frame;
    ASSERT_TRUE(frame.Create(32, 16));
    std::vector<int> motions;
    for (int f = 0; f < show.totalFrames; ++f) {
        show.NextFrame(frame);
        if (show.frameInSegment == 1) {
            motions.push_back(show.fx.motionCode);
            if (show.currentPhoto == 16) {
                EXPECT_EQ(show.fx.transitionCounter, 16);
            }
        }
    }
    ASSERT_GE(motions.size(), 9u);
    EXPECT_EQ(std::vector<int>(motions.begin(), motions.begin() + 9), (std::vector<int>{0, 4, 2, 6, 1, 7, 3, 5, 0}));
    EXPECT_EQ(show.fx.photoCounter, 20);
}

TEST(ImageFx, PhotoStageFitsSoftensAndMovesThePhoto)
{
    testsupport::TempDir dir;
    // 80 x 40 into 80 x 80: 20-line black bars above and below.
    WriteFlatPng(dir.File("w.png"), 80, 40, 255, 255, 255);
    CImageFx fx;
    ASSERT_TRUE(fx.InitFx(80, 80));
    ASSERT_TRUE(fx.LoadFramePhoto(dir.File("w.png")));
    EXPECT_EQ(fx.photoPicture.planeY[10 * 80 + 40], 16);  // bar: RGB black
    EXPECT_EQ(fx.photoPicture.planeY[40 * 80 + 40], 235);
    // The bitmap is bottom-up: its first stored line is the bottom bar.
    EXPECT_EQ(fx.frameBitmap[0], 0);
    EXPECT_EQ(fx.frameBitmap[size_t(30) * 80 * 4], 255);
    // The softened copy blurs the edge of the photo over two lines.
    EXPECT_EQ(fx.softBitmap[size_t(59 * 80 + 40) * 4], fx.softBitmap[size_t(20 * 80 + 40) * 4]);
    const int edge = fx.softBitmap[size_t(20 * 80 + 40) * 4];
    EXPECT_GT(edge, 0);
    EXPECT_LT(edge, 255);

    // Zoom in at t = 0 samples the whole softened picture at unit scale.
    CYUV420Image moved, direct;
    ASSERT_TRUE(moved.Create(80, 80));
    ASSERT_TRUE(direct.Create(80, 80));
    fx.RenderMotion(0, 0.0, moved);
    direct.FromRGBX(fx.softBitmap.data());
    EXPECT_EQ(0, std::memcmp(moved.planeY, direct.planeY, moved.planarSize));
    // Zoomed to 80 % about the centre, line 15 (inside the bar at full size) samples
    // line 8 + 0.8 x 15 = 20, the photo's softened top edge.
    EXPECT_EQ(moved.planeY[15 * 80 + 40], 16);
    fx.RenderMotion(0, 1.0, moved);
    EXPECT_EQ(moved.planeY[5 * 80 + 40], 16);
    EXPECT_GT(moved.planeY[15 * 80 + 40], 150);
    EXPECT_EQ(moved.planeY[40 * 80 + 40], 235);

    // A photo that cannot be decoded is black (Y 0), still or moving.
    EXPECT_FALSE(fx.LoadFramePhoto(dir.File("none.png")));
    EXPECT_EQ(fx.photoPicture.planeY[40 * 80 + 40], 0);
    fx.RenderMotion(2, 0.5, moved);
    EXPECT_EQ(moved.planeY[40 * 80 + 40], 0);
}

// The dissolve and the swings give exactly the sample-by-sample results at every
// progress, for the DVD frame sizes and a small frame whose width is not a multiple
// of the 3 x 3 blocks.
TEST(ImageFx, DissolveAndSwingsMatchTheSampleBySampleRules)
{
    std::mt19937 rng(9);
    for (const auto& size : {std::pair{720, 480}, std::pair{352, 288}, std::pair{20, 14}}) {
        CImageFx fx;
        ASSERT_TRUE(fx.InitFx(size.first, size.second));
        CYUV420Image from, to, got, want;
        for (CYUV420Image* pic : {&from, &to, &got, &want}) ASSERT_TRUE(pic->Create(size.second, size.first));
        FillRandom(from, rng);
        FillRandom(to, rng);
        for (double p : {0.0, 0.01, 0.25, 1.0 / 3.0, 0.5, 0.77, 0.999, 1.0}) {
            const int64_t clock = int64_t(rng() % 100000);
            fx.clockSeconds = [clock] { return clock; };
            FillRandom(got, rng);
            want.CopyPlanes(got);
            fx.RenderTransition(CImageFx::kRandomDissolve, p, from, to, got);
            RefRandomDissolve(p, clock, from, to, want);
            ASSERT_EQ(0, std::memcmp(got.planeY, want.planeY, got.planarSize)) << "dissolve at " << p;
            for (bool in : {true, false}) {
                want.CopyPlanes(from);
                RefSwing(in, p, to, want);
                fx.RenderTransition(in ? CImageFx::kSwinIn : CImageFx::kSwinOut, p, from, to, got);
                ASSERT_EQ(0, std::memcmp(got.planeY, want.planeY, got.planarSize))
                    << (in ? "swing in" : "swing out") << " at " << p << ", " << size.first << " x " << size.second;
            }
        }
    }
}
