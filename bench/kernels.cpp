// Per-block kernels of the video encoder at every instruction-set level, taken from the
// same tables the encoder calls through: nanoseconds per 8 x 8 block
// (per 16 x 16 block for the SADs). Blocks are drawn from a pool of random data shaped
// like the encoder's (small residuals, sparse coefficient blocks) so that branches and
// sparse paths see realistic input.
#include "base/Cpu.h"
#include "mpeg2enc/BitWriter.h"
#include "mpeg2enc/EncoderKernels.h"
#include "mpeg2enc/VlcTables.h"

#include <benchmark/benchmark.h>

#include <type_traits>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace {

// range(0) of every benchmark: the instruction-set level whose routines are timed.
constexpr int kPlain = int(ECpuLevel::Plain), kSse2 = int(ECpuLevel::Sse2), kAvx2 = int(ECpuLevel::Avx2);
constexpr int poolSize = 256;  // blocks, a power of two

ECpuLevel Level(const benchmark::State& state) { return ECpuLevel(state.range(0)); }

bool Supported(benchmark::State& state)
{
    if (!CpuLevelAvailable(Level(state))) {
        state.SkipWithError("the processor lacks this instruction set");
        return false;
    }
    return true;
}

// The encoder's kernel table for the level under test.
SEncoderKernels Kernels(const benchmark::State& state) { return EncoderKernelsAt(Level(state)); }

// Coefficient blocks after quantisation/inverse quantisation: mostly a few low-frequency
// values, some dense; `scale` sets the magnitudes.
const std::vector<int16_t>& CoefficientPool(int scale)
{
    static std::vector<int16_t> pools[4];
    std::vector<int16_t>& pool = pools[scale & 3];
    if (pool.empty()) {
        std::mt19937 rng{uint32_t(scale)};
        pool.assign(size_t(poolSize) * 64, 0);
        const int magnitude = 8 << (2 * scale);
        for (int b = 0; b < poolSize; ++b) {
            int16_t* block = pool.data() + size_t(b) * 64;
            const int count = b % 4 == 0 ? 64 : 1 + int(rng() % 8);
            for (int n = 0; n < count; ++n) {
                const int pos = count == 64 ? n : int(rng() % 20);
                block[pos] = int16_t(int(rng() % uint32_t(2 * magnitude + 1)) - magnitude);
            }
            if (b % 2) block[63] = 1;
        }
    }
    return pool;
}

// Samples of a textured picture, 64 samples wide.
const std::vector<uint8_t>& Plane()
{
    static std::vector<uint8_t> plane = [] {
        std::mt19937 rng(5);
        std::vector<uint8_t> p(64 * 64 * 4);
        for (size_t i = 0; i < p.size(); ++i) p[i] = uint8_t(96 + (i % 64) + rng() % 24);
        return p;
    }();
    return plane;
}

void BM_ForwardDct(benchmark::State& state)
{
    if (!Supported(state)) return;
    const auto fdct = Kernels(state).forwardDct;
    const auto& pool = CoefficientPool(1);
    alignas(32) int16_t block[64];
    int n = 0;
    for (auto _ : state) {
        std::memcpy(block, pool.data() + size_t(n++ & (poolSize - 1)) * 64, sizeof block);
        fdct(block);
        benchmark::DoNotOptimize(block);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ForwardDct)->Arg(kPlain)->Arg(kSse2)->Arg(kAvx2);

// Dequantised residual blocks as the encoder reconstructs them: a few rows (most often two
// to five) with one to three non-zero coefficients each, mostly at low frequencies, levels
// times weight times quantiser scale, and the mismatch control's parity mark at 63.
const std::vector<int16_t>& ResidualPool()
{
    static const std::vector<int16_t> pool = [] {
        std::mt19937 rng(11);
        std::vector<int16_t> blocks(size_t(poolSize) * 64, 0);
        for (int b = 0; b < poolSize; ++b) {
            int16_t* block = blocks.data() + size_t(b) * 64;
            const int scale = 2 * (2 + int(rng() % 12));
            for (int rows = 1 + int(rng() % 3) + int(rng() % 3); rows > 0; --rows) {
                const int v = std::min(int(rng() % 4) + int(rng() % 5), 7);
                for (int n = 1 + int(rng() % 4 == 0) + int(rng() % 4 == 0); n > 0; --n) {
                    const int u = std::min(int(rng() % 3) + int(rng() % 4), 7);
                    const int level = rng() % 4 ? int(rng() % 2) * 2 - 1 : int(rng() % 9) - 4;
                    block[v * 8 + u] = int16_t((2 * level + (level > 0) - (level < 0)) * (16 + u + v) * scale / 32);
                }
            }
            int sum = 0;
            for (int i = 0; i < 64; ++i) sum += block[i];
            if (sum % 2 == 0) block[63] = int16_t(block[63] ^ 1);
        }
        return blocks;
    }();
    return pool;
}

// range(1): 0 the random coefficient pool, 1 the residual-like pool.
void BM_InverseDct(benchmark::State& state)
{
    if (!Supported(state)) return;
    const auto idct = Kernels(state).inverseDct;
    const auto& pool = state.range(1) ? ResidualPool() : CoefficientPool(2);
    alignas(32) int16_t out[64];
    int n = 0;
    for (auto _ : state) {
        idct(pool.data() + size_t(n++ & (poolSize - 1)) * 64, out);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_InverseDct)->ArgsProduct({{kPlain, kSse2, kAvx2}, {0, 1}});

const CQuantiser& Quantiser()
{
    static CQuantiser q = [] {
        CQuantiser quantiser;
        uint8_t flat[64];
        std::memset(flat, 16, 64);
        quantiser.Build(defaultIntraMatrix, flat);
        return quantiser;
    }();
    return q;
}

// Times one quantiser routine over a pool of blocks, cycling through the pool so that
// the data is not the same few cache lines every time.
template <typename F>
void TimeQuantiser(benchmark::State& state, F routine, int poolIndex)
{
    const auto& pool = CoefficientPool(poolIndex);
    alignas(32) int16_t out[64];
    int n = 0;
    for (auto _ : state) {
        const int16_t* in = pool.data() + size_t(n++ & (poolSize - 1)) * 64;
        if constexpr (std::is_void_v<std::invoke_result_t<F, const CQuantiser&, const int16_t*, int16_t*, int>>)
            (Quantiser().*routine)(in, out, 6);
        else
            benchmark::DoNotOptimize((Quantiser().*routine)(in, out, 6));
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_QuantiseIntra(benchmark::State& state)
{
    if (!Supported(state)) return;
    using F = void (CQuantiser::*)(const int16_t*, int16_t*, int) const;
    const F f = Kernels(state).quantiseIntra;
    TimeQuantiser(state, f, 3);
}
BENCHMARK(BM_QuantiseIntra)->Arg(kPlain)->Arg(kSse2)->Arg(kAvx2);

void BM_NonIntraLevels(benchmark::State& state)
{
    if (!Supported(state)) return;
    using F = uint64_t (CQuantiser::*)(const int16_t*, int16_t*, int) const;
    const F f = Kernels(state).nonIntraLevels;
    TimeQuantiser(state, f, 2);
}
BENCHMARK(BM_NonIntraLevels)->Arg(kPlain)->Arg(kSse2)->Arg(kAvx2);

// The whole non-intra quantisation (range check, levels, zero-block probe) with the
// kernel tables lowered to the level under test.
void BM_QuantiseNonIntra(benchmark::State& state)
{
    if (!Supported(state)) return;
    const CCpuMaskScope level(Level(state));
    TimeQuantiser(state, &CQuantiser::QuantiseNonIntra, 1);
}
BENCHMARK(BM_QuantiseNonIntra)->Arg(kPlain)->Arg(kSse2)->Arg(kAvx2);

void BM_DequantiseIntra(benchmark::State& state)
{
    if (!Supported(state)) return;
    using F = void (CQuantiser::*)(const int16_t*, int16_t*, int) const;
    const F f = Kernels(state).dequantiseIntra;
    TimeQuantiser(state, f, 0);
}
BENCHMARK(BM_DequantiseIntra)->Arg(kPlain)->Arg(kSse2)->Arg(kAvx2);

void BM_DequantiseNonIntra(benchmark::State& state)
{
    if (!Supported(state)) return;
    using F = void (CQuantiser::*)(const int16_t*, int16_t*, int) const;
    const F f = Kernels(state).dequantiseNonIntra;
    TimeQuantiser(state, f, 0);
}
BENCHMARK(BM_DequantiseNonIntra)->Arg(kPlain)->Arg(kSse2)->Arg(kAvx2);

void BM_IsZeroBlock(benchmark::State& state)
{
    if (!Supported(state)) return;
    const auto f = Kernels(state).isZeroBlock;
    // Zero blocks: the plain routine reads all 64 values.
    alignas(32) int16_t block[64] = {};
    for (auto _ : state) {
        benchmark::DoNotOptimize(f(block));
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_IsZeroBlock)->Arg(kPlain)->Arg(kSse2)->Arg(kAvx2);

// The prediction error of a block of a 64-wide plane; range(1) is the prediction's stride:
// 8 or 16 (a prediction buffer) or 64 (read in place from a plane).
void BM_Residual(benchmark::State& state)
{
    if (!Supported(state)) return;
    const auto f = Kernels(state).residualBlock;
    const int predStride = int(state.range(1));
    const auto& plane = Plane();
    alignas(32) int16_t out[64];
    int n = 0;
    for (auto _ : state) {
        const int at = (n++ & 7) * 8;
        benchmark::DoNotOptimize(f(plane.data() + at, 64, plane.data() + 64 * 32 + at, predStride, out));
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Residual)->ArgsProduct({{kPlain, kSse2, kAvx2}, {8, 16, 64}});

// Reconstruction of a block into a 64-wide plane; range(1) is the prediction's stride as
// for BM_Residual.
void BM_Reconstruct(benchmark::State& state)
{
    if (!Supported(state)) return;
    const auto f = Kernels(state).reconstructBlock;
    const int predStride = int(state.range(1));
    const auto& plane = Plane();
    const auto& pool = CoefficientPool(1);
    std::vector<uint8_t> dest(64 * 8);
    int n = 0;
    for (auto _ : state) {
        f(plane.data() + (n & 7) * 8, predStride, pool.data() + size_t(n & (poolSize - 1)) * 64,
          dest.data() + (n & 7) * 8, 64);
        ++n;
        benchmark::DoNotOptimize(dest.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Reconstruct)->ArgsProduct({{kPlain, kSse2, kAvx2}, {8, 16, 64}});

// Prediction of one 16 x 16 luma block at the half-sample position range(1) (bit 0:
// horizontal, bit 1: vertical).
void BM_Predict(benchmark::State& state)
{
    if (!Supported(state)) return;
    const auto f = Kernels(state).predictBlock;
    const bool hx = state.range(1) & 1, hy = state.range(1) & 2;
    const auto& plane = Plane();
    alignas(32) uint8_t out[256];
    int n = 0;
    for (auto _ : state) {
        f(plane.data() + (n++ & 31), 64, hx, hy, out, 16, 16);
        benchmark::DoNotOptimize(out);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Predict)->ArgsProduct({{kPlain, kSse2, kAvx2}, {0, 1, 2, 3}});

// The SADs of the motion search over 16 x 16 blocks; range(1): 0 full, 1 half-H,
// 2 half-V, 3 half-HV.
void BM_Sad(benchmark::State& state)
{
    if (!Supported(state)) return;
    const SEncoderKernels k = Kernels(state);
    const auto& plane = Plane();
    const int mode = int(state.range(1));
    uint32_t sum = 0;
    int n = 0;
    for (auto _ : state) {
        const uint8_t* s = plane.data() + (n & 15);
        const uint8_t* r = plane.data() + 64 * 8 + (n++ & 31);
        sum += mode == 0 ? k.sad(s, r, 64, 65536)
            : mode == 1  ? k.sadHalfH(s, r, 64)
            : mode == 2  ? k.sadHalfV(s, r, 64)
                         : k.sadHalfHV(s, r, 64);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Sad)->ArgsProduct({{kPlain, kSse2, kAvx2}, {0, 1, 2, 3}});

// The eight half-sample neighbours of a whole-sample position: range(1) 0 the eight single
// kernels one after another, 1 the one call; the time is for all eight.
void BM_SadHalfNeighbours(benchmark::State& state)
{
    if (!Supported(state)) return;
    const SEncoderKernels k = Kernels(state);
    const auto& plane = Plane();
    const bool together = state.range(1) != 0;
    uint32_t sums[8];
    int n = 0;
    for (auto _ : state) {
        const uint8_t* s = plane.data() + (n & 15);
        const uint8_t* r = plane.data() + 64 * 8 + 1 + (n++ & 31);
        if (together) {
            k.sadHalfNeighbours(s, r, 64, sums);
        } else {
            const uint8_t* above = r - 64;
            sums[0] = k.sadHalfHV(s, above - 1, 64);
            sums[1] = k.sadHalfV(s, above, 64);
            sums[2] = k.sadHalfHV(s, above, 64);
            sums[3] = k.sadHalfH(s, r - 1, 64);
            sums[4] = k.sadHalfH(s, r, 64);
            sums[5] = k.sadHalfHV(s, r - 1, 64);
            sums[6] = k.sadHalfV(s, r, 64);
            sums[7] = k.sadHalfHV(s, r, 64);
        }
        benchmark::DoNotOptimize(sums);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SadHalfNeighbours)->ArgsProduct({{kPlain, kSse2, kAvx2}, {0, 1}});

void BM_NonZeroMask(benchmark::State& state)
{
    if (!Supported(state)) return;
    const auto f = Kernels(state).nonZeroMask;
    const auto& pool = CoefficientPool(0);
    int n = 0;
    for (auto _ : state) benchmark::DoNotOptimize(f(pool.data() + size_t(n++ & (poolSize - 1)) * 64));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NonZeroMask)->Arg(kPlain)->Arg(kSse2)->Arg(kAvx2);

// Entropy coding of quantised blocks: the plain writers walk every scan position, the
// vector levels' writers the level's non-zero mask; range(1) 0 non-intra, 1 intra
// (table B.15).
void BM_WriteBlock(benchmark::State& state)
{
    if (!Supported(state)) return;
    const SEncoderKernels k = Kernels(state);
    const bool intra = state.range(1) != 0;
    const auto& pool = CoefficientPool(0);
    std::vector<uint8_t> buffer(1 << 20);
    CBitWriter writer;
    writer.Attach(buffer.data(), buffer.size());
    int n = 0, dc = 0;
    for (auto _ : state) {
        const int16_t* levels = pool.data() + size_t(n & (poolSize - 1)) * 64;
        if (intra)
            k.writeIntraBlock(writer, levels, n % 3, dc, 1, false);
        else
            k.writeNonIntraBlock(writer, levels, false);
        if ((++n & 1023) == 0) writer.Attach(buffer.data(), buffer.size());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WriteBlock)->ArgsProduct({{kPlain, kSse2, kAvx2}, {0, 1}});

}  // namespace

BENCHMARK_MAIN();
