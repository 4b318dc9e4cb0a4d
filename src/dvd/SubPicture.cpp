#include "dvd/SubPicture.h"

#include "dvd/SubFont.h"

#include <algorithm>
#include <cstring>

namespace {

// Bitmap values while drawing: white background, black outline, the text colour.
constexpr uint8_t kWhite = 0, kBlack = 1, kTextColour = 3;

// Display control commands.
constexpr uint8_t kForcedStartDisplay = 0x00, kStartDisplay = 0x01, kStopDisplay = 0x02, kSetColour = 0x03,
                  kSetContrast = 0x04, kSetArea = 0x05, kSetFieldOffsets = 0x06, kEndOfCommands = 0xFF;

}  // namespace

CSubPicture::CSubPicture(CSubFont& font_, int32_t durationTicks, bool ntsc_, bool forced_)
    : font(font_),
      duration(durationTicks),
      ntsc(ntsc_),
      forced(forced_),
      height(ntsc_ ? 480 : 576),
      bitmap(size_t(width) * maxHeight, kWhite),
      pixels(size_t(width) * maxHeight, 0),
      spu(size_t(maxUnitBytes), 0)
{}

void CSubPicture::Clear(int lineCount)
{
    std::fill(bitmap.begin(), bitmap.end(), kWhite);
    linesDrawn = 0;
    if (lineCount >= 1 && lineCount <= maxLines) top = 421 - lineHeight * (lineCount - 1);
}

void CSubPicture::DrawLine(int index, const std::string& utf8)
{
    if (index < 0 || index >= maxLines) return;
    const int y = top + lineHeight * index;
    const int w = font.TextWidth(utf8);
    const int x = w > width ? 0 : (width - w) / 2;
    for (int i = -1; i <= 2; ++i)
        for (int j = -1; j <= 2; ++j) font.Draw(bitmap.data(), width, maxHeight, x + i, y + j, utf8, kBlack);
    font.Draw(bitmap.data(), width, maxHeight, x, y, utf8, kTextColour);
    linesDrawn = std::max(linesDrawn, index + 1);
}

void CSubPicture::Rasterise()
{
    std::fill(pixels.begin(), pixels.end(), background);
    // The outline reaches two pixels below a line's cell: the last line's descenders
    // keep their lower edge.
    const int end = std::min(top + lineHeight * linesDrawn + 2, height);
    for (int row = std::max(0, top - 8); row < end; ++row) {
        const uint8_t* in = &bitmap[size_t(row) * width];
        uint8_t* out = &pixels[size_t(row) * width];
        for (int x = 0; x < width; ++x) out[x] = in[x] == kWhite ? background : in[x] == kBlack ? outline : text;
    }
}

void CSubPicture::SetPixel(int x, int y, uint8_t value)
{
    if (x >= 0 && x < width && y >= 0 && y < height) pixels[size_t(y) * width + size_t(x)] = uint8_t(value & 3);
}

int CSubPicture::StopDelay(int32_t durationTicks, bool ntscFrames)
{
    int64_t frames =
        ntscFrames ? int64_t(double(durationTicks) * 29.97 / 90000.0) : int64_t(durationTicks) * 25 / 90000;
    if (frames > 10) --frames;
    const int64_t ticks = frames * (ntscFrames ? 3003 : 3600);
    return int(std::min<int64_t>(ticks / 1024, 0xFFFF));
}

void CSubPicture::PutNibble(unsigned v)
{
    if (at >= int(spu.size())) {
        overflow = true;
        return;
    }
    if (lowNibble) {
        spu[size_t(at)] = uint8_t(spu[size_t(at)] | (v & 0xF));
        ++at;
    } else {
        spu[size_t(at)] = uint8_t((v & 0xF) << 4);
    }
    lowNibble = !lowNibble;
}

void CSubPicture::PutByte(unsigned v)
{
    PutNibble(v >> 4);
    PutNibble(v);
}

void CSubPicture::PutBe16At(int where, unsigned v)
{
    if (where + 1 >= int(spu.size())) {
        overflow = true;
        return;
    }
    spu[size_t(where)] = uint8_t(v >> 8);
    spu[size_t(where) + 1] = uint8_t(v);
}

void CSubPicture::AlignToByte()
{
    if (lowNibble) {
        ++at;
        lowNibble = false;
    }
}

// One run: 1-3 pixels in one nibble, 4-15 in two, 16-63 in three, 64-255 in four; the
// last run of a row, when longer than 63, is the end-of-line code (the rest of the row).
void CSubPicture::PutRun(int length, uint8_t value, bool last)
{
    if (last && length > 63) {
        for (int i = 0; i < 3; ++i) PutNibble(0);
        PutNibble(value);
        return;
    }
    while (length > 255) {
        PutRun(255, value, false);
        length -= 255;
    }
    const unsigned code = unsigned(length) * 4 + value;
    if (length >= 64) {
        PutNibble(0);
        PutNibble(code >> 8);
    } else if (length >= 16) {
        PutNibble(0);
    }
    if (length >= 4) PutNibble(code >> 4);
    PutNibble(code);
}

void CSubPicture::EncodeRow(int row)
{
    const uint8_t* p = &pixels[size_t(row) * width];
    int x = 0;
    while (x < width) {
        int run = 1;
        while (x + run < width && p[x + run] == p[x]) ++run;
        PutRun(run, p[x], x + run == width);
        x += run;
    }
    AlignToByte();
}

// The display control sequences after the pixel data: show the unit at its time with
// its colours, contrast, area and field offsets; hide it after its duration.
void CSubPicture::PutControlSequences(int bottomField)
{
    const int first = at;
    PutBe16At(2, unsigned(first));
    PutByte(0);  // delay 0
    PutByte(0);
    const int nextAt = at;
    PutByte(0);  // offset of the next sequence, filled below
    PutByte(0);
    PutByte(forced ? kForcedStartDisplay : kStartDisplay);
    PutByte(kSetColour);
    PutByte(0x30);
    PutByte(0x20);
    PutByte(kSetContrast);
    PutByte(0x0F);
    PutByte(0xF0);
    PutByte(kSetArea);
    const unsigned x1 = 0, x2 = width - 1, y1 = firstCodedRow, y2 = unsigned(height - 1);
    PutByte(x1 >> 4);
    PutByte((x1 & 0xF) << 4 | x2 >> 8);
    PutByte(x2);
    PutByte(y1 >> 4);
    PutByte((y1 & 0xF) << 4 | y2 >> 8);
    PutByte(y2);
    PutByte(kSetFieldOffsets);
    PutByte(0);
    PutByte(4);
    PutByte(unsigned(bottomField) >> 8);
    PutByte(unsigned(bottomField));
    PutByte(kEndOfCommands);
    if (duration < 0) {
        PutBe16At(nextAt, unsigned(first));
    } else {
        const int second = at;
        PutBe16At(nextAt, unsigned(second));
        const unsigned delay = unsigned(StopDelay(duration, ntsc));
        PutByte(delay >> 8);
        PutByte(delay);
        PutByte(unsigned(second) >> 8);
        PutByte(unsigned(second));
        PutByte(kStopDisplay);
        PutByte(kEndOfCommands);
    }
}

int CSubPicture::Encode()
{
    std::fill(spu.begin(), spu.end(), 0);
    at = 4;
    lowNibble = false;
    overflow = false;
    for (int row = firstCodedRow; row < height; row += 2) EncodeRow(row);
    const int bottomField = at;
    for (int row = firstCodedRow + 1; row < height; row += 2) EncodeRow(row);

    PutControlSequences(bottomField);
    if (lowNibble) {
        PutNibble(0xF);
    } else if (at % 2 != 0) {
        PutByte(0xFF);
    }
    const int size = at;
    if (overflow || size >= maxUnitBytes) return -1;
    PutBe16At(0, unsigned(size));
    return size;
}
