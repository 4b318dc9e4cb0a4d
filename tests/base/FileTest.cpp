#include "base/File.h"

#include "support/FileSizeLimit.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>

namespace {

using testsupport::CFileSizeLimit;
using testsupport::ReadText;
using testsupport::TempDir;
using testsupport::WriteText;
namespace fs = std::filesystem;

// The names in a folder, so that a partial file left behind shows.
std::vector<std::string> Entries(const TempDir& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.Path())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

unsigned ModeOf(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? unsigned(st.st_mode & 07777) : 0u;
}

TEST(ReplaceFile, CommitSwapsInTheWholeNewContent)
{
    TempDir dir;
    const std::string path = dir.File("a.txt");
    WriteText(path, "old content");
    CReplaceFile out(path);
    std::string error;
    ASSERT_TRUE(out.Open(error)) << error;
    EXPECT_EQ(out.PartialPath(), path + ".part");
    std::fputs("new", out.File());
    // Until the commit, readers see the old file.
    EXPECT_EQ(ReadText(path), "old content");
    ASSERT_TRUE(out.Commit(error)) << error;
    EXPECT_EQ(out.File(), nullptr);
    EXPECT_EQ(ReadText(path), "new");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"a.txt"});

    ASSERT_TRUE(ReplaceFileContent(path, "xyz", 3, error)) << error;
    EXPECT_EQ(ReadText(path), "xyz");
    ASSERT_TRUE(ReplaceFileContent(path, nullptr, 0, error)) << error;
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST(ReplaceFile, AbandonedOrFailedReplacementKeepsTheOldFileAndLeavesNoPartialFile)
{
    TempDir dir;
    const std::string path = dir.File("keep.txt");
    WriteText(path, "old");
    std::string error;
    {
        CReplaceFile out(path);
        ASSERT_TRUE(out.Open(error));
        std::fputs("half of it", out.File());
        std::fflush(out.File());
    }  // destroyed without Commit
    EXPECT_EQ(ReadText(path), "old");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"keep.txt"});

    CReplaceFile abandoned(path);
    ASSERT_TRUE(abandoned.Open(error));
    abandoned.Abandon();
    EXPECT_EQ(abandoned.File(), nullptr);
    EXPECT_FALSE(abandoned.Commit(error));
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"keep.txt"});

    // The rename fails: a folder cannot be replaced by a file.
    fs::create_directory(dir.File("folder"));
    WriteText(dir.File("folder/inside"), "x");
    CReplaceFile overFolder(dir.File("folder"));
    ASSERT_TRUE(overFolder.Open(error)) << error;
    std::fputs("file", overFolder.File());
    EXPECT_FALSE(overFolder.Commit(error));
    EXPECT_NE(error.find(dir.File("folder") + ": cannot write ("), std::string::npos) << error;
    EXPECT_TRUE(fs::is_directory(dir.File("folder")));
    EXPECT_EQ(Entries(dir), (std::vector<std::string>{"folder", "keep.txt"}));
}

TEST(ReplaceFile, WriteErrorsFailTheCommitAndKeepTheOldFile)
{
    TempDir dir;
    const std::string path = dir.File("big.bin");
    WriteText(path, "old");
    const std::vector<char> data(64 * 1024, 'x');
    std::string error;
    CFileSizeLimit limit(4096);
    if (!limit.Active()) GTEST_SKIP() << "cannot lower the file size limit";

    // Through the stream: the failed write sticks to it and the commit reports it.
    CReplaceFile out(path);
    ASSERT_TRUE(out.Open(error)) << error;
    std::fwrite(data.data(), 1, data.size(), out.File());
    EXPECT_FALSE(out.Commit(error));
    EXPECT_NE(error.find(path + ": cannot write ("), std::string::npos) << error;
    EXPECT_EQ(ReadText(path), "old");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"big.bin"});

    // In one piece.
    error.clear();
    EXPECT_FALSE(ReplaceFileContent(path, data.data(), data.size(), error));
    EXPECT_NE(error.find(path + ": cannot write ("), std::string::npos) << error;
    EXPECT_EQ(ReadText(path), "old");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"big.bin"});
}

TEST(ReplaceFile, FolderThatDoesNotExistCannotBeCreatedAndSaysWhere)
{
    TempDir dir;
    const std::string path = dir.File("no/such/folder/x.txt");
    std::string error;
    CReplaceFile out(path);
    EXPECT_FALSE(out.Open(error));
    EXPECT_EQ(out.File(), nullptr);
    EXPECT_EQ(error, path + ": cannot create (No such file or directory)");
    error.clear();
    EXPECT_FALSE(ReplaceFileContent(path, "x", 1, error));
    EXPECT_EQ(error, path + ": cannot create (No such file or directory)");
    EXPECT_TRUE(Entries(dir).empty());
}

TEST(ReplaceFile, ModeOfTheNewFileKeptOrTakenFromTheUmask)
{
    TempDir dir;
    const mode_t oldMask = ::umask(027);
    const std::string path = dir.File("mode.txt");
    WriteText(path, "old");
    ::chmod(path.c_str(), 0604);
    std::string error;

    SReplaceOptions keep;
    keep.keepMode = true;
    ASSERT_TRUE(ReplaceFileContent(path, "kept", 4, error, keep)) << error;
    EXPECT_EQ(ModeOf(path), 0604u);
    ASSERT_TRUE(ReplaceFileContent(path, "new", 3, error)) << error;
    EXPECT_EQ(ModeOf(path), 0640u);

    // A unique partial file starts private; the finished file still gets the usual
    // mode, for a new file as for a kept one.
    SReplaceOptions unique;
    unique.uniquePartial = true;
    ASSERT_TRUE(ReplaceFileContent(dir.File("fresh.txt"), "u", 1, error, unique)) << error;
    EXPECT_EQ(ModeOf(dir.File("fresh.txt")), 0640u);
    unique.keepMode = true;
    ::chmod(path.c_str(), 0664);
    ASSERT_TRUE(ReplaceFileContent(path, "u", 1, error, unique)) << error;
    EXPECT_EQ(ModeOf(path), 0664u);
    ::umask(oldMask);
}

TEST(ReplaceFile, UniquePartialFilesLetTwoWritersEachCommitAWholeFile)
{
    TempDir dir;
    const std::string path = dir.File("shared.ini");
    SReplaceOptions unique;
    unique.uniquePartial = true;
    CReplaceFile first(path, unique), second(path, unique);
    std::string error;
    ASSERT_TRUE(first.Open(error)) << error;
    ASSERT_TRUE(second.Open(error)) << error;
    EXPECT_NE(first.PartialPath(), second.PartialPath());
    EXPECT_EQ(first.PartialPath().rfind(path + ".part-", 0), 0u) << first.PartialPath();
    std::fputs("first writer's text", first.File());
    std::fputs("second", second.File());
    ASSERT_TRUE(first.Commit(error)) << error;
    EXPECT_EQ(ReadText(path), "first writer's text");
    ASSERT_TRUE(second.Commit(error)) << error;
    EXPECT_EQ(ReadText(path), "second");
    EXPECT_EQ(Entries(dir), std::vector<std::string>{"shared.ini"});
}

TEST(FileDescriptor, PositionedReadsStopAtTheEndAndWritesReportTheirError)
{
    TempDir dir;
    const std::string path = dir.File("data.bin");
    WriteText(path, "0123456789");
    int64_t bytes = 0;
    EXPECT_TRUE(IsReadableRegularFile(path, &bytes));
    EXPECT_EQ(bytes, 10);
    EXPECT_FALSE(IsReadableRegularFile(dir.Path().string()));
    EXPECT_FALSE(IsReadableRegularFile(dir.File("missing")));

    CFileDescriptor fd = OpenForReading(path);
    ASSERT_TRUE(fd);
    char buffer[8] = {};
    EXPECT_EQ(ReadDescriptorAt(fd.Get(), buffer, 4, 3), 4u);
    EXPECT_EQ(std::string(buffer, 4), "3456");
    EXPECT_EQ(ReadDescriptorAt(fd.Get(), buffer, 8, 6), 4u);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_EQ(ReadDescriptorAt(fd.Get(), buffer, 8, 20), 0u);

    CFileDescriptor moved(std::move(fd));
    EXPECT_FALSE(fd);
    EXPECT_EQ(moved.Close(), 0);
    EXPECT_FALSE(moved);

    std::string reason;
    CFileDescriptor full(::open("/dev/full", O_WRONLY | O_CLOEXEC));
    if (!full) GTEST_SKIP() << "no /dev/full";
    EXPECT_FALSE(WriteToDescriptor(full.Get(), "x", 1, reason));
    EXPECT_EQ(reason, "No space left on device");
}

}  // namespace
