// SubRip text of any content, read as a subtitle file, and its first cues drawn into
// sub-picture units.
// Checked for every input: a file that reads gives 1 to 4091 cues, each of 1 to 4
// non-empty lines of valid UTF-8 with a positive duration, in time order without
// overlaps; a drawn unit is refused (-1) or is of even size below the limit with its
// size and its first control sequence's offset in its header.
#include <memory>
#include <string>

#include "MemoryFile.h"
#include "dvd/SubFont.h"
#include "dvd/SubPicture.h"
#include "dvd/SubText.h"

namespace {

// The font is loaded once for the whole run: fontconfig's start takes long.
CSubFont* Font()
{
    static std::unique_ptr<CSubFont> font = [] {
        auto f = std::make_unique<CSubFont>();
        FUZZ_CHECK(f->Open("Arial"));
        return f;
    }();
    return font.get();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMemoryFile file(data, size);
    CSubText text;
    if (!text.Open(file.Path())) {
        FUZZ_CHECK(!text.Error().empty());
        return 0;
    }
    const auto& cues = text.Cues();
    FUZZ_CHECK(!cues.empty() && int(cues.size()) <= CSubText::maxCues);
    uint64_t previousEnd = 0;
    for (const CSubText::SCue& cue : cues) {
        FUZZ_CHECK(cue.duration > 0);
        FUZZ_CHECK(cue.start >= previousEnd);
        previousEnd = uint64_t(cue.start) + cue.duration;
        FUZZ_CHECK(!cue.lines.empty() && int(cue.lines.size()) <= CSubText::maxLines);
        for (const std::string& line : cue.lines) {
            FUZZ_CHECK(!line.empty());
            FUZZ_CHECK(CSubText::ToUtf8(line) == line);
        }
    }
    for (size_t i = 0; i < cues.size() && i < 2; ++i) {
        CSubPicture picture(*Font(), int32_t(cues[i].duration), i == 0);
        picture.Clear(int(cues[i].lines.size()));
        for (size_t k = 0; k < cues[i].lines.size(); ++k) picture.DrawLine(int(k), cues[i].lines[k]);
        picture.Rasterise();
        const int bytes = picture.Encode();
        if (bytes < 0) continue;
        FUZZ_CHECK(bytes % 2 == 0 && bytes < CSubPicture::maxUnitBytes);
        const uint8_t* unit = picture.Unit();
        FUZZ_CHECK((unit[0] << 8 | unit[1]) == bytes);
        FUZZ_CHECK((unit[2] << 8 | unit[3]) < bytes);
    }
    return 0;
}
