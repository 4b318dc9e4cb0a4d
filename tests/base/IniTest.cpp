#include "base/Ini.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>

using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteText;

namespace {

std::string Read(const std::string& file, const std::string& section, const std::string& key,
                 const std::string& def = "<none>")
{
    return IniRead(section, key, def, file);
}

TEST(IniRead, KeysAndSectionsAreCaseSensitive)
{
    TempDir dir;
    std::string f = dir.File("p.osh");
    WriteText(f, "\n[Photo1]\nkenburns=ZoomIn\nKenBurns=PanLeft\n\n[photo2]\nKenBurns=x\n");
    EXPECT_EQ(Read(f, "Photo1", "KenBurns"), "PanLeft");
    EXPECT_EQ(Read(f, "Photo1", "KENBURNS"), "<none>");
    EXPECT_EQ(Read(f, "Photo2", "KenBurns"), "<none>");
    WriteText(f, "[Photo1]\nkenburns=ZoomIn\n");
    EXPECT_EQ(Read(f, "Photo1", "KenBurns"), "<none>");
}

TEST(IniRead, KeyMatchingRule)
{
    TempDir dir;
    std::string f = dir.File("a.ini");
    WriteText(f, "[S]\nKenBurns \t= ZoomIn \nKenBurnsX=1\nA=B=C\nMusic10=ten\n");
    // Blanks between key and "=" match; the value keeps everything after "=".
    EXPECT_EQ(Read(f, "S", "KenBurns"), " ZoomIn ");
    // A longer key that merely starts with the asked one does not match.
    EXPECT_EQ(Read(f, "S", "Music1"), "<none>");
    EXPECT_EQ(Read(f, "S", "A"), "B=C");
    // A key containing "=" can never be found.
    EXPECT_EQ(Read(f, "S", "A=B"), "<none>");
    size_t pos = 0;
    EXPECT_TRUE(IniLineMatchesKey("Key\t=v", "Key", pos));
    EXPECT_EQ(pos, 5u);
    EXPECT_FALSE(IniLineMatchesKey("Key x=v", "Key", pos));
    EXPECT_FALSE(IniLineMatchesKey("Key", "Key", pos));
}

TEST(IniRead, SectionEndsOnlyAtAnEmptyLine)
{
    TempDir dir;
    std::string f = dir.File("a.ini");
    WriteText(f, "Path=before\n[First]\nA=1\n[Second]\nB=2\n\nC=3\n[Third]\r\nD=4\r\n");
    EXPECT_EQ(Read(f, "First", "A"), "1");
    // Without an empty line, keys of the next section are found under the first.
    EXPECT_EQ(Read(f, "First", "B"), "2");
    EXPECT_EQ(Read(f, "First", "C"), "<none>");
    EXPECT_EQ(Read(f, "Second", "C"), "<none>");
    // Lines before any section are never read; carriage returns are dropped.
    EXPECT_EQ(Read(f, "First", "Path"), "<none>");
    EXPECT_EQ(Read(f, "Third", "D"), "4");
    // The last line needs no line feed.
    WriteText(f, "[S]\nK=end");
    EXPECT_EQ(Read(f, "S", "K"), "end");
}

TEST(IniRead, BufferFormCutsAndFallsBack)
{
    TempDir dir;
    std::string f = dir.File("a.ini");
    WriteText(f, "[S]\nK=abcdef\n");
    char out[4];
    EXPECT_EQ(IniRead("S", "K", "", out, sizeof out, f.c_str()), 3);
    EXPECT_STREQ(out, "abc");
    EXPECT_EQ(IniRead("S", "missing", "defaults", out, sizeof out, f.c_str()), 3);
    EXPECT_STREQ(out, "def");
    EXPECT_EQ(IniRead("S", "K", "x", out, sizeof out, dir.File("none.ini").c_str()), 1);
    EXPECT_STREQ(out, "x");
    out[0] = 'q';
    EXPECT_EQ(IniRead("S", "K", "x", out, 0, f.c_str()), 0);
    EXPECT_EQ(out[0], 'q');
}

TEST(IniWrite, CreatesAppendsReplacesAndInserts)
{
    TempDir dir;
    std::string f = dir.File("new.ini");
    ASSERT_TRUE(IniWrite(f, "General", "ID", "OrvoPhotoShow"));
    EXPECT_EQ(ReadText(f), "[General]\nID=OrvoPhotoShow\n");
    ASSERT_TRUE(IniWrite(f, "Other", "K", "v"));
    EXPECT_EQ(ReadText(f), "[General]\nID=OrvoPhotoShow\n\n[Other]\nK=v\n");
    // A new key lands before the empty line that ends its section.
    ASSERT_TRUE(IniWrite(f, "General", "PhotoCount", "3"));
    EXPECT_EQ(ReadText(f), "[General]\nID=OrvoPhotoShow\nPhotoCount=3\n\n[Other]\nK=v\n");
    // An existing key is replaced in place, blanks before "=" included.
    WriteText(f, "[S]\r\nA = 1\nB=2\n");
    ASSERT_TRUE(IniWrite(f, "S", "A", "9"));
    EXPECT_EQ(ReadText(f), "[S]\nA=9\nB=2\n");
    ASSERT_TRUE(IniWrite(f, "S", "C", "3"));
    EXPECT_EQ(ReadText(f), "[S]\nA=9\nB=2\nC=3\n");
}

TEST(IniWrite, Music1BesideMusic10)
{
    TempDir dir;
    std::string f = dir.File("a.ini");
    WriteText(f, "[M]\nMusic10=ten\n\n[N]\nX=1\n");
    ASSERT_TRUE(IniWrite(f, "M", "Music1", "one"));
    EXPECT_EQ(ReadText(f), "[M]\nMusic10=ten\nMusic1=one\n\n[N]\nX=1\n");
    EXPECT_EQ(Read(f, "M", "Music1"), "one");
    EXPECT_EQ(Read(f, "M", "Music10"), "ten");
}

TEST(IniWrite, EightBitBytesAreOrdinaryText)
{
    TempDir dir;
    std::string f = dir.File("a.ini");
    const std::string value = std::string("/photos/caf\xFF\xE9/") + char(0xFF) + ".jpg";
    ASSERT_TRUE(IniWrite(f, "S\xFF", "K", value));
    ASSERT_TRUE(IniWrite(f, "S\xFF", "L", "after"));
    EXPECT_EQ(Read(f, "S\xFF", "K"), value);
    EXPECT_EQ(Read(f, "S\xFF", "L"), "after");
}

TEST(IniWrite, FailureLeavesTheFileIntact)
{
    TempDir dir;
    std::string f = dir.File("keep.ini");
    WriteText(f, "[S]\nK=old\n");
    // A value with a line break would split its line and corrupt the section.
    EXPECT_FALSE(IniWrite(f, "S", "K", "two\nlines"));
    EXPECT_EQ(ReadText(f), "[S]\nK=old\n");

    if (geteuid() != 0) {
        // The folder refuses new files: the temporary file cannot be made.
        chmod(dir.Path().c_str(), 0500);
        EXPECT_FALSE(IniWrite(f, "S", "K", "new"));
        chmod(dir.Path().c_str(), 0700);
        EXPECT_EQ(ReadText(f), "[S]\nK=old\n");
        // A file that exists but cannot be read is not replaced by a one-key file.
        chmod(f.c_str(), 0200);
        EXPECT_FALSE(IniWrite(f, "S", "K", "new"));
        chmod(f.c_str(), 0600);
        EXPECT_EQ(ReadText(f), "[S]\nK=old\n");
    }
    EXPECT_FALSE(IniWrite(dir.File("no/such/folder/a.ini"), "S", "K", "v"));
    // No temporary files are left behind.
    int entries = 0;
    for (auto& e : std::filesystem::directory_iterator(dir.Path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(IniWrite, KeepsPermissionsAndSymbolicLinks)
{
    TempDir dir;
    std::string real = dir.File("real.ini");
    std::string link = dir.File("link.ini");
    WriteText(real, "[S]\nK=1\n");
    chmod(real.c_str(), 0640);
    std::filesystem::create_symlink(real, link);
    ASSERT_TRUE(IniWrite(link, "S", "K", "2"));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadText(real), "[S]\nK=2\n");
    struct stat st;
    ASSERT_EQ(stat(real.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

}  // namespace
