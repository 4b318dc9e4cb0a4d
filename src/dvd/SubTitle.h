// CSubTitle: the subtitle source of one title. It reads a text subtitle file (SubRip,
// WebVTT or ASS/SSA, CSubText; each cue drawn into a sub-picture unit by CSubPicture) or a VobSub pair
// (.sub with its .idx, CSubSUB; units copied unchanged) and hands the multiplexer one
// unit at a time with its start time. A time offset moves every start: a title made
// from a range of its file starting at S seconds has the offset -S x 90000, and cues
// that end before S are left out (a cue running across S is shown from the start).
#pragma once

#include "dvd/SubFont.h"
#include "dvd/SubPictureSource.h"
#include "dvd/SubSUB.h"
#include "dvd/SubText.h"

#include <cstdint>
#include <string>
#include <vector>

class CSubTitle : public CSubPictureSource {
public:
    static constexpr uint32_t noUnit = 0x9A7EC800u;
    enum class EKind { None, Text, VobSub, Units };

    // A ready-made sub-picture unit with its start (90 kHz).
    struct SReadyUnit {
        uint32_t start = 0;
        std::vector<uint8_t> bytes;
    };

    // Reads `path`: as VobSub when its name ends ".sub" (any case), as WebVTT for
    // ".vtt", ASS for ".ass"/".ssa", else as SubRip text. `ntsc` chooses the 480-line frame for drawn units; `offset` (90 kHz) is
    // added to every start. False, with Error() naming the file and the problem, when
    // the file cannot be read, holds no subtitle, or (text) no font is found.
    bool Open(const std::string& path, bool ntsc, int64_t offset);

    // Takes text cues read from a stream inside a media file (`name` says which, for
    // messages): drawn as a text file's cues are. False when none can be shown or no
    // font is found.
    bool OpenCues(const std::vector<CSubText::SCue>& cues, const std::string& name, bool ntsc, int64_t offset);
    // Takes DVD sub-picture units read from a stream inside a media file, copied as
    // VobSub units are. False when there is none.
    bool OpenUnits(std::vector<SReadyUnit> units, const std::string& name, int64_t offset);

    // The next unit into `buffer` (at most maxBytes); moves on to the one after. Returns
    // its size, 0 when nothing was made (no unit left, or one too large to send).
    int NextUnit(uint8_t* buffer, int maxBytes);
    // The next unit's start time with the offset added; noUnit when none is left.
    uint32_t NextStart() const;

    // CSubPictureSource.
    uint32_t NextUnitTime() override { return NextStart(); }
    int ReadUnit(uint8_t* buffer, int maxBytes) override { return NextUnit(buffer, maxBytes); }

    EKind Kind() const { return kind; }
    // The number of units the title can show (after the offset's cut).
    int UnitCount() const;
    // The VobSub palette as PGC colours (0x00YYCrCb); false for text subtitles or an
    // index without a palette.
    bool PgcColours(uint32_t* colours) const;
    const std::string& Error() const { return error; }
    // Replaces the reason given by Error() (for a source read elsewhere that failed).
    void SetError(const std::string& reason) { error = reason; }
    // Whether the last Open failed for want of a font rather than because of the file.
    bool FontFailed() const { return fontFailed; }

    // The file name says VobSub: it ends ".sub" in any case.
    static bool IsVobSubName(const std::string& path);

private:
    // Forgets the last source: no units, none read, no error.
    void Reset(bool ntscFrame, int64_t timeOffset);
    // Opens the font text cues are drawn in; false with Error() naming `name`.
    bool OpenFont(const std::string& name);
    void SkipEarlyUnits();

    EKind kind = EKind::None;
    bool ntsc = true;
    int64_t offset = 0;
    int next = 0;
    bool fontFailed = false;
    CSubText text;
    CSubSUB vobSub;
    CSubFont font;
    std::vector<SReadyUnit> ready;
    std::string error;
};
