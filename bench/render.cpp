// Slide-show rendering speed at 720 x 480: frames per second (items_per_second) for
// still photos, every pan-zoom motion, every transition, the photo stage (the sample
// photo and a 4000 x 3000 JPEG), fitting, and every picture kernel in its plain, SSE2
// and AVX2 versions (time per 720-pixel line; Arg 0 = plain, 1 = SSE2, 2 = AVX2).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "picture/ImageFile.h"
#include "picture/ImageOps.h"
#include "picture/PixelKernels.h"
#include "picture/YUV420Image.h"
#include "slideshow/ImageFx.h"

namespace {

const std::string kPhoto = std::string(KESTROVA_BENCH_DATA_DIR) + "/sample/beach.jpg";
const std::string kNextPhoto = std::string(KESTROVA_BENCH_DATA_DIR) + "/sample/harbour.png";

// A renderer with the sample photo loaded and a second picture to transition into.
struct SRenderer {
    CImageFx fx;
    CYUV420Image out, next;
    SRenderer()
    {
        fx.InitFx(720, 480);
        out.Create(480, 720);
        next.Create(480, 720);
        if (!fx.LoadFramePhoto(kNextPhoto)) std::fprintf(stderr, "cannot load %s\n", kNextPhoto.c_str());
        next.CopyPlanes(fx.photoPicture);
        if (!fx.LoadFramePhoto(kPhoto)) std::fprintf(stderr, "cannot load %s\n", kPhoto.c_str());
    }
};

SRenderer& Renderer()
{
    static SRenderer r;
    return r;
}

void BM_StillFrame(benchmark::State& state)
{
    SRenderer& r = Renderer();
    for (auto _ : state) {
        r.fx.RenderMotion(CImageFx::kNone, 0.5, r.out);
        benchmark::DoNotOptimize(r.out.planeY[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StillFrame);

void BM_Motion(benchmark::State& state)
{
    SRenderer& r = Renderer();
    const int code = int(state.range(0));
    int n = 0;
    for (auto _ : state) {
        r.fx.RenderMotion(code, (n++ % 150) / 150.0, r.out);
        benchmark::DoNotOptimize(r.out.planeY[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Motion)->DenseRange(0, 15);

void BM_Transition(benchmark::State& state)
{
    SRenderer& r = Renderer();
    const int code = int(state.range(0));
    CYUV420Image from(r.fx.photoPicture);
    r.fx.clockSeconds = [] { return int64_t(7); };
    int n = 0;
    for (auto _ : state) {
        r.fx.RenderTransition(code, (n++ % 60) / 60.0, from, r.next, r.out);
        benchmark::DoNotOptimize(r.out.planeY[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Transition)->DenseRange(0, 24)->DenseRange(27, 34)->Arg(36)->Arg(37);

void BM_LoadFramePhoto(benchmark::State& state)
{
    CImageFx fx;
    fx.InitFx(720, 480);
    for (auto _ : state) benchmark::DoNotOptimize(fx.LoadFramePhoto(kPhoto));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoadFramePhoto)->Unit(benchmark::kMillisecond);

void BM_FitPicture(benchmark::State& state)
{
    const int sw = int(state.range(0)), sh = int(state.range(1));
    CYUV420Image src, dst;
    src.Create(sh, sw);
    dst.Create(480, 720);
    std::mt19937 rng(1);
    for (int i = 0; i < src.planarSize; ++i) src.planeY[i] = uint8_t(rng());
    for (auto _ : state) {
        CYUV420Image::FitPicture(dst, src);
        benchmark::DoNotOptimize(dst.planeY[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FitPicture)->Args({1920, 1080})->Args({352, 240})->Args({720, 480});

// A 4000 x 3000 photo-like JPEG (smooth gradients with fine detail), written once.
const std::string& BigJpeg()
{
    static const std::string path = [] {
        const std::string p = "/tmp/kestrova-bench-4000x3000.jpg";
        CRgbImage img;
        img.width = 4000;
        img.height = 3000;
        img.pixels.resize(size_t(4000) * 3000 * 3);
        std::mt19937 rng(3);
        for (int y = 0; y < 3000; ++y)
            for (int x = 0; x < 4000; ++x) {
                uint8_t* px = &img.pixels[(size_t(y) * 4000 + x) * 3];
                px[0] = uint8_t((x / 16 + y / 24) + (rng() & 15));
                px[1] = uint8_t((y / 12) + (rng() & 15));
                px[2] = uint8_t(((x ^ y) >> 4) + (rng() & 15));
            }
        std::string error;
        if (!CImageFile::WriteJpeg(p, img, 90, error)) std::fprintf(stderr, "%s\n", error.c_str());
        return p;
    }();
    return path;
}

void BM_LoadBigPhoto(benchmark::State& state)
{
    CImageFx fx;
    fx.InitFx(720, 480);
    const std::string& path = BigJpeg();
    for (auto _ : state) benchmark::DoNotOptimize(fx.LoadFramePhoto(path));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoadBigPhoto)->Unit(benchmark::kMillisecond);

// The decoding step of the big photo alone (reduced while it still covers the frame).
void BM_DecodeBigJpeg(benchmark::State& state)
{
    const std::string& path = BigJpeg();
    CRgbImage img;
    std::string error;
    for (auto _ : state) benchmark::DoNotOptimize(CImageFile::Decode(path, img, error, 720, 480));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeBigJpeg)->Unit(benchmark::kMillisecond);

// Fitting (1000 x 750 into 720 x 480) and softening of the photo stage.
void BM_ResizeRgbToRgbx(benchmark::State& state)
{
    std::mt19937 rng(4);
    std::vector<uint8_t> src(size_t(1000) * 750 * 3), dst(size_t(720) * 480 * 4);
    for (auto& b : src) b = uint8_t(rng());
    for (auto _ : state) {
        CImageOps::ResizeRgbToRgbx(src.data(), 1000, 750, 3000, dst.data(), 720, 480, 2880);
        benchmark::DoNotOptimize(dst[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ResizeRgbToRgbx)->Unit(benchmark::kMicrosecond);

void BM_BlurRgbx(benchmark::State& state)
{
    std::mt19937 rng(5);
    std::vector<uint8_t> src(size_t(720) * 480 * 4), dst(src.size());
    for (auto& b : src) b = uint8_t(rng());
    for (auto _ : state) {
        CImageOps::BlurRgbx(src.data(), dst.data(), 720, 480, 2880);
        benchmark::DoNotOptimize(dst[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BlurRgbx)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- kernels, per version

// Random inputs sized for one 720-pixel line of every kernel.
struct SKernelData {
    std::vector<uint8_t> rgbx0, rgbx1, bytes0, bytes1, mask, out8, padded, rgb;
    std::vector<uint16_t> wide0, wide1, out16;
    std::vector<uint32_t> mid[5];
    std::vector<int> x0, w1, first;
    std::vector<int16_t> resizeWeights;
    SKernelData()
    {
        std::mt19937 rng(6);
        auto bytes = [&](size_t n) {
            std::vector<uint8_t> v(n);
            for (auto& b : v) b = uint8_t(rng());
            return v;
        };
        rgbx0 = bytes(720 * 4);
        rgbx1 = bytes(720 * 4);
        bytes0 = bytes(720 * 4);
        bytes1 = bytes(720 * 4);
        mask = bytes(720 * 4);
        padded = bytes(724 * 4);
        rgb = bytes(1000 * 3);
        out8.resize(720 * 4);
        out16.resize(720 * 4);
        wide0.resize(720 * 4);
        wide1.resize(720 * 4);
        for (size_t i = 0; i < wide0.size(); ++i) {
            wide0[i] = uint16_t(rng() % 65281);
            wide1[i] = uint16_t(rng() % 65281);
        }
        for (auto& m : mid) {
            m.resize(720 * 4);
            for (auto& v : m) v = rng() % 1044481;
        }
        // Pan-zoom taps at 0.9 x zoom, and the 1000 -> 720 reduction's taps.
        for (int i = 0; i < 720; ++i) {
            const double sx = 30 + i * 0.9;
            x0.push_back(int(sx));
            w1.push_back(int((sx - int(sx)) * 256));
            first.push_back(std::min(996, int(i * 1000.0 / 720)));
            for (int k = 0; k < 4; ++k) resizeWeights.push_back(k == 3 ? 0 : int16_t(16384 / 3));
        }
    }
};

SKernelData& KernelData()
{
    static SKernelData d;
    return d;
}

// Times one pixel kernel taken from the table of the level range(0) (0 plain, 1 SSE2,
// 2 AVX2), the table the picture code calls through.
template <typename Fn>
void RunKernel(benchmark::State& state, Fn SPixelKernels::*kernel, const std::function<void(Fn)>& call)
{
    const ECpuLevel level = ECpuLevel(state.range(0));
    if (!CpuLevelAvailable(level)) {
        state.SkipWithError("the processor lacks this instruction set");
        return;
    }
    const Fn f = PixelKernelsAt(level).*kernel;
    for (auto _ : state) {
        call(f);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_RgbRowPairToYuv(benchmark::State& state)
{
    SKernelData& d = KernelData();
    RunKernel<decltype(&RgbRowPairToYuvPlain)>(state, &SPixelKernels::rgbRowPairToYuv, [&](auto f) {
        f(d.rgbx0.data(), d.rgbx1.data(), 720, true, d.out8.data(), d.out8.data() + 720, d.out8.data() + 1440,
          d.out8.data() + 1800);
    });
}
void BM_BilinearRgbxRow(benchmark::State& state)
{
    SKernelData& d = KernelData();
    std::vector<uint16_t> weights(720 * 8);
    BilinearRgbxWeights(d.w1.data(), weights.data(), 720);
    RunKernel<decltype(&BilinearRgbxRowPlain)>(state, &SPixelKernels::bilinearRgbxRow, [&](auto f) {
        f(d.rgbx0.data(), d.x0.data(), weights.data(), d.out16.data(), 720);
    });
}
void BM_BilinearVertical(benchmark::State& state)
{
    SKernelData& d = KernelData();
    RunKernel<decltype(&BilinearVerticalPlain)>(state, &SPixelKernels::bilinearVertical, [&](auto f) {
        f(d.wide0.data(), d.wide1.data(), 100, 156, d.out8.data(), 2880);
    });
}
void BM_Cubic4Vertical(benchmark::State& state)
{
    SKernelData& d = KernelData();
    const uint8_t* rows[4] = {d.rgbx0.data(), d.rgbx1.data(), d.bytes0.data(), d.bytes1.data()};
    const int w[4] = {10, 118, 118, 10};
    RunKernel<decltype(&Cubic4VerticalPlain)>(state, &SPixelKernels::cubic4Vertical,
                                              [&](auto f) { f(rows, w, d.out8.data(), 720); });
}
void BM_BlendRows(benchmark::State& state)
{
    SKernelData& d = KernelData();
    RunKernel<decltype(&BlendRowsPlain)>(state, &SPixelKernels::blendRows,
                                         [&](auto f) { f(d.bytes0.data(), d.bytes1.data(), 77, d.out8.data(), 1080); });
}
void BM_Packed422Row(benchmark::State& state)
{
    SKernelData& d = KernelData();
    RunKernel<decltype(&Packed422RowPlain)>(state, &SPixelKernels::packed422Row, [&](auto f) {
        f(d.bytes0.data(), 720, 0, true, d.out8.data(), d.out8.data() + 720, d.out8.data() + 1080);
    });
}
void BM_SelectBytes(benchmark::State& state)
{
    SKernelData& d = KernelData();
    RunKernel<decltype(&SelectBytesPlain)>(state, &SPixelKernels::selectBytes, [&](auto f) {
        f(d.bytes0.data(), d.bytes1.data(), d.mask.data(), d.out8.data(), 1080);
    });
}
void BM_BlurRgbxRowH(benchmark::State& state)
{
    SKernelData& d = KernelData();
    const int w[5] = {39, 841, 2336, 841, 39};
    std::vector<uint32_t> out(720 * 4);
    RunKernel<decltype(&BlurRgbxRowHPlain)>(state, &SPixelKernels::blurRgbxRowH,
                                            [&](auto f) { f(d.padded.data(), w, out.data(), 720); });
}
void BM_BlurRgbxRowV(benchmark::State& state)
{
    SKernelData& d = KernelData();
    const int w[5] = {39, 841, 2336, 841, 39};
    const uint32_t* rows[5] = {d.mid[0].data(), d.mid[1].data(), d.mid[2].data(), d.mid[3].data(), d.mid[4].data()};
    RunKernel<decltype(&BlurRgbxRowVPlain)>(state, &SPixelKernels::blurRgbxRowV,
                                            [&](auto f) { f(rows, w, d.rgbx0.data(), d.out8.data(), 720); });
}
void BM_ResizeRgbRowH(benchmark::State& state)
{
    SKernelData& d = KernelData();
    RunKernel<decltype(&ResizeRgbRowHPlain)>(state, &SPixelKernels::resizeRgbRowH, [&](auto f) {
        f(d.rgb.data(), 1000, d.first.data(), d.resizeWeights.data(), 3, d.out16.data(), 720);
    });
}
void BM_ResizeRgbxRowV(benchmark::State& state)
{
    SKernelData& d = KernelData();
    const uint16_t* rows[3] = {d.wide0.data(), d.wide1.data(), d.wide0.data()};
    const int w[3] = {5461, 5462, 5461};
    RunKernel<decltype(&ResizeRgbxRowVPlain)>(state, &SPixelKernels::resizeRgbxRowV,
                                              [&](auto f) { f(rows, w, 3, d.out8.data(), 720); });
}
void BM_Cubic4Row(benchmark::State& state)
{
    SKernelData& d = KernelData();
    // 352 -> 720 enlargement taps.
    static std::vector<int> first;
    static std::vector<int16_t> weights;
    if (first.empty())
        for (int i = 0; i < 720; ++i) {
            first.push_back(std::min(348, std::max(0, int(i * 352.0 / 720) - 1)));
            for (int j = 0; j < 4; ++j) weights.push_back(int16_t(j == 0 || j == 3 ? 14 : 114));
        }
    RunKernel<decltype(&Cubic4RowPlain)>(state, &SPixelKernels::cubic4Row, [&](auto f) {
        f(d.bytes0.data(), 352, first.data(), weights.data(), d.out8.data(), 720);
    });
}
BENCHMARK(BM_RgbRowPairToYuv)->DenseRange(0, 2);
BENCHMARK(BM_Cubic4Row)->DenseRange(0, 2);
BENCHMARK(BM_BilinearRgbxRow)->DenseRange(0, 2);
BENCHMARK(BM_BilinearVertical)->DenseRange(0, 2);
BENCHMARK(BM_Cubic4Vertical)->DenseRange(0, 2);
BENCHMARK(BM_BlendRows)->DenseRange(0, 2);
BENCHMARK(BM_Packed422Row)->DenseRange(0, 2);
BENCHMARK(BM_SelectBytes)->DenseRange(0, 2);
BENCHMARK(BM_BlurRgbxRowH)->DenseRange(0, 2);
BENCHMARK(BM_BlurRgbxRowV)->DenseRange(0, 2);
BENCHMARK(BM_ResizeRgbRowH)->DenseRange(0, 2);
BENCHMARK(BM_ResizeRgbxRowV)->DenseRange(0, 2);

}  // namespace

BENCHMARK_MAIN();
