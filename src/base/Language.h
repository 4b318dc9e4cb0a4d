// The language of the message texts: the list of language files found in the data
// folder's "Language/" folder, the chosen language, and "language.set" in the
// configuration folder that remembers the choice between runs.
//
// A language file is an INI file: section "Info", key "Language" names the language;
// section "String" holds one line per text, keyed by the English text exactly as in the
// built-in table, whose value is the translation.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct CLanguageEntry {
    std::string name;  // "English", "German", ...
    std::string file;  // full path of the language file; "$$default.ini" for English
};

// At most this many entries, English included.
constexpr int kMaxLanguages = 64;

// Asked when neither "language.set" nor the locale decides: returns the chosen entry's
// index, or a negative number to keep English.
using LanguageAsk = std::function<int(const std::vector<CLanguageEntry>&)>;

// Start-up choice of language. Lists the language files in `programFolder` + "Language/"
// (entry 0 is always English), then: the choice remembered in `configFolder` +
// "language.set" if it can be read; else a guess from the locale (LC_ALL, LC_MESSAGES,
// LANG), which selects and remembers the first entry whose name contains the locale's
// language name; else `ask` (when given and more than English is offered). Both folders
// end with '/'. Returns the chosen entry's name.
std::string ChooseLanguage(const std::string& programFolder, const std::string& configFolder,
                           const LanguageAsk& ask = {});

// Selects list entry `entry` and rewrites "language.set". Returns false for an index
// outside the list or when "language.set" cannot be written (the choice still holds
// for this run).
bool SelectLanguage(int entry);

// Selects the entry whose name equals `name` ignoring case, for this run only (nothing
// is written). Returns false when no entry has that name; the choice is then unchanged.
bool SelectLanguageForRun(const std::string& name);

// The language list found by the last ChooseLanguage (at least the English entry).
std::vector<CLanguageEntry> LanguageList();

// The chosen language's name ("English" until something else is chosen).
std::string CurrentLanguageName();

// True, with the language file in `file`, when texts are being translated (the chosen
// name is not "English", ignoring case).
bool LanguageTranslationFile(std::string& file);

// The name text a locale's language selects: "" for English (and the C/POSIX locale),
// "German", "Espa", "Fran", "Italian", "Japanese", the Korean name, "Dutch",
// "Portuguese"; nullptr for a language without a guess. `locale` is e.g. "de_DE.UTF-8".
const char* LocaleLanguageText(const std::string& locale);

// The user's locale name from LC_ALL, LC_MESSAGES or LANG (the first that is set and not
// empty), or "".
std::string UserLocaleName();
