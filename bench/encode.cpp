// Encoding speed of the MPEG-2 video encoder at 720 x 480: frames per second over
// pictures rendered in advance (so rendering is not counted), on one thread (figure:
// CPU time) and on WorkerThreads() threads (figure: wall time; CPU time of the whole
// process beside it). The kernels the encoder spends its time in are timed, every
// version, by bench/kernels.cpp.
#include "base/DVDParams.h"
#include "base/Threads.h"
#include "mpeg2enc/Encoder.h"
#include "picture/Frame.h"
#include "picture/FrameSource.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

constexpr int width = 720, height = 480;
constexpr size_t frameBytes = size_t(width) * height * 3 / 2;

// Thirty pictures of a detailed texture drifting diagonally with fresh grain.
const std::vector<std::vector<uint8_t>>& Pictures()
{
    static const std::vector<std::vector<uint8_t>> pictures = [] {
        std::vector<uint8_t> texture(size_t(1024) * 1024);
        std::mt19937 rng(42);
        for (size_t i = 0; i < texture.size(); ++i) {
            const int x = int(i % 1024), y = int(i / 1024);
            const double v = 128 + 60 * std::sin(x * 0.05) * std::cos(y * 0.03) + int(rng() % 40) - 20;
            texture[i] = uint8_t(std::clamp(v, 0.0, 255.0));
        }
        std::vector<std::vector<uint8_t>> out;
        for (int n = 0; n < 30; ++n) {
            std::vector<uint8_t> p(frameBytes);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    p[size_t(y * width + x)] = uint8_t(
                        std::clamp(texture[size_t(y + 2 * n) * 1024 + size_t(x + 2 * n)] + int(rng() % 7) - 3, 0, 255));
            for (size_t i = size_t(width) * height; i < frameBytes; ++i)
                p[i] = uint8_t(texture[i % texture.size()] / 2 + 64);
            out.push_back(std::move(p));
        }
        return out;
    }();
    return pictures;
}

class CMemorySource : public CFrameSource {
public:
    int64_t FrameCount() override { return int64_t(Pictures().size()); }
    void NextFrame(CFrame& frame) override
    {
        const auto& p = Pictures()[size_t(next++) % Pictures().size()];
        std::memcpy(frame.picture.planeY, p.data(), frameBytes);
    }
    int64_t next = 0;
};

// Arguments: target bit rate, threads.
void BM_EncodeFrames(benchmark::State& state)
{
    CDVDParams params;
    params.videoBitRate = double(state.range(0));
    params.intraMatrixText = "Default";
    params.interMatrixText = "Default";
    std::vector<uint8_t> buffer(1 << 22);
    int64_t frames = 0;
    for (auto _ : state) {
        state.PauseTiming();
        CEncoder encoder;
        CMemorySource source;
        encoder.SetThreads(int(state.range(1)));
        encoder.InitFromSettings(params);
        encoder.Start(&source, source.FrameCount());
        state.ResumeTiming();
        while (encoder.Read(buffer.data(), int32_t(buffer.size())) > 0) {}
        frames += encoder.FramesCoded();
    }
    state.counters["fps"] = benchmark::Counter(double(frames), benchmark::Counter::kIsRate);
}

}  // namespace

int main(int argc, char** argv)
{
    // One thread: the processor time is the figure (fps from CPU time). Several: the
    // wall time is (fps from real time), with the CPU time of every thread beside it.
    for (int rate : {6000000, 8000000})
        benchmark::RegisterBenchmark("BM_EncodeFrames", BM_EncodeFrames)
            ->Args({rate, 1})
            ->Unit(benchmark::kMillisecond);
    if (const int threads = WorkerThreads(); threads > 1)
        for (int rate : {6000000, 8000000})
            benchmark::RegisterBenchmark("BM_EncodeFrames", BM_EncodeFrames)
                ->Args({rate, threads})
                ->Unit(benchmark::kMillisecond)
                ->MeasureProcessCPUTime()
                ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
