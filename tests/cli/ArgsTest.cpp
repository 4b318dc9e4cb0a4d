#include "cli/Commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Parses `words` (after the command name) as ParseArgs does for a command.
bool Parse(std::vector<std::string> words, const std::vector<std::string>& valueOptions, CArgs& args,
           std::string& error)
{
    words.insert(words.begin(), {"kestrova", "slideshow"});
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    return ParseArgs(int(argv.size()), argv.data(), 2, valueOptions, args, error);
}

TEST(ParseArgs, AnOptionIsNeverTakenAsTheValueOfAnother)
{
    CArgs args;
    std::string error;
    EXPECT_FALSE(Parse({"p.osh", "--out", "--yes"}, {"--out"}, args, error));
    EXPECT_EQ(error, "option --out needs a value");
    args = {};
    EXPECT_FALSE(Parse({"-o", "--label", "x"}, {"--label"}, args, error));
    EXPECT_EQ(error, "option -o needs a value");
    args = {};
    EXPECT_FALSE(Parse({"p.osh", "--out"}, {"--out"}, args, error));

    // Values that merely start with a dash, or are given with "=", still count.
    args = {};
    ASSERT_TRUE(Parse({"p.osh", "--out", "-dir", "--label=--x", "--yes"}, {"--out", "--label"}, args, error)) << error;
    EXPECT_EQ(args.Get("--out"), "-dir");
    EXPECT_EQ(args.Get("--label"), "--x");
    EXPECT_TRUE(args.Has("--yes"));
    EXPECT_EQ(args.positional, std::vector<std::string>{"p.osh"});
}

TEST(ParseArgs, OptionsTheHelpDoesNotNameAreRefused)
{
    const std::string help =
        "Usage: kestrova iso FOLDER -o IMAGE.iso [--label TEXT]\n"
        "  --ntsc, --pal  standard; not an option: a--b or ---\n";
    const std::vector<std::string> named = OptionsNamedIn(help);
    EXPECT_EQ(named, (std::vector<std::string>{"--label", "--ntsc", "--pal"}));

    std::vector<std::string> known = named;
    known.push_back("--help");
    CArgs args;
    std::string error;
    ASSERT_TRUE(Parse({"p.osh", "--pal", "--label", "x", "--is0", "y.iso"}, {"--label"}, args, error));
    EXPECT_FALSE(RefuseUnknownOptions(args, known, "iso", error));
    EXPECT_EQ(error, "unknown option --is0 (see kestrova iso --help)");

    args = {};
    ASSERT_TRUE(Parse({"d", "-o", "x.iso", "--label", "y", "--help"}, {"--label"}, args, error));
    EXPECT_FALSE(RefuseUnknownOptions(args, known, "iso", error)) << "-o is not listed as known";
    known.push_back("-o");
    EXPECT_TRUE(RefuseUnknownOptions(args, known, "iso", error)) << error;
}

TEST(InternalError, NamesWhatTheExceptionSaysAndGivesItsOwnStatus)
{
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(InternalError(std::make_exception_ptr(std::runtime_error("boom")), out), kInternalErrorExit);
    EXPECT_EQ(InternalError(std::make_exception_ptr(42), out), kInternalErrorExit);
    std::fclose(out);
    EXPECT_EQ(std::string(buffer, size),
              "kestrova: internal error: boom\nkestrova: internal error: unknown exception\n");
    std::free(buffer);
    EXPECT_NE(kInternalErrorExit, 0);
    EXPECT_NE(kInternalErrorExit, 1);
}

}  // namespace
