// The predictive motion search on planes with known motion.
#include "base/Cpu.h"
#include "mpeg2enc/MotionSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

constexpr int width = 352, height = 240, columns = width / 16, count = columns * (height / 16);

// A smooth picture (one broad bump per 64 samples) displaced by (dx, dy): its SAD surface
// falls steadily toward the true displacement, so a greedy walk must find it.
std::vector<uint8_t> Smooth(int dx, int dy)
{
    std::vector<uint8_t> p(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            p[size_t(y * width + x)] =
                uint8_t(128 + 50 * std::sin((x - dx) * 2 * M_PI / 64) + 50 * std::cos((y - dy) * 2 * M_PI / 64));
    return p;
}

struct SResult {
    std::vector<int32_t> x = std::vector<int32_t>(count), y = std::vector<int32_t>(count),
                         flags = std::vector<int32_t>(count);
};

// Searches a whole picture; `motionWeight` below zero means the standard search, else the
// high-quality one with that price of a vector bit.
SResult Search(const std::vector<uint8_t>& src, const std::vector<uint8_t>& ref, uint64_t* evaluations = nullptr,
               double motionWeight = -1)
{
    const std::vector<int32_t> previous(count, 0);
    SResult r;
    CMotionSearch search;
    search.highQuality = motionWeight >= 0;
    search.motionWeight = std::max(motionWeight, 0.0);
    search.SearchPicture(src.data(), ref.data(), width, height, previous.data(), previous.data(), r.x.data(),
                         r.y.data(), r.flags.data());
    if (evaluations) *evaluations = search.sadEvaluations;
    return r;
}

}  // namespace

TEST(MotionSearch, WalksToTheDisplacementAndFollowsItsNeighbours)
{
    // The source is the reference moved by (+5, -3): content at x came from x - 5.
    const auto ref = Smooth(0, 0), src = Smooth(5, -3);
    uint64_t evaluations = 0;
    const SResult r = Search(src, ref, &evaluations);
    for (int b = 0; b < count; ++b) {
        const int column = b % columns, row = b / columns;
        if (column < 1 || column >= columns - 1 || row < 1 || row >= height / 16 - 1) continue;
        EXPECT_EQ(r.x[b], -10) << b;
        EXPECT_EQ(r.y[b], 6) << b;
        EXPECT_EQ(r.flags[b], CMotionSearch::flagForward) << b;
    }
    // Neighbours' vectors end the search early: far fewer SADs than an exhaustive search.
    EXPECT_LT(evaluations, uint64_t(count) * 40);
}

TEST(MotionSearch, EveryInstructionSetFindsTheSameHalfSampleVectors)
{
    const auto ref = Smooth(0, 0);
    std::vector<uint8_t> src(ref.size());
    // Half a sample to the left (the refinement tries the left half step first): only
    // half-sample search can match it exactly.
    for (size_t i = 1; i < src.size(); ++i) src[i] = uint8_t((ref[i - 1] + ref[i] + 1) >> 1);
    const SResult best = Search(src, ref);
    int halves = 0;
    for (int b = 0; b < count; ++b) halves += best.x[b] == -1;
    EXPECT_GT(halves, count / 4);  // the others settle on a whole sample beside it
    for (ECpuLevel level : kCpuLevels) {
        const CCpuMaskScope lowered(level);
        const SResult r = Search(src, ref);
        EXPECT_EQ(r.x, best.x) << CpuLevelName(level);
        EXPECT_EQ(r.y, best.y) << CpuLevelName(level);
        EXPECT_EQ(r.flags, best.flags) << CpuLevelName(level);
    }
}

TEST(MotionSearch, IntraOnlyWhenClearlyCheaper)
{
    // A flat source over a reference of stripes: every SAD is large and the flat block's
    // deviation is zero, so every macroblock is intra with a zero vector.
    std::vector<uint8_t> ref(size_t(width) * height), flat(size_t(width) * height, 100);
    for (size_t i = 0; i < ref.size(); ++i) ref[i] = (i / 2) % 2 ? 20 : 220;
    const SResult r = Search(flat, ref);
    for (int b = 0; b < count; ++b) {
        EXPECT_EQ(r.flags[b], CMotionSearch::flagIntra) << b;
        EXPECT_EQ(r.x[b], 0);
        EXPECT_EQ(r.y[b], 0);
    }
    // A best SAD of 800 or less is never intra, however flat the source: a difference of
    // 3 on every sample costs 768.
    std::vector<uint8_t> near(ref.size(), 103), flatRef(ref.size(), 100);
    const SResult n = Search(near, flatRef);
    for (int b = 0; b < count; ++b) EXPECT_NE(n.flags[b], CMotionSearch::flagIntra) << b;
}

TEST(MotionSearch, AnyOrderThatRespectsTheNeighboursGivesTheSameVectors)
{
    // Rows searched on different threads follow a wavefront: a macroblock only needs its
    // left, top and top-right neighbours to be final. Searching in such an order must
    // give the raster-order result; an order that breaks it (rows right to left) must not,
    // which shows that this content really depends on the neighbours.
    std::vector<uint8_t> ref(size_t(width) * height), src(ref.size());
    std::mt19937 rng(5);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ref[size_t(y * width + x)] = uint8_t(128 + 60 * std::sin(x * 0.21) * std::cos(y * 0.17) + int(rng() % 9));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            // Each quarter of the picture moves its own way.
            const int dx = x < width / 2 ? 3 : -6, dy = y < height / 2 ? -2 : 5;
            const int sx = std::clamp(x - dx, 0, width - 1), sy = std::clamp(y - dy, 0, height - 1);
            src[size_t(y * width + x)] = uint8_t(std::clamp(ref[size_t(sy * width + sx)] + int(rng() % 5) - 2, 0, 255));
        }
    std::vector<int32_t> previousX(count), previousY(count);
    for (int b = 0; b < count; ++b) previousX[b] = 2 * (b % 7) - 6, previousY[b] = (b % 5) - 2;

    const int rows = height / 16;
    auto searchInOrder = [&](const std::vector<int>& order) {
        SResult r;
        std::fill(r.x.begin(), r.x.end(), 0x7777);  // anything read too early shows up
        std::fill(r.y.begin(), r.y.end(), -0x7777);
        CMotionSearch search;
        for (int b : order)
            search.SearchAndClassify(b, src.data(), ref.data(), width, height, previousX.data(), previousY.data(),
                                     r.x.data(), r.y.data(), r.flags.data());
        return r;
    };
    SResult raster;
    CMotionSearch search;
    search.SearchPicture(src.data(), ref.data(), width, height, previousX.data(), previousY.data(), raster.x.data(),
                         raster.y.data(), raster.flags.data());

    // Wavefront: macroblock (row, column) at step column + 2 row.
    std::vector<int> wave;
    for (int step = 0; step < columns + 2 * rows; ++step)
        for (int row = 0; row < rows; ++row)
            if (const int column = step - 2 * row; column >= 0 && column < columns)
                wave.push_back(row * columns + column);
    ASSERT_EQ(wave.size(), size_t(count));
    const SResult waved = searchInOrder(wave);
    EXPECT_EQ(waved.x, raster.x);
    EXPECT_EQ(waved.y, raster.y);
    EXPECT_EQ(waved.flags, raster.flags);

    std::vector<int> backwards;
    for (int row = 0; row < rows; ++row)
        for (int column = columns - 1; column >= 0; --column) backwards.push_back(row * columns + column);
    const SResult broken = searchInOrder(backwards);
    EXPECT_FALSE(broken.x == raster.x && broken.y == raster.y);
}

TEST(MotionSearch, HighQualityFindsDiagonalHalfSamplesOnEveryInstructionSet)
{
    // Each source sample is the average of four reference samples (itself, left, above,
    // above-left): only the diagonal half-sample vector (-1, -1) predicts it exactly.
    const auto ref = Smooth(0, 0);
    std::vector<uint8_t> src(ref);
    for (int y = 1; y < height; ++y)
        for (int x = 1; x < width; ++x) {
            const size_t i = size_t(y * width + x);
            src[i] = uint8_t((ref[i] + ref[i - 1] + ref[i - width] + ref[i - width - 1] + 2) >> 2);
        }
    const SResult best = Search(src, ref, nullptr, 0);
    for (int b = columns + 1; b < count; ++b) {
        if (b % columns == 0) continue;
        EXPECT_EQ(best.x[b], -1) << b;
        EXPECT_EQ(best.y[b], -1) << b;
    }
    for (ECpuLevel level : kCpuLevels) {
        const CCpuMaskScope lowered(level);
        const SResult r = Search(src, ref, nullptr, 0);
        EXPECT_EQ(r.x, best.x) << CpuLevelName(level);
        EXPECT_EQ(r.y, best.y) << CpuLevelName(level);
        EXPECT_EQ(r.flags, best.flags) << CpuLevelName(level);
    }
    // When vector bits cost more than any SAD can save, every macroblock keeps the vector
    // it is coded against (its left neighbour's, zero at the start of a row): all zero.
    const SResult thrifty = Search(src, ref, nullptr, 1e7);
    for (int b = 0; b < count; ++b) {
        EXPECT_EQ(thrifty.x[b], 0) << b;
        EXPECT_EQ(thrifty.y[b], 0) << b;
    }
}

TEST(MotionSearch, HighQualityEvaluatesEachPositionOnce)
{
    // On flat pictures no position beats the zero vector, so the search visits the zero
    // vector, its eight neighbours and the eight half-sample neighbours, each once, and
    // the eight positions two samples away only when the match is poor (here: the source
    // two levels brighter, a cost of 512 everywhere); a second walk or a repeated
    // candidate would add evaluations. Only the border macroblocks have fewer.
    const std::vector<uint8_t> flat(size_t(width) * height, 90), brighter(size_t(width) * height, 92);
    uint64_t close = 0, poor = 0;
    const SResult r = Search(flat, flat, &close, 4);
    const SResult s = Search(brighter, flat, &poor, 4);
    EXPECT_LE(close, uint64_t(count) * 17);
    EXPECT_GT(close, uint64_t(count) * 13);
    EXPECT_LE(poor, uint64_t(count) * 25);
    EXPECT_GT(poor, uint64_t(count) * 20);
    for (int b = 0; b < count; ++b) {
        EXPECT_EQ(r.flags[b], 0) << b;
        EXPECT_EQ(s.flags[b], 0) << b;
    }
}

// A grainy picture moved by whole samples, with grain of its own in each picture: the
// average of neighbouring reference samples halves the old grain, so by SAD alone most
// macroblocks take a half-sample vector beside the true one. At a coarse quantiser the
// high-quality search prices such smoothing predictions (they would blur the picture
// from one P picture to the next) and keeps the true, whole-sample displacement.
TEST(MotionSearch, HighQualityKeepsWholeSampleVectorsOfGrainAtCoarseQuantisers)
{
    std::mt19937 rng(3);
    std::normal_distribution<double> grain(0.0, 3.0);
    auto make = [&](int dx) {
        std::vector<uint8_t> p(size_t(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                p[size_t(y * width + x)] = uint8_t(std::clamp(
                    128.0 + 40 * std::sin((x - dx) * 2 * M_PI / 64) + 30 * std::cos(y * 2 * M_PI / 48) + grain(rng),
                    0.0, 255.0));
        return p;
    };
    const auto ref = make(0), src = make(4);
    // Shares of the inner macroblocks with a half-sample vector and with the true one.
    struct SShares {
        double half, exact;
    };
    auto shares = [&](int q, bool priced) {
        CMotionSearch search;
        search.highQuality = true;
        search.SetQuantiser(q);
        if (!priced) search.halfSamplePenalty = search.diagonalPenalty = 0.0;
        const std::vector<int32_t> previous(count, 0);
        SResult r;
        search.SearchPicture(src.data(), ref.data(), width, height, previous.data(), previous.data(), r.x.data(),
                             r.y.data(), r.flags.data());
        int half = 0, exact = 0, inner = 0;
        for (int b = 0; b < count; ++b) {
            const int column = b % columns, row = b / columns;
            if (column < 1 || column >= columns - 1 || row < 1 || row >= height / 16 - 1) continue;
            ++inner;
            if ((r.x[b] & 1) || (r.y[b] & 1)) ++half;
            if (r.x[b] == -8 && r.y[b] == 0) ++exact;
        }
        return SShares{double(half) / inner, double(exact) / inner};
    };
    EXPECT_GT(shares(28, false).half, 0.5);
    const SShares coarse = shares(28, true);
    EXPECT_LT(coarse.half, 0.05);
    EXPECT_GT(coarse.exact, 0.9);
    // At a fine quantiser the price is small: the half-sample vectors that SAD prefers
    // clearly are still taken.
    EXPECT_GT(shares(2, true).half, 0.3);
}
