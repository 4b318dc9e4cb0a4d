// Message texts: every text the program shows is fetched by a numeric key from the
// built-in English table and, when another language is chosen, translated through that
// language's file (see base/Language.h).
#pragma once

#include <string>
#include <vector>

// The text for `key`: the English text from the built-in table ("...." for an unknown
// key), translated when a language other than English is chosen (an empty or blank
// translation keeps the English text), with every "||" replaced by a line feed followed
// by a carriage return. Returns a copy, so two texts may be used in one expression.
std::string Text(int key);

// The built-in English text of `key` exactly as in the table ("||" kept), or nullptr for
// a key the table does not have.
const char* EnglishText(int key);

// Fills a message text's %-conversions (%s, %d, %3.1f, ...) in order with `args`, which
// the caller has already formatted; "%%" gives "%", a conversion without an argument is
// dropped. Unlike printf it is safe with a translated text of any content.
std::string FormatText(const std::string& format, const std::vector<std::string>& args);

// Replaces every "||" in `text` by a line feed and a carriage return.
std::string ExpandLineBreaks(const std::string& text);

// One row of the built-in table.
struct CTextEntry {
    int key;
    const char* english;
};

// The whole built-in table in key order; `count` receives the number of rows.
const CTextEntry* EnglishTextTable(size_t& count);
