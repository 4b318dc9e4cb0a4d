#include "base/InputFile.h"

#include "base/Ini.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>

namespace {

using testsupport::TempDir;
using testsupport::WriteText;

// Ends the test program instead of letting an open that blocks hang it.
class CWatchdog {
public:
    explicit CWatchdog(unsigned seconds) { ::alarm(seconds); }
    ~CWatchdog() { ::alarm(0); }
};

TEST(InputFile, OpensRegularFilesAndSaysWhatElseIsNot)
{
    CWatchdog watchdog(20);
    TempDir dir;
    WriteText(dir.File("a.txt"), "hello");
    ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);

    std::string error;
    int64_t bytes = -1;
    CFileDescriptor fd = OpenInputFile(dir.File("a.txt"), error, kAnyInputSize, &bytes);
    ASSERT_TRUE(fd) << error;
    EXPECT_EQ(bytes, 5);
    // The descriptor reads normally: the non-blocking flag of the open is cleared.
    EXPECT_EQ(::fcntl(fd.Get(), F_GETFL) & O_NONBLOCK, 0);
    char text[8] = {};
    EXPECT_EQ(::read(fd.Get(), text, sizeof text), 5);

    struct SCase {
        std::string path;
        std::string reason;
        int errnoValue;
    };
    const SCase refused[] = {
        {dir.File("missing"), "no such file", ENOENT},
        {dir.Path().string(), "is a folder, not a file", EISDIR},
        {dir.File("fifo"), "is a FIFO, not a regular file", EINVAL},
        {"/dev/zero", "is a device, not a regular file", EINVAL},
    };
    for (const SCase& c : refused) {
        EXPECT_FALSE(OpenInputFile(c.path, error));
        EXPECT_EQ(errno, c.errnoValue) << c.path;
        EXPECT_EQ(error, c.path + ": " + c.reason);
        std::string reason;
        EXPECT_FALSE(OpenInputFileFor(c.path, reason));
        EXPECT_EQ(reason, c.reason);
        EXPECT_FALSE(OpenInputStream(c.path, error));
        EXPECT_EQ(error, c.path + ": " + c.reason);
        EXPECT_FALSE(IsReadableRegularFile(c.path));
    }
}

TEST(InputFile, FilesReadWholeAreCappedAndTheLimitIsNamed)
{
    TempDir dir;
    const std::string path = dir.File("big.osh");
    WriteText(path, std::string(1000, 'x'));
    std::string content, error;
    EXPECT_TRUE(ReadInputFile(path, 1000, content, error)) << error;
    EXPECT_EQ(content.size(), 1000u);
    EXPECT_FALSE(ReadInputFile(path, 999, content, error));
    EXPECT_EQ(error, path + ": is too large (1000 bytes; at most 999 bytes)");
    EXPECT_TRUE(content.empty());

    // A sparse file just over the text limit is refused before a byte is read.
    ASSERT_EQ(::truncate(path.c_str(), kMaxTextFileBytes + 1), 0);
    EXPECT_FALSE(ReadInputFile(path, kMaxTextFileBytes, content, error));
    EXPECT_EQ(error, path + ": is too large (16777217 bytes; at most 16 MB)");

    EXPECT_EQ(SizeLimitText(int64_t(4) << 30), "4 GB");
    EXPECT_EQ(SizeLimitText(int64_t(16) << 20), "16 MB");
    EXPECT_EQ(SizeLimitText((int64_t(1) << 20) + 1), "1048577 bytes");
}

TEST(InputFile, IniFilesThatAreNotRegularGiveTheDefaultAndAReason)
{
    CWatchdog watchdog(20);
    TempDir dir;
    const std::string fifo = dir.File("p.osh");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(IniRead("General", "ID", "none", fifo), "none");
    EXPECT_EQ(IniRead("General", "ID", "none", "/dev/zero"), "none");
    std::vector<std::string> lines;
    bool exists = false;
    std::string error;
    EXPECT_FALSE(IniLoadLines(fifo, lines, &exists, &error));
    EXPECT_TRUE(exists);
    EXPECT_EQ(error, fifo + ": is a FIFO, not a regular file");
    // Writing a key never reads the FIFO either: the file exists but cannot be read.
    EXPECT_FALSE(IniWrite(fifo, "General", "ID", "x"));
}

}  // namespace
