#include "picture/ImageOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "picture/PixelKernels.h"

namespace {

// Taps of one output sample along one dimension; weights in 1/16384 summing to 16384.
struct STaps {
    int first = 0;
    std::vector<int> weights;
};

std::vector<STaps> TentTaps(int src, int dst)
{
    std::vector<STaps> taps(dst);
    const double scale = double(src) / dst;
    const double support = std::max(1.0, scale);
    for (int i = 0; i < dst; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        int lo = int(std::floor(centre - support)) + 1;
        int hi = int(std::floor(centre + support));
        std::vector<double> w;
        double sum = 0.0;
        for (int j = lo; j <= hi; ++j) {
            const double v = std::max(0.0, 1.0 - std::fabs(j - centre) / support);
            w.push_back(v);
            sum += v;
        }
        // Fold taps outside the picture onto its edge samples.
        STaps& t = taps[i];
        const int first = std::clamp(lo, 0, src - 1), last = std::clamp(hi, 0, src - 1);
        t.first = first;
        std::vector<double> folded(last - first + 1, 0.0);
        for (int j = lo; j <= hi; ++j) folded[std::clamp(j, 0, src - 1) - first] += w[j - lo];
        // Quantise so that the weights sum to exactly 16384.
        double running = 0.0;
        long before = 0;
        t.weights.resize(folded.size());
        for (size_t k = 0; k < folded.size(); ++k) {
            running += sum > 0 ? folded[k] / sum : (k == 0 ? 1.0 : 0.0);
            const long after = std::lround(16384.0 * running);
            t.weights[k] = int(after - before);
            before = after;
        }
    }
    return taps;
}

}  // namespace

void CImageOps::ResizeRgbToRgbx(const uint8_t* src, int sw, int sh, int srcStride, uint8_t* dst, int dw, int dh,
                                int dstStride)
{
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    const std::vector<STaps> tx = TentTaps(sw, dw), ty = TentTaps(sh, dh);
    // The horizontal taps laid out with one count for every output pixel: pixels with
    // fewer taps get zero weights, their window moved left where it would pass the
    // right edge (a tap count never exceeds the source width).
    int taps = 1;
    for (const STaps& t : tx) taps = std::max(taps, int(t.weights.size()));
    const int stride = (taps + 1) & ~1;
    std::vector<int> first(dw);
    std::vector<int16_t> weights(size_t(dw) * stride, 0);
    for (int x = 0; x < dw; ++x) {
        const STaps& t = tx[x];
        first[x] = std::min(t.first, sw - taps);
        const int shift = t.first - first[x];
        for (size_t k = 0; k < t.weights.size(); ++k) weights[size_t(x) * stride + shift + k] = int16_t(t.weights[k]);
    }
    // Horizontal pass into 16-bit samples (8 bits of fraction kept), four per pixel,
    // made line by line as the vertical pass first needs them. A ring of as many lines
    // as the largest vertical tap count holds them: line r lives in slot r % slots, and
    // since each output line's first tap never moves up, a line is only overwritten
    // once no later output line needs it.
    int slots = 1;
    for (const STaps& t : ty) slots = std::max(slots, int(t.weights.size()));
    const size_t midLine = size_t(dw) * 4;
    std::vector<uint16_t> ring(size_t(slots) * midLine);
    std::vector<const uint16_t*> rows(static_cast<size_t>(slots));
    int made = 0;  // lines 0 .. made - 1 have been through the horizontal pass
    for (int y = 0; y < dh; ++y) {
        const STaps& t = ty[y];
        const int count = int(t.weights.size());
        for (; made < t.first + count; ++made)
            ResizeRgbRowH(src + size_t(made) * srcStride, sw, first.data(), weights.data(), taps,
                          &ring[size_t(made % slots) * midLine], dw);
        for (int k = 0; k < count; ++k) rows[k] = &ring[size_t((t.first + k) % slots) * midLine];
        ResizeRgbxRowV(rows.data(), t.weights.data(), count, dst + size_t(y) * dstStride, dw);
    }
}

void CImageOps::BlurRgbx(const uint8_t* src, uint8_t* dst, int width, int height, int stride)
{
    if (width <= 0 || height <= 0) return;
    // Five taps: exp(-k^2 / (2 x 0.7^2)) for k = -2..2, normalised, in 1/4096.
    const double sigma = 0.7;
    double g[5], sum = 0.0;
    for (int k = -2; k <= 2; ++k) sum += (g[k + 2] = std::exp(-double(k * k) / (2.0 * sigma * sigma)));
    int w[5], total = 0;
    for (int k = 0; k < 5; ++k) total += (w[k] = int(std::lround(4096.0 * g[k] / sum)));
    w[2] += 4096 - total;
    // Horizontal sums of the five lines around the current one, kept in a ring: line y
    // lives in slot y % 5. Lines above the top and below the bottom repeat the edge
    // lines, and each line is padded with two copies of its edge pixels.
    const size_t midLine = size_t(width) * 4;
    std::vector<uint32_t> ring(5 * midLine);
    std::vector<uint8_t> padded((size_t(width) + 4) * 4);
    int held[5] = {-1, -1, -1, -1, -1};
    auto horizontal = [&](int y) -> const uint32_t* {
        y = std::clamp(y, 0, height - 1);
        uint32_t* slot = &ring[size_t(y % 5) * midLine];
        if (held[y % 5] != y) {
            const uint8_t* s = src + size_t(y) * stride;
            std::memcpy(&padded[0], s, 4);
            std::memcpy(&padded[4], s, 4);
            std::memcpy(&padded[8], s, midLine);
            std::memcpy(&padded[8 + midLine], s + midLine - 4, 4);
            std::memcpy(&padded[12 + midLine], s + midLine - 4, 4);
            BlurRgbxRowH(padded.data(), w, slot, width);
            held[y % 5] = y;
        }
        return slot;
    };
    for (int y = 0; y < height; ++y) {
        const uint32_t* rows[5];
        for (int k = 0; k < 5; ++k) rows[k] = horizontal(y + k - 2);
        BlurRgbxRowV(rows, w, src + size_t(y) * stride, dst + size_t(y) * stride, width);
    }
}

bool CImageOps::Rotate(const CRgbImage& src, int turn, CRgbImage& dst)
{
    if (turn < 0 || turn > 2 || src.width <= 0 || src.height <= 0) return false;
    const int sw = src.width, sh = src.height;
    const int dw = turn == 1 ? sw : sh, dh = turn == 1 ? sh : sw;
    std::vector<uint8_t> out(size_t(dw) * dh * 3);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            int sx, sy;
            if (turn == 0) {  // clockwise: the left column becomes the top line
                sx = y;
                sy = sh - 1 - x;
            } else if (turn == 1) {
                sx = sw - 1 - x;
                sy = sh - 1 - y;
            } else {  // counter-clockwise: the right column becomes the top line
                sx = sw - 1 - y;
                sy = x;
            }
            std::memcpy(&out[(size_t(y) * dw + x) * 3], &src.pixels[(size_t(sy) * sw + sx) * 3], 3);
        }
    dst.width = dw;
    dst.height = dh;
    dst.pixels.swap(out);
    return true;
}
