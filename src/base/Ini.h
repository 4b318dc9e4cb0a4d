// The program's INI files: the project file, the settings file, the language files, the
// encoder configuration and the diagnostic log all use this one reader and writer.
//
// Rules: a section starts at a line that is exactly "[name]" and ends at its first empty
// line (a following "[other]" line does not end it); section and key names are
// case-sensitive; a key matches a line that begins with the key, followed only by spaces
// or tabs up to the first "="; the value is everything after that "=", untrimmed.
// Carriage returns are dropped when reading. The writer rewrites the whole file.
#pragma once

#include <string>
#include <vector>

// Reads `key` of `section` from `filePath` into `out` (at most outSize - 1 characters and
// a terminating zero). When the file cannot be opened (or is not a regular file of at
// most 16 MB), the section or key is not found or the section ends first, `out` receives
// `def` (cut the same way). Returns the length of `out`; with outSize <= 0 nothing is
// written and 0 is returned.
int IniRead(const char* section, const char* key, const char* def, char* out, int outSize, const char* filePath);

// The same lookup returning the text: the value or `def`, cut to `maxLength` characters.
std::string IniRead(const std::string& section, const std::string& key, const std::string& def,
                    const std::string& filePath, size_t maxLength = 2047);

// Sets `key` = `value` in `section` of `filePath`, creating the file or section when
// missing. The new file is written beside the target and renamed over it, so a failure
// leaves the previous file intact. Returns false when the file exists but cannot be read,
// when a name or the value holds a line break, or when the new file cannot be written or
// renamed.
bool IniWrite(const std::string& filePath, const std::string& section, const std::string& key,
              const std::string& value);

// True when `line` holds `key` by the reader's rule (begins with `key`, only spaces or
// tabs until the first "=", which lies after the key). Sets `valuePos` to the index just
// after that "=".
bool IniLineMatchesKey(const std::string& line, const std::string& key, size_t& valuePos);

// The edit IniWrite makes, applied to a file held in memory as lines without their line
// feeds. `fileExists` false stands for a file that could not be opened: the lines then
// become just the section line and the key line.
void IniSetInLines(std::vector<std::string>& lines, bool fileExists, const std::string& section, const std::string& key,
                   const std::string& value);

// Reads a whole file as lines (line feeds removed, carriage returns dropped). Returns
// false when it cannot be opened, is not a regular file or is larger than 16 MB;
// `exists` tells apart a missing file from other failures and `error` says, in one line
// naming the file, what is wrong.
bool IniLoadLines(const std::string& filePath, std::vector<std::string>& lines, bool* exists = nullptr,
                  std::string* error = nullptr);

// Writes `lines`, each ended by a line feed, to a temporary file in the target's folder
// and renames it over `filePath` (keeping the old file's permission bits). On any failure
// the temporary file is removed, the target is untouched and false is returned.
bool IniStoreLines(const std::string& filePath, const std::vector<std::string>& lines);
