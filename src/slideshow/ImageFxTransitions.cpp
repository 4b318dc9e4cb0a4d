// The transitions between two photos of a slide show: each renders one picture of the
// change from `from` to `to` at progress p (0 to 1).
#include "slideshow/ImageFx.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "picture/PixelKernels.h"
#include "slideshow/FxMath.h"

using fxmath::kHalfPi;
using fxmath::kPi;
using fxmath::Slope;
using fxmath::Trunc;

void CImageFx::Reveal(const CYUV420Image& src, int r, int a, int b)
{
    const int W = frameWidth;
    if (r < 0 || r >= frameHeight) return;
    a = std::max(a, 0);
    b = std::min(b, W);
    if (b < a || a == W) return;
    CYUV420Image& out = *target;
    const size_t line = size_t(r) * W, cline = size_t(r / 2) * out.chromaStride;
    if (a == b) {
        out.planeY[line + a] = src.planeY[line + a];
        out.planeCb[cline + a / 2] = src.planeCb[cline + a / 2];
        out.planeCr[cline + a / 2] = src.planeCr[cline + a / 2];
        return;
    }
    std::memcpy(out.planeY + line + a, src.planeY + line + a, size_t(b - a));
    const int ca = a / 2, cb = std::max(b / 2, ca + 1);
    std::memcpy(out.planeCb + cline + ca, src.planeCb + cline + ca, size_t(cb - ca));
    std::memcpy(out.planeCr + cline + ca, src.planeCr + cline + ca, size_t(cb - ca));
}

void CImageFx::ShiftCopy(const CYUV420Image& src, int r, int a, int b, int k)
{
    const int W = frameWidth, CW = W / 2;
    if (r < 0 || r >= frameHeight) return;
    a = std::max(a, 0);
    b = std::min(b, W);
    if (b < a || a == W) return;
    if (a == b) b = a + 1;
    CYUV420Image& out = *target;
    // Only source samples inside the line are taken; the rest keep their value.
    const int lo = std::max(a, -k), hi = std::min(b, W - k);
    const size_t line = size_t(r) * W, cline = size_t(r / 2) * out.chromaStride;
    if (lo < hi) std::memmove(out.planeY + line + lo, src.planeY + line + lo + k, size_t(hi - lo));
    const int ck = k / 2;
    const int ca = std::max(a / 2, -ck), cb = std::min(std::max(b / 2, a / 2 + 1), CW - ck);
    if (ca < cb) {
        std::memmove(out.planeCb + cline + ca, src.planeCb + cline + ca + ck, size_t(cb - ca));
        std::memmove(out.planeCr + cline + ca, src.planeCr + cline + ca + ck, size_t(cb - ca));
    }
}

void CImageFx::Mix(const CYUV420Image& a, const CYUV420Image& b, double p, CYUV420Image& out)
{
    const int k = std::clamp(Trunc(p * 256.0), 0, 256);
    BlendRows(a.planeY, b.planeY, k, out.planeY, a.planarSize);
}

void CImageFx::RandomDissolve(double p, const CYUV420Image& from, const CYUV420Image& to, CYUV420Image& out)
{
    const int W = frameWidth, H = frameHeight, CW = W / 2;
    const int blocksAcross = (W + 2) / 3, blocksDown = (H + 2) / 3;
    // The generator is seeded with the time in seconds at every frame, so frames
    // drawn within the same second share one sequence.
    uint32_t seed = uint32_t(clockSeconds());
    auto next = [&seed] {
        seed = seed * 214013u + 2531011u;
        return int((seed >> 16) & 0x7FFF);
    };
    // One draw per 3 x 3 block, line of blocks after line of blocks: 0 keeps the old
    // picture, 255 takes the new one.
    const int threshold = Trunc(p * 32767.0);
    uint8_t* choice = dissolveChoice.data();
    for (int i = 0; i < blocksAcross * blocksDown; ++i) choice[i] = threshold < next() ? 0 : 255;
    uint8_t* mask = dissolveMask.data();
    for (int by = 0; by < blocksDown; ++by) {
        const uint8_t* c = choice + size_t(by) * blocksAcross;
        for (int x = 0; x < W; ++x) mask[x] = c[x / 3];
        for (int y = 3 * by; y < std::min(3 * by + 3, H); ++y)
            SelectBytes(from.planeY + size_t(y) * W, to.planeY + size_t(y) * W, mask, out.planeY + size_t(y) * W, W);
    }
    // A chroma sample covers 2 x 2 luma samples that may lie in up to four blocks;
    // blocks drawn later overwrite earlier ones, so the block of its bottom-right luma
    // sample (line 2cy + 1, column 2cx + 1) decides.
    int maskRow = -1;
    for (int cy = 0; cy < H / 2; ++cy) {
        const int by = (2 * cy + 1) / 3;
        if (by != maskRow) {
            const uint8_t* c = choice + size_t(by) * blocksAcross;
            for (int cx = 0; cx < CW; ++cx) mask[cx] = c[(2 * cx + 1) / 3];
            maskRow = by;
        }
        const size_t line = size_t(cy) * out.chromaStride;
        SelectBytes(from.planeCb + line, to.planeCb + line, mask, out.planeCb + line, CW);
        SelectBytes(from.planeCr + line, to.planeCr + line, mask, out.planeCr + line, CW);
    }
}

void CImageFx::Swing(bool in, double p, const CYUV420Image& to, CYUV420Image& out)
{
    const int W = frameWidth, H = frameHeight, H2 = H / 2;
    const double s = std::sin(p * kPi / 2);
    const double m = std::max(1.0, s * W);
    double* factor = swingFactor.data();
    int* column = swingColumn.data();
    // The parts of each mapping that depend on the column alone are worked out once per
    // column, with the same operations in the same order as the per-sample formula.
    if (in) {
        // The new picture swings in like a door hinged on the left edge.
        const double l = (p + 1) * H2;
        for (int e = 0; e < W; ++e) {
            const double o = e * s;
            factor[e] = l + (H - l) * (m - o) / m;
            column[e] = Trunc(o);
        }
        for (int i = 0; i < H; ++i) {
            const double di = i - H2;
            for (int e = 0; e < W; ++e) {
                const int ox = column[e];
                if (ox < 0 || ox >= W) continue;
                const int g = Trunc(H2 + di * factor[e] / H);
                if (g < 0 || g >= H) continue;
                out.planeY[size_t(g) * W + ox] = to.planeY[size_t(i) * W + e];
                const size_t dc = size_t(g / 2) * out.chromaStride + ox / 2;
                const size_t sc = size_t(i / 2) * to.chromaStride + e / 2;
                out.planeCb[dc] = to.planeCb[sc];
                out.planeCr[dc] = to.planeCr[sc];
            }
        }
        return;
    }
    // The new picture opens out from the left edge.
    const int columns = std::min(W, int(std::ceil(m)));
    for (int j = 0; j < columns; ++j) {
        column[j] = p == 0.0 ? W - 1 : std::min(W - 1, Trunc(j / s));
        factor[j] = H + j * (H - H * p) / m;
    }
    for (int i = 0; i < H; ++i) {
        const double scaled = double(i - H2) * H;
        for (int j = 0; j < columns; ++j) {
            const int o = column[j];
            const int t = Trunc(H2 + scaled / factor[j]);
            const size_t dc = size_t(i / 2) * out.chromaStride + j / 2;
            if (t < 0 || t >= H) {
                out.planeY[size_t(i) * W + j] = 0;
                out.planeCb[dc] = 128;
                out.planeCr[dc] = 128;
                continue;
            }
            out.planeY[size_t(i) * W + j] = to.planeY[size_t(t) * W + o];
            const size_t sc = size_t(t / 2) * to.chromaStride + o / 2;
            out.planeCb[dc] = to.planeCb[sc];
            out.planeCr[dc] = to.planeCr[sc];
        }
    }
}

void CImageFx::Pinwheel(const CYUV420Image& to, double p)
{
    const int W = frameWidth, H = frameHeight, w2 = W / 2, h2 = H / 2;
    const double a = p * kPi / 4;
    const double c = Slope(a);
    const double b = std::max(0.001, std::tan(kPi / 4 - a));
    for (int i = 0; i < h2; ++i) {
        const int u = h2 - 1 - i, v = h2 + i;
        Reveal(to, u, w2, Trunc(w2 + c * i));
        Reveal(to, v, Trunc(w2 - c * i - 1), w2);
        Reveal(to, u, w2 + i, Trunc(w2 + i / b));
        Reveal(to, v, Trunc(w2 - i / b - 1), w2 - 1 - i);
    }
    const int L = Trunc(w2 * c);
    for (int i = 0; i < L && i < H + W; ++i) {
        Reveal(to, h2 + L - i, Trunc(W - i / c - 1), W);
        Reveal(to, h2 + i - L - 1, 0, Trunc(i / c));
    }
    for (int j = 0; j < h2; ++j) {
        const int u = h2 - 1 - j;
        Reveal(to, h2 + j, Trunc(w2 + j * b), w2 + j);
        Reveal(to, u, w2 - 1 - j, Trunc(w2 - j * b - 1));
    }
}

void CImageFx::Strips(int code, double p, const CYUV420Image& from, const CYUV420Image& to, CYUV420Image& out)
{
    const int W = frameWidth, H = frameHeight;
    const double q = (code == kStripsLeftDown || code == kStripsLeftUp) ? p : 1.0 - p;
    const int c = Trunc(2 * q * H);
    const int f = 2 * H - c;
    const bool firstHalf = q <= 0.5;
    // Strips*Left* grow the new picture; Strips*Right* run the same picture backwards.
    const bool growNew = code == kStripsLeftDown || code == kStripsLeftUp;
    const CYUV420Image& base = firstHalf == growNew ? from : to;
    const CYUV420Image& over = firstHalf == growNew ? to : from;
    out.CopyPlanes(base);
    switch (code) {
    case kStripsLeftDown:
    case kStripsRightUp:
        if (firstHalf)
            for (int i = 0; i < std::min(c, H); ++i) Reveal(over, i, W - int(int64_t(c - i) * W / H), W);
        else
            for (int i = std::max(0, H - f); i < H; ++i) Reveal(over, i, 0, int(int64_t(i + f - H) * W / H));
        break;
    default:  // kStripsLeftUp, kStripsRightDown
        if (firstHalf)
            for (int i = std::max(0, H - c); i < H; ++i) Reveal(over, i, W - int(int64_t(W) * (i + c - H) / H), W);
        else
            for (int i = 0; i < std::min(f, H); ++i) Reveal(over, i, 0, int(int64_t(f - i) * W / H));
        break;
    }
}

// Shapes that grow from or shrink to the centre: boxes, circles, the iris cross and diamond.
void CImageFx::ShapeTransition(int code, double p, const CYUV420Image& oldPic, const CYUV420Image& newPic,
                               CYUV420Image& out)
{
    [[maybe_unused]] const int W = frameWidth, H = frameHeight, W2 = W / 2, H2 = H / 2;
    switch (code) {
    case kBoxIn:
    case kBoxOut: {
        const double x = code == kBoxIn ? 1.0 - p : p;
        const CYUV420Image& over = code == kBoxIn ? oldPic : newPic;
        out.CopyPlanes(code == kBoxIn ? newPic : oldPic);
        const int e = Trunc(x * H / 2), f = Trunc(x * W / 2);
        for (int i = H2 - e; i < H2; ++i) Reveal(over, i, W2 - f, W2 + f);
        for (int i = H2 + e - 1; i >= H2; --i) Reveal(over, i, W2 - f, W2 + f);
        break;
    }
    case kCircleIn:
    case kCircleOut: {
        const double x = code == kCircleIn ? 1.0 - p : p;
        const CYUV420Image& over = code == kCircleIn ? oldPic : newPic;
        out.CopyPlanes(code == kCircleIn ? newPic : oldPic);
        const double r = 0.5 * std::sqrt(double(W) * W + double(H) * H) * x;
        for (int i = std::max(0, Trunc(H2 - r)); i < H2; ++i) {
            const int dy = H2 - i;
            const double d2 = r * r - double(dy) * dy;
            if (d2 < 0) continue;  // the circle does not reach this line yet
            const int g = Trunc(std::sqrt(d2));
            Reveal(over, i, W2 - g, W2 + g);
            Reveal(over, H2 + dy - 1, W2 - g, W2 + g);
        }
        break;
    }
    case kIrisCross: {
        out.CopyPlanes(newPic);
        const double x = 1.0 - p;
        const int lines = Trunc(x * H2), e = Trunc(x * W2);
        for (int i = 0; i < lines; ++i)
            for (int line : {i, H - i}) {
                Reveal(oldPic, line, 0, e);
                Reveal(oldPic, line, W - e, W);
            }
        break;
    }
    case kIrisDiamond: {
        out.CopyPlanes(oldPic);
        const int c = Trunc(p * H);
        for (int i = 0; i < c; ++i) {
            const int f = int(int64_t(i) * W / H);
            Reveal(newPic, H2 - c + i, W2 - f, W2 + f);
            Reveal(newPic, H2 + c - 1 - i, W2 - f, W2 + f);
        }
        break;
    }
    }
}

// Edges that sweep across the picture: wipes, blinds, checkerboards, splits and the inset.
void CImageFx::WipeTransition(int code, double p, const CYUV420Image& oldPic, const CYUV420Image& newPic,
                              CYUV420Image& out)
{
    [[maybe_unused]] const int W = frameWidth, H = frameHeight, W2 = W / 2, H2 = H / 2;
    switch (code) {
    case kWipeUp:
        out.CopyPlanes(oldPic);
        for (int i = H - 1; i >= Trunc(H - H * p); --i) RevealLine(newPic, i);
        break;
    case kWipeDown:
        out.CopyPlanes(oldPic);
        for (int i = 0; i < Trunc(p * H); ++i) RevealLine(newPic, i);
        break;
    case kWipeRight:
        out.CopyPlanes(oldPic);
        for (int i = 0; i < H; ++i) Reveal(newPic, i, 0, Trunc(p * W));
        break;
    case kWipeLeft: {
        out.CopyPlanes(oldPic);
        const int f = Trunc(p * W);
        for (int i = 0; i < H; ++i) Reveal(newPic, i, W - f - 1, W);
        break;
    }
    case kVerticalBlinds: {
        out.CopyPlanes(oldPic);
        const int w6 = W / 6, d = Trunc(p * w6);
        for (int i = 0; i < H; ++i)
            for (int k = 0; k < 6; ++k) Reveal(newPic, i, k * w6, k * w6 + d);
        break;
    }
    case kHorizontalBlinds: {
        out.CopyPlanes(oldPic);
        const int h6 = H / 6, d = Trunc(p * h6);
        for (int k = 0; k < 6; ++k)
            for (int i = k * h6; i < k * h6 + d; ++i) RevealLine(newPic, i);
        break;
    }
    case kCheckboardAcross: {
        out.CopyPlanes(oldPic);
        const int cw = std::max(1, W / 10), ch = std::max(1, H / 10);
        const int c = Trunc(p * (W / 10));
        for (int i = 0; i < H; ++i) {
            const int shift = (i / ch) % 2 ? W / 20 : 0;
            for (int start = -shift; start < W; start += cw) Reveal(newPic, i, start, start + c);
        }
        break;
    }
    case kCheckboardDown: {
        out.CopyPlanes(oldPic);
        const int cw = std::max(1, W / 10), ch = std::max(1, H / 10);
        const int d = Trunc(p * (H / 10));
        for (int b = 0; b < H + H / 10; b += ch)
            for (int f = 0, cell = 0; f < W; f += cw, ++cell) {
                const int up = cell % 2 ? H / 20 : 0;
                for (int j = 0; j < d; ++j) Reveal(newPic, b + j - up, f, f + W / 10);
            }
        break;
    }
    case kSplitVerticalIn: {
        out.CopyPlanes(oldPic);
        const int d = Trunc(p * W / 2);
        for (int i = 0; i < H; ++i) {
            Reveal(newPic, i, W - d - 1, W);
            Reveal(newPic, i, 0, d);
        }
        break;
    }
    case kSplitVerticalOut: {
        out.CopyPlanes(oldPic);
        const int f = Trunc(p * W / 2), o = W2;
        for (int i = 0; i < H; ++i) {
            Reveal(newPic, i, o - f, o);
            Reveal(newPic, i, o, o + f - 1);
        }
        break;
    }
    case kSplitHorizontalIn: {
        out.CopyPlanes(oldPic);
        const int c = Trunc(p * H / 2);
        for (int i = 0; i < c; ++i) {
            RevealLine(newPic, i);
            RevealLine(newPic, H - 1 - i);
        }
        break;
    }
    case kSplitHorizontalOut: {
        out.CopyPlanes(oldPic);
        for (int i = 0; i < Trunc(p * H / 2); ++i) {
            RevealLine(newPic, H2 - i);
            RevealLine(newPic, H2 + i + 1);
        }
        break;
    }
    case kInset:
        out.CopyPlanes(oldPic);
        for (int i = 0; i < Trunc(p * H); ++i) Reveal(newPic, i, 0, Trunc(p * W));
        break;
    }
}

// Edges that turn about the centre: the clock, radial and wedge wipes.
void CImageFx::SweepTransition(int code, double p, const CYUV420Image& oldPic, const CYUV420Image& newPic,
                               CYUV420Image& out)
{
    [[maybe_unused]] const int W = frameWidth, H = frameHeight, W2 = W / 2, H2 = H / 2;
    switch (code) {
    case kClockWipe: {
        out.CopyPlanes(oldPic);
        const int cx = W2, h2 = H2;
        if (p < 0.25) {
            const double k = Slope(kHalfPi - 2 * kPi * p);
            for (int i = 0; i < h2; ++i) Reveal(newPic, i, cx, Trunc(cx + (h2 - i) / k));
        } else if (p < 0.5) {
            const double k = Slope(2 * kPi * p - kHalfPi);
            for (int i = 0; i < h2; ++i) {
                Reveal(newPic, i, cx, W);
                Reveal(newPic, h2 + i, Trunc(cx + i / k), W);
            }
        } else if (p < 0.75) {
            const double k = Slope(2 * kPi * p - kPi);
            for (int i = 0; i < h2; ++i) {
                Reveal(newPic, i, cx, W);
                Reveal(newPic, h2 + i, cx, W);
                Reveal(newPic, h2 + i, Trunc(cx - k * i), cx);
            }
        } else {
            const double k = Slope(2 * kPi * p - 3 * kPi / 2);
            for (int i = 0; i < h2; ++i) {
                Reveal(newPic, i, cx, W);
                Reveal(newPic, h2 + i, 0, W);
                Reveal(newPic, h2 - i - 1, 0, Trunc(cx - i / k));
            }
        }
        break;
    }
    case kRadialWipe: {
        out.CopyPlanes(oldPic);
        const double k = Slope(p * kPi / 2);
        for (int i = 0; i < H; ++i) Reveal(newPic, i, Trunc(i / k), W);
        break;
    }
    case kWedgeWipe: {
        out.CopyPlanes(oldPic);
        const int cx = W2, h2 = H2;
        if (p < 0.5) {
            const double k = Slope(kHalfPi - kPi * p);
            for (int i = 0; i < h2; ++i) {
                const double l = (h2 - i) / k;
                Reveal(newPic, i, Trunc(cx - l - 1), Trunc(cx + l));
            }
        } else {
            const double k = Slope(kPi * p - kHalfPi);
            for (int i = 0; i < h2; ++i) {
                RevealLine(newPic, i);
                const double l = i / k;
                Reveal(newPic, h2 + i, Trunc(cx + l), W);
                Reveal(newPic, h2 + i, 0, Trunc(cx - l - 1));
            }
        }
        break;
    }
    }
}

// The new picture moving in: slide, push and band slide.
void CImageFx::SlideTransition(int code, double p, const CYUV420Image& oldPic, const CYUV420Image& newPic,
                               CYUV420Image& out)
{
    [[maybe_unused]] const int W = frameWidth, H = frameHeight, W2 = W / 2, H2 = H / 2;
    switch (code) {
    case kSlide: {
        out.CopyPlanes(oldPic);
        const int d = Trunc(p * W);
        for (int i = 0; i < H; ++i) ShiftCopy(newPic, i, 0, d, W - d);
        break;
    }
    case kPush: {
        out.CopyPlanes(oldPic);
        const int d = Trunc(p * W);
        for (int i = 0; i < H; ++i) {
            ShiftCopy(newPic, i, 0, d, W - d);
            ShiftCopy(oldPic, i, d, W, -d);
        }
        break;
    }
    case kBandSlide: {
        out.CopyPlanes(oldPic);
        const int band = std::max(1, H / 10), d = Trunc(p * W);
        for (int i = 0; i < H; ++i) {
            if ((i / band) % 2)
                ShiftCopy(newPic, i, 0, d, W - d);
            else
                ShiftCopy(newPic, i, W - d, W, d - W);
        }
        break;
    }
    }
}

void CImageFx::RenderTransition(int code, double p, const CYUV420Image& from, const CYUV420Image& to, CYUV420Image& out)
{
    target = &out;
    switch (code) {
    case kBoxIn:
    case kBoxOut:
    case kCircleIn:
    case kCircleOut:
    case kIrisCross:
    case kIrisDiamond:
        ShapeTransition(code, p, from, to, out);
        break;
    case kWipeUp:
    case kWipeDown:
    case kWipeRight:
    case kWipeLeft:
    case kVerticalBlinds:
    case kHorizontalBlinds:
    case kCheckboardAcross:
    case kCheckboardDown:
    case kSplitVerticalIn:
    case kSplitVerticalOut:
    case kSplitHorizontalIn:
    case kSplitHorizontalOut:
    case kInset:
        WipeTransition(code, p, from, to, out);
        break;
    case kClockWipe:
    case kRadialWipe:
    case kWedgeWipe:
        SweepTransition(code, p, from, to, out);
        break;
    case kSlide:
    case kPush:
    case kBandSlide:
        SlideTransition(code, p, from, to, out);
        break;
    case kRandomDissolve:
        RandomDissolve(p, from, to, out);
        break;
    case kStripsLeftDown:
    case kStripsLeftUp:
    case kStripsRightDown:
    case kStripsRightUp:
        Strips(code, p, from, to, out);
        break;
    case kBlend:
        Mix(from, to, p, out);
        break;
    case kPinwheelWipe:
        out.CopyPlanes(from);
        Pinwheel(to, p);
        break;
    case kSwinIn:
        out.CopyPlanes(from);
        Swing(true, p, to, out);
        break;
    case kSwinOut:
        out.CopyPlanes(from);
        Swing(false, p, to, out);
        break;
    case kNone:
        break;
    default:  // FadeInOut and every code without a rule of its own
        if (p <= 0.5)
            Mix(from, blackPicture, 2 * p, out);
        else
            Mix(blackPicture, to, 2 * p - 1, out);
        break;
    }
    target = nullptr;
}
