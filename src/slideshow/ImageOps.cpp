#include "slideshow/ImageOps.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

// Taps of one output sample along one dimension; weights in 1/16384 summing to 16384.
struct STaps {
    int first = 0;
    std::vector<int> weights;
};

std::vector<STaps> TentTaps(int src, int dst) {
    std::vector<STaps> taps(dst);
    const double scale = (double)src / dst;
    const double support = std::max(1.0, scale);
    for (int i = 0; i < dst; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        int lo = (int)std::floor(centre - support) + 1;
        int hi = (int)std::floor(centre + support);
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
            t.weights[k] = (int)(after - before);
            before = after;
        }
    }
    return taps;
}

}  // namespace

void CImageOps::ResizeRgbToRgbx(const uint8_t* src, int sw, int sh, int srcStride, uint8_t* dst,
                                int dw, int dh, int dstStride) {
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return;
    const std::vector<STaps> tx = TentTaps(sw, dw), ty = TentTaps(sh, dh);
    // Horizontal pass into 16-bit samples (8 bits of fraction kept), three per pixel.
    std::vector<uint16_t> mid((size_t)sh * dw * 3);
    for (int y = 0; y < sh; ++y) {
        const uint8_t* s = src + (size_t)y * srcStride;
        uint16_t* m = &mid[(size_t)y * dw * 3];
        for (int x = 0; x < dw; ++x) {
            const STaps& t = tx[x];
            int acc[3] = {0, 0, 0};
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const uint8_t* p = s + (size_t)(t.first + k) * 3;
                const int w = t.weights[k];
                acc[0] += w * p[0];
                acc[1] += w * p[1];
                acc[2] += w * p[2];
            }
            for (int c = 0; c < 3; ++c) m[x * 3 + c] = (uint16_t)((acc[c] + 32) >> 6);
        }
    }
    for (int y = 0; y < dh; ++y) {
        const STaps& t = ty[y];
        uint8_t* o = dst + (size_t)y * dstStride;
        for (int x = 0; x < dw * 3; x += 3) {
            int64_t acc[3] = {0, 0, 0};
            for (size_t k = 0; k < t.weights.size(); ++k) {
                const uint16_t* m = &mid[((size_t)(t.first + k) * dw) * 3 + x];
                acc[0] += (int64_t)t.weights[k] * m[0];
                acc[1] += (int64_t)t.weights[k] * m[1];
                acc[2] += (int64_t)t.weights[k] * m[2];
            }
            uint8_t* px = o + (x / 3) * 4;
            for (int c = 0; c < 3; ++c) px[c] = (uint8_t)std::min<int64_t>(255, (acc[c] + (1 << 21)) >> 22);
            px[3] = 255;
        }
    }
}

void CImageOps::BlurRgbx(const uint8_t* src, uint8_t* dst, int width, int height, int stride) {
    if (width <= 0 || height <= 0) return;
    // Five taps: exp(-k^2 / (2 x 0.7^2)) for k = -2..2, normalised, in 1/4096.
    const double sigma = 0.7;
    double g[5], sum = 0.0;
    for (int k = -2; k <= 2; ++k) sum += (g[k + 2] = std::exp(-(double)(k * k) / (2.0 * sigma * sigma)));
    int w[5], total = 0;
    for (int k = 0; k < 5; ++k) total += (w[k] = (int)std::lround(4096.0 * g[k] / sum));
    w[2] += 4096 - total;
    std::vector<uint32_t> mid((size_t)width * height * 3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = src + (size_t)y * stride;
        uint32_t* m = &mid[(size_t)y * width * 3];
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c) {
                uint32_t acc = 0;
                for (int k = -2; k <= 2; ++k) acc += (uint32_t)w[k + 2] * s[std::clamp(x + k, 0, width - 1) * 4 + c];
                m[x * 3 + c] = acc;
            }
    }
    for (int y = 0; y < height; ++y) {
        uint8_t* o = dst + (size_t)y * stride;
        const uint8_t* s = src + (size_t)y * stride;
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c) {
                uint64_t acc = 0;
                for (int k = -2; k <= 2; ++k)
                    acc += (uint64_t)w[k + 2] * mid[((size_t)std::clamp(y + k, 0, height - 1) * width + x) * 3 + c];
                o[x * 4 + c] = (uint8_t)((acc + (1u << 23)) >> 24);
            }
            o[x * 4 + 3] = s[x * 4 + 3];
        }
    }
}

bool CImageOps::Rotate(const CRgbImage& src, int turn, CRgbImage& dst) {
    if (turn < 0 || turn > 2 || src.width <= 0 || src.height <= 0) return false;
    const int sw = src.width, sh = src.height;
    const int dw = turn == 1 ? sw : sh, dh = turn == 1 ? sh : sw;
    std::vector<uint8_t> out((size_t)dw * dh * 3);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x) {
            int sx, sy;
            if (turn == 0) {          // clockwise: the left column becomes the top line
                sx = y;
                sy = sh - 1 - x;
            } else if (turn == 1) {
                sx = sw - 1 - x;
                sy = sh - 1 - y;
            } else {                  // counter-clockwise: the right column becomes the top line
                sx = sw - 1 - y;
                sy = x;
            }
            std::memcpy(&out[((size_t)y * dw + x) * 3], &src.pixels[((size_t)sy * sw + sx) * 3], 3);
        }
    dst.width = dw;
    dst.height = dh;
    dst.pixels.swap(out);
    return true;
}
