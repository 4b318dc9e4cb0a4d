// CSubFont: the typeface subtitles are drawn in. The screen font "Arial" is found
// through fontconfig (a metric-compatible sans such as Liberation Sans stands in for it)
// and sized so that one text line is 32 pixels high, ascent and descent together.
// Glyphs are drawn without anti-aliasing: a sub-picture has only four colours, and a
// grey edge pixel would become a pixel of the text colour.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

class CSubFont {
public:
    static constexpr int lineHeight = 32;

    CSubFont();
    ~CSubFont();
    CSubFont(const CSubFont&) = delete;
    CSubFont& operator=(const CSubFont&) = delete;

    // Finds `family` through fontconfig and loads it. Returns false, with Error()
    // saying which font could not be found or read, when there is no usable match.
    bool Open(const std::string& family = "Arial");
    bool IsOpen() const;
    // The file the font was loaded from.
    const std::string& FontFile() const { return fontFile; }
    const std::string& Error() const { return error; }

    // Width in pixels of the UTF-8 `text` drawn in this font.
    int TextWidth(const std::string& text);
    // Draws the UTF-8 `text` with its line's top at (x, y) into the `width` x `height`
    // byte bitmap `pixels`, setting every covered pixel to `value`; what falls outside
    // the bitmap is clipped.
    void Draw(uint8_t* pixels, int width, int height, int x, int y, const std::string& text, uint8_t value);

    // The code points of UTF-8 `text`; a byte that does not start a valid sequence
    // stands for itself (Latin-1).
    static std::u32string Decode(const std::string& text);

private:
    struct SFace;
    std::unique_ptr<SFace> face;
    std::string fontFile;
    std::string error;
};
