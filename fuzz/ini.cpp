// The INI reader and the writer's edit on any file content. The input is the file.
// Checked for every input: a read never returns more than it was allowed, the C-string
// read agrees with the string read, and a key set by the writer's edit reads back with
// the reader's rules.
#include <cstring>
#include <string>
#include <vector>

#include "MemoryFile.h"
#include "base/Ini.h"

namespace {

// A section and key that the file itself names, so that the lookups reach past the
// section line: the first "[name]" line and the text before "=" on the line after it.
void NamesFromLines(const std::vector<std::string>& lines, std::string& section, std::string& key)
{
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& l = lines[i];
        if (l.size() < 2 || l.front() != '[' || l.back() != ']') continue;
        section = l.substr(1, l.size() - 2);
        if (i + 1 < lines.size()) key = lines[i + 1].substr(0, lines[i + 1].find('='));
        return;
    }
}

// Reads `key` of `section` both ways with a few length limits and checks them.
void CheckRead(const std::string& path, const std::string& section, const std::string& key)
{
    const std::string def = "default text";
    const std::string whole = IniRead(section, key, def, path, 1 << 20);
    for (size_t limit : {size_t(0), size_t(1), size_t(7), size_t(2047)}) {
        const std::string value = IniRead(section, key, def, path, limit);
        FUZZ_CHECK(value.size() <= limit);
        FUZZ_CHECK(value == whole.substr(0, limit));
    }
    // The C-string form sees the names up to their first zero byte.
    const std::string cSection = section.c_str(), cKey = key.c_str();
    const std::string cWhole = IniRead(cSection, cKey, def, path, sizeof(char[16]) - 1);
    char out[16];
    std::memset(out, 'x', sizeof out);
    const int length = IniRead(cSection.c_str(), cKey.c_str(), def.c_str(), out, int(sizeof out), path.c_str());
    FUZZ_CHECK(length == int(cWhole.size()));
    FUZZ_CHECK(out[length] == '\0');
    FUZZ_CHECK(std::memcmp(out, cWhole.data(), cWhole.size()) == 0);
}

// Applies the writer's edit in memory, stores the lines in a second memory file and
// reads the key back.
void CheckEdit(const std::vector<std::string>& lines, const std::string& section, const std::string& key)
{
    // The writer refuses line breaks, and a key holding "=" can never be found again.
    if (section.find_first_of("\r\n") != std::string::npos || key.find_first_of("\r\n=") != std::string::npos) return;
    const std::string value = "set by the fuzzer = " + std::to_string(lines.size());
    std::vector<std::string> edited = lines;
    IniSetInLines(edited, true, section, key, value);
    FUZZ_CHECK(edited.size() == lines.size() || edited.size() == lines.size() + 1 || edited.size() == lines.size() + 3);
    std::string text;
    for (const std::string& l : edited) text += l + "\n";
    CMemoryFile stored(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    FUZZ_CHECK(IniRead(section, key, "missing", stored.Path(), 1 << 20) == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CMemoryFile file(data, size);
    std::vector<std::string> lines;
    bool exists = false;
    FUZZ_CHECK(IniLoadLines(file.Path(), lines, &exists) && exists);
    for (const std::string& l : lines) FUZZ_CHECK(l.find_first_of("\r\n") == std::string::npos);

    std::string section = "General", key = "ID";
    NamesFromLines(lines, section, key);
    CheckRead(file.Path(), section, key);
    CheckRead(file.Path(), "General", "PhotoCount");
    CheckRead(file.Path(), "", "");
    CheckEdit(lines, section, key);
    CheckEdit(lines, "General", "PhotoCount");
    CheckEdit(lines, "", "");
    return 0;
}
