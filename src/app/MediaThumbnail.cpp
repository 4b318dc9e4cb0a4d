#include "app/MediaThumbnail.h"

#include "app/Project.h"
#include "base/Album.h"
#include "media/DirectShowAV.h"
#include "picture/ImageFile.h"
#include "picture/RgbImage.h"
#include "picture/YUV420Image.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace {

uint8_t Clamp(double value) { return uint8_t(std::clamp(std::lround(value), 0L, 255L)); }

// The largest even size inside `maxWidth` x `maxHeight` with the shape `aspect`.
void FitSize(double aspect, int maxWidth, int maxHeight, int& width, int& height)
{
    width = maxWidth;
    height = int(std::lround(maxWidth / aspect));
    if (height > maxHeight) {
        height = maxHeight;
        width = int(std::lround(maxHeight * aspect));
    }
    width = std::max(2, width & ~1);
    height = std::max(2, height & ~1);
}

bool IsProject(const std::string& path)
{
    std::string lower = path;
    for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
    return lower.find(".osh") != std::string::npos;
}

}  // namespace

bool CMediaThumbnail::MakeFromProject(const std::string& path, int maxWidth, int maxHeight)
{
    // A slide show starts with its first photo.
    CAlbum album;
    std::string loadError;
    if (!LoadProject(album, path, &loadError)) {
        error = loadError;
        return false;
    }
    if (album.photos.empty()) {
        error = path + ": has no photo";
        return false;
    }
    CRgbImage photo;
    if (!CImageFile::Decode(album.photos.front().photoPath, photo, error, maxWidth, maxHeight)) return false;
    if (photo.width < 1 || photo.height < 1) {
        error = album.photos.front().photoPath + ": empty picture";
        return false;
    }
    int w = 0, h = 0;
    FitSize(double(photo.width) / photo.height, maxWidth, maxHeight, w, h);
    // Each thumbnail pixel takes the photo pixel at its centre: enough for a small sign
    // of the photo.
    rgb.resize(size_t(w) * size_t(h) * 3);
    for (int y = 0; y < h; ++y) {
        const int sy = std::min(photo.height - 1, int((y + 0.5) * photo.height / h));
        for (int x = 0; x < w; ++x) {
            const int sx = std::min(photo.width - 1, int((x + 0.5) * photo.width / w));
            const uint8_t* in = photo.pixels.data() + (size_t(sy) * size_t(photo.width) + size_t(sx)) * 3;
            std::copy(in, in + 3, rgb.data() + (size_t(y) * size_t(w) + size_t(x)) * 3);
        }
    }
    width = w;
    height = h;
    return true;
}

void CMediaThumbnail::YCbCrToRgb(int y, int cb, int cr, uint8_t* out)
{
    const double luma = 1.164 * (y - 16);
    out[0] = Clamp(luma + 1.596 * (cr - 128));
    out[1] = Clamp(luma - 0.392 * (cb - 128) - 0.813 * (cr - 128));
    out[2] = Clamp(luma + 2.017 * (cb - 128));
}

bool CMediaThumbnail::Make(const std::string& path, int maxWidth, int maxHeight)
{
    width = height = 0;
    rgb.clear();
    error.clear();
    if (maxWidth < 2 || maxHeight < 2) {
        error = "thumbnail size too small";
        return false;
    }
    if (IsProject(path)) return MakeFromProject(path, maxWidth, maxHeight);
    CDirectShowAV av;
    av.wantAudio = false;
    av.writeGraph = false;
    if (!av.Open(path, true)) {
        error = av.Refusal().empty() ? path + ": cannot be opened" : av.Refusal();
        return false;
    }
    if (!av.videoFound && !av.isPhoto) {
        error = path + ": has no picture";
        return false;
    }
    double aspect = av.displayAspect;
    if (aspect <= 0 && av.fileWidth > 0 && av.fileHeight > 0) aspect = double(av.fileWidth) / av.fileHeight;
    if (aspect <= 0) aspect = 4.0 / 3.0;
    int w = 0, h = 0;
    FitSize(aspect, maxWidth, maxHeight, w, h);
    av.SetTarget(w, h, 30000.0 / 1001.0);
    av.Run();
    CYUV420Image picture;
    const bool got = av.GetFrame(picture);
    av.Stop();
    if (!got || picture.width != w || picture.height != h || !picture.planeY) {
        error = path + ": no picture could be decoded";
        return false;
    }
    width = w;
    height = h;
    rgb.resize(size_t(w) * size_t(h) * 3);
    for (int line = 0; line < h; ++line) {
        const uint8_t* y = picture.planeY + size_t(line) * size_t(picture.lumaStride);
        const uint8_t* cb = picture.planeCb + size_t(line / 2) * size_t(picture.chromaStride);
        const uint8_t* cr = picture.planeCr + size_t(line / 2) * size_t(picture.chromaStride);
        uint8_t* out = rgb.data() + size_t(line) * size_t(w) * 3;
        for (int x = 0; x < w; ++x) YCbCrToRgb(y[x], cb[x / 2], cr[x / 2], out + size_t(x) * 3);
    }
    return true;
}
