#include "dvd/SubText.h"

#include "base/InputFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// The time-line scanner: numbers as "%d" reads them (white space, sign, digits).
struct SScan {
    const std::string& s;
    size_t i = 0;

    bool Number(int64_t& v)
    {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        bool negative = false;
        if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
        const size_t first = i;
        v = 0;
        while (i < s.size() && std::isdigit(static_cast<unsigned char>(s[i]))) {
            if (v < 100000000000LL) v = v * 10 + (s[i] - '0');
            ++i;
        }
        if (negative) v = -v;
        return i > first;
    }
    bool Char(char c)
    {
        if (i < s.size() && s[i] == c) {
            ++i;
            return true;
        }
        return false;
    }
    bool Separator()
    {
        const size_t first = i;
        while (i < s.size() && (s[i] == ',' || s[i] == '.' || s[i] == ':')) ++i;
        return i > first;
    }
    bool Arrow()
    {
        while (i < s.size() && std::isspace(static_cast<unsigned char>(s[i]))) ++i;
        return Char('-') && Char('-') && Char('>');
    }
    // h:m:s<sep>ms as centiseconds.
    bool Time(int64_t& cs)
    {
        int64_t h = 0, m = 0, sec = 0, ms = 0;
        if (!Number(h) || !Char(':') || !Number(m) || !Char(':') || !Number(sec) || !Separator() || !Number(ms))
            return false;
        cs = (h * 3600 + m * 60 + sec) * 100 + ms / 10;
        return h >= 0 && m >= 0 && sec >= 0 && ms >= 0;
    }
};

bool ValidUtf8(const std::string& s)
{
    size_t i = 0;
    while (i < s.size()) {
        const unsigned c = static_cast<unsigned char>(s[i]);
        const int extra = c < 0x80  ? 0
            : c >= 0xC2 && c < 0xE0 ? 1
            : c >= 0xE0 && c < 0xF0 ? 2
            : c >= 0xF0 && c < 0xF5 ? 3
                                    : -1;
        if (extra < 0 || i + size_t(extra) >= s.size() + (extra == 0 ? 1 : 0)) return false;
        for (int k = 1; k <= extra; ++k)
            if ((static_cast<unsigned char>(s[i + size_t(k)]) & 0xC0) != 0x80) return false;
        i += size_t(extra) + 1;
    }
    return true;
}

// The longest time a cue may be given: its ticks must fit the 32-bit start of a unit.
constexpr int64_t kMaxCentiseconds = int64_t(0x9A7EC800u) / 900;

}  // namespace

bool CSubText::ParseTimeLine(const std::string& line, int64_t& startCs, int64_t& endCs)
{
    SScan scan{line};
    return scan.Time(startCs) && scan.Arrow() && scan.Time(endCs);
}

std::string CSubText::ToUtf8(const std::string& bytes)
{
    if (ValidUtf8(bytes)) return bytes;
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        const unsigned c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out.push_back(ch);
        } else {
            out.push_back(char(0xC0 | c >> 6));
            out.push_back(char(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string CSubText::CleanLine(const std::string& line)
{
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '<' || c == '{') {
            const char close = c == '<' ? '>' : '}';
            const size_t end = line.find(close, i);
            std::string tag = end == std::string::npos ? "" : line.substr(i + 1, end - i - 1);
            std::transform(tag.begin(), tag.end(), tag.begin(), [](unsigned char t) { return char(std::tolower(t)); });
            if (!tag.empty() && tag[0] == '/') tag.erase(0, 1);
            const bool markup = c == '{'
                ? !tag.empty() && tag[0] == '\\'
                : tag == "i" || tag == "b" || tag == "u" || tag == "s" || tag.rfind("font", 0) == 0;
            if (markup) {
                i = end;
                continue;
            }
        }
        out.push_back(c == '\t' ? ' ' : c);
    }
    const size_t first = out.find_first_not_of(" \t\r\n\f\v");
    if (first == std::string::npos) return {};
    const size_t last = out.find_last_not_of(" \t\r\n\f\v");
    return out.substr(first, last - first + 1);
}

bool CSubText::Open(const std::string& path, EFormat format)
{
    std::string content;
    if (!ReadInputFile(path, maxFileBytes, content, error)) return false;
    if (format == EFormat::WebVtt) return ParseWebVtt(content, path);
    if (format == EFormat::Ass) return ParseAss(content, path);
    return Parse(content, path);
}

std::vector<std::string> CSubText::Lines(const std::string& raw)
{
    const std::string content = ToUtf8(raw.compare(0, 3, "\xEF\xBB\xBF") == 0 ? raw.substr(3) : raw);
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < content.size()) {
        size_t end = content.find('\n', from);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(from, end - from);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        from = end + 1;
    }
    return lines;
}

bool CSubText::AddTimedCue(int64_t startCs, int64_t endCs, const std::vector<std::string>& lines)
{
    if (startCs < 0 || startCs >= endCs || endCs > kMaxCentiseconds) return false;
    SCue cue;
    size_t bytes = 0;
    for (const std::string& line : lines) {
        const std::string text = CleanLine(line);
        if (text.empty() || bytes + text.size() + 2 > maxCueBytes || int(cue.lines.size()) >= maxLines) continue;
        bytes += text.size() + 2;
        cue.lines.push_back(text);
    }
    if (cue.lines.empty()) return false;
    cue.start = uint32_t(startCs * 900);
    cue.duration = uint32_t((endCs - startCs) * 900);
    AddCue(std::move(cue));
    return true;
}

bool CSubText::SetCues(const std::vector<SCue>& given, const std::string& name)
{
    cues.clear();
    error.clear();
    for (const SCue& cue : given)
        AddTimedCue(int64_t(cue.start) / 900, (int64_t(cue.start) + cue.duration) / 900, cue.lines);
    return Finish(name);
}

bool CSubText::Finish(const std::string& name)
{
    if (!cues.empty()) return true;
    error = name + ": no subtitle in the file has both a valid time and text";
    return false;
}

void CSubText::AddCue(SCue cue)
{
    if (int(cues.size()) >= maxCues) return;
    if (!cues.empty()) {
        const SCue& p = cues.back();
        const uint32_t end = cue.start + cue.duration, previousEnd = p.start + p.duration;
        if (end <= previousEnd) return;  // wholly inside the previous cue's time
        if (cue.start < previousEnd) {
            cue.duration = end - previousEnd;
            cue.start = previousEnd;
        }
    }
    cues.push_back(std::move(cue));
}

bool CSubText::Parse(const std::string& raw, const std::string& name)
{
    cues.clear();
    error.clear();
    const std::vector<std::string> lines = Lines(raw);
    bool timed = false;
    int64_t s = 0, e = 0;
    for (size_t i = 0; i < lines.size() && i < 50 && !timed; ++i) timed = ParseTimeLine(lines[i], s, e);
    if (!timed) {
        error = name +
            ": not a SubRip subtitle file (no \"00:00:01,000 --> 00:00:02,000\" time line in its first 50 "
            "lines)";
        return false;
    }
    size_t i = 0;
    while (i < lines.size()) {
        if (!ParseTimeLine(lines[i++], s, e)) continue;
        // Up to four text lines, to the first blank one. A cue that ends before it
        // starts is a typo: it is left out, the rest kept.
        std::vector<std::string> text;
        while (i < lines.size() && int(text.size()) < maxLines &&
               lines[i].find_first_not_of(" \t\f\v") != std::string::npos)
            text.push_back(lines[i++]);
        AddTimedCue(s, e, text);
    }
    return Finish(name);
}
