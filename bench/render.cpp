// Slide-show rendering speed at 720 x 480: frames per second (items_per_second) for
// still photos, every pan-zoom motion, every transition, the photo stage, fitting,
// and the colour-conversion kernel in its plain and vector versions.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "slideshow/ImageFx.h"
#include "slideshow/PixelKernels.h"
#include "slideshow/YUV420Image.h"

namespace {

const std::string kPhoto = std::string(KESTROVA_BENCH_DATA_DIR) + "/sample/beach.jpg";
const std::string kNextPhoto = std::string(KESTROVA_BENCH_DATA_DIR) + "/sample/harbour.png";

// A renderer with the sample photo loaded and a second picture to transition into.
struct SRenderer {
    CImageFx fx;
    CYUV420Image out, next;
    SRenderer() {
        fx.InitFx(720, 480);
        out.Create(480, 720);
        next.Create(480, 720);
        if (!fx.LoadFramePhoto(kNextPhoto)) std::fprintf(stderr, "cannot load %s\n", kNextPhoto.c_str());
        next.CopyPlanes(fx.photoPicture);
        if (!fx.LoadFramePhoto(kPhoto)) std::fprintf(stderr, "cannot load %s\n", kPhoto.c_str());
    }
};

SRenderer& Renderer() {
    static SRenderer r;
    return r;
}

void BM_StillFrame(benchmark::State& state) {
    SRenderer& r = Renderer();
    for (auto _ : state) {
        r.fx.RenderMotion(CImageFx::kNone, 0.5, r.out);
        benchmark::DoNotOptimize(r.out.planeY[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_StillFrame);

void BM_Motion(benchmark::State& state) {
    SRenderer& r = Renderer();
    const int code = (int)state.range(0);
    int n = 0;
    for (auto _ : state) {
        r.fx.RenderMotion(code, (n++ % 150) / 150.0, r.out);
        benchmark::DoNotOptimize(r.out.planeY[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Motion)->DenseRange(0, 15);

void BM_Transition(benchmark::State& state) {
    SRenderer& r = Renderer();
    const int code = (int)state.range(0);
    CYUV420Image from(r.fx.photoPicture);
    r.fx.clockSeconds = [] { return (int64_t)7; };
    int n = 0;
    for (auto _ : state) {
        r.fx.RenderTransition(code, (n++ % 60) / 60.0, from, r.next, r.out);
        benchmark::DoNotOptimize(r.out.planeY[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Transition)
    ->DenseRange(0, 24)
    ->DenseRange(27, 34)
    ->Arg(36)
    ->Arg(37);

void BM_LoadFramePhoto(benchmark::State& state) {
    CImageFx fx;
    fx.InitFx(720, 480);
    for (auto _ : state) benchmark::DoNotOptimize(fx.LoadFramePhoto(kPhoto));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoadFramePhoto)->Unit(benchmark::kMillisecond);

void BM_FitPicture(benchmark::State& state) {
    const int sw = (int)state.range(0), sh = (int)state.range(1);
    CYUV420Image src, dst;
    src.Create(sh, sw);
    dst.Create(480, 720);
    std::mt19937 rng(1);
    for (int i = 0; i < src.planarSize; ++i) src.planeY[i] = (uint8_t)rng();
    for (auto _ : state) {
        CYUV420Image::FitPicture(dst, src);
        benchmark::DoNotOptimize(dst.planeY[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FitPicture)->Args({1920, 1080})->Args({352, 240})->Args({720, 480});

template <bool Vector>
void BM_RgbToYuv(benchmark::State& state) {
    std::vector<uint8_t> bits((size_t)720 * 480 * 4);
    std::mt19937 rng(2);
    for (auto& b : bits) b = (uint8_t)rng();
    std::vector<uint8_t> y(720 * 2), cb(360), cr(360);
    for (auto _ : state) {
        for (int row = 0; row < 480; row += 2) {
            const uint8_t* top = bits.data() + (size_t)row * 2880;
            if (Vector)
                RgbRowPairToYuv_SSE2(top, top + 2880, 720, true, y.data(), y.data() + 720, cb.data(), cr.data());
            else
                RgbRowPairToYuv_C(top, top + 2880, 720, true, y.data(), y.data() + 720, cb.data(), cr.data());
        }
        benchmark::DoNotOptimize(y[0]);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK_TEMPLATE(BM_RgbToYuv, false);
BENCHMARK_TEMPLATE(BM_RgbToYuv, true);

}  // namespace

BENCHMARK_MAIN();
