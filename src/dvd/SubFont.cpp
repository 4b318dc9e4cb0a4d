#include "dvd/SubFont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

struct CSubFont::SFace {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    int ascent = 0;  // pixels from a line's top to its baseline
    ~SFace()
    {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

CSubFont::CSubFont() = default;
CSubFont::~CSubFont() = default;

bool CSubFont::IsOpen() const { return face && face->face; }

namespace {

// The file fontconfig picks for `family`, or empty when it finds none.
std::string MatchFontFile(const std::string& family, std::string& matchedFamily)
{
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return {};
    std::string file;
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (pattern) {
        FcPatternAddInteger(pattern, FC_WEIGHT, FC_WEIGHT_REGULAR);
        FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        if (match) {
            FcChar8* path = nullptr;
            FcChar8* name = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                file = reinterpret_cast<const char*>(path);
            if (FcPatternGetString(match, FC_FAMILY, 0, &name) == FcResultMatch && name)
                matchedFamily = reinterpret_cast<const char*>(name);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
    }
    FcConfigDestroy(config);
    return file;
}

}  // namespace

bool CSubFont::Open(const std::string& family)
{
    face.reset();
    error.clear();
    std::string matchedFamily;
    fontFile = MatchFontFile(family, matchedFamily);
    if (fontFile.empty()) {
        error = "font \"" + family + "\": fontconfig finds no font for subtitles (install fonts-liberation)";
        return false;
    }
    auto made = std::make_unique<SFace>();
    if (FT_Init_FreeType(&made->library) != 0) {
        error = fontFile + ": FreeType cannot be started";
        return false;
    }
    if (FT_New_Face(made->library, fontFile.c_str(), 0, &made->face) != 0 || !FT_IS_SCALABLE(made->face)) {
        error = fontFile + ": not a scalable font FreeType can read (font \"" + family + "\")";
        return false;
    }
    // A line is 32 pixels from the top of the tallest letter to the bottom of the
    // lowest descender, as the screen font's cell height is meant.
    FT_Size_RequestRec request{};
    request.type = FT_SIZE_REQUEST_TYPE_CELL;
    request.height = lineHeight * 64;
    if (FT_Request_Size(made->face, &request) != 0) {
        error = fontFile + ": cannot be sized to " + std::to_string(lineHeight) + " pixels";
        return false;
    }
    const FT_Face f = made->face;
    made->ascent = int(FT_MulFix(f->ascender, f->size->metrics.y_scale) + 32) >> 6;
    face = std::move(made);
    return true;
}

std::u32string CSubFont::Decode(const std::string& text)
{
    std::u32string out;
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned c = s[i];
        const int extra = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 && c < 0xF0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : 0;
        char32_t cp = c & (0x3Fu >> extra);
        bool valid = extra > 0 && i + size_t(extra) < n;
        for (int k = 1; valid && k <= extra; ++k) {
            const unsigned b = s[i + size_t(k)];
            valid = (b & 0xC0) == 0x80;
            cp = cp << 6 | (b & 0x3F);
        }
        valid = valid && cp <= 0x10FFFF && !(extra == 2 && cp < 0x800) && !(extra == 3 && cp < 0x10000);
        if (valid) {
            out.push_back(cp);
            i += size_t(extra) + 1;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

int CSubFont::TextWidth(const std::string& text)
{
    if (!IsOpen()) return 0;
    int width = 0;
    for (char32_t cp : Decode(text)) {
        if (FT_Load_Char(face->face, cp, FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) != 0) continue;
        width += int(face->face->glyph->advance.x + 32) >> 6;
    }
    return width;
}

void CSubFont::Draw(uint8_t* pixels, int width, int height, int x, int y, const std::string& text, uint8_t value)
{
    if (!IsOpen()) return;
    FT_Face f = face->face;
    int penX = x;
    const int baseline = y + face->ascent;
    for (char32_t cp : Decode(text)) {
        if (FT_Load_Char(f, cp, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) continue;
        const FT_GlyphSlot g = f->glyph;
        const FT_Bitmap& b = g->bitmap;
        const int left = penX + g->bitmap_left, top = baseline - g->bitmap_top;
        for (int row = 0; row < int(b.rows); ++row) {
            const int py = top + row;
            if (py < 0 || py >= height) continue;
            const unsigned char* line = b.buffer + row * b.pitch;
            for (int col = 0; col < int(b.width); ++col) {
                const int px = left + col;
                if (px < 0 || px >= width) continue;
                const bool on =
                    b.pixel_mode == FT_PIXEL_MODE_MONO ? (line[col >> 3] >> (7 - (col & 7))) & 1 : line[col] >= 128;
                if (on) pixels[size_t(py) * size_t(width) + size_t(px)] = value;
            }
        }
        penX += int(g->advance.x + 32) >> 6;
    }
}
