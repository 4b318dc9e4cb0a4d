#include "slideshow/ImageFx.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "picture/ImageFile.h"
#include "picture/ImageOps.h"
#include "picture/Photo.h"
#include "picture/PixelKernels.h"
#include "slideshow/FxMath.h"

using fxmath::kHalfPi;
using fxmath::kPi;
using fxmath::Slope;
using fxmath::Trunc;

namespace {

const int kAutoMotions[8] = {0, 4, 2, 6, 1, 7, 3, 5};
const int kAutoTransitions[16] = {0, 1, 2, 3, 4, 5, 27, 29, 23, 24, 28, 30, 10, 11, 13, 16};

}  // namespace

CImageFx::CImageFx()
    : clockSeconds([] {
          return int64_t(
              std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch())
                  .count());
      })
{}

bool CImageFx::InitFx(int width, int height)
{
    if (width <= 0 || height <= 0 || (width & 1) || (height & 1) || int64_t(width) * height * 4 > CPhoto::bufferBytes)
        return false;
    frameWidth = width;
    frameHeight = height;
    segmentRate = (height == 576 || height == 288) ? 25.0 : 29.97;
    if (!outputPicture.Create(height, width) || !blackPicture.Create(height, width) ||
        !photoPicture.Create(height, width) || !arrivalPicture.Create(height, width))
        return false;
    frameBitmap.assign(size_t(width) * height * 4, 0);
    softBitmap.assign(size_t(width) * height * 4, 0);
    work.assign(size_t(width) * height * 4, 0);
    motionBitmap.assign(size_t(width) * 2 * 4, 0);
    keptBitmap.assign(size_t(width) * height * 4, 0);
    keptSoft.assign(size_t(width) * height * 4, 0);
    if (!keptStill.Create(height, width)) return false;
    keptValid = keptLoaded = false;
    keptPath.clear();
    photoLoads = 0;
    motionRows[0].assign(size_t(width) * 4, 0);
    motionRows[1].assign(size_t(width) * 4, 0);
    motionX0.assign(width, 0);
    motionW1.assign(width, 0);
    motionWeights.assign(size_t(width) * 8, 0);
    dissolveChoice.assign(size_t((width + 2) / 3) * ((height + 2) / 3), 0);
    dissolveMask.assign(width, 0);
    swingFactor.assign(width, 0.0);
    swingColumn.assign(width, 0);
    decodedImage.Release();
    frameInSegment = 0;
    showFrames = transitionFrames = 1;
    segmentFrames = 2;
    photoCounter = transitionCounter = 0;
    arrivalPending = false;
    photoLoaded = false;
    return true;
}

int CImageFx::ShowFramesFor(double showSeconds) const { return std::max(1, Trunc(segmentRate * showSeconds)); }

int CImageFx::TransitionFramesFor(double transitionSeconds) const
{
    return std::max(1, Trunc(segmentRate * transitionSeconds));
}

int CImageFx::FrameCountFor(double showSeconds, double transitionSeconds, int) const
{
    return ShowFramesFor(showSeconds) + TransitionFramesFor(transitionSeconds);
}

int CImageFx::ResolveMotion(int code, int photoNumber)
{
    if (code == kAuto) return kAutoMotions[((photoNumber % 8) + 8) % 8];
    return code;
}

int CImageFx::ResolveTransition(int code, int transitionNumber)
{
    if (code == kAuto) return kAutoTransitions[((transitionNumber % 16) + 16) % 16];
    return code;
}

// ---------------------------------------------------------------- photo stage

bool CImageFx::LoadFramePhoto(const std::string& path)
{
    ++photoLoads;
    error.clear();
    photoLoaded = false;
    // The previous photo's pixel memory is kept for this one, so photos of one size
    // need no new memory.
    decodedImage.width = decodedImage.height = 0;
    decodedImage.pixels.clear();
    photoPicture.Clear();
    if (frameWidth <= 0) {
        error = "the renderer has no frame size";
        return false;
    }
    if (!CImageFile::Decode(path, decodedImage, error, frameWidth, frameHeight)) {
        std::fill(frameBitmap.begin(), frameBitmap.end(), 0);
        std::fill(softBitmap.begin(), softBitmap.end(), 0);
        return false;
    }
    // Fitting clears the bitmap to black around the photo.
    if (!CPhoto::FitInto(decodedImage, frameWidth, frameHeight, true, 0, true, frameBitmap.data(), work.data()))
        std::fill(frameBitmap.begin(), frameBitmap.end(), 0);
    CImageOps::BlurRgbx(frameBitmap.data(), softBitmap.data(), frameWidth, frameHeight, frameWidth * 4);
    photoPicture.FromRGBX(frameBitmap.data());
    photoLoaded = true;
    return true;
}

// ---------------------------------------------------------------- motion

bool CImageFx::MotionRect(int code, double t, int W, int H, double& x, double& y, double& w, double& h)
{
    enum { kCentre, kLeft, kRight, kTopLeft, kTopRight, kBottomLeft, kBottomRight };
    if (code < 0 || code > 15) return false;
    if (code == 2 || code == 3) {  // pans across a rectangle of 80 %
        w = 0.8 * W;
        h = 0.8 * H;
        y = 0.1 * H;
        x = code == 2 ? 0.2 * W * t : 0.2 * W * (1.0 - t);
        return true;
    }
    // The zooms: in or out, and the point of the picture that stays put.
    struct SZoom {
        bool zoomIn;
        int anchor;
    };
    static constexpr SZoom kZooms[16] = {
        {true, kCentre},       {false, kCentre},   {true, kCentre},      {true, kCentre},  // 2, 3: pans
        {true, kRight},        {true, kLeft},      {false, kLeft},       {false, kRight},
        {true, kBottomRight},  {true, kTopRight},  {true, kBottomLeft},  {true, kTopLeft},
        {false, kBottomRight}, {false, kTopRight}, {false, kBottomLeft}, {false, kTopLeft},
    };
    const bool zoomIn = kZooms[code].zoomIn;
    const int anchor = kZooms[code].anchor;
    const double u = zoomIn ? 1.0 - t : t;
    const double s = std::min(1.0, 0.8 + 0.2 * u);
    w = s * W;
    h = s * H;
    switch (anchor) {
    case kCentre:
        x = (W - w) / 2;
        y = (H - h) / 2;
        break;
    case kLeft:
        x = 0;
        y = (H - h) / 2;
        break;
    case kRight:
        x = W - w;
        y = (H - h) / 2;
        break;
    case kTopLeft:
        x = 0;
        y = 0;
        break;
    case kTopRight:
        x = W - w;
        y = 0;
        break;
    case kBottomLeft:
        x = 0;
        y = H - h;
        break;
    default:
        x = W - w;
        y = H - h;
        break;
    }
    return true;
}

void CImageFx::RenderMotion(int code, double t, CYUV420Image& out)
{
    const int W = frameWidth, H = frameHeight;
    double rx, ry, rw, rh;
    if (!MotionRect(code, t, W, H, rx, ry, rw, rh)) {
        if (&out != &photoPicture) out.CopyPlanes(photoPicture);
        return;
    }
    if (!photoLoaded) {  // an undecodable photo stays black while it moves
        out.Clear();
        return;
    }
    // Column taps: position x + i * w / W, 8-bit weights; the last column pairs with
    // its left neighbour at full weight so that both taps always exist.
    for (int i = 0; i < W; ++i) {
        const double sx = rx + i * rw / W;
        int x0 = std::clamp(int(std::floor(sx)), 0, W - 1);
        int w1 = std::clamp(Trunc((sx - std::floor(sx)) * 256.0), 0, 255);
        if (x0 == W - 1) {
            x0 = W - 2;
            w1 = 256;
        }
        motionX0[i] = x0;
        motionW1[i] = w1;
    }
    BilinearRgbxWeights(motionW1.data(), motionWeights.data(), W);
    int rowOf[2] = {-1, -1};
    auto horizontal = [&](int sy, int keep) -> const uint16_t* {
        for (int k = 0; k < 2; ++k)
            if (rowOf[k] == sy) return motionRows[k].data();
        const int slot = keep == 0 ? 1 : 0;
        // Line sy from the top is stored H - 1 - sy lines into the bottom-up bitmap.
        BilinearRgbxRow(softBitmap.data() + size_t(H - 1 - sy) * W * 4, motionX0.data(), motionWeights.data(),
                        motionRows[slot].data(), W);
        rowOf[slot] = sy;
        return motionRows[slot].data();
    };
    // Lines are made two at a time into a two-line buffer and converted while still in
    // cache; the result equals converting the whole bottom-up frame bitmap at once.
    uint8_t* pair = motionBitmap.data();
    const size_t rowBytes = size_t(W) * 4;
    for (int j = 0; j < H; ++j) {
        const double sy = ry + j * rh / H;
        const int y0 = std::clamp(int(std::floor(sy)), 0, H - 1);
        const int y1 = std::min(y0 + 1, H - 1);
        const int wy1 = std::clamp(Trunc((sy - std::floor(sy)) * 256.0), 0, 255);
        const uint16_t* h0 = horizontal(y0, rowOf[0] == y1 ? 0 : (rowOf[1] == y1 ? 1 : -1));
        const int keep0 = rowOf[0] == y0 ? 0 : 1;
        const uint16_t* h1 = horizontal(y1, keep0);
        BilinearVertical(h0, h1, 256 - wy1, wy1, pair + (j & 1 ? rowBytes : 0), W * 4);
        if (j & 1) out.FromRgbxLinePair(pair, pair + rowBytes, j - 1);
    }
}

// ---------------------------------------------------------------- segment

void CImageFx::SwapWithKept()
{
    frameBitmap.swap(keptBitmap);
    softBitmap.swap(keptSoft);
    std::swap_ranges(photoPicture.planeY, photoPicture.planeY + photoPicture.planarSize, keptStill.planeY);
    std::swap(photoLoaded, keptLoaded);
}

void CImageFx::PrepareSegment(const std::string& photoPath, int transition, int motion, int nextMotion,
                              double showSeconds, double transitionSeconds, const std::string& nextPhotoPath)
{
    // This segment's photo was usually loaded as the previous segment's next photo
    // and kept; it is then not decoded again.
    const bool kept = keptValid && keptPath == photoPath;
    if (!nextPhotoPath.empty()) {
        LoadFramePhoto(nextPhotoPath);
        RenderMotion(ResolveMotion(nextMotion, photoCounter + 1), 0.0, arrivalPicture);
        SwapWithKept();  // keep the next photo; the working set gets the kept one back
        keptPath = nextPhotoPath;
        keptValid = true;
        if (!kept) LoadFramePhoto(photoPath);
    } else {
        arrivalPicture.Clear();
        if (kept)
            SwapWithKept();
        else
            LoadFramePhoto(photoPath);
        keptValid = false;
    }
    outputPicture.Clear();
    blackPicture.Clear();
    transitionCode = transition;
    motionCode = ResolveMotion(motion, photoCounter);
    showFrames = ShowFramesFor(showSeconds);
    transitionFrames = TransitionFramesFor(transitionSeconds);
    segmentFrames = showFrames + transitionFrames;
    frameInSegment = 0;
    motionProgress = 0.0;
    arrivalPending = true;
}

const CYUV420Image& CImageFx::NextPicture()
{
    const int n = frameInSegment;
    const CYUV420Image* result;
    if (n < showFrames) {
        motionProgress = double(n) / showFrames;
        RenderMotion(motionCode, motionProgress, photoPicture);
        result = &photoPicture;
    } else if (n < segmentFrames - 1) {
        const double p = double(n - showFrames) / transitionFrames;
        const int code = ResolveTransition(transitionCode, transitionCounter);
        if (code != kNone) RenderTransition(code, p, photoPicture, arrivalPicture, outputPicture);
        result = &outputPicture;
    } else {
        result = &arrivalPicture;
    }
    if (n < segmentFrames) ++frameInSegment;
    if (frameInSegment == segmentFrames && arrivalPending) {
        arrivalPending = false;
        ++photoCounter;
        ++transitionCounter;
    }
    return *result;
}

// ---------------------------------------------------------------- transitions
