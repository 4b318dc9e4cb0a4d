// The picture and media kernels: the routines of every vector level this processor has
// (SSE2, AVX2) give the same bytes as their plain twins on random input, odd lengths,
// tails shorter than a vector and the extreme values and weights.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "media/MediaKernels.h"
#include "picture/PixelKernels.h"
#include "simd/Levels.h"

namespace {

// Random bytes; about one case in four is made only of 0 and 255, and another one
// in four mixes extremes into random data, so saturation edges get exercised.
std::vector<uint8_t> Bytes(std::mt19937& rng, size_t n)
{
    std::vector<uint8_t> v(n);
    const int mode = int(rng() % 4);
    for (auto& b : v) {
        const uint32_t r = rng();
        if (mode == 0)
            b = (r & 1) ? 255 : 0;
        else if (mode == 1 && (r & 3) == 0)
            b = (r & 4) ? 255 : 0;
        else
            b = uint8_t(r >> 8);
    }
    return v;
}

// A length that is often odd and rarely a whole number of vectors.
int Length(std::mt19937& rng, int most) { return 1 + int(rng() % uint32_t(most)); }

}  // namespace

class PixelKernelLevels : public CLevelTest {};
class MediaKernelLevels : public CLevelTest {};

INSTANTIATE_TEST_SUITE_P(Levels, PixelKernelLevels, KESTROVA_VECTOR_LEVELS);
INSTANTIATE_TEST_SUITE_P(Levels, MediaKernelLevels, KESTROVA_VECTOR_LEVELS);

// ---------------------------------------------------------------- colour conversion

TEST_P(PixelKernelLevels, RgbRowPairToYuvVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(1);
    using Fn = void (*)(const uint8_t*, const uint8_t*, int, bool, uint8_t*, uint8_t*, uint8_t*, uint8_t*);
    const Fn fn = kernels.rgbRowPairToYuv;
    for (int round = 0; round < 3000; ++round) {
        const int width = 2 * Length(rng, round < 2000 ? 40 : 400);
        const bool redFirst = rng() & 1;
        const auto top = Bytes(rng, size_t(width) * 4), bottom = Bytes(rng, size_t(width) * 4);
        std::vector<uint8_t> want(width * 3), got(width * 3);
        auto run = [&](Fn f, std::vector<uint8_t>& o) {
            std::fill(o.begin(), o.end(), 0xA5);
            f(top.data(), bottom.data(), width, redFirst, o.data(), o.data() + width, o.data() + 2 * width,
              o.data() + 2 * width + width / 2);
        };
        run(RgbRowPairToYuvPlain, want);
        {
            run(fn, got);
            ASSERT_EQ(got, want) << "width " << width << ", redFirst " << redFirst;
        }
    }
}

TEST_P(PixelKernelLevels, Packed422RowVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(2);
    using Fn = void (*)(const uint8_t*, int, int, bool, uint8_t*, uint8_t*, uint8_t*);
    const Fn fn = kernels.packed422Row;
    for (int round = 0; round < 3000; ++round) {
        const int width = 2 * Length(rng, round < 2000 ? 50 : 400);
        const int yOffset = int(rng() & 1);
        const bool average = rng() & 1;
        const auto row = Bytes(rng, size_t(width) * 2);
        const auto before = Bytes(rng, size_t(width) * 2);  // luma and the chroma to average with
        auto run = [&](Fn f) {
            std::vector<uint8_t> o = before;
            f(row.data(), width, yOffset, average, o.data(), o.data() + width, o.data() + width + width / 2);
            return o;
        };
        const auto want = run(Packed422RowPlain);
        ASSERT_EQ(run(fn), want) << "width " << width << ", yOffset " << yOffset << ", average " << average;
    }
}

// ---------------------------------------------------------------- scaling and blending

TEST_P(PixelKernelLevels, BilinearRgbxRowVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(3);
    using Fn = void (*)(const uint8_t*, const int*, const uint16_t*, uint16_t*, int);
    const Fn fn = kernels.bilinearRgbxRow;
    for (int round = 0; round < 3000; ++round) {
        const int n = Length(rng, round < 2000 ? 40 : 800);
        const int srcWidth = 2 + int(rng() % uint32_t(2 * n + 2));
        const auto src = Bytes(rng, size_t(srcWidth) * 4);
        std::vector<int> x0(n), w1(n);
        for (int i = 0; i < n; ++i) {
            x0[i] = int(rng() % uint32_t(srcWidth - 1));
            const uint32_t r = rng() % 8;
            w1[i] = r == 0 ? 0 : r == 1 ? 256 : r == 2 ? 255 : int(rng() % 257);
        }
        std::vector<uint16_t> weights(size_t(n) * 8);
        BilinearRgbxWeights(w1.data(), weights.data(), n);
        std::vector<uint16_t> want(size_t(n) * 4 + 3, 0x5A5A), got = want;
        BilinearRgbxRowPlain(src.data(), x0.data(), weights.data(), want.data(), n);
        fn(src.data(), x0.data(), weights.data(), got.data(), n);
        ASSERT_EQ(got, want) << "n " << n;
        // The plain result is the two-pixel blend of every byte.
        for (int i = 0; i < n; ++i)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(want[size_t(i) * 4 + c],
                          src[size_t(x0[i]) * 4 + c] * (256 - w1[i]) + src[size_t(x0[i]) * 4 + 4 + c] * w1[i]);
    }
}

TEST_P(PixelKernelLevels, BilinearVerticalVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(4);
    using Fn = void (*)(const uint16_t*, const uint16_t*, int, int, uint8_t*, int);
    const Fn fn = kernels.bilinearVertical;
    for (int round = 0; round < 3000; ++round) {
        const int n = Length(rng, round < 2000 ? 70 : 3000);
        std::vector<uint16_t> r0(n), r1(n);
        const bool extreme = rng() % 4 == 0;
        for (int i = 0; i < n; ++i) {
            r0[i] = extreme ? ((rng() & 1) ? 65280 : 0) : uint16_t(rng() % 65281);
            r1[i] = extreme ? ((rng() & 1) ? 65280 : 0) : uint16_t(rng() % 65281);
        }
        const uint32_t pick = rng() % 6;
        const int w1 = pick == 0 ? 0 : pick == 1 ? 256 : pick == 2 ? 255 : int(rng() % 257);
        std::vector<uint8_t> want(n + 1, 0xA5), got = want;
        BilinearVerticalPlain(r0.data(), r1.data(), 256 - w1, w1, want.data(), n);
        {
            std::fill(got.begin(), got.end(), 0xA5);
            fn(r0.data(), r1.data(), 256 - w1, w1, got.data(), n);
            ASSERT_EQ(got, want) << "n " << n << ", w1 " << w1;
        }
    }
}

TEST_P(PixelKernelLevels, Cubic4VerticalVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(5);
    using Fn = void (*)(const uint8_t* const[4], const int[4], uint8_t*, int);
    const Fn fn = kernels.cubic4Vertical;
    for (int round = 0; round < 3000; ++round) {
        const int n = Length(rng, round < 2000 ? 100 : 2000);
        const auto data = Bytes(rng, size_t(n) * 4);
        const uint8_t* rows[4] = {data.data(), data.data() + n, data.data() + 2 * n, data.data() + 3 * n};
        // Four non-negative weights summing to 256, sometimes all on one row.
        int w[4] = {0, 0, 0, 0};
        if (rng() % 5 == 0) {
            w[rng() % 4] = 256;
        } else {
            int left = 256;
            for (int k = 0; k < 3; ++k) left -= (w[k] = int(rng() % uint32_t(left + 1)));
            w[3] = left;
        }
        std::vector<uint8_t> want(n + 1, 0xA5), got = want;
        Cubic4VerticalPlain(rows, w, want.data(), n);
        {
            std::fill(got.begin(), got.end(), 0xA5);
            fn(rows, w, got.data(), n);
            ASSERT_EQ(got, want) << "n " << n;
        }
    }
}

TEST_P(PixelKernelLevels, BlendRowsVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(6);
    using Fn = void (*)(const uint8_t*, const uint8_t*, int, uint8_t*, int);
    const Fn fn = kernels.blendRows;
    for (int round = 0; round < 3000; ++round) {
        const int n = Length(rng, round < 2000 ? 100 : 5000);
        const auto a = Bytes(rng, n), b = Bytes(rng, n);
        const uint32_t pick = rng() % 5;
        const int k = pick == 0 ? 0 : pick == 1 ? 256 : int(rng() % 257);
        std::vector<uint8_t> want(n + 1, 0xA5), got = want;
        BlendRowsPlain(a.data(), b.data(), k, want.data(), n);
        {
            std::fill(got.begin(), got.end(), 0xA5);
            fn(a.data(), b.data(), k, got.data(), n);
            ASSERT_EQ(got, want) << "n " << n << ", k " << k;
        }
    }
}

TEST_P(PixelKernelLevels, SelectBytesVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(9);
    using Fn = void (*)(const uint8_t*, const uint8_t*, const uint8_t*, uint8_t*, int);
    const Fn fn = kernels.selectBytes;
    for (int round = 0; round < 3000; ++round) {
        const int n = Length(rng, round < 2000 ? 100 : 2000);
        const auto a = Bytes(rng, n), b = Bytes(rng, n);
        auto mask = Bytes(rng, n);
        if (rng() & 1)  // masks as the dissolve makes them: whole bytes of 0 or 255
            for (auto& m : mask) m = (m & 1) ? 255 : 0;
        std::vector<uint8_t> want(n + 1, 0xA5), got = want;
        SelectBytesPlain(a.data(), b.data(), mask.data(), want.data(), n);
        fn(a.data(), b.data(), mask.data(), got.data(), n);
        ASSERT_EQ(got, want) << "n " << n;
    }
}

// ---------------------------------------------------------------- blur and resize

// Random non-negative weights summing to exactly `total` (or, one case in four, less).
std::vector<int> Weights(std::mt19937& rng, int count, int total)
{
    std::vector<int> w(count, 0);
    if (rng() % 4 == 0) total -= int(rng() % uint32_t(total + 1));
    if (rng() % 5 == 0) {
        w[rng() % count] = total;
        return w;
    }
    int left = total;
    for (int k = 0; k + 1 < count; ++k) left -= (w[k] = int(rng() % uint32_t(left + 1)));
    w[count - 1] = left;
    std::shuffle(w.begin(), w.end(), rng);
    return w;
}

TEST_P(PixelKernelLevels, BlurPassesMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(7);
    using FnH = void (*)(const uint8_t*, const int[5], uint32_t*, int);
    using FnV = void (*)(const uint32_t* const[5], const int[5], const uint8_t*, uint8_t*, int);
    const FnH hs = kernels.blurRgbxRowH;
    const FnV vs = kernels.blurRgbxRowV;
    for (int round = 0; round < 3000; ++round) {
        const int width = Length(rng, round < 2000 ? 40 : 800);
        const std::vector<int> w = Weights(rng, 5, 4096);
        const auto padded = Bytes(rng, (size_t(width) + 4) * 4);
        std::vector<uint32_t> want(size_t(width) * 4 + 1, 7), got = want;
        BlurRgbxRowHPlain(padded.data(), w.data(), want.data(), width);
        hs(padded.data(), w.data(), got.data(), width);
        ASSERT_EQ(got, want) << "horizontal, width " << width;
        // Five horizontal lines (the largest sums included) through the vertical pass.
        std::vector<std::vector<uint32_t>> lines(5);
        for (auto& line : lines) {
            line.resize(size_t(width) * 4);
            BlurRgbxRowHPlain(Bytes(rng, (size_t(width) + 4) * 4).data(), w.data(), line.data(), width);
        }
        const uint32_t* rows[5] = {lines[0].data(), lines[1].data(), lines[2].data(), lines[3].data(), lines[4].data()};
        const auto alpha = Bytes(rng, size_t(width) * 4);
        std::vector<uint8_t> wantV(size_t(width) * 4 + 1, 0xA5), gotV = wantV;
        BlurRgbxRowVPlain(rows, w.data(), alpha.data(), wantV.data(), width);
        vs(rows, w.data(), alpha.data(), gotV.data(), width);
        ASSERT_EQ(gotV, wantV) << "vertical, width " << width;
    }
}

TEST_P(PixelKernelLevels, ResizePassesMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(8);
    using FnH = void (*)(const uint8_t*, int, const int*, const int16_t*, int, uint16_t*, int);
    using FnV = void (*)(const uint16_t* const*, const int*, int, uint8_t*, int);
    const FnH hs = kernels.resizeRgbRowH;
    const FnV vs = kernels.resizeRgbxRowV;
    for (int round = 0; round < 3000; ++round) {
        const int taps = 1 + int(rng() % 9);
        const int stride = (taps + 1) & ~1;
        const int srcWidth = taps + int(rng() % 60);
        const int n = Length(rng, round < 2000 ? 30 : 700);
        const auto src = Bytes(rng, size_t(srcWidth) * 3);
        std::vector<int> first(n);
        std::vector<int16_t> weights(size_t(n) * stride, 0);
        for (int x = 0; x < n; ++x) {
            // Windows often end at the line's last pixel, where the vector loads stop.
            first[x] = rng() % 3 == 0 ? srcWidth - taps : int(rng() % uint32_t(srcWidth - taps + 1));
            const std::vector<int> w = Weights(rng, taps, 16384);
            for (int k = 0; k < taps; ++k) weights[size_t(x) * stride + k] = int16_t(w[k]);
        }
        std::vector<uint16_t> want(size_t(n) * 4 + 1, 0x5A5A), got = want;
        ResizeRgbRowHPlain(src.data(), srcWidth, first.data(), weights.data(), taps, want.data(), n);
        hs(src.data(), srcWidth, first.data(), weights.data(), taps, got.data(), n);
        ASSERT_EQ(got, want) << "horizontal, taps " << taps << ", n " << n;
        // The vertical pass over samples up to the largest the horizontal pass makes.
        const int vTaps = 1 + int(rng() % 12);
        std::vector<std::vector<uint16_t>> lines(vTaps);
        std::vector<const uint16_t*> rows(vTaps);
        const bool extreme = rng() % 4 == 0;
        for (int k = 0; k < vTaps; ++k) {
            lines[k].resize(size_t(n) * 4);
            for (auto& v : lines[k]) v = extreme ? ((rng() & 1) ? 65280 : 0) : uint16_t(rng() % 65281);
            rows[k] = lines[k].data();
        }
        const std::vector<int> vw = Weights(rng, vTaps, 16384);
        std::vector<uint8_t> wantV(size_t(n) * 4 + 1, 0xA5), gotV = wantV;
        ResizeRgbxRowVPlain(rows.data(), vw.data(), vTaps, wantV.data(), n);
        vs(rows.data(), vw.data(), vTaps, gotV.data(), n);
        ASSERT_EQ(gotV, wantV) << "vertical, taps " << vTaps << ", n " << n;
    }
}

TEST_P(PixelKernelLevels, Cubic4RowVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(10);
    using Fn = void (*)(const uint8_t*, int, const int*, const int16_t*, uint8_t*, int);
    const Fn fn = kernels.cubic4Row;
    for (int round = 0; round < 3000; ++round) {
        const int srcWidth = 1 + int(rng() % 80);
        const int n = Length(rng, round < 2000 ? 40 : 800);
        const auto src = Bytes(rng, srcWidth);
        std::vector<int> first(n);
        std::vector<int16_t> weights(size_t(n) * 4);
        for (int i = 0; i < n; ++i) {
            // Windows up to the line's end, where the last taps repeat the last sample.
            first[i] = int(rng() % uint32_t(srcWidth));
            const std::vector<int> w = Weights(rng, 4, 256);
            for (int j = 0; j < 4; ++j) weights[size_t(i) * 4 + j] = int16_t(w[j]);
        }
        std::vector<uint8_t> want(n + 1, 0xA5), got = want;
        Cubic4RowPlain(src.data(), srcWidth, first.data(), weights.data(), want.data(), n);
        fn(src.data(), srcWidth, first.data(), weights.data(), got.data(), n);
        ASSERT_EQ(got, want) << "n " << n << ", source width " << srcWidth;
    }
}

TEST_P(PixelKernelLevels, BilinearPlaneRowVariantsMatchPlain)
{
    const SPixelKernels kernels = PixelKernelsAt(GetParam());
    std::mt19937 rng(11);
    using Fn = void (*)(const uint8_t*, int, const int*, const int*, uint16_t*, int);
    const Fn fn = kernels.bilinearPlaneRow;
    for (int round = 0; round < 3000; ++round) {
        const int srcWidth = 1 + int(rng() % 100);
        const int n = Length(rng, round < 2000 ? 50 : 1000);
        const auto src = Bytes(rng, srcWidth);
        std::vector<int> x0(n), w1(n);
        for (int i = 0; i < n; ++i) {
            // The last sample (paired with itself) comes up often.
            x0[i] = rng() % 40 == 0 ? srcWidth - 1 : int(rng() % uint32_t(srcWidth));
            const uint32_t r = rng() % 6;
            w1[i] = r == 0 ? 0 : r == 1 ? 256 : int(rng() % 257);
        }
        std::vector<uint16_t> want(n + 1, 0x5A5A), got = want;
        BilinearPlaneRowPlain(src.data(), srcWidth, x0.data(), w1.data(), want.data(), n);
        fn(src.data(), srcWidth, x0.data(), w1.data(), got.data(), n);
        ASSERT_EQ(got, want) << "n " << n << ", source width " << srcWidth;
    }
}

// ---------------------------------------------------------------- media kernels

TEST_P(MediaKernelLevels, StereoExpansionVariantsMatchPlain)
{
    const SMediaKernels kernels = MediaKernelsAt(GetParam());
    std::mt19937 rng(20);
    using Fn = void (*)(const uint8_t*, size_t, int, int, int16_t*);
    const Fn fn = kernels.expandToStereo16;
    for (int round = 0; round < 2000; ++round) {
        const int bits = (rng() & 1) ? 16 : 8, channels = (rng() & 1) ? 2 : 1;
        const size_t frames = round < 50 ? size_t(round) : size_t(rng() % 3000);
        const auto src = Bytes(rng, frames * channels * bits / 8 + 1);
        std::vector<int16_t> want(frames * 2 + 1, 0x5555), got = want;
        ExpandToStereo16Plain(src.data(), frames, channels, bits, want.data());
        {
            std::fill(got.begin(), got.end(), int16_t(0x5555));
            fn(src.data(), frames, channels, bits, got.data());
            ASSERT_EQ(got, want) << bits << " bits, " << channels << " channels, " << frames << " frames";
        }
    }
}

TEST_P(MediaKernelLevels, FadeVariantsMatchPlain)
{
    const SMediaKernels kernels = MediaKernelsAt(GetParam());
    std::mt19937 rng(21);
    using Fn = void (*)(const uint8_t*, uint8_t*, size_t, int);
    const Fn luma = kernels.fadeLuma;
    const Fn chroma = kernels.fadeChroma;
    for (int round = 0; round < 2000; ++round) {
        const size_t n = round < 70 ? size_t(round) : size_t(rng() % 5000);
        const uint32_t pick = rng() % 5;
        const int k = pick == 0 ? 0 : pick == 1 ? 256 : int(rng() % 257);
        const auto src = Bytes(rng, n);
        std::vector<uint8_t> want(n + 1, 0xA5), got = want;
        FadeLumaPlain(src.data(), want.data(), n, k);
        {
            std::fill(got.begin(), got.end(), 0xA5);
            luma(src.data(), got.data(), n, k);
            ASSERT_EQ(got, want) << "luma, n " << n << ", k " << k;
        }
        std::fill(want.begin(), want.end(), 0xA5);
        FadeChromaPlain(src.data(), want.data(), n, k);
        {
            std::fill(got.begin(), got.end(), 0xA5);
            chroma(src.data(), got.data(), n, k);
            ASSERT_EQ(got, want) << "chroma, n " << n << ", k " << k;
        }
    }
}
