// CSubText: the cues of a text subtitle file: SubRip (.srt, .srt.txt), and WebVTT (.vtt)
// and ASS/SSA (.ass, .ssa) with their styling dropped (SubTextFormats.cpp). Each cue has a
// start and a duration in 90 kHz ticks and one to four lines of UTF-8 text. The file
// may be UTF-8 (with or without a byte-order mark) or Latin-1 (chosen by whether the
// bytes are valid UTF-8), with LF or CRLF line ends; <i>, <b>, <u> and <font> tags are
// removed. A cue whose time line is unreadable or ends before it starts is skipped;
// the cues after it are kept.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CSubText {
public:
    static constexpr int maxCues = 4091;
    static constexpr int maxLines = 4;
    static constexpr size_t maxCueBytes = 1024;
    static constexpr int64_t maxFileBytes = int64_t(16) << 20;

    struct SCue {
        uint32_t start = 0;  // 90 kHz
        uint32_t duration = 0;  // 90 kHz
        std::vector<std::string> lines;  // 1..4, UTF-8
    };

    enum class EFormat { SubRip, WebVtt, Ass };

    // Reads `path` in `format`. False, with Error() naming the file, when it cannot be
    // read, has no time line among its first 50 lines (SubRip), or gives no cue.
    bool Open(const std::string& path, EFormat format = EFormat::SubRip);
    // The format a file name says: .vtt WebVTT, .ass or .ssa ASS, anything else SubRip.
    static EFormat FormatOfName(const std::string& path);
    // Reads WebVTT text ("[hh:]mm:ss.ttt --> [hh:]mm:ss.ttt" cues, tags and cue
    // settings dropped) from `content`; `name` is used in Error().
    bool ParseWebVtt(const std::string& content, const std::string& name);
    // Reads the "Dialogue:" lines of ASS/SSA text (in time order; "\N" breaks a line,
    // "{...}" override blocks are dropped) from `content`.
    bool ParseAss(const std::string& content, const std::string& name);
    // Reads the cues from `content` as Open reads a file's bytes; `name` is used in
    // Error().
    bool Parse(const std::string& content, const std::string& name);

    // Takes cues read elsewhere (a text stream inside a media file), in time order, as
    // a file's cues are taken: lines cleaned, cues without time or text left out,
    // overlaps cut. False, with Error() naming `name`, when none is left.
    bool SetCues(const std::vector<SCue>& given, const std::string& name);

    const std::vector<SCue>& Cues() const { return cues; }
    const std::string& Error() const { return error; }

    // Reads "h:m:s,ms --> h:m:s,ms" (a full stop or colon may replace the comma) into
    // centiseconds; false when the line is not of that form.
    static bool ParseTimeLine(const std::string& line, int64_t& startCs, int64_t& endCs);
    // `bytes` as UTF-8: kept when they are valid UTF-8, otherwise read as Latin-1.
    static std::string ToUtf8(const std::string& bytes);
    // `line` without markup tags (<i>, </b>, <font ...>, {\...}) and outer white space.
    static std::string CleanLine(const std::string& line);

private:
    void AddCue(SCue cue);
    // Adds a cue of [startCs, endCs) centiseconds with `lines` (cleaned, empty ones
    // left out); false when it has no usable time or text.
    bool AddTimedCue(int64_t startCs, int64_t endCs, const std::vector<std::string>& lines);
    // `content` as UTF-8 lines without a byte-order mark or carriage returns.
    static std::vector<std::string> Lines(const std::string& content);
    bool Finish(const std::string& name);

    std::vector<SCue> cues;
    std::string error;
};
