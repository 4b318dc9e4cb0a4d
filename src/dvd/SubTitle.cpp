#include "dvd/SubTitle.h"

#include "dvd/SubPicture.h"

#include <algorithm>
#include <cctype>
#include <cstring>

bool CSubTitle::IsVobSubName(const std::string& path)
{
    if (path.size() < 4) return false;
    std::string tail = path.substr(path.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return tail == ".sub";
}

void CSubTitle::Reset(bool ntscFrame, int64_t timeOffset)
{
    ntsc = ntscFrame;
    offset = timeOffset;
    next = 0;
    error.clear();
    fontFailed = false;
    kind = EKind::None;
}

bool CSubTitle::OpenFont(const std::string& name)
{
    if (font.Open("Arial")) return true;
    error = name + ": the subtitles cannot be drawn: " + font.Error();
    fontFailed = true;
    return false;
}

bool CSubTitle::Open(const std::string& path, bool ntscFrame, int64_t timeOffset)
{
    Reset(ntscFrame, timeOffset);
    if (IsVobSubName(path)) {
        if (!vobSub.Open(path)) {
            error = vobSub.Error();
            return false;
        }
        kind = EKind::VobSub;
    } else {
        if (!text.Open(path, CSubText::FormatOfName(path))) {
            error = text.Error();
            return false;
        }
        if (!OpenFont(path)) return false;
        kind = EKind::Text;
    }
    SkipEarlyUnits();
    return true;
}

bool CSubTitle::OpenCues(const std::vector<CSubText::SCue>& cues, const std::string& name, bool ntscFrame,
                         int64_t timeOffset)
{
    Reset(ntscFrame, timeOffset);
    if (!text.SetCues(cues, name)) {
        error = text.Error();
        return false;
    }
    if (!OpenFont(name)) return false;
    kind = EKind::Text;
    SkipEarlyUnits();
    return true;
}

bool CSubTitle::OpenUnits(std::vector<SReadyUnit> units, const std::string& name, int64_t timeOffset)
{
    Reset(ntsc, timeOffset);
    ready = std::move(units);
    if (ready.empty()) {
        error = name + ": holds no sub-picture unit";
        return false;
    }
    kind = EKind::Units;
    SkipEarlyUnits();
    return true;
}

// Passes over the units the offset moves wholly before the title's start: text cues
// that end by then, VobSub units that start before it (their end is inside the unit).
void CSubTitle::SkipEarlyUnits()
{
    if (kind == EKind::Text) {
        const auto& cues = text.Cues();
        while (next < int(cues.size()) && int64_t(cues[size_t(next)].start) + cues[size_t(next)].duration + offset <= 0)
            ++next;
    } else if (kind == EKind::VobSub) {
        const auto& entries = vobSub.Entries();
        while (next < int(entries.size()) && int64_t(entries[size_t(next)].start) + offset < 0) ++next;
    } else if (kind == EKind::Units) {
        while (next < int(ready.size()) && int64_t(ready[size_t(next)].start) + offset < 0) ++next;
    }
}

int CSubTitle::UnitCount() const
{
    const int total = kind == EKind::Text ? int(text.Cues().size())
        : kind == EKind::VobSub           ? int(vobSub.Entries().size())
        : kind == EKind::Units            ? int(ready.size())
                                          : 0;
    return std::max(0, total - next);
}

uint32_t CSubTitle::NextStart() const
{
    int64_t start = -1;
    if (kind == EKind::Text && next < int(text.Cues().size())) start = text.Cues()[size_t(next)].start;
    if (kind == EKind::VobSub && next < int(vobSub.Entries().size())) start = vobSub.Entries()[size_t(next)].start;
    if (kind == EKind::Units && next < int(ready.size())) start = ready[size_t(next)].start;
    if (start < 0) return noUnit;
    const int64_t moved = std::max<int64_t>(0, start + offset);
    return moved >= int64_t(noUnit) ? noUnit : uint32_t(moved);
}

int CSubTitle::NextUnit(uint8_t* buffer, int maxBytes)
{
    if (kind == EKind::VobSub) {
        if (next >= int(vobSub.Entries().size())) return 0;
        return vobSub.ReadUnit(next++, buffer, maxBytes);
    }
    if (kind == EKind::Units) {
        if (next >= int(ready.size())) return 0;
        const std::vector<uint8_t>& bytes = ready[size_t(next++)].bytes;
        if (int(bytes.size()) > maxBytes) return 0;
        std::memcpy(buffer, bytes.data(), bytes.size());
        return int(bytes.size());
    }
    if (kind != EKind::Text || next >= int(text.Cues().size())) return 0;
    const CSubText::SCue& cue = text.Cues()[size_t(next++)];
    // A cue running across the title's start is shown from the start for what is left.
    const int64_t start = int64_t(cue.start) + offset;
    const int64_t duration = start < 0 ? int64_t(cue.duration) + start : int64_t(cue.duration);
    CSubPicture picture(font, int32_t(std::min<int64_t>(duration, INT32_MAX)), ntsc);
    const int lines = std::min(int(cue.lines.size()), CSubPicture::maxLines);
    picture.Clear(lines);
    for (int k = 0; k < lines; ++k) picture.DrawLine(k, cue.lines[size_t(k)]);
    picture.Rasterise();
    const int size = picture.Encode();
    if (size <= 0 || size > maxBytes) return 0;
    std::memcpy(buffer, picture.Unit(), size_t(size));
    return size;
}

bool CSubTitle::PgcColours(uint32_t* colours) const
{
    if (kind != EKind::VobSub || !vobSub.HasPalette()) return false;
    vobSub.PgcColours(colours);
    return true;
}
