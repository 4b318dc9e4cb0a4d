// WebVTT and ASS/SSA text of any content, read as both formats.
// Checked for every input: whatever reads gives 1 to 4091 cues in time order without
// overlaps, each with a positive duration and 1 to 4 non-empty lines of valid UTF-8; a
// refusal says why.
#include <string>

#include "FuzzCheck.h"
#include "dvd/SubText.h"

namespace {

void CheckCues(const CSubText& text, bool read)
{
    if (!read) {
        FUZZ_CHECK(!text.Error().empty());
        return;
    }
    FUZZ_CHECK(!text.Cues().empty() && int(text.Cues().size()) <= CSubText::maxCues);
    uint64_t previousEnd = 0;
    for (const CSubText::SCue& cue : text.Cues()) {
        FUZZ_CHECK(cue.duration > 0 && cue.start >= previousEnd);
        previousEnd = uint64_t(cue.start) + cue.duration;
        FUZZ_CHECK(!cue.lines.empty() && int(cue.lines.size()) <= CSubText::maxLines);
        for (const std::string& line : cue.lines) FUZZ_CHECK(!line.empty() && CSubText::ToUtf8(line) == line);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string content(reinterpret_cast<const char*>(data), size);
    CSubText vtt, ass;
    CheckCues(vtt, vtt.ParseWebVtt(content, "fuzz.vtt"));
    CheckCues(ass, ass.ParseAss(content, "fuzz.ass"));
    return 0;
}
