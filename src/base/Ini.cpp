#include "base/Ini.h"

#include "base/File.h"
#include "base/InputFile.h"

#include <sys/stat.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// Reads one line up to its line feed, dropping every carriage return. Returns false at
// the end of the file when nothing was read.
bool ReadLine(std::istream& in, std::string& line)
{
    if (!std::getline(in, line)) return false;
    size_t w = 0;
    for (size_t r = 0; r < line.size(); ++r)
        if (line[r] != '\r') line[w++] = line[r];
    line.resize(w);
    return true;
}

std::string SectionLine(const std::string& section) { return "[" + section + "]"; }

// The file a write really replaces: a symbolic link is followed so that the link stays.
std::string ResolveTarget(const std::string& filePath)
{
    struct stat st;
    if (lstat(filePath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (realpath(filePath.c_str(), resolved)) return resolved;
    }
    return filePath;
}

}  // namespace

bool IniLineMatchesKey(const std::string& line, const std::string& key, size_t& valuePos)
{
    size_t eq = line.find('=');
    if (eq == std::string::npos || eq < key.size()) return false;
    if (line.compare(0, key.size(), key) != 0) return false;
    for (size_t i = key.size(); i < eq; ++i)
        if (line[i] != ' ' && line[i] != '\t') return false;
    valuePos = eq + 1;
    return true;
}

std::string IniRead(const std::string& section, const std::string& key, const std::string& def,
                    const std::string& filePath, size_t maxLength)
{
    std::string content, error;
    if (!ReadInputFile(filePath, kMaxTextFileBytes, content, error)) return def.substr(0, maxLength);
    std::istringstream in(content);
    const std::string head = SectionLine(section);
    std::string line;
    bool inSection = false;
    while (ReadLine(in, line)) {
        if (!inSection) {
            inSection = line == head;
            continue;
        }
        if (line.empty()) break;
        size_t valuePos = 0;
        if (IniLineMatchesKey(line, key, valuePos)) return line.substr(valuePos, maxLength);
    }
    return def.substr(0, maxLength);
}

int IniRead(const char* section, const char* key, const char* def, char* out, int outSize, const char* filePath)
{
    if (!out || outSize <= 0) return 0;
    std::string value = IniRead(section ? section : "", key ? key : "", def ? def : "", filePath ? filePath : "",
                                static_cast<size_t>(outSize - 1));
    std::memcpy(out, value.data(), value.size());
    out[value.size()] = '\0';
    return static_cast<int>(value.size());
}

bool IniLoadLines(const std::string& filePath, std::vector<std::string>& lines, bool* exists, std::string* error)
{
    lines.clear();
    std::string content, why;
    if (!ReadInputFile(filePath, kMaxTextFileBytes, content, why)) {
        if (exists) {
            struct stat st;
            *exists = stat(filePath.c_str(), &st) == 0;
        }
        if (error) *error = why;
        return false;
    }
    if (exists) *exists = true;
    std::istringstream in(content);
    std::string line;
    while (ReadLine(in, line)) lines.push_back(line);
    return true;
}

void IniSetInLines(std::vector<std::string>& lines, bool fileExists, const std::string& section, const std::string& key,
                   const std::string& value)
{
    const std::string head = SectionLine(section);
    const std::string entry = key + "=" + value;
    if (!fileExists) {
        lines = {head, entry};
        return;
    }
    size_t i = 0;
    while (i < lines.size() && lines[i] != head) ++i;
    if (i == lines.size()) {
        lines.push_back("");
        lines.push_back(head);
        lines.push_back(entry);
        return;
    }
    for (++i; i < lines.size(); ++i) {
        size_t valuePos = 0;
        if (lines[i].empty()) {
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(i), entry);
            return;
        }
        if (IniLineMatchesKey(lines[i], key, valuePos)) {
            lines[i] = entry;
            return;
        }
    }
    lines.push_back(entry);
}

bool IniStoreLines(const std::string& filePath, const std::vector<std::string>& lines)
{
    // The settings file may be rewritten by two processes at once: each writes its own
    // partial file, and the last rename wins with a whole file.
    SReplaceOptions options;
    options.keepMode = true;
    options.uniquePartial = true;
    CReplaceFile out(ResolveTarget(filePath), options);
    std::string error;
    if (!out.Open(error)) return false;
    for (const std::string& line : lines) {
        if (std::fwrite(line.data(), 1, line.size(), out.File()) != line.size() || std::fputc('\n', out.File()) == EOF)
            return false;  // the partial file goes with `out`
    }
    return out.Commit(error);
}

bool IniWrite(const std::string& filePath, const std::string& section, const std::string& key, const std::string& value)
{
    // A line break inside a name or value would split its line and end the section early.
    for (const std::string* part : {&section, &key, &value})
        if (part->find_first_of("\r\n") != std::string::npos) return false;
    std::vector<std::string> lines;
    bool exists = false;
    if (!IniLoadLines(filePath, lines, &exists)) {
        // A file that is there but cannot be read is never replaced: its contents would
        // be lost.
        if (exists) return false;
        IniSetInLines(lines, false, section, key, value);
    } else {
        IniSetInLines(lines, true, section, key, value);
    }
    return IniStoreLines(filePath, lines);
}
