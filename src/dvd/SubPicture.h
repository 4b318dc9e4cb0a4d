// CSubPicture: one text subtitle of up to four lines as one DVD sub-picture unit. The
// lines are drawn with a closed outline into a 720-pixel-wide bitmap, the bitmap is
// reduced to 2-bit pixels (transparent, outline, text), the lower part of the frame is
// run-length coded field by field, and two display control sequences show the unit at
// its time and hide it after its duration.
//
// Use: Clear(lines); DrawLine for each line; Rasterise; Encode; copy Unit() out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CSubFont;

class CSubPicture {
public:
    static constexpr int width = 720;
    static constexpr int maxHeight = 576;
    static constexpr int maxLines = 4;
    static constexpr int lineHeight = 32;
    static constexpr int firstCodedRow = 317;  // the coded area runs from here to the bottom
    static constexpr int maxUnitBytes = 53220;  // a unit this size or larger is refused
    // Pixel values of the reduced picture.
    static constexpr uint8_t background = 0, outline = 1, text = 2;

    // A unit for `font` (which must outlive it), shown for `durationTicks` (90 kHz; a
    // negative duration: never hidden), on an NTSC (480 lines) or PAL (576) frame.
    CSubPicture(CSubFont& font, int32_t durationTicks, bool ntsc, bool forced = false);

    // Empties the bitmap and places the text block for `lineCount` lines: 4 -> y 325,
    // 3 -> 357, 2 -> 389, 1 -> 421 (the block grows upwards from a fixed bottom); other
    // counts keep the previous top.
    void Clear(int lineCount);
    // Draws line `index` (0..3) centred, or from x = 0 when it is wider than the frame,
    // in the text colour inside a one-to-two-pixel outline.
    void DrawLine(int index, const std::string& utf8);
    // Reduces the bitmap's text block, down to the outline under the last line's
    // descenders, to pixel values.
    void Rasterise();
    // Sets one pixel of the reduced picture to `value` (0..3), for pictures that are not
    // only text; coordinates outside the frame are ignored.
    void SetPixel(int x, int y, uint8_t value);
    // Builds the unit; returns its size in bytes, or -1 when it would reach
    // maxUnitBytes.
    int Encode();

    // The encoded unit (valid after a successful Encode).
    const uint8_t* Unit() const { return spu.data(); }
    // The reduced picture, one byte per pixel, `width` wide and Height() rows.
    const std::vector<uint8_t>& Pixels() const { return pixels; }
    int Height() const { return height; }
    int Top() const { return top; }
    int LinesDrawn() const { return linesDrawn; }

    // The stop delay of a unit shown for `durationTicks`: whole frames less one beyond
    // ten, in the 1024-tick units of a display control sequence.
    static int StopDelay(int32_t durationTicks, bool ntsc);

private:
    // The nibble writer over `spu`; a write past the buffer sets `overflow`.
    void PutNibble(unsigned v);
    void PutByte(unsigned v);
    void PutBe16At(int at, unsigned v);
    void AlignToByte();
    void EncodeRow(int row);
    void PutRun(int length, uint8_t value, bool last);
    void PutControlSequences(int bottomField);

    CSubFont& font;
    int32_t duration;
    bool ntsc;
    bool forced;
    int height;
    int top = 325;
    int linesDrawn = 0;
    std::vector<uint8_t> bitmap;  // 0 white, 1 black, any other value: text colour
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> spu;
    int at = 0;  // byte the next nibble goes into
    bool lowNibble = false;  // the next nibble goes into the low half
    bool overflow = false;
};
