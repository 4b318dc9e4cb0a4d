// A language file of any content, chosen as the program's language and used for every
// message text. The input is the language file.
// Checked for every input: the file is listed under the name it gives (or skipped when
// it names English), it can be chosen, and every text comes out of the translation and
// the %-filling whole.
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "ScratchFolder.h"
#include "base/Ini.h"
#include "base/Language.h"
#include "base/Texts.h"

namespace {

// The program folder with its "Language/" folder, and an empty configuration folder.
const CScratchFolder& Folders()
{
    static const CScratchFolder folder;
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A locale without a language guess, so that the choice is left to the program and
    // no "language.set" is written.
    setenv("LC_ALL", "xx_XX", 1);
    setenv("LC_MESSAGES", "xx_XX", 1);
    setenv("LANG", "xx_XX", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string program = Folders().Path() + "program/";
    const std::string config = Folders().Path() + "config/";
    const std::string file = program + "Language/Fuzz.txt";
    std::error_code ec;
    std::filesystem::create_directories(program + "Language", ec);
    std::filesystem::create_directories(config, ec);
    CScratchFolder::WriteWholeFile(file, data, size);

    bool asked = false;
    const std::string chosen = ChooseLanguage(program, config, [&](const std::vector<CLanguageEntry>&) {
        asked = true;
        return -1;
    });
    FUZZ_CHECK(chosen == "English");
    const std::vector<CLanguageEntry> list = LanguageList();
    const std::string name = IniRead("Info", "Language", "English", file, 127);
    if (list.size() == 1) {
        FUZZ_CHECK(!asked);
        return 0;
    }
    FUZZ_CHECK(asked && list.size() == 2 && list[1].file == file && list[1].name == name);
    FUZZ_CHECK(SelectLanguageForRun(name));

    // Each text reads the whole file again: a dozen texts that the file names, from a
    // place in the table that moves with the input's size, keep the runs quick.
    size_t count = 0;
    const CTextEntry* table = EnglishTextTable(count);
    const std::string content(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> args{"first", "12", "3.5"};
    for (size_t n = 0, tried = 0; n < count && tried < 12; ++n) {
        const CTextEntry& entry = table[(n + size) % count];
        if (tried > 0 && content.find(entry.english) == std::string::npos) continue;
        ++tried;
        const std::string text = Text(entry.key);
        FUZZ_CHECK(text.find("||") == std::string::npos);
        FormatText(text, args);
        FormatText(text, {});
    }
    FUZZ_CHECK(SelectLanguageForRun("English"));
    return 0;
}
