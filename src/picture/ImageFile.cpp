#include "picture/ImageFile.h"

#include "base/File.h"
#include "base/InputFile.h"
#include "picture/GifDecoder.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <new>
#include <vector>

#include <jpeglib.h>
#include <png.h>
#include <webp/decode.h>

namespace {

// Sets `error` to "<path>: <reason>" and returns false.
bool Refuse(const std::string& path, const std::string& reason, std::string& error)
{
    error = path + ": " + reason;
    return false;
}

std::string Damaged(const std::string& why) { return "damaged (" + why + ")"; }

std::string Size(int64_t w, int64_t h) { return std::to_string(w) + " x " + std::to_string(h); }

bool TooLarge(int64_t w, int64_t h, const std::string& path, std::string& error)
{
    if (w <= 0 || h <= 0) return !Refuse(path, Damaged("it claims " + Size(w, h) + " pixels"), error);
    if (w * h > CImageFile::maxPixels) return !Refuse(path, CImageFile::TooLargeReason(w, h), error);
    return false;
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error)
{
    int64_t size = 0;
    const CFileDescriptor fd = OpenInputFile(path, error, int64_t(1) << 31, &size);
    if (!fd) return false;
    bytes.resize((size_t)size);
    if (size > 0 && ReadDescriptorAt(fd.Get(), bytes.data(), bytes.size(), 0) != bytes.size())
        return Refuse(path, "cannot be read", error);
    return true;
}

// ---------------------------------------------------------------- JPEG

struct JpegError {
    jpeg_error_mgr mgr;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo)
{
    JpegError* err = reinterpret_cast<JpegError*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    longjmp(err->jump, 1);
}

void JpegSilent(j_common_ptr, int) {}

// State kept outside the frame that calls setjmp, so nothing there can be clobbered.
struct JpegDecodeState {
    jpeg_decompress_struct cinfo;
    JpegError err;
    FILE* file = nullptr;
    bool created = false;
    unsigned width = 0, height = 0;
    int components = 0;
    std::vector<uint8_t> inkRows;  // CMYK lines before their conversion to RGB
};

// A JPEG's stored size may exceed maxPixels this many times when it is decoded at a
// reduced size; beyond it even reading the file would take minutes.
constexpr int64_t kJpegStoredFactor = 4;

__attribute__((noinline)) void AllocateRgb(CRgbImage* out, int w, int h)
{
    out->width = w;
    out->height = h;
    out->pixels.assign((size_t)w * h * 3, 0);
}

__attribute__((noinline)) void AllocateInkRows(JpegDecodeState* s, size_t bytes) { s->inkRows.assign(bytes, 0); }

// Turns `count` CMYK pixels into RGB. Files with an Adobe marker (what print workflows
// write) store the inks inverted: 255 is no ink. Without it 0 is no ink.
void InkToRgb(const uint8_t* ink, uint8_t* rgb, size_t count, bool inverted)
{
    for (size_t i = 0; i < count; ++i, ink += 4, rgb += 3) {
        const int k = inverted ? ink[3] : 255 - ink[3];
        for (int c = 0; c < 3; ++c) {
            const int paper = inverted ? ink[c] : 255 - ink[c];
            rgb[c] = uint8_t((paper * k + 127) / 255);
        }
    }
}

// The libjpeg steps of a decode. The function that calls setjmp holds no C++ objects
// of its own. Returns 0 on success, 1 on a libjpeg error (message in the state), 2
// when the picture is empty or too large, 3 for an unexpected colour layout.
int RunJpegDecode(JpegDecodeState* s, CRgbImage* out, int wantW, int wantH)
{
    if (setjmp(s->err.jump)) return 1;
    jpeg_create_decompress(&s->cinfo);
    s->created = true;
    jpeg_stdio_src(&s->cinfo, s->file);
    jpeg_read_header(&s->cinfo, TRUE);
    s->width = s->cinfo.image_width;
    s->height = s->cinfo.image_height;
    s->components = s->cinfo.num_components;
    if (s->width == 0 || s->height == 0 || (int64_t)s->width * s->height > kJpegStoredFactor * CImageFile::maxPixels)
        return 2;
    const bool inks = s->cinfo.jpeg_color_space == JCS_CMYK || s->cinfo.jpeg_color_space == JCS_YCCK;
    s->cinfo.out_color_space = inks ? JCS_CMYK : JCS_RGB;
    // Decode large photos at a reduced size while it still covers the wanted size.
    if (wantW > 0 && wantH > 0) {
        for (unsigned denom = 8; denom >= 2; denom /= 2) {
            if (s->width / denom >= (unsigned)wantW && s->height / denom >= (unsigned)wantH) {
                s->cinfo.scale_num = 1;
                s->cinfo.scale_denom = denom;
                break;
            }
        }
    }
    jpeg_calc_output_dimensions(&s->cinfo);
    s->width = s->cinfo.output_width;
    s->height = s->cinfo.output_height;
    if ((int64_t)s->width * s->height > CImageFile::maxPixels) return 2;
    jpeg_start_decompress(&s->cinfo);
    if (s->cinfo.output_components != (inks ? 4 : 3)) return 3;
    AllocateRgb(out, (int)s->cinfo.output_width, (int)s->cinfo.output_height);
    const size_t rowBytes = (size_t)s->cinfo.output_width * 3;
    const size_t inkRowBytes = (size_t)s->cinfo.output_width * 4;
    if (inks) AllocateInkRows(s, inkRowBytes * 16);
    // Several lines per call: the decoder hands over as many as it has ready.
    JSAMPROW rows[16];
    while (s->cinfo.output_scanline < s->cinfo.output_height) {
        const JDIMENSION at = s->cinfo.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(16, s->cinfo.output_height - at);
        for (JDIMENSION k = 0; k < count; ++k)
            rows[k] = inks ? s->inkRows.data() + k * inkRowBytes : out->pixels.data() + (size_t)(at + k) * rowBytes;
        const JDIMENSION got = jpeg_read_scanlines(&s->cinfo, rows, count);
        if (!inks) continue;
        for (JDIMENSION k = 0; k < got; ++k)
            InkToRgb(rows[k], out->pixels.data() + (size_t)(at + k) * rowBytes, s->cinfo.output_width,
                     s->cinfo.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&s->cinfo);
    return 0;
}

bool DecodeJpeg(const std::string& path, CRgbImage& out, std::string& error, int wantW, int wantH)
{
    FilePtr file = OpenInputStream(path, error);
    if (!file) return false;
    auto state = std::make_unique<JpegDecodeState>();
    state->file = file.get();
    state->cinfo.err = jpeg_std_error(&state->err.mgr);
    state->err.mgr.error_exit = JpegErrorExit;
    state->err.mgr.emit_message = JpegSilent;
    int result = 4;
    try {
        result = RunJpegDecode(state.get(), &out, wantW, wantH);
    } catch (const std::bad_alloc&) {
        result = 4;  // the memory for the pixels could not be had
    }
    if (state->created) jpeg_destroy_decompress(&state->cinfo);
    if (result == 0) return true;
    out.Release();
    if (result == 2) {
        TooLarge(state->width, state->height, path, error);
    } else if (result == 3) {
        Refuse(path, "unsupported kind (JPEG with " + std::to_string(state->components) + " colour components)", error);
    } else if (result == 4) {
        Refuse(path, "too large for the memory available (" + Size(state->width, state->height) + " pixels)", error);
    } else {
        Refuse(path, Damaged(state->err.message), error);
    }
    return false;
}

// ---------------------------------------------------------------- PNG

bool DecodePng(const std::string& path, CRgbImage& out, std::string& error)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return Refuse(path, Damaged(image.message), error);
    if (TooLarge(image.width, image.height, path, error)) {
        png_image_free(&image);
        return false;
    }
    image.format = PNG_FORMAT_RGB;  // transparent parts are laid on black
    out.width = (int32_t)image.width;
    out.height = (int32_t)image.height;
    try {
        out.pixels.assign(PNG_IMAGE_SIZE(image), 0);
    } catch (const std::bad_alloc&) {
        png_image_free(&image);
        out.Release();
        return Refuse(path, "too large for the memory available (" + Size(image.width, image.height) + " pixels)",
                      error);
    }
    png_color black = {0, 0, 0};
    if (!png_image_finish_read(&image, &black, out.pixels.data(), 0, nullptr)) {
        Refuse(path, Damaged(image.message), error);
        png_image_free(&image);
        out.Release();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- WebP

bool DecodeWebp(const std::string& path, CRgbImage& out, std::string& error)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error)) return false;
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(bytes.data(), bytes.size(), &features) != VP8_STATUS_OK)
        return Refuse(path, Damaged("no WebP picture data"), error);
    if (features.has_animation) return Refuse(path, "unsupported kind (animated WebP)", error);
    const int w = features.width, h = features.height;
    if (TooLarge(w, h, path, error)) return false;
    out.width = w;
    out.height = h;
    out.pixels.assign((size_t)w * h * 3, 0);
    if (!WebPDecodeRGBInto(bytes.data(), bytes.size(), out.pixels.data(), out.pixels.size(), w * 3)) {
        Refuse(path, Damaged("the WebP picture data cannot be decoded"), error);
        out.Release();
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- BMP

uint32_t Le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | (uint32_t)p[3] << 24; }
uint16_t Le16(const uint8_t* p) { return (uint16_t)(p[0] | p[1] << 8); }

// Extracts a channel given by a bit mask and scales it to 8 bits.
uint8_t MaskedChannel(uint32_t value, uint32_t mask)
{
    if (!mask) return 0;
    int shift = 0;
    while (!((mask >> shift) & 1)) ++shift;
    int bits = 0;
    while (shift + bits < 32 && ((mask >> (shift + bits)) & 1)) ++bits;
    const uint32_t v = (value & mask) >> shift;
    const uint32_t maxv = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
    return (uint8_t)((uint64_t)v * 255 / maxv);
}

bool DecodeBmp(const std::string& path, CRgbImage& out, std::string& error)
{
    std::vector<uint8_t> f;
    if (!ReadWholeFile(path, f, error)) return false;
    auto bad = [&](const std::string& why) {
        out.Release();
        return Refuse(path, Damaged(why), error);
    };
    if (f.size() < 26 || f[0] != 'B' || f[1] != 'M') return bad("no BMP header");
    const uint32_t dataOffset = Le32(&f[10]);
    const uint32_t headerSize = Le32(&f[14]);
    if (headerSize < 12 || 14 + (uint64_t)headerSize > f.size()) return bad("truncated header");
    int64_t w, h;
    int bpp;
    uint32_t compression = 0, colours = 0;
    if (headerSize == 12) {  // OS/2 core header
        w = Le16(&f[18]);
        h = (int16_t)Le16(&f[20]);
        bpp = Le16(&f[24]);
    } else {
        if (headerSize < 40) return bad("unknown header size");
        w = (int32_t)Le32(&f[18]);
        h = (int32_t)Le32(&f[22]);
        bpp = Le16(&f[28]);
        compression = Le32(&f[30]);
        colours = Le32(&f[46]);
    }
    const bool topDown = h < 0;
    if (topDown) h = -h;
    if (w <= 0) return bad("width " + std::to_string(w));
    if (TooLarge(w, h, path, error)) return false;
    uint32_t masks[3] = {0x00FF0000u, 0x0000FF00u, 0x000000FFu};
    if (compression == 3 || compression == 6) {  // bit fields
        if (bpp != 16 && bpp != 32) return bad("bit fields with " + std::to_string(bpp) + " bits");
        const size_t at = headerSize >= 52 ? 14 + 40 : 14 + headerSize;
        if (at + 12 > f.size()) return bad("truncated colour masks");
        for (int k = 0; k < 3; ++k) masks[k] = Le32(&f[at + 4 * k]);
    } else if (compression != 0) {
        return Refuse(path, "unsupported kind (BMP with compression " + std::to_string(compression) + ")", error);
    } else if (bpp == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return Refuse(path, "unsupported kind (BMP of " + std::to_string(bpp) + " bits per pixel)", error);
    // Palette for indexed pictures: 4 bytes per entry (3 for the core header).
    std::vector<uint8_t> palette;  // RGB triples
    if (bpp <= 8) {
        const size_t entrySize = headerSize == 12 ? 3 : 4;
        size_t count = colours ? colours : (1u << bpp);
        if (count > 256) count = 256;
        const size_t at = 14 + headerSize;
        if (at + count * entrySize > f.size()) return bad("truncated palette");
        palette.resize(256 * 3, 0);
        for (size_t i = 0; i < count; ++i) {
            palette[i * 3] = f[at + i * entrySize + 2];
            palette[i * 3 + 1] = f[at + i * entrySize + 1];
            palette[i * 3 + 2] = f[at + i * entrySize];
        }
    }
    const uint64_t rowBytes = ((uint64_t)w * bpp + 31) / 32 * 4;
    if (dataOffset > f.size() || rowBytes * (uint64_t)h > f.size() - dataOffset)
        return bad("pixel data shorter than " + std::to_string(w) + " x " + std::to_string(h));
    out.width = (int32_t)w;
    out.height = (int32_t)h;
    out.pixels.assign((size_t)w * h * 3, 0);
    for (int64_t y = 0; y < h; ++y) {
        const uint8_t* row = &f[dataOffset + (size_t)((topDown ? y : h - 1 - y) * rowBytes)];
        uint8_t* o = &out.pixels[(size_t)(y * w * 3)];
        for (int64_t x = 0; x < w; ++x, o += 3) {
            if (bpp == 24) {
                o[0] = row[x * 3 + 2];
                o[1] = row[x * 3 + 1];
                o[2] = row[x * 3];
            } else if (bpp == 32 || bpp == 16) {
                const uint32_t v = bpp == 32 ? Le32(row + x * 4) : Le16(row + x * 2);
                for (int k = 0; k < 3; ++k) o[k] = MaskedChannel(v, masks[k]);
            } else {
                const int perByte = 8 / bpp;
                const int shift = 8 - bpp * (int)(x % perByte + 1);
                const int index = (row[x / perByte] >> shift) & ((1 << bpp) - 1);
                std::memcpy(o, &palette[(size_t)index * 3], 3);
            }
        }
    }
    return true;
}

// ---------------------------------------------------------------- GIF

bool DecodeGif(const std::string& path, CRgbImage& out, std::string& error)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, error)) return false;
    std::string reason;
    if (!CGifDecoder::Decode(bytes.data(), bytes.size(), CImageFile::maxPixels, out, reason))
        return Refuse(path, reason, error);
    return true;
}

// ---------------------------------------------------------------- other kinds

// The name of a picture kind that is recognised but not decoded, from the file's first
// bytes; "" for anything else.
std::string OtherKindName(const std::string& path)
{
    uint8_t head[16] = {};
    std::ifstream in(path, std::ios::binary);
    in.read(reinterpret_cast<char*>(head), sizeof head);
    const size_t n = size_t(in.gcount());
    auto starts = [&](const char* magic, size_t length, size_t at = 0) {
        return n >= at + length && std::memcmp(head + at, magic, length) == 0;
    };
    if (starts("II*\0", 4) || starts("MM\0*", 4)) return "TIFF";
    if (starts("8BPS", 4)) return "Photoshop";
    if (starts("ftypavif", 8, 4) || starts("ftypavis", 8, 4)) return "AVIF";
    if (starts("ftyphei", 7, 4) || starts("ftypmif1", 8, 4) || starts("ftyphev", 7, 4)) return "HEIF";
    if (starts("\0\0\0\x0cjP  ", 8) || starts("\xff\x4f\xff\x51", 4)) return "JPEG 2000";
    if (starts("\xff\x0a", 2) || starts("\0\0\0\x0cJXL ", 8)) return "JPEG XL";
    return "";
}

}  // namespace

CImageFile::EKind CImageFile::DetectKind(const std::string& path)
{
    std::string ignored;
    FilePtr file = OpenInputStream(path, ignored);
    if (!file) return kUnknown;
    uint8_t head[12] = {};
    const size_t n = std::fread(head, 1, sizeof head, file.get());
    if (n >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) return kJpeg;
    if (n >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0) return kPng;
    if (n >= 2 && head[0] == 'B' && head[1] == 'M') return kBmp;
    if (n >= 12 && std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WEBP", 4) == 0) return kWebp;
    if (n >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0)) return kGif;
    return kUnknown;
}

std::string CImageFile::TooLargeReason(int64_t w, int64_t h)
{
    return "too large (" + Size(w, h) + " pixels; at most " + std::to_string(maxPixels / 1'000'000) +
        " megapixels are decoded)";
}

bool CImageFile::Decode(const std::string& path, CRgbImage& out, std::string& error, int wantWidth, int wantHeight)
{
    out.Release();
    error.clear();
    // A name that does not open as a regular file (missing, a folder, a FIFO, a link
    // loop, too long) is refused with what it is.
    int64_t bytes = 0;
    if (!OpenInputFile(path, error, kAnyInputSize, &bytes)) return false;
    if (bytes == 0) return Refuse(path, "empty file", error);
    try {
        switch (DetectKind(path)) {
        case kJpeg:
            return DecodeJpeg(path, out, error, wantWidth, wantHeight);
        case kPng:
            return DecodePng(path, out, error);
        case kBmp:
            return DecodeBmp(path, out, error);
        case kWebp:
            return DecodeWebp(path, out, error);
        case kGif:
            return DecodeGif(path, out, error);
        default:
            break;
        }
    } catch (const std::bad_alloc&) {
        out.Release();
        return Refuse(path, "too large for the memory available", error);
    }
    const std::string other = OtherKindName(path);
    return Refuse(path, other.empty() ? "not a picture" : "unsupported kind (" + other + ")", error);
}

namespace {

struct JpegEncodeState {
    jpeg_compress_struct cinfo;
    JpegError err;
    FILE* file = nullptr;
    bool created = false;
};

// The libjpeg steps of an encode; returns 0 on success, 1 on a libjpeg error.
int RunJpegEncode(JpegEncodeState* s, const CRgbImage* image, int quality)
{
    if (setjmp(s->err.jump)) return 1;
    jpeg_create_compress(&s->cinfo);
    s->created = true;
    jpeg_stdio_dest(&s->cinfo, s->file);
    s->cinfo.image_width = (JDIMENSION)image->width;
    s->cinfo.image_height = (JDIMENSION)image->height;
    s->cinfo.input_components = 3;
    s->cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&s->cinfo);
    jpeg_set_quality(&s->cinfo, quality, TRUE);
    jpeg_start_compress(&s->cinfo, TRUE);
    const size_t rowBytes = (size_t)image->width * 3;
    while (s->cinfo.next_scanline < s->cinfo.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(image->pixels.data()) + (size_t)s->cinfo.next_scanline * rowBytes;
        jpeg_write_scanlines(&s->cinfo, &row, 1);
    }
    jpeg_finish_compress(&s->cinfo);
    return 0;
}

}  // namespace

bool CImageFile::WriteJpeg(const std::string& path, const CRgbImage& image, int quality, std::string& error)
{
    if (image.width <= 0 || image.height <= 0 || image.pixels.size() < (size_t)image.width * image.height * 3) {
        error = "no picture to write to \"" + path + "\"";
        return false;
    }
    CReplaceFile out(path);
    if (!out.Open(error)) return false;
    auto state = std::make_unique<JpegEncodeState>();
    state->file = out.File();
    state->cinfo.err = jpeg_std_error(&state->err.mgr);
    state->err.mgr.error_exit = JpegErrorExit;
    state->err.mgr.emit_message = JpegSilent;
    const int result = RunJpegEncode(state.get(), &image, quality);
    if (state->created) jpeg_destroy_compress(&state->cinfo);
    if (result != 0) {
        error = "cannot write \"" + path + "\" (" + state->err.message + ")";
        return false;  // the partial file goes with `out`
    }
    return out.Commit(error);
}
