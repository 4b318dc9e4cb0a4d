#include "base/Ini.h"
#include "base/Language.h"
#include "base/Texts.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>

using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteText;

namespace {

// Runs with a data folder and a configuration folder of its own, the locale set to
// `locale`, and restores English and the environment afterwards.
class LanguageTest : public testing::Test {
protected:
    void SetUp() override
    {
        for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
            const char* v = std::getenv(var);
            saved.emplace_back(var, v ? std::optional<std::string>(v) : std::nullopt);
            unsetenv(var);
        }
        std::filesystem::create_directories(data.Path() / "Language");
    }
    void TearDown() override
    {
        for (auto& [var, value] : saved) {
            if (value)
                setenv(var.c_str(), value->c_str(), 1);
            else
                unsetenv(var.c_str());
        }
        TempDir empty;
        ChooseLanguage(empty.Path().string() + "/", empty.Path().string() + "/");
    }
    std::string DataFolder() const { return data.Path().string() + "/"; }
    std::string ConfigFolder() const { return (config.Path() / "kestrova").string() + "/"; }
    void AddLanguage(const std::string& file, const std::string& text)
    {
        WriteText((data.Path() / "Language" / file).string(), text);
    }

    TempDir data, config;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
};

TEST(Text, EnglishTableAndLineBreaks)
{
    EXPECT_EQ(Text(424), "Your DVD is ready to burn.\n\r");
    EXPECT_EQ(Text(428), "A DVD Video already exists under\n\r%s\n\r\n\r");
    EXPECT_EQ(Text(4000), "Kestrova: Create Photo Slide Shows on DVDs ");
    EXPECT_EQ(Text(3501), "@");
    EXPECT_EQ(Text(4508), "Yes, Length=%s");
    EXPECT_EQ(Text(99999), "....");
    EXPECT_EQ(EnglishText(99999), nullptr);
    EXPECT_STREQ(EnglishText(424), "Your DVD is ready to burn.||");
    // Keys that share a text hold the same text.
    for (auto [a, b] : {std::pair{422, 6204}, {1000, 3220}, {3002, 5002}, {3201, 4301}, {4019, 7001}})
        EXPECT_STREQ(EnglishText(a), EnglishText(b));
    // A lone bar stays; three bars make one break and a bar.
    EXPECT_EQ(ExpandLineBreaks("a|b|||c"), "a|b\n\r|c");

    size_t count = 0;
    const CTextEntry* table = EnglishTextTable(count);
    EXPECT_EQ(count, 261u);  // the 260 texts of the windows and 2017 "High quality encoding"
    for (size_t i = 1; i < count; ++i) EXPECT_LT(table[i - 1].key, table[i].key);
}

TEST_F(LanguageTest, TranslatesThroughTheChosenFile)
{
    AddLanguage("German.txt",
                "[Info]\nLanguage=German\n\n[String]\n"
                "Encoding %s...=\n"
                "Warning=  \t\n"
                "Your DVD is ready to burn.||=Ihre DVD kann gebrannt werden.||\n"
                "Cancel=Abbrechen\n");
    AddLanguage("English.txt", "[Info]\nLanguage=english\n");
    setenv("LANG", "C", 1);
    EXPECT_EQ(ChooseLanguage(DataFolder(), ConfigFolder()), "English");
    ASSERT_EQ(LanguageList().size(), 2u);  // English files are not listed twice
    EXPECT_EQ(Text(101), "Cancel");

    EXPECT_TRUE(SelectLanguageForRun("GERMAN"));
    EXPECT_EQ(Text(101), "Abbrechen");
    EXPECT_EQ(Text(424), "Ihre DVD kann gebrannt werden.\n\r");
    // Empty or blank translations and missing lines keep the English text.
    EXPECT_EQ(Text(421), "Encoding %s...");
    EXPECT_EQ(Text(422), "Warning");
    EXPECT_EQ(Text(100), "OK");
    EXPECT_EQ(Text(4508), "Yes, Length=%s");
    // The English locale's choice stays remembered; a choice for one run is not.
    EXPECT_EQ(ReadText(ConfigFolder() + "language.set"), "English\n$$default.ini\n");
    EXPECT_FALSE(SelectLanguageForRun("Klingon"));
    EXPECT_EQ(CurrentLanguageName(), "German");
}

TEST_F(LanguageTest, LocaleGuessSelectsAndRemembers)
{
    AddLanguage("b.txt", "[Info]\nLanguage=Deutsch (German)\n\n[String]\nOK=Gut\n");
    AddLanguage("a.txt",
                "[Info]\nLanguage=Fran\xC3\xA7"
                "ais\n");
    AddLanguage("notes.md", "[Info]\nLanguage=Dutch\n");
    std::filesystem::create_directories(data.Path() / "Language" / "folder.txt");
    setenv("LANG", "fr_FR.UTF-8", 1);
    setenv("LC_MESSAGES", "de_DE.UTF-8", 1);  // wins over LANG
    EXPECT_EQ(ChooseLanguage(DataFolder(), ConfigFolder()), "Deutsch (German)");
    EXPECT_EQ(Text(100), "Gut");
    const std::string file = (data.Path() / "Language" / "b.txt").string();
    EXPECT_EQ(ReadText(ConfigFolder() + "language.set"), "Deutsch (German)\n" + file + "\n");

    // The next start reads the remembered choice, whatever the locale says.
    setenv("LC_ALL", "fr_FR", 1);
    EXPECT_EQ(ChooseLanguage(DataFolder(), ConfigFolder()), "Deutsch (German)");

    // The menu choice is remembered as well.
    auto list = LanguageList();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[1].name,
              "Fran\xC3\xA7"
              "ais");  // files listed in name order
    EXPECT_TRUE(SelectLanguage(0));
    EXPECT_EQ(Text(100), "OK");
    EXPECT_EQ(ReadText(ConfigFolder() + "language.set"), "English\n$$default.ini\n");
    EXPECT_FALSE(SelectLanguage(3));
}

TEST_F(LanguageTest, LongFolderPathsSurviveTheRememberedChoice)
{
    const std::string deep = DataFolder() + std::string(150, 'd') + "/";
    std::filesystem::create_directories(deep + "Language");
    WriteText(deep + "Language/g.txt", "[Info]\nLanguage=German\n\n[String]\nOK=Gut\n");
    setenv("LANG", "de_DE", 1);
    ASSERT_EQ(ChooseLanguage(deep, ConfigFolder()), "German");
    // The next start reads the path back from language.set and still translates.
    ASSERT_EQ(ChooseLanguage(deep, ConfigFolder()), "German");
    EXPECT_EQ(Text(100), "Gut");
}

TEST_F(LanguageTest, NoGuessAsksOrKeepsEnglish)
{
    AddLanguage("g.txt", "[Info]\nLanguage=German\n");
    setenv("LANG", "sv_SE.UTF-8", 1);
    int asked = 0;
    EXPECT_EQ(ChooseLanguage(DataFolder(), ConfigFolder(),
                             [&](const std::vector<CLanguageEntry>& list) {
                                 ++asked;
                                 return list.size() == 2 ? 1 : -1;
                             }),
              "German");
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(std::filesystem::exists(ConfigFolder() + "language.set"));

    // An unreadable (here: empty) language.set falls back to the guess; English
    // locales select English without asking.
    WriteText(ConfigFolder() + "language.set", "");
    setenv("LANG", "en_GB.UTF-8", 1);
    EXPECT_EQ(ChooseLanguage(DataFolder(), ConfigFolder(),
                             [&](const auto&) {
                                 ++asked;
                                 return 1;
                             }),
              "English");
    EXPECT_EQ(asked, 1);
}

TEST(LocaleLanguageText, PrimaryLanguageOfTheLocaleName)
{
    EXPECT_STREQ(LocaleLanguageText("de_AT.UTF-8"), "German");
    EXPECT_STREQ(LocaleLanguageText("fr_CA@euro"), "Fran");
    EXPECT_STREQ(LocaleLanguageText("NL_nl"), "Dutch");
    EXPECT_STREQ(LocaleLanguageText("C.UTF-8"), "");
    EXPECT_EQ(LocaleLanguageText("sv_SE"), nullptr);
}

}  // namespace

namespace {

// The conversions of a message text in order ("%s", "%d", "%3.1f", "%%").
std::vector<std::string> Conversions(const std::string& text)
{
    std::vector<std::string> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') continue;
        size_t j = i + 1;
        while (j < text.size() && std::strchr("-+ #0123456789.", text[j])) ++j;
        found.push_back(text.substr(i, j - i + 1));
        i = j;
    }
    return found;
}

TEST_F(LanguageTest, ShippedGermanFileTranslatesEveryText)
{
    const std::string file = testsupport::DataDir() + "/Language/German.txt";
    ASSERT_EQ(IniRead("Info", "Language", "", file), "German");
    size_t count = 0;
    const CTextEntry* table = EnglishTextTable(count);
    for (size_t i = 0; i < count; ++i) {
        const std::string english = table[i].english;
        if (english.find('=') != std::string::npos) continue;  // cannot be looked up
        const std::string german = IniRead("String", english, "", file);
        SCOPED_TRACE(english);
        EXPECT_NE(german.find_first_not_of(" \t"), std::string::npos);
        // The caller fills the same placeholders in the same order.
        EXPECT_EQ(Conversions(german), Conversions(english));
    }

    setenv("LANG", "de_DE.UTF-8", 1);
    ASSERT_EQ(ChooseLanguage(testsupport::DataDir() + "/", ConfigFolder()), "German");
    EXPECT_EQ(Text(4200), "Insgesamt %d Fotos, Gesamtdauer: %s");
    EXPECT_EQ(Text(424), "Ihre DVD ist bereit zum Brennen.\n\r");
}

}  // namespace
