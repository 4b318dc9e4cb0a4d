#include "base/Language.h"

#include "base/Ini.h"
#include "base/InputFile.h"

#include <strings.h>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <sstream>

namespace {

struct CLanguageState {
    std::mutex lock;
    std::vector<CLanguageEntry> list{{"English", "$$default.ini"}};
    std::string name = "English";
    std::string file = "$$default.ini";
    bool translating = false;
    std::string configFolder;
};

CLanguageState& State()
{
    static CLanguageState state;
    return state;
}

bool IsEnglish(const std::string& name) { return strcasecmp(name.c_str(), "English") == 0; }

// Names keep at most 127 characters, the size the list was made for. File paths are
// kept whole: a cut path would name a file that does not exist.
std::string Cut127(const std::string& s) { return s.substr(0, 127); }

std::vector<CLanguageEntry> ListLanguages(const std::string& programFolder)
{
    std::vector<CLanguageEntry> list{{"English", "$$default.ini"}};
    std::error_code ec;
    std::vector<std::string> files;
    // Stepped with increment(ec): the range-for's ++ throws when the folder cannot be read.
    std::filesystem::directory_iterator it(programFolder + "Language", ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code typeError;
        if (!it->is_regular_file(typeError)) continue;
        std::string ext = it->path().extension().string();
        if (strcasecmp(ext.c_str(), ".txt") != 0) continue;
        files.push_back(it->path().string());
    }
    // Sorted so that the list is the same on every file system.
    std::sort(files.begin(), files.end());
    for (const std::string& path : files) {
        if (static_cast<int>(list.size()) >= kMaxLanguages) break;
        std::string name = IniRead("Info", "Language", "English", path, 127);
        if (IsEnglish(name)) continue;
        list.push_back({name, path});
    }
    return list;
}

// Makes `entry` the chosen language; the caller holds the lock.
void Apply(CLanguageState& s, const CLanguageEntry& entry)
{
    s.name = entry.name;
    s.file = entry.file;
    s.translating = !IsEnglish(entry.name);
}

bool WriteLanguageSet(const std::string& configFolder, const CLanguageEntry& entry)
{
    if (configFolder.empty()) return false;
    std::error_code ec;
    std::filesystem::create_directories(configFolder, ec);
    return IniStoreLines(configFolder + "language.set", {entry.name, entry.file});
}

bool ReadLanguageSet(const std::string& configFolder, CLanguageEntry& entry)
{
    std::string content, error;
    if (!ReadInputFile(configFolder + "language.set", kMaxTextFileBytes, content, error)) return false;
    std::istringstream in(content);
    std::string name, file;
    std::getline(in, name);
    std::getline(in, file);
    auto cutAtBreak = [](std::string& s) {
        size_t end = s.find_first_of("\r\n");
        if (end != std::string::npos) s.resize(end);
    };
    cutAtBreak(name);
    cutAtBreak(file);
    if (name.empty()) return false;
    entry = {Cut127(name), file};
    return true;
}

int FindContaining(const std::vector<CLanguageEntry>& list, const std::string& text)
{
    for (size_t i = 1; i < list.size(); ++i)
        if (list[i].name.find(text) != std::string::npos) return static_cast<int>(i);
    return -1;
}

std::string Slashed(std::string folder)
{
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

const char* LocaleLanguageText(const std::string& locale)
{
    std::string lang = locale.substr(0, locale.find_first_of("_.@"));
    for (char& c : lang) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lang.empty() || lang == "c" || lang == "posix" || lang == "en") return "";
    if (lang == "de") return "German";
    if (lang == "es") return "Espa";
    if (lang == "fr") return "Fran";
    if (lang == "it") return "Italian";
    if (lang == "ja") return "Japanese";
    if (lang == "ko") return "\xC7\xD1\xB1\xB9\xBE\xEE";
    if (lang == "nl") return "Dutch";
    if (lang == "pt") return "Portuguese";
    return nullptr;
}

std::string UserLocaleName()
{
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value) return value;
    }
    return "";
}

std::string ChooseLanguage(const std::string& programFolder, const std::string& configFolder, const LanguageAsk& ask)
{
    std::vector<CLanguageEntry> list = ListLanguages(Slashed(programFolder));
    CLanguageState& s = State();
    {
        std::lock_guard<std::mutex> guard(s.lock);
        s.list = list;
        s.configFolder = Slashed(configFolder);
        Apply(s, list[0]);
        CLanguageEntry remembered;
        if (ReadLanguageSet(s.configFolder, remembered)) {
            Apply(s, remembered);
            return s.name;
        }
    }

    int chosen = -1;
    const char* text = LocaleLanguageText(UserLocaleName());
    if (text && *text == '\0') {
        chosen = 0;
    } else if (text) {
        chosen = FindContaining(list, text);
        // A Korean language file written on Linux names itself in UTF-8.
        if (chosen < 0 && std::string(text) == "\xC7\xD1\xB1\xB9\xBE\xEE")
            chosen = FindContaining(list, "\xED\x95\x9C\xEA\xB5\xAD\xEC\x96\xB4");
    }
    if (chosen < 0 && ask && list.size() > 1) chosen = ask(list);
    if (chosen >= 0 && chosen < static_cast<int>(list.size())) SelectLanguage(chosen);
    return CurrentLanguageName();
}

bool SelectLanguage(int entry)
{
    CLanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (entry < 0 || entry >= static_cast<int>(s.list.size())) return false;
    Apply(s, s.list[entry]);
    return WriteLanguageSet(s.configFolder, s.list[entry]);
}

bool SelectLanguageForRun(const std::string& name)
{
    CLanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    for (const CLanguageEntry& entry : s.list) {
        if (strcasecmp(entry.name.c_str(), name.c_str()) == 0) {
            Apply(s, entry);
            return true;
        }
    }
    return false;
}

std::vector<CLanguageEntry> LanguageList()
{
    CLanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.list;
}

std::string CurrentLanguageName()
{
    CLanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    return s.name;
}

bool LanguageTranslationFile(std::string& file)
{
    CLanguageState& s = State();
    std::lock_guard<std::mutex> guard(s.lock);
    if (!s.translating) return false;
    file = s.file;
    return true;
}
