#include "mpeg2enc/MotionSearch.h"

#include "mpeg2enc/EncoderKernels.h"
#include "mpeg2enc/VlcTables.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t noCost = 65536;
constexpr uint32_t goodEnough = 32;  // a cost below this ends the candidate search
constexpr uint32_t intraThreshold = 800;

// Directions of the greedy walk.
enum EDir { UpLeft, Up, UpRight, Left, Right, DownLeft, Down, DownRight, DirCount };
constexpr int dirX[DirCount] = {-1, 0, 1, -1, 1, -1, 0, 1};
constexpr int dirY[DirCount] = {-1, -1, -1, 0, 0, 1, 1, 1};

// Neighbours examined in a further pass after a move in each direction.
constexpr EDir followUp[DirCount][5] = {{UpLeft, Up, UpRight, Left, DownLeft},  // after up-left
                                        {UpLeft, Up, UpRight, Left, Right},  // after up
                                        {UpLeft, Up, UpRight, DownRight, Right},  // after up-right
                                        {UpLeft, Up, Left, DownLeft, Down},  // after left
                                        {Up, UpRight, Right, Down, DownRight},  // after right
                                        {UpLeft, Left, DownLeft, Down, DownRight},  // after down-left
                                        {Left, Right, DownLeft, Down, DownRight},  // after down
                                        {UpRight, Right, DownLeft, Down, DownRight}};  // after down-right

// Bits of one motion vector component difference with f_code 5: 1 for zero, else the
// motion code, its sign and the 4-bit residual. Looked up: the search prices a dozen
// differences per macroblock. Differences lie within -510..510 (vectors of -256..255).
struct SMotionBits {
    uint8_t bits[1021];
    SMotionBits()
    {
        for (int d = -510; d <= 510; ++d) {
            int delta = d;
            if (delta < -256) delta += 512;
            if (delta > 255) delta -= 512;
            const int magnitude = delta < 0 ? -delta : delta;
            bits[d + 510] = uint8_t(delta == 0 ? 1 : VlcMotionCode((magnitude - 1) / 16 + 1).length + 5);
        }
    }
};

const SMotionBits motionBits;

int MotionBits(int delta) { return motionBits.bits[std::clamp(delta, -510, 510) + 510]; }

int Median3(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

struct SSearch {
    const uint8_t* src;  // the source macroblock, packed (16 rows of 16 samples)
    const uint8_t* ref;  // reference plane
    int stride;
    int x0, x1, y0, y1;  // window: x0 <= px < x1, y0 <= py < y1
    const SEncoderKernels& kernels;
    uint64_t& evaluations;
    int bestX, bestY;
    uint32_t best;
    uint32_t enough = goodEnough;  // a cost below this ends the candidate search
    // Positions already evaluated for this macroblock (the high-quality search): entry
    // ((py - originY + 128) << 8) | (px - originX + 128) holds `stamp` once tried.
    uint16_t* seen = nullptr;
    uint16_t stamp = 0;
    int originX = 0, originY = 0;

    bool Inside(int px, int py) const { return px >= x0 && px < x1 && py >= y0 && py < y1; }

    // Marks a position as evaluated; false when it already was. A position tried before
    // cannot win again: its cost was not below the best of that time, or it became the
    // best, and the best only falls.
    bool FirstVisit(int px, int py)
    {
        if (!seen) return true;
        uint16_t& entry = seen[size_t((py - originY + 128) << 8 | (px - originX + 128))];
        if (entry == stamp) return false;
        entry = stamp;
        return true;
    }

    uint32_t Sad(int px, int py, uint32_t limit)
    {
        ++evaluations;
        return kernels.sad(src, ref + size_t(py) * size_t(stride) + size_t(px), stride, limit);
    }

    // Tries a position; it replaces the best only with a strictly lower cost.
    bool Try(int px, int py)
    {
        if (!Inside(px, py) || !FirstVisit(px, py)) return false;
        const uint32_t cost = Sad(px, py, best);
        if (cost < best) {
            best = cost;
            bestX = px;
            bestY = py;
            return true;
        }
        return false;
    }

    // Starts from a candidate: taken when it lies inside the window.
    void Start(int px, int py)
    {
        if (!Inside(px, py)) return;
        FirstVisit(px, py);
        const uint32_t cost = Sad(px, py, noCost);
        if (cost < noCost) {
            best = cost;
            bestX = px;
            bestY = py;
        }
    }

    // Greedy walk: the first pass looks all around, later passes look ahead in the
    // direction of the last move.
    void Walk()
    {
        int lastMove = -1;
        for (int d = 0; d < DirCount; ++d)
            if (Try(bestX + dirX[d], bestY + dirY[d])) lastMove = d;
        while (lastMove >= 0) {
            const int previousMove = lastMove;
            lastMove = -1;
            for (EDir d : followUp[previousMove])
                if (Try(bestX + dirX[d], bestY + dirY[d])) lastMove = d;
        }
    }

    // Candidates after the start: the zero vector, the co-located vector (cx, cy) of the
    // previous picture, the neighbours' vectors (`neighbours`: left, top, top-right, zero
    // where absent; only below the first row), then the walk. Stops early once a cost is
    // good enough.
    void Refine(int x, int y, int cx, int cy, bool belowFirstRow, bool hasLeft, const int neighbours[6])
    {
        Try(x, y);
        if (best < enough) return;
        bool done = false;
        if ((cx != 0 || cy != 0) && Inside(x + cx, y + cy)) {
            Try(x + cx, y + cy);
            done = best < enough;
        }
        if (!done && belowFirstRow) {
            const int lx = neighbours[0], ly = neighbours[1], tx = neighbours[2], ty = neighbours[3];
            const int rx = neighbours[4], ry = neighbours[5];
            if (hasLeft && (lx != 0 || ly != 0)) Try(x + lx, y + ly);
            if (tx != 0 || ty != 0) Try(x + tx, y + ty);
            if (rx != 0 || ry != 0) Try(x + rx, y + ry);
        }
        if (!done && best >= enough) Walk();
    }

    // One-sided half-sample refinement of the best position (a plane `height` rows of
    // `stride` samples): one horizontal and one vertical half step, each kept only when
    // strictly cheaper. Returns the vector in half samples relative to (x, y).
    CMotionSearch::SVector RefineHalf(int x, int y, int height)
    {
        int halfX = 0, halfY = 0;
        uint32_t cost = best;
        const int px = bestX, py = bestY;
        // An exact match (a still part of the picture) cannot be beaten.
        if (cost > 0 && cost < noCost) {
            const uint8_t* at = ref + size_t(py) * size_t(stride);
            if (px >= 1) {
                ++evaluations;
                const uint32_t c = kernels.sadHalfH(src, at + px - 1, stride);
                if (c < cost) cost = c, halfX = -1;
            } else if (px < stride - 17) {
                ++evaluations;
                const uint32_t c = kernels.sadHalfH(src, at + px, stride);
                if (c < cost) cost = c, halfX = 1;
            }
            if (py >= 1) {
                ++evaluations;
                const uint32_t c = kernels.sadHalfV(src, at - stride + px, stride);
                if (c < cost) cost = c, halfY = -1;
            } else if (py < height - 17) {
                ++evaluations;
                const uint32_t c = kernels.sadHalfV(src, at + px, stride);
                if (c < cost) cost = c, halfY = 1;
            }
        }
        return {2 * (px - x) + halfX, 2 * (py - y) + halfY, cost};
    }

    // SAD of the prediction at vector (vx, vy) in half samples from (x, y) in a plane of
    // `width` x `height`; noCost when the prediction would reach outside the picture.
    uint32_t SadAt(int x, int y, int vx, int vy, int width, int height)
    {
        const int px = x + (vx >> 1), py = y + (vy >> 1);
        const int hx = vx & 1, hy = vy & 1;
        if (px < 0 || py < 0 || px + 16 + hx > width || py + 16 + hy > height) return noCost;
        const uint8_t* at = ref + size_t(py) * size_t(stride) + size_t(px);
        ++evaluations;
        return hx && hy ? kernels.sadHalfHV(src, at, stride)
            : hx        ? kernels.sadHalfH(src, at, stride)
            : hy        ? kernels.sadHalfV(src, at, stride)
                        : kernels.sad(src, at, stride, noCost);
    }

    // The eight positions `step` samples from the best integer position (the corners and
    // the middles of the sides of a square around it): the walk stops in the nearest
    // local minimum, and a deeper one just beyond shows here.
    void Ring(int step)
    {
        const int cx = bestX, cy = bestY;
        for (int dy = -step; dy <= step; dy += step)
            for (int dx = -step; dx <= step; dx += step)
                if (dx != 0 || dy != 0) Try(cx + dx, cy + dy);
    }

    // All eight half-sample neighbours of the best integer position (a plane `width` x
    // `height`), each priced with the bits of its vector's difference from (predX, predY)
    // at `weight` SAD units per bit; the cheapest of them and the integer position is kept
    // (the integer one on a tie). Returns the vector in half samples relative to (x, y)
    // and its SAD.
    CMotionSearch::SVector RefineHalfAll(int x, int y, int width, int height, int predX, int predY, double weight,
                                         const double smoothing[3])
    {
        const int px = bestX, py = bestY;
        const int ix = 2 * (px - x), iy = 2 * (py - y);
        if (best >= noCost) return {ix, iy, best};
        // Bits of each component for the half steps -1, 0 and +1.
        int bitsX[3], bitsY[3];
        for (int h = -1; h <= 1; ++h) {
            bitsX[h + 1] = MotionBits(ix + h - predX);
            bitsY[h + 1] = MotionBits(iy + h - predY);
        }
        // Away from the picture's edges all eight predictions lie inside it: one pass over
        // the reference gives their SADs (in the order of the loop below).
        uint32_t sads[8];
        const bool allInside = px >= 1 && py >= 1 && px + 17 <= width && py + 17 <= height;
        if (allInside) {
            evaluations += 8;
            kernels.sadHalfNeighbours(src, ref + size_t(py) * size_t(stride) + size_t(px), stride, sads);
        }
        int n = 0;
        int halfX = 0, halfY = 0;
        uint32_t cost = best;
        double total = best + weight * (bitsX[1] + bitsY[1]);
        for (int hy = -1; hy <= 1; ++hy)
            for (int hx = -1; hx <= 1; ++hx) {
                if (hx == 0 && hy == 0) continue;
                // A prediction that would read outside the picture is not a candidate.
                const uint32_t c = allInside ? sads[n++] : SadAt(x, y, ix + hx, iy + hy, width, height);
                if (c >= noCost) continue;
                const double t = c + weight * (bitsX[hx + 1] + bitsY[hy + 1]) + smoothing[(hx != 0) + (hy != 0)];
                if (t < total) total = t, cost = c, halfX = hx, halfY = hy;
            }
        return {ix + halfX, iy + halfY, cost};
    }
};

// The high-quality search looks at the ring two samples away (and walks on from there)
// only while the best integer cost is at least this: a macroblock matched better than
// that gains too little from it to pay for the look (measured: the same quality at equal
// rate on slide shows and moving video, about a tenth fewer instructions).
constexpr uint32_t ringWorthwhile = 256;

// A zero vector costs no vector bits and lets a macroblock without residual be skipped:
// the high-quality search keeps it unless another vector is clearly better.
constexpr uint32_t zeroVectorBonus = 48;

}  // namespace

CMotionSearch::SVector CMotionSearch::SearchMacroblock(int index, const uint8_t* src, const uint8_t* ref, int width,
                                                       int height, const int32_t* previousX, const int32_t* previousY,
                                                       const int32_t* vectorX, const int32_t* vectorY)
{
    const int columns = width / 16;
    const int column = index % columns;
    const int row = index / columns;
    const int x = column * 16;
    const int y = row * 16;
    const SEncoderKernels& kernels = EncoderKernels();

    // The kernels read the source macroblock packed, one load for two rows.
    alignas(32) uint8_t block[256];
    for (int row16 = 0; row16 < 16; ++row16)
        std::memcpy(block + 16 * row16, src + size_t(y + row16) * size_t(width) + size_t(x), 16);
    SSearch s{block,
              ref,
              width,
              std::max(x - 127, 0),
              std::min(x + 127, width - 16),
              std::max(y - 127, 0),
              std::min(y + 127, height - 16),
              kernels,
              sadEvaluations,
              x,
              y,
              noCost};
    if (highQuality) {
        // A new stamp for this macroblock; the table is cleared when the stamps wrap.
        if (seen.empty()) seen.assign(size_t(1) << 16, 0);
        if (++seenStamp == 0) {
            std::fill(seen.begin(), seen.end(), uint16_t(0));
            seenStamp = 1;
        }
        s.seen = seen.data();
        s.stamp = seenStamp;
        s.originX = x;
        s.originY = y;
    }

    // Integer-position vectors of the neighbours (arithmetic shift of half samples):
    // left, top and top-right, zero where absent.
    auto vx = [&](int b) { return vectorX[b] >> 1; };
    auto vy = [&](int b) { return vectorY[b] >> 1; };
    int neighbours[6] = {0, 0, 0, 0, 0, 0};
    bool refine = true;
    if (row == 0) {
        if (index > 0) s.Start(x + vx(index - 1), y + vy(index - 1));
    } else {
        if (column > 0) neighbours[0] = vx(index - 1), neighbours[1] = vy(index - 1);
        neighbours[2] = vx(index - columns), neighbours[3] = vy(index - columns);
        if (column < columns - 1) neighbours[4] = vx(index - columns + 1), neighbours[5] = vy(index - columns + 1);
        s.Start(x + Median3(neighbours[0], neighbours[2], neighbours[4]),
                y + Median3(neighbours[1], neighbours[3], neighbours[5]));
        if (s.best < goodEnough) refine = false;
    }
    if (highQuality) {
        s.enough = 0;
        if (s.best == noCost) s.Start(x, y);
        s.Refine(x, y, previousX[index] >> 1, previousY[index] >> 1, row > 0, column > 0, neighbours);
        if (s.best >= ringWorthwhile) {
            s.Ring(2);
            s.Walk();
        }
        // The vector is coded as its difference from the left neighbour's (zero at the
        // start of a row): each candidate pays for the bits of that difference.
        const int predX = column > 0 ? vectorX[index - 1] : 0, predY = column > 0 ? vectorY[index - 1] : 0;
        const double smoothing[3] = {0.0, halfSamplePenalty, diagonalPenalty};
        const SVector found = s.RefineHalfAll(x, y, width, height, predX, predY, motionWeight, smoothing);
        auto total = [&](const SVector& v) {
            return uint64_t(v.cost) +
                uint64_t(motionWeight * (MotionBits(v.x - predX) + MotionBits(v.y - predY)) +
                         smoothing[(v.x & 1) + (v.y & 1)]);
        };
        SVector best = found;
        uint64_t bestTotal = total(found);
        const int candidates[2][2] = {{predX, predY}, {0, 0}};
        for (int c = 0; c < 2; ++c) {
            const int cx = candidates[c][0], cy = candidates[c][1];
            if (cx == found.x && cy == found.y) continue;
            if (c == 1 && cx == predX && cy == predY) continue;
            const uint32_t cost = s.SadAt(x, y, cx, cy, width, height);
            if (cost >= noCost) continue;
            const SVector v{cx, cy, cost};
            uint64_t t = total(v);
            if (c == 1) t = t > zeroVectorBonus ? t - zeroVectorBonus : 0;
            if (t <= bestTotal) best = v, bestTotal = t;
        }
        return best;
    }
    if (refine) s.Refine(x, y, previousX[index] >> 1, previousY[index] >> 1, row > 0, column > 0, neighbours);
    return s.RefineHalf(x, y, height);
}

void CMotionSearch::SetQuantiser(int q)
{
    // About the square root of the quantisation's rate-distortion weight (SAD is a sum of
    // absolute errors, not of squares).
    motionWeight = 0.5 * q;
    // Measured on slide shows of grainy photos and on moving video: these prices keep
    // the texture of slow pans and zooms at low rates (the worst pictures of a show) and
    // cost nothing at equal rate elsewhere.
    halfSamplePenalty = 0.2 * q * q;
    diagonalPenalty = 0.5 * q * q;
}

void CMotionSearch::SearchAndClassify(int index, const uint8_t* src, const uint8_t* ref, int width, int height,
                                      const int32_t* previousX, const int32_t* previousY, int32_t* vectorX,
                                      int32_t* vectorY, int32_t* flags)
{
    const int columns = width / 16;
    const SVector v = SearchMacroblock(index, src, ref, width, height, previousX, previousY, vectorX, vectorY);
    const uint8_t* mb = src + size_t(index / columns) * 16 * size_t(width) + size_t(index % columns) * 16;
    if (v.cost > intraThreshold && EncoderKernels().intraDeviation(mb, width) + intraThreshold < v.cost) {
        flags[index] = flagIntra;
        vectorX[index] = 0;
        vectorY[index] = 0;
    } else {
        vectorX[index] = v.x;
        vectorY[index] = v.y;
        flags[index] = (v.x != 0 || v.y != 0) ? flagForward : 0;
    }
}

void CMotionSearch::SearchPicture(const uint8_t* src, const uint8_t* ref, int width, int height,
                                  const int32_t* previousX, const int32_t* previousY, int32_t* vectorX,
                                  int32_t* vectorY, int32_t* flags)
{
    const int count = (width / 16) * (height / 16);
    for (int b = 0; b < count; ++b)
        SearchAndClassify(b, src, ref, width, height, previousX, previousY, vectorX, vectorY, flags);
}
