#include "picture/GifDecoder.h"

#include "picture/ImageFile.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

// A cursor over the file's bytes that never reads past the end.
class CByteReader {
public:
    CByteReader(const uint8_t* data_, size_t size_) : data(data_), size(size_) {}

    bool Byte(uint8_t& value)
    {
        if (pos >= size) return false;
        value = data[pos++];
        return true;
    }
    bool Le16(int& value)
    {
        if (size - pos < 2) return false;
        value = data[pos] | data[pos + 1] << 8;
        pos += 2;
        return true;
    }
    // Points `at` to the next `count` bytes and steps over them.
    bool Take(size_t count, const uint8_t*& at)
    {
        if (count > size - pos) return false;
        at = data + pos;
        pos += count;
        return true;
    }
    // Appends the data of a chain of sub-blocks (a length byte, then that many bytes,
    // ending with a zero length) to `into`, or skips them when `into` is null. False
    // when the file ends inside the chain; what was there is kept.
    bool SubBlocks(std::vector<uint8_t>* into)
    {
        for (uint8_t length = 0;;) {
            if (!Byte(length)) return false;
            if (length == 0) return true;
            const size_t have = std::min<size_t>(length, size - pos);
            if (into) into->insert(into->end(), data + pos, data + pos + have);
            pos += have;
            if (have < length) return false;
        }
    }

private:
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
};

// The variable-length LZW codes of a picture's data, lowest bit first.
class CCodeReader {
public:
    explicit CCodeReader(const std::vector<uint8_t>& bytes_) : bytes(bytes_) {}

    // The next code of `bits` bits, or -1 when the data has run out.
    int Next(int bits)
    {
        while (held < bits) {
            if (pos >= bytes.size()) return -1;
            buffer |= uint32_t(bytes[pos++]) << held;
            held += 8;
        }
        const int code = int(buffer & ((1u << bits) - 1));
        buffer >>= bits;
        held -= bits;
        return code;
    }

private:
    const std::vector<uint8_t>& bytes;
    size_t pos = 0;
    uint32_t buffer = 0;
    int held = 0;
};

constexpr int kMaxCodes = 4096;

// Expands the LZW data into colour indices, one per pixel in stored order, as many as
// `indices` holds; pixels the data does not reach stay as they were. Returns false
// with `reason` on a code that cannot occur in a sound file.
bool ExpandLzw(const std::vector<uint8_t>& data, int minCodeSize, std::vector<uint8_t>& indices, int& filled,
               std::string& reason)
{
    const int clear = 1 << minCodeSize;
    const int end = clear + 1;
    std::vector<uint16_t> prefix(kMaxCodes, 0);
    std::vector<uint8_t> suffix(kMaxCodes, 0);
    std::vector<uint8_t> stack(kMaxCodes + 1, 0);
    for (int i = 0; i < clear; ++i) suffix[size_t(i)] = uint8_t(i);
    CCodeReader reader(data);
    int codeSize = minCodeSize + 1;
    int next = end + 1;
    int previous = -1;
    uint8_t previousFirst = 0;
    const size_t total = indices.size();
    size_t at = 0;
    while (at < total) {
        const int code = reader.Next(codeSize);
        if (code < 0 || code == end) break;
        if (code == clear) {
            codeSize = minCodeSize + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code > next || (previous < 0 && code >= clear) || (code == next && previous < 0)) {
            reason = "damaged (a picture code that was never defined)";
            return false;
        }
        // The code's string, pushed last character first.
        size_t depth = 0;
        int walk = code;
        if (code == next) {
            stack[depth++] = previousFirst;
            walk = previous;
        }
        while (walk >= clear) {
            if (depth >= size_t(kMaxCodes)) {
                reason = "damaged (a picture code chain that does not end)";
                return false;
            }
            stack[depth++] = suffix[size_t(walk)];
            walk = prefix[size_t(walk)];
        }
        stack[depth++] = uint8_t(walk);
        const uint8_t first = uint8_t(walk);
        while (depth > 0 && at < total) indices[at++] = stack[--depth];
        if (previous >= 0 && next < kMaxCodes) {
            prefix[size_t(next)] = uint16_t(previous);
            suffix[size_t(next)] = first;
            ++next;
            if (next == 1 << codeSize && codeSize < 12) ++codeSize;
        }
        previous = code;
        previousFirst = first;
    }
    filled = int(at);
    return true;
}

// The stored line that holds picture line `n` of an interlaced picture of `height`
// lines: lines 0, 8, 16... come first, then 4, 12..., then 2, 6..., then the odd ones.
int InterlacedLine(int n, int height)
{
    const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto& pass : passes) {
        const int count = height > pass[0] ? (height - pass[0] + pass[1] - 1) / pass[1] : 0;
        if (n < count) return pass[0] + n * pass[1];
        n -= count;
    }
    return -1;
}

}  // namespace

bool CGifDecoder::Decode(const uint8_t* data, size_t size, int64_t maxPixels, CRgbImage& out, std::string& reason)
{
    out.Release();
    auto fail = [&](const std::string& why) {
        reason = why;
        out.Release();
        return false;
    };
    CByteReader in(data, size);
    const uint8_t* head = nullptr;
    if (!in.Take(6, head) || !std::equal(head, head + 3, "GIF")) return fail("not a picture");
    int screenWidth = 0, screenHeight = 0;
    uint8_t flags = 0, background = 0, aspect = 0;
    if (!in.Le16(screenWidth) || !in.Le16(screenHeight) || !in.Byte(flags) || !in.Byte(background) || !in.Byte(aspect))
        return fail("damaged (the file ends inside its header)");
    std::array<uint8_t, 256 * 3> globalColours{};
    int globalCount = 0;
    if (flags & 0x80) {
        globalCount = 2 << (flags & 7);
        const uint8_t* table = nullptr;
        if (!in.Take(size_t(globalCount) * 3, table)) return fail("damaged (the file ends inside its colour table)");
        std::copy(table, table + globalCount * 3, globalColours.begin());
    }

    int transparent = -1;
    for (;;) {
        uint8_t block = 0;
        if (!in.Byte(block)) return fail("damaged (the file ends before its first picture)");
        if (block == 0x3B) return fail("damaged (the file holds no picture)");
        if (block == 0x21) {
            uint8_t label = 0;
            if (!in.Byte(label)) return fail("damaged (the file ends before its first picture)");
            std::vector<uint8_t> body;
            if (!in.SubBlocks(&body)) return fail("damaged (the file ends before its first picture)");
            // Graphic control: flags, delay (2 bytes), transparent colour index.
            if (label == 0xF9 && body.size() >= 4) transparent = (body[0] & 1) ? body[3] : -1;
            continue;
        }
        if (block != 0x2C) return fail("damaged (an unknown block before the first picture)");
        break;
    }

    int left = 0, top = 0, width = 0, height = 0;
    uint8_t imageFlags = 0, minCodeSize = 0;
    if (!in.Le16(left) || !in.Le16(top) || !in.Le16(width) || !in.Le16(height) || !in.Byte(imageFlags))
        return fail("damaged (the file ends inside its first picture's header)");
    std::array<uint8_t, 256 * 3> colours = globalColours;
    int colourCount = globalCount;
    if (imageFlags & 0x80) {
        colourCount = 2 << (imageFlags & 7);
        const uint8_t* table = nullptr;
        if (!in.Take(size_t(colourCount) * 3, table)) return fail("damaged (the file ends inside its colour table)");
        std::copy(table, table + colourCount * 3, colours.begin());
    }
    if (colourCount == 0) return fail("damaged (no colour table)");
    if (!in.Byte(minCodeSize)) return fail("damaged (the file ends before its picture data)");
    if (minCodeSize < 2 || minCodeSize > 8)
        return fail("damaged (picture codes of " + std::to_string(minCodeSize) + " bits)");
    // The canvas is the logical screen, grown when the picture reaches past it.
    const int64_t canvasWidth = std::max<int64_t>(screenWidth, int64_t(left) + width);
    const int64_t canvasHeight = std::max<int64_t>(screenHeight, int64_t(top) + height);
    if (width == 0 || height == 0)
        return fail("damaged (a picture of " + std::to_string(width) + " x " + std::to_string(height) + " pixels)");
    if (canvasWidth * canvasHeight > maxPixels) return fail(CImageFile::TooLargeReason(canvasWidth, canvasHeight));

    std::vector<uint8_t> compressed;
    in.SubBlocks(&compressed);  // a cut-off chain keeps the pixels that arrived
    std::vector<uint8_t> indices(size_t(width) * size_t(height), 0);
    int filled = 0;
    if (!ExpandLzw(compressed, minCodeSize, indices, filled, reason)) return fail(reason);
    if (filled == 0) return fail("damaged (the first picture has no pixel data)");

    out.width = int32_t(canvasWidth);
    out.height = int32_t(canvasHeight);
    out.pixels.assign(size_t(canvasWidth) * size_t(canvasHeight) * 3, 0);
    const bool interlaced = imageFlags & 0x40;
    for (int n = 0; n < height; ++n) {
        const int line = interlaced ? InterlacedLine(n, height) : n;
        if (line < 0) continue;
        const size_t stored = size_t(n) * size_t(width);
        if (stored >= size_t(filled)) break;
        uint8_t* o = out.pixels.data() + ((size_t(top) + size_t(line)) * size_t(canvasWidth) + size_t(left)) * 3;
        for (int x = 0; x < width && stored + size_t(x) < size_t(filled); ++x, o += 3) {
            const int index = indices[stored + size_t(x)];
            if (index == transparent || index >= colourCount) continue;  // stays black
            std::copy_n(colours.begin() + index * 3, 3, o);
        }
    }
    return true;
}
