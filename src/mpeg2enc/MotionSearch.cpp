#include "mpeg2enc/MotionSearch.h"

#include "mpeg2enc/EncoderKernels.h"

#include <algorithm>

namespace {

constexpr uint32_t noCost = 65536;
constexpr uint32_t goodEnough = 32;  // a cost below this ends the candidate search
constexpr uint32_t intraThreshold = 800;

// Directions of the greedy walk.
enum EDir { UpLeft, Up, UpRight, Left, Right, DownLeft, Down, DownRight, DirCount };
constexpr int dirX[DirCount] = {-1, 0, 1, -1, 1, -1, 0, 1};
constexpr int dirY[DirCount] = {-1, -1, -1, 0, 0, 1, 1, 1};

// Neighbours examined in a further pass after a move in each direction.
constexpr EDir followUp[DirCount][5] = {
    {UpLeft, Up, UpRight, Left, DownLeft},        // after up-left
    {UpLeft, Up, UpRight, Left, Right},           // after up
    {UpLeft, Up, UpRight, DownRight, Right},      // after up-right
    {UpLeft, Up, Left, DownLeft, Down},           // after left
    {Up, UpRight, Right, Down, DownRight},        // after right
    {UpLeft, Left, DownLeft, Down, DownRight},    // after down-left
    {Left, Right, DownLeft, Down, DownRight},     // after down
    {UpRight, Right, DownLeft, Down, DownRight}}; // after down-right

int Median3(int a, int b, int c) { return std::max(std::min(a, b), std::min(std::max(a, b), c)); }

struct SSearch {
    const uint8_t* src;  // top-left sample of the source macroblock
    const uint8_t* ref;  // reference plane
    int stride;
    int x0, x1, y0, y1;  // window: x0 <= px < x1, y0 <= py < y1
    const SEncoderKernels& kernels;
    uint64_t& evaluations;
    int bestX, bestY;
    uint32_t best;

    bool Inside(int px, int py) const { return px >= x0 && px < x1 && py >= y0 && py < y1; }

    uint32_t Sad(int px, int py, uint32_t limit)
    {
        ++evaluations;
        return kernels.sad(src, ref + size_t(py) * size_t(stride) + size_t(px), stride, limit);
    }

    // Tries a position; it replaces the best only with a strictly lower cost.
    bool Try(int px, int py)
    {
        if (!Inside(px, py)) return false;
        const uint32_t cost = Sad(px, py, best);
        if (cost < best) {
            best = cost;
            bestX = px;
            bestY = py;
            return true;
        }
        return false;
    }
};

}  // namespace

CMotionSearch::SVector CMotionSearch::SearchMacroblock(int index, const uint8_t* src, const uint8_t* ref,
                                                        int width, int height, const int32_t* previousX,
                                                        const int32_t* previousY, const int32_t* vectorX,
                                                        const int32_t* vectorY)
{
    const int columns = width / 16;
    const int column = index % columns;
    const int row = index / columns;
    const int x = column * 16;
    const int y = row * 16;
    const SEncoderKernels& kernels = EncoderKernels();

    SSearch s{src + size_t(y) * size_t(width) + size_t(x),
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

    // Integer-position vectors of the neighbours (arithmetic shift of half samples).
    auto vx = [&](int b) { return vectorX[b] >> 1; };
    auto vy = [&](int b) { return vectorY[b] >> 1; };
    int lx = 0, ly = 0, tx = 0, ty = 0, rx = 0, ry = 0;
    bool refine = true;

    if (row == 0) {
        if (index > 0) {
            const int px = x + vx(index - 1), py = y + vy(index - 1);
            if (s.Inside(px, py)) {
                const uint32_t cost = s.Sad(px, py, noCost);
                if (cost < noCost) {
                    s.best = cost;
                    s.bestX = px;
                    s.bestY = py;
                }
            }
        }
    } else {
        if (column > 0) lx = vx(index - 1), ly = vy(index - 1);
        tx = vx(index - columns), ty = vy(index - columns);
        if (column < columns - 1) rx = vx(index - columns + 1), ry = vy(index - columns + 1);
        const int px = x + Median3(lx, tx, rx), py = y + Median3(ly, ty, ry);
        if (s.Inside(px, py)) {
            const uint32_t cost = s.Sad(px, py, noCost);
            if (cost < noCost) {
                s.best = cost;
                s.bestX = px;
                s.bestY = py;
            }
        }
        if (s.best < goodEnough) refine = false;
    }

    if (refine) {
        // The zero vector.
        s.Try(x, y);
        if (s.best >= goodEnough) {
            // The co-located vector of the previous picture.
            const int cx = previousX[index] >> 1, cy = previousY[index] >> 1;
            bool done = false;
            if ((cx != 0 || cy != 0) && s.Inside(x + cx, y + cy)) {
                s.Try(x + cx, y + cy);
                done = s.best < goodEnough;
            }
            if (!done && row > 0) {
                if (column > 0 && (lx != 0 || ly != 0)) s.Try(x + lx, y + ly);
                if (tx != 0 || ty != 0) s.Try(x + tx, y + ty);
                if (rx != 0 || ry != 0) s.Try(x + rx, y + ry);
            }
            if (!done && s.best >= goodEnough) {
                // Greedy walk: the first pass looks all around, later passes look ahead in
                // the direction of the last move.
                int lastMove = -1;
                for (int d = 0; d < DirCount; ++d)
                    if (s.Try(s.bestX + dirX[d], s.bestY + dirY[d])) lastMove = d;
                while (lastMove >= 0) {
                    const int previousMove = lastMove;
                    lastMove = -1;
                    for (EDir d : followUp[previousMove])
                        if (s.Try(s.bestX + dirX[d], s.bestY + dirY[d])) lastMove = d;
                }
            }
        }
    }

    // One-sided half-sample refinement.
    int halfX = 0, halfY = 0;
    uint32_t cost = s.best;
    const int px = s.bestX, py = s.bestY;
    if (cost < noCost) {
        const uint8_t* at = ref + size_t(py) * size_t(width);
        if (px >= 1) {
            ++sadEvaluations;
            const uint32_t c = kernels.sadHalfH(s.src, at + px - 1, width);
            if (c < cost) cost = c, halfX = -1;
        } else if (px < width - 17) {
            ++sadEvaluations;
            const uint32_t c = kernels.sadHalfH(s.src, at + px, width);
            if (c < cost) cost = c, halfX = 1;
        }
        if (py >= 1) {
            ++sadEvaluations;
            const uint32_t c = kernels.sadHalfV(s.src, at - width + px, width);
            if (c < cost) cost = c, halfY = -1;
        } else if (py < height - 17) {
            ++sadEvaluations;
            const uint32_t c = kernels.sadHalfV(s.src, at + px, width);
            if (c < cost) cost = c, halfY = 1;
        }
    }
    return {2 * (px - x) + halfX, 2 * (py - y) + halfY, cost};
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
