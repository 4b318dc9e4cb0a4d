#include "media/PreviewPicture.h"

#include "media/DirectShowAV.h"

#include <algorithm>

namespace {

uint8_t Clip(int value) { return uint8_t(std::clamp(value, 0, 255)); }

// BT.601 studio-range YCbCr to a 0xffRRGGBB word.
uint32_t Rgb(int y, int u, int v)
{
    const int c = (y - 16) * 298, d = u - 128, e = v - 128;
    const uint8_t r = Clip((c + 409 * e + 128) >> 8);
    const uint8_t g = Clip((c - 100 * d - 208 * e + 128) >> 8);
    const uint8_t b = Clip((c + 516 * d + 128) >> 8);
    return 0xff000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | b;
}

}  // namespace

void CPreviewPicture::SetSize(int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> guard(lock);
    outWidth = std::max(2, width);
    outHeight = std::max(2, height);
}

bool CPreviewPicture::Offer(int32_t code, int32_t width, int32_t height, const uint8_t* data)
{
    if (!data || width <= 0 || height <= 0) return false;
    if (code != kVideoIYUV && code != kVideoYV12 && code != kVideoYUY2 && code != kVideoRGB32) return false;
    const auto now = std::chrono::steady_clock::now();
    if (made && std::chrono::duration<double>(now - last).count() < interval) return false;
    last = now;
    made = true;
    Convert(code, width, height, data);
    return true;
}

void CPreviewPicture::Convert(int32_t code, int32_t width, int32_t height, const uint8_t* data)
{
    int32_t w, h;
    {
        std::lock_guard<std::mutex> guard(lock);
        w = outWidth;
        h = outHeight;
    }
    work.resize(size_t(w) * size_t(h));
    const int32_t cw = (width + 1) / 2, ch = (height + 1) / 2;
    const uint8_t* yPlane = data;
    const uint8_t* first = data + size_t(width) * size_t(height);
    const uint8_t* second = first + size_t(cw) * size_t(ch);
    // IYUV carries U first, YV12 V first.
    const uint8_t* uPlane = code == kVideoYV12 ? second : first;
    const uint8_t* vPlane = code == kVideoYV12 ? first : second;
    // Each preview pixel takes the source pixel at its centre; the lines sampled are
    // those of one field mostly, which keeps moving interlaced pictures free of combs.
    for (int32_t oy = 0; oy < h; ++oy) {
        const int32_t sy = int32_t((int64_t(oy) * 2 + 1) * height / (int64_t(h) * 2));
        uint32_t* out = work.data() + size_t(oy) * size_t(w);
        for (int32_t ox = 0; ox < w; ++ox) {
            const int32_t sx = int32_t((int64_t(ox) * 2 + 1) * width / (int64_t(w) * 2));
            if (code == kVideoYUY2) {
                const uint8_t* pair = data + (size_t(sy) * size_t(width) + size_t(sx & ~1)) * 2;
                out[ox] = Rgb(pair[(sx & 1) * 2], pair[1], pair[3]);
            } else if (code == kVideoRGB32) {
                // Handed over bottom-up, B G R X.
                const uint8_t* p = data + (size_t(height - 1 - sy) * size_t(width) + size_t(sx)) * 4;
                out[ox] = 0xff000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
            } else {
                const size_t chroma = size_t(sy / 2) * size_t(cw) + size_t(sx / 2);
                out[ox] = Rgb(yPlane[size_t(sy) * size_t(width) + size_t(sx)], uPlane[chroma], vPlane[chroma]);
            }
        }
    }
    std::lock_guard<std::mutex> guard(lock);
    frame.width = w;
    frame.height = h;
    frame.pixels.swap(work);
    ++serial;
}

bool CPreviewPicture::Take(SFrame& out, uint64_t& seen) const
{
    std::lock_guard<std::mutex> guard(lock);
    if (serial == seen || frame.pixels.empty()) return false;
    out = frame;
    seen = serial;
    return true;
}

uint64_t CPreviewPicture::Serial() const
{
    std::lock_guard<std::mutex> guard(lock);
    return serial;
}
