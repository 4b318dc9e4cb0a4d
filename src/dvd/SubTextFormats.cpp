// CSubText: the WebVTT and ASS/SSA readers. Both give the same cues as SubRip: times in
// centiseconds, up to four lines of plain text, styling and positions dropped.
#include "dvd/SubText.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

// Digits at `i` as a number (at most nine of them); false when there are none.
bool Digits(const std::string& s, size_t& i, int64_t& value, size_t maxDigits = 9)
{
    const size_t first = i;
    value = 0;
    while (i < s.size() && i - first < maxDigits && std::isdigit(static_cast<unsigned char>(s[i])))
        value = value * 10 + (s[i++] - '0');
    return i > first;
}

// A WebVTT time "[hh:]mm:ss.ttt" at `i`, in centiseconds.
bool VttTime(const std::string& s, size_t& i, int64_t& cs)
{
    int64_t parts[3] = {};
    int count = 0;
    while (count < 3) {
        if (!Digits(s, i, parts[count])) return false;
        ++count;
        if (i >= s.size() || s[i] != ':') break;
        ++i;
    }
    int64_t ms = 0;
    if (count < 2 || i >= s.size() || s[i] != '.' || !Digits(s, ++i, ms, 3)) return false;
    const int64_t h = count == 3 ? parts[0] : 0, m = parts[count - 2], sec = parts[count - 1];
    cs = (h * 3600 + m * 60 + sec) * 100 + ms / 10;
    return true;
}

// An ASS time "h:mm:ss.cc" in centiseconds.
bool AssTime(const std::string& text, int64_t& cs)
{
    size_t i = text.find_first_not_of(' ');
    if (i == std::string::npos) return false;
    int64_t h = 0, m = 0, s = 0, c = 0;
    if (!Digits(text, i, h) || i >= text.size() || text[i++] != ':' || !Digits(text, i, m) || i >= text.size() ||
        text[i++] != ':' || !Digits(text, i, s) || i >= text.size() || text[i++] != '.' || !Digits(text, i, c, 2))
        return false;
    cs = (h * 3600 + m * 60 + s) * 100 + c;
    return true;
}

// WebVTT cue text without its tags (<c.x>, <v Name>, time stamps) and with the common
// character references written out.
std::string VttText(const std::string& line)
{
    std::string out;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '<') {
            const size_t end = line.find('>', i);
            if (end == std::string::npos) break;
            i = end;
            continue;
        }
        if (line[i] == '&') {
            static const std::pair<const char*, const char*> references[] = {
                {"&amp;", "&"}, {"&lt;", "<"}, {"&gt;", ">"}, {"&nbsp;", " "}, {"&lrm;", ""}, {"&rlm;", ""}};
            bool replaced = false;
            for (const auto& [name, text] : references)
                if (line.compare(i, std::char_traits<char>::length(name), name) == 0) {
                    out += text;
                    i += std::char_traits<char>::length(name) - 1;
                    replaced = true;
                    break;
                }
            if (replaced) continue;
        }
        out.push_back(line[i]);
    }
    return out;
}

// Where a Dialogue line's fields are, as the section's Format line names them.
struct SAssFields {
    int start = 1, end = 2, count = 10;
};

struct SAssLine {
    int64_t start = 0, end = 0;
    std::vector<std::string> lines;
};

SAssFields ReadAssFormat(const std::string& line)
{
    SAssFields format;
    std::vector<std::string> fields;
    size_t from = line.find(':') + 1;
    while (from <= line.size()) {
        size_t comma = line.find(',', from);
        if (comma == std::string::npos) comma = line.size();
        std::string f = Lower(line.substr(from, comma - from));
        f.erase(0, std::min(f.size(), f.find_first_not_of(' ')));
        while (!f.empty() && f.back() == ' ') f.pop_back();
        fields.push_back(f);
        from = comma + 1;
    }
    format.count = int(fields.size());
    for (int k = 0; k < format.count; ++k) {
        if (fields[size_t(k)] == "start") format.start = k;
        if (fields[size_t(k)] == "end") format.end = k;
    }
    return format;
}

// Dialogue text as lines: "\N" (or "\n") breaks a line, "\h" is a space and "{...}"
// override blocks are dropped.
std::vector<std::string> AssTextLines(const std::string& raw, int maxLines)
{
    std::string text;
    for (size_t k = 0; k < raw.size(); ++k) {
        const size_t close = raw[k] == '{' ? raw.find('}', k) : std::string::npos;
        if (close != std::string::npos) {
            k = close;
        } else if (raw[k] == '\\' && k + 1 < raw.size() &&
                   (raw[k + 1] == 'N' || raw[k + 1] == 'n' || raw[k + 1] == 'h')) {
            text += raw[++k] == 'h' ? ' ' : '\n';
        } else {
            text.push_back(raw[k]);
        }
    }
    std::vector<std::string> lines;
    size_t at = 0;
    while (at <= text.size() && int(lines.size()) < maxLines) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// A Dialogue line's times and text; the text is the last field and may hold commas.
bool ReadAssDialogue(const std::string& line, const SAssFields& format, int maxLines, SAssLine& cue)
{
    std::vector<std::string> fields;
    size_t from = line.find(':') + 1;
    while (int(fields.size()) < format.count - 1) {
        const size_t comma = line.find(',', from);
        if (comma == std::string::npos) break;
        fields.push_back(line.substr(from, comma - from));
        from = comma + 1;
    }
    if (int(fields.size()) != format.count - 1 || format.start >= format.count - 1 || format.end >= format.count - 1)
        return false;
    if (!AssTime(fields[size_t(format.start)], cue.start) || !AssTime(fields[size_t(format.end)], cue.end))
        return false;
    cue.lines = AssTextLines(line.substr(std::min(from, line.size())), maxLines);
    return true;
}

}  // namespace

CSubText::EFormat CSubText::FormatOfName(const std::string& path)
{
    const std::string lower = Lower(path);
    auto endsWith = [&](const char* ending) {
        const size_t n = std::char_traits<char>::length(ending);
        return lower.size() > n && lower.compare(lower.size() - n, n, ending) == 0;
    };
    if (endsWith(".vtt")) return EFormat::WebVtt;
    if (endsWith(".ass") || endsWith(".ssa")) return EFormat::Ass;
    return EFormat::SubRip;
}

bool CSubText::ParseWebVtt(const std::string& content, const std::string& name)
{
    cues.clear();
    error.clear();
    const std::vector<std::string> lines = Lines(content);
    if (lines.empty() || lines[0].rfind("WEBVTT", 0) != 0) {
        error = name + ": not a WebVTT file (it must begin with \"WEBVTT\")";
        return false;
    }
    size_t i = 1;
    while (i < lines.size()) {
        const std::string& line = lines[i++];
        const size_t arrow = line.find("-->");
        if (arrow == std::string::npos) continue;
        size_t a = line.find_first_not_of(" \t"), b = line.find_first_not_of(" \t", arrow + 3);
        int64_t start = 0, end = 0;
        const bool timed =
            a != std::string::npos && b != std::string::npos && VttTime(line, a, start) && VttTime(line, b, end);
        std::vector<std::string> text;
        while (i < lines.size() && lines[i].find_first_not_of(" \t\f\v") != std::string::npos) {
            if (int(text.size()) < maxLines) text.push_back(VttText(lines[i]));
            ++i;
        }
        if (timed) AddTimedCue(start, end, text);
    }
    return Finish(name);
}

bool CSubText::ParseAss(const std::string& content, const std::string& name)
{
    cues.clear();
    error.clear();
    SAssFields format;
    std::vector<SAssLine> dialogue;
    bool events = false;
    for (const std::string& line : Lines(content)) {
        if (!line.empty() && line[0] == '[') {
            events = Lower(line).rfind("[events]", 0) == 0;
            continue;
        }
        const std::string lower = Lower(line.substr(0, 10));
        if (!events || line.find(':') == std::string::npos) continue;
        if (lower.rfind("format:", 0) == 0) format = ReadAssFormat(line);
        SAssLine cue;
        if (lower.rfind("dialogue:", 0) == 0 && ReadAssDialogue(line, format, maxLines, cue) &&
            dialogue.size() < size_t(maxCues) * 4)
            dialogue.push_back(std::move(cue));
    }
    // Dialogue lines may come in any order; cues are kept in time order.
    std::stable_sort(dialogue.begin(), dialogue.end(),
                     [](const SAssLine& x, const SAssLine& y) { return x.start < y.start; });
    for (const SAssLine& d : dialogue) AddTimedCue(d.start, d.end, d.lines);
    return Finish(name);
}
