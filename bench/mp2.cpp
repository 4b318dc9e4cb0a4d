// Speed of the Layer II encoder: one minute of music-like stereo sound coded to
// 384 kbit/s, reported as multiples of real time ("realtime" counter), and the speed of
// its two hot parts, the analysis filter bank (per kernel set) and psychoacoustic model 2.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "audio/MP2Encoder.h"
#include "audio/PsychoModel2.h"
#include "audio/SubbandFilter.h"

namespace {

const std::vector<uint8_t>& OneMinuteOfMusic()
{
    static const std::vector<uint8_t> pcm = [] {
        const int rate = 48000, seconds = 60;
        std::vector<uint8_t> out(size_t(rate) * seconds * 4);
        std::mt19937 rng(7);
        std::uniform_real_distribution<double> white(-1.0, 1.0);
        const double roots[4] = {261.63, 220.00, 174.61, 196.00};
        for (int n = 0; n < rate * seconds; ++n) {
            double t = double(n) / rate;
            double root = roots[int(t / 2.0) % 4];
            double env = std::exp(-3.0 * std::fmod(t, 0.5));
            double l = 0.0, r = 0.0;
            for (int k = 0; k < 3; ++k)
                for (int h = 1; h <= 5; ++h) {
                    double v = env * std::sin(2 * M_PI * root * (1.0 + 0.25 * k) * h * t) / (h * h);
                    l += 0.1 * v * (1.0 - 0.3 * k);
                    r += 0.1 * v * (0.4 + 0.3 * k);
                }
            double noise = 0.03 * std::exp(-20.0 * std::fmod(t, 0.25)) * white(rng);
            int16_t a = int16_t(std::lround(std::clamp(l + noise, -1.0, 1.0) * 32000));
            int16_t b = int16_t(std::lround(std::clamp(r + noise, -1.0, 1.0) * 32000));
            std::memcpy(&out[size_t(n) * 4], &a, 2);
            std::memcpy(&out[size_t(n) * 4 + 2], &b, 2);
        }
        return out;
    }();
    return pcm;
}

void BM_EncodeOneMinute(benchmark::State& state)
{
    const std::vector<uint8_t>& pcm = OneMinuteOfMusic();
    std::vector<uint8_t> buffer(16384);
    size_t bytesOut = 0;
    for (auto _ : state) {
        size_t position = 0;
        CMP2Encoder encoder;
        encoder.Prepare(CMP2Encoder::sourceSlideShow, [&](uint8_t* out, int bytes) {
            size_t n = std::min(size_t(bytes), pcm.size() - position);
            std::memcpy(out, pcm.data() + position, n);
            position += n;
            return int(n);
        });
        bytesOut = 0;
        for (int n; (n = encoder.ReadCompressed(int(buffer.size()), buffer.data())) > 0;) bytesOut += size_t(n);
        benchmark::DoNotOptimize(bytesOut);
    }
    state.counters["realtime"] = benchmark::Counter(60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["frames"] = double(bytesOut / CMP2Encoder::frameBytes);
}
BENCHMARK(BM_EncodeOneMinute)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SubbandFilter(benchmark::State& state)
{
    const auto isa = CSubbandFilter::Isa(state.range(0));
    if (isa == CSubbandFilter::Isa::Avx2 && CSubbandFilter::BestIsa() != CSubbandFilter::Isa::Avx2) {
        state.SkipWithError("no AVX2");
        return;
    }
    CSubbandFilter filter;
    std::vector<float> in(1152);
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> value(-1.0f, 1.0f);
    for (float& v : in) v = value(rng);
    float out[32];
    for (auto _ : state) {
        for (int block = 0; block < 36; ++block) {
            filter.Process(in.data() + 32 * block, out, isa);
            benchmark::DoNotOptimize(out);
        }
    }
    state.SetItemsProcessed(state.iterations() * 1152);  // samples of one channel's frame
}
BENCHMARK(BM_SubbandFilter)
    ->Arg(int(CSubbandFilter::Isa::Plain))
    ->Arg(int(CSubbandFilter::Isa::Sse2))
    ->Arg(int(CSubbandFilter::Isa::Avx2));

void BM_PsychoModel2(benchmark::State& state)
{
    CPsychoModel2 model;
    std::vector<float> window(1024);
    std::mt19937 rng(2);
    std::uniform_real_distribution<float> value(-0.5f, 0.5f);
    for (float& v : window) v = value(rng);
    double smr[32];
    for (auto _ : state) {
        model.Analyse(window.data(), smr);
        benchmark::DoNotOptimize(smr);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PsychoModel2);

}  // namespace

BENCHMARK_MAIN();
