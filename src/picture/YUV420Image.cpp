#include "picture/YUV420Image.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "picture/PixelKernels.h"

CYUV420Image::CYUV420Image(const CYUV420Image& other)
{
    if (other.planeY && Create(other.height, other.width)) CopyPlanes(other);
}

CYUV420Image& CYUV420Image::operator=(const CYUV420Image& other)
{
    if (this == &other) return *this;
    if (!other.planeY) {
        *this = CYUV420Image();
        return *this;
    }
    if (width != other.width || height != other.height) Create(other.height, other.width);
    CopyPlanes(other);
    return *this;
}

bool CYUV420Image::Create(int h, int w)
{
    memory.Free();
    width = height = planarSize = lumaSize = chromaSize = lumaStride = chromaStride = 0;
    planeY = planeCb = planeCr = scratchA = scratchB = nullptr;
    // Refuse odd, empty and absurd sizes (the block size must fit in 32 bits).
    if (w <= 0 || h <= 0 || (w & 1) || (h & 1) || int64_t(w) * h > 100'000'000) return false;
    const int64_t luma = int64_t(w) * h, chroma = luma / 4;
    const size_t bytes = size_t((3 * luma + 2 * chroma + 256) & ~int64_t(127));
    if (!memory.Allocate(bytes)) return false;
    width = w;
    height = h;
    lumaSize = int32_t(luma);
    chromaSize = int32_t(chroma);
    planarSize = lumaSize + 2 * chromaSize;
    lumaStride = w;
    chromaStride = w / 2;
    planeY = memory.AlignedAbove(128);
    planeCb = planeY + lumaSize;
    planeCr = planeCb + chromaSize;
    scratchA = planeCr + chromaSize;
    scratchB = scratchA + lumaSize;
    Clear();
    return true;
}

void CYUV420Image::Clear()
{
    if (!planeY) return;
    std::memset(planeY, 0, lumaSize);
    std::memset(planeCb, 128, 2 * size_t(chromaSize));
}

void CYUV420Image::SwapChroma()
{
    if (!planeY) return;
    std::swap_ranges(planeCb, planeCb + chromaSize, planeCr);
}

bool CYUV420Image::CopyPlanes(const CYUV420Image& src)
{
    if (!planeY || !src.planeY || src.width != width || src.height != height) return false;
    std::memcpy(planeY, src.planeY, planarSize);
    return true;
}

void CYUV420Image::FromRgb32(const uint8_t* bits, bool redFirst)
{
    if (!planeY) return;
    const size_t rowBytes = size_t(width) * 4;
    for (int y = 0; y < height; y += 2) {
        // The last stored row is the top line of the picture.
        const uint8_t* top = bits + size_t(height - 1 - y) * rowBytes;
        const uint8_t* bottom = top - rowBytes;
        RgbRowPairToYuv(top, bottom, width, redFirst, planeY + size_t(y) * width, planeY + size_t(y + 1) * width,
                        planeCb + size_t(y / 2) * chromaStride, planeCr + size_t(y / 2) * chromaStride);
    }
}

void CYUV420Image::FromRgbxLinePair(const uint8_t* top, const uint8_t* bottom, int line)
{
    if (!planeY || line < 0 || line + 1 >= height || (line & 1)) return;
    RgbRowPairToYuv(top, bottom, width, true, planeY + size_t(line) * width, planeY + size_t(line + 1) * width,
                    planeCb + size_t(line / 2) * chromaStride, planeCr + size_t(line / 2) * chromaStride);
}

void CYUV420Image::FromBGRX(const uint8_t* bits) { FromRgb32(bits, false); }
void CYUV420Image::FromRGBX(const uint8_t* bits) { FromRgb32(bits, true); }

void CYUV420Image::FromPacked422(const uint8_t* packed, int yOffset)
{
    if (!planeY) return;
    const size_t rowBytes = size_t(width) * 2;
    // Even lines store their chroma; the odd line after each averages into it.
    for (int y = 0; y < height; ++y)
        Packed422Row(packed + size_t(y) * rowBytes, width, yOffset, (y & 1) != 0, planeY + size_t(y) * width,
                     planeCb + size_t(y / 2) * chromaStride, planeCr + size_t(y / 2) * chromaStride);
}

void CYUV420Image::FromYUY2(const uint8_t* packed) { FromPacked422(packed, 0); }
void CYUV420Image::FromUYVY(const uint8_t* packed) { FromPacked422(packed, 1); }

// ---------------------------------------------------------------- bilinear resampling

void CYUV420Image::ResampleBilinear(const uint8_t* src, int srcWidth, int srcHeight, int srcStride, uint8_t* dst,
                                    int dstWidth, int dstHeight, int dstStride)
{
    if (srcWidth <= 0 || srcHeight <= 0 || dstWidth <= 0 || dstHeight <= 0) return;
    // Horizontal taps and weights, computed exactly from x * srcWidth / dstWidth. The
    // buffers are kept per thread, so a stream of same-size frames allocates nothing.
    // Each output sample takes source samples x0 and x0 + 1 (x0 alone at the right
    // edge) with weights 256 - wx1 and wx1, so flat areas keep their level.
    static thread_local std::vector<int> x0, wx1;
    static thread_local std::vector<uint16_t> rows[2];
    if (int(x0.size()) < dstWidth) {
        x0.resize(dstWidth);
        wx1.resize(dstWidth);
        for (auto& r : rows) r.resize(dstWidth);
    }
    for (int x = 0; x < dstWidth; ++x) {
        const int64_t pos = int64_t(x) * srcWidth;
        x0[x] = int(pos / dstWidth);
        wx1[x] = int((pos % dstWidth) * 256 / dstWidth);
    }
    int rowOf[2] = {-1, -1};
    // Returns the horizontal pass of source line sy, computing it into a slot other
    // than `keep` when it is not already held.
    auto horizontal = [&](int sy, int keep, int& slotUsed) -> const uint16_t* {
        for (int k = 0; k < 2; ++k)
            if (rowOf[k] == sy) {
                slotUsed = k;
                return rows[k].data();
            }
        const int slot = keep == 0 ? 1 : 0;
        const uint8_t* s = src + size_t(sy) * srcStride;
        uint16_t* h = rows[slot].data();
        BilinearPlaneRow(s, srcWidth, x0.data(), wx1.data(), h, dstWidth);
        rowOf[slot] = sy;
        slotUsed = slot;
        return h;
    };
    for (int y = 0; y < dstHeight; ++y) {
        const int64_t pos = int64_t(y) * srcHeight;
        const int y0 = int(pos / dstHeight);
        const int y1 = y0 + 1 < srcHeight ? y0 + 1 : y0;
        const int wy1 = int((pos % dstHeight) * 256 / dstHeight);
        const int wy0 = 256 - wy1;
        int slot0 = -1, slot1 = -1;
        const uint16_t* h0 = horizontal(y0, rowOf[0] == y1 ? 0 : (rowOf[1] == y1 ? 1 : -1), slot0);
        const uint16_t* h1 = horizontal(y1, slot0, slot1);
        BilinearVertical(h0, h1, wy0, wy1, dst + size_t(y) * dstStride, dstWidth);
    }
}

// ---------------------------------------------------------------- fitting

void CYUV420Image::FitGeometry(int sw, int sh, int dw, int dh, int& lines, int& topOffset)
{
    int64_t b = int64_t(sh) * dw / sw;
    if (b >= dh) {
        b = dh;
    } else if (int64_t(sh) * 16 < int64_t(sw) * 10) {
        // Sources wider than 1.6:1 are letterboxed for a 16:9 display.
        b = int64_t(sh) * dh * 16 / (int64_t(sw) * 9);
        if (b >= dh) b = dh;
    }
    lines = int(b);
    topOffset = (dh - lines) / 2;
}

namespace {

// Mitchell-Netravali cubic with B = C = 1/3; small negative lobes count as zero.
double MitchellKernel(double t)
{
    t = std::fabs(t);
    double v;
    if (t < 1.0)
        v = (7.0 / 6.0 * t - 2.0) * t * t + 8.0 / 9.0;
    else if (t < 2.0)
        v = ((-7.0 / 18.0 * t + 2.0) * t - 10.0 / 3.0) * t + 16.0 / 9.0;
    else
        v = 0.0;
    if (v > -0.05 && v < 0.0) v = 0.0;
    return v;
}

// Four taps per destination sample along one dimension.
struct SCubicTable {
    std::vector<int> first;  // index of the first of four consecutive source samples
    std::vector<int> weights;  // four weights in 1/256 per destination sample
    std::vector<int16_t> weights16;  // the same weights as 16-bit numbers
    int count = 0;  // source samples available (taps beyond are never read)
};

SCubicTable BuildCubicTable(int src, int dst)
{
    SCubicTable t;
    t.first.resize(dst);
    t.weights.resize(size_t(dst) * 4);
    t.count = src;
    const double scale = double(src) / dst;
    for (int i = 0; i < dst; ++i) {
        const double centre = (i + 0.5) * scale - 0.5;
        int last = int(2.0 + centre);  // truncation toward zero
        if (last > src - 1) last = src - 1;
        int first = last - 3;
        if (first < 0) first = 0;
        double k[4], sum = 0.0;
        for (int j = 0; j < 4; ++j) {
            const int pos = first + j;
            k[j] = pos < src ? MitchellKernel(pos - centre) : 0.0;
            sum += k[j];
        }
        if (sum <= 0.0) {  // cannot happen for sane sizes; fall back to the nearest sample
            for (double& v : k) v = 0.0;
            const int nearest = std::clamp(int(std::lround(centre)), first, std::min(first + 3, src - 1));
            k[nearest - first] = 1.0;
            sum = 1.0;
        }
        double running = 0.0;
        long before = 0;
        for (int j = 0; j < 4; ++j) {
            running += k[j] / sum;
            const long after = std::lround(256.0 * running);
            t.weights[size_t(i) * 4 + j] = int(after - before);
            before = after;
        }
        t.first[i] = first;
    }
    t.weights16.assign(t.weights.begin(), t.weights.end());
    return t;
}

// The tables of one geometry for the luma and chroma planes, kept per thread.
struct SFitTables {
    int sw = -1, sh = -1, dw = -1, lines = -1;
    SCubicTable lumaX, lumaY, chromaX, chromaY;
};

const SFitTables& FitTablesFor(int sw, int sh, int dw, int lines)
{
    static thread_local SFitTables tables;
    if (tables.sw != sw || tables.sh != sh || tables.dw != dw || tables.lines != lines) {
        tables.lumaX = BuildCubicTable(sw, dw);
        tables.lumaY = BuildCubicTable(sh, lines);
        tables.chromaX = BuildCubicTable(sw / 2, dw / 2);
        tables.chromaY = BuildCubicTable(sh / 2, lines / 2);
        tables.sw = sw;
        tables.sh = sh;
        tables.dw = dw;
        tables.lines = lines;
    }
    return tables;
}

// Enlarges one plane separably: horizontal pass into `temp` (srcHeight rows of
// dstWidth), then the vertical pass.
void CubicPlane(const uint8_t* src, int srcWidth, int srcHeight, int srcStride, uint8_t* dst, int dstWidth,
                int dstHeight, int dstStride, const SCubicTable& tx, const SCubicTable& ty, std::vector<uint8_t>& temp)
{
    temp.resize(size_t(dstWidth) * srcHeight);
    for (int y = 0; y < srcHeight; ++y)
        Cubic4Row(src + size_t(y) * srcStride, srcWidth, tx.first.data(), tx.weights16.data(),
                  temp.data() + size_t(y) * dstWidth, dstWidth);
    for (int y = 0; y < dstHeight; ++y) {
        const int f = ty.first[y];
        const uint8_t* rows[4];
        for (int j = 0; j < 4; ++j) rows[j] = temp.data() + size_t(std::min(f + j, srcHeight - 1)) * dstWidth;
        Cubic4Vertical(rows, &ty.weights[size_t(y) * 4], dst + size_t(y) * dstStride, dstWidth);
    }
}

}  // namespace

void CYUV420Image::FitPicture(CYUV420Image& dst, const CYUV420Image& src)
{
    if (!dst.planeY || !src.planeY) return;
    const int sw = src.width, sh = src.height, dw = dst.width, dh = dst.height;
    int lines = 0, top = 0;
    FitGeometry(sw, sh, dw, dh, lines, top);
    if (lines < 2) return;
    const int chromaLines = lines / 2, chromaTop = top / 2;
    uint8_t* dy = dst.planeY + size_t(top) * dst.lumaStride;
    uint8_t* dcb = dst.planeCb + size_t(chromaTop) * dst.chromaStride;
    uint8_t* dcr = dst.planeCr + size_t(chromaTop) * dst.chromaStride;
    if (lines < sh || dw < sw) {
        ResampleBilinear(src.planeY, sw, sh, src.lumaStride, dy, dw, lines, dst.lumaStride);
        ResampleBilinear(src.planeCb, sw / 2, sh / 2, src.chromaStride, dcb, dw / 2, chromaLines, dst.chromaStride);
        ResampleBilinear(src.planeCr, sw / 2, sh / 2, src.chromaStride, dcr, dw / 2, chromaLines, dst.chromaStride);
        return;
    }
    const SFitTables& t = FitTablesFor(sw, sh, dw, lines);
    static thread_local std::vector<uint8_t> temp;
    CubicPlane(src.planeY, sw, sh, src.lumaStride, dy, dw, lines, dst.lumaStride, t.lumaX, t.lumaY, temp);
    CubicPlane(src.planeCb, sw / 2, sh / 2, src.chromaStride, dcb, dw / 2, chromaLines, dst.chromaStride, t.chromaX,
               t.chromaY, temp);
    CubicPlane(src.planeCr, sw / 2, sh / 2, src.chromaStride, dcr, dw / 2, chromaLines, dst.chromaStride, t.chromaX,
               t.chromaY, temp);
}

void CYUV420Image::Swap(CYUV420Image& other) noexcept
{
    std::swap(width, other.width);
    std::swap(height, other.height);
    std::swap(planarSize, other.planarSize);
    std::swap(lumaSize, other.lumaSize);
    std::swap(chromaSize, other.chromaSize);
    std::swap(lumaStride, other.lumaStride);
    std::swap(chromaStride, other.chromaStride);
    std::swap(planeY, other.planeY);
    std::swap(planeCb, other.planeCb);
    std::swap(planeCr, other.planeCr);
    std::swap(scratchA, other.scratchA);
    std::swap(scratchB, other.scratchB);
    std::swap(memory, other.memory);
}
