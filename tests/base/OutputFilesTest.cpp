// The helpers every writer of outputs uses: a folder replaced by a new version made
// beside it, the lock that keeps a second job off an output, and the check that two
// names are one file.
#include "base/FileIdentity.h"
#include "base/OutputLock.h"
#include "base/StagedFolder.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

ino_t Inode(const std::string& path)
{
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Every entry under `folder`: files with their text, links with their target.
std::map<std::string, std::string> Contents(const std::string& folder)
{
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().lexically_relative(folder).string();
        if (entry.is_symlink())
            found[name] = "-> " + fs::read_symlink(entry.path()).string();
        else if (entry.is_regular_file())
            found[name] = ReadText(entry.path().string());
        else
            found[name] = "/";
    }
    return found;
}

// Names in `folder` that start with ".<name>.": new versions, set-aside folders, locks.
std::vector<std::string> Hidden(const std::string& folder, const std::string& name)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string entryName = entry.path().filename().string();
        if (entryName.rfind("." + name + ".", 0) == 0) found.push_back(entryName);
    }
    return found;
}

// An old DVD-like folder: a title, its information file, a file the new version drops,
// a folder of another program's and a link.
std::string OldFolder(const TempDir& dir)
{
    const std::string folder = dir.File("VIDEO_TS");
    fs::create_directories(folder + "/notes");
    WriteText(folder + "/A.VOB", "old title");
    WriteText(folder + "/A.IFO", "old information");
    WriteText(folder + "/GONE.IFO", "replaced");
    WriteText(folder + "/notes/mine.txt", "someone's notes");
    fs::create_symlink("A.VOB", folder + "/latest");
    return folder;
}

CStagedFolder::EKeep KeepByName(const std::string& name)
{
    if (name == "GONE.IFO") return CStagedFolder::EKeep::Drop;
    return name == "A.IFO" ? CStagedFolder::EKeep::Copy : CStagedFolder::EKeep::Link;
}

TEST(StagedFolder, NewVersionTakesOverKeptEntriesAndReplacesTheFolderOnCommit)
{
    TempDir dir;
    const std::string folder = OldFolder(dir);
    const auto before = Contents(folder);
    CStagedFolder staged(folder + "/");
    std::string error;
    ASSERT_TRUE(staged.Begin(KeepByName, error)) << error;
    const std::string work = staged.Path();
    ASSERT_EQ(work.back(), '/');
    EXPECT_EQ(fs::path(work).parent_path().parent_path(), dir.Path());
    // Linked entries are the same files; the copy is a file of its own.
    EXPECT_EQ(Inode(work + "A.VOB"), Inode(folder + "/A.VOB"));
    EXPECT_EQ(Inode(work + "notes/mine.txt"), Inode(folder + "/notes/mine.txt"));
    EXPECT_NE(Inode(work + "A.IFO"), Inode(folder + "/A.IFO"));
    EXPECT_EQ(ReadText(work + "A.IFO"), "old information");
    EXPECT_FALSE(fs::exists(work + "GONE.IFO"));

    // Rewriting the copy in place and adding files leaves the old folder alone.
    WriteText(work + "A.IFO", "new information");
    WriteText(work + "B.VOB", "new title");
    EXPECT_EQ(Contents(folder), before);

    ASSERT_TRUE(staged.Commit(error)) << error;
    const auto after = Contents(folder);
    EXPECT_EQ(after.at("A.IFO"), "new information");
    EXPECT_EQ(after.at("B.VOB"), "new title");
    EXPECT_EQ(after.at("A.VOB"), "old title");
    EXPECT_EQ(after.at("notes/mine.txt"), "someone's notes");
    EXPECT_EQ(after.at("latest"), "-> A.VOB");
    EXPECT_EQ(after.count("GONE.IFO"), 0u);
    EXPECT_TRUE(Hidden(dir.Path().string(), "VIDEO_TS").empty());
    EXPECT_TRUE(staged.Path().empty());
}

TEST(StagedFolder, AbandonedVersionLeavesTheFolderExactlyAsItWas)
{
    TempDir dir;
    const std::string folder = OldFolder(dir);
    const auto before = Contents(folder);
    {
        CStagedFolder staged(folder);
        std::string error;
        ASSERT_TRUE(staged.Begin(KeepByName, error)) << error;
        WriteText(staged.Path() + "B.VOB", "half a title");
        // Destroyed without Commit, as after a failed or stopped job.
    }
    EXPECT_EQ(Contents(folder), before);
    EXPECT_TRUE(Hidden(dir.Path().string(), "VIDEO_TS").empty());
}

TEST(StagedFolder, MissingFolderIsMadeAndALinkedFolderIsReplacedWhereItIs)
{
    TempDir dir;
    CStagedFolder fresh(dir.File("new"));
    std::string error;
    ASSERT_TRUE(fresh.Begin(KeepByName, error)) << error;
    WriteText(fresh.Path() + "B.VOB", "first");
    ASSERT_TRUE(fresh.Commit(error)) << error;
    EXPECT_EQ(ReadText(dir.File("new/B.VOB")), "first");

    // A name that is a link to the folder: the new version is made beside the real one
    // and the link still leads to it.
    fs::create_symlink("new", dir.File("via-link"));
    CStagedFolder linked(dir.File("via-link"));
    ASSERT_TRUE(linked.Begin(KeepByName, error)) << error;
    WriteText(linked.Path() + "C.VOB", "second");
    ASSERT_TRUE(linked.Commit(error)) << error;
    EXPECT_TRUE(fs::is_symlink(dir.File("via-link")));
    EXPECT_EQ(ReadText(dir.File("via-link/C.VOB")), "second");
    EXPECT_EQ(ReadText(dir.File("new/B.VOB")), "first");
}

TEST(StagedFolder, LeftoversOfAKilledRunAreRemovedOrPutBack)
{
    TempDir dir;
    const std::string folder = OldFolder(dir);
    fs::create_directories(dir.File(".VIDEO_TS.part-123/sub"));
    WriteText(dir.File(".VIDEO_TS.part-123/sub/B.VOB"), "half");
    fs::create_directories(dir.File(".VIDEO_TS.old-77"));
    fs::create_directories(dir.File(".OTHER.part-5"));  // another folder's: not ours
    CStagedFolder staged(folder);
    staged.RemoveLeftovers();
    EXPECT_EQ(Hidden(dir.Path().string(), "VIDEO_TS"), std::vector<std::string>());
    EXPECT_TRUE(fs::exists(dir.File(".OTHER.part-5")));
    EXPECT_EQ(ReadText(folder + "/A.VOB"), "old title");

    // Killed between setting the old folder aside and moving the new one in: the old
    // folder comes back.
    fs::rename(folder, dir.File(".VIDEO_TS.old-88"));
    fs::create_directories(dir.File(".VIDEO_TS.part-88"));
    staged.RemoveLeftovers();
    EXPECT_EQ(ReadText(folder + "/A.VOB"), "old title");
    EXPECT_EQ(Hidden(dir.Path().string(), "VIDEO_TS"), std::vector<std::string>());
}

TEST(OutputLock, SecondHolderIsRefusedUntilTheFirstLetsGo)
{
    TempDir dir;
    const std::string output = dir.File("disc.iso");
    EXPECT_EQ(COutputLock::LockFileFor(output), dir.File(".disc.iso.lock"));
    COutputLock first;
    ASSERT_EQ(first.Acquire(output), COutputLock::EResult::Locked) << first.Error();
    EXPECT_EQ(ReadText(dir.File(".disc.iso.lock")), std::to_string(::getpid()) + "\n");

    // Another name of the same output meets the same lock.
    fs::create_symlink(dir.Path(), dir.File("again"));
    COutputLock second;
    EXPECT_EQ(second.Acquire(dir.File("again/disc.iso")), COutputLock::EResult::Busy);
    EXPECT_NE(second.Error().find(dir.File("again/disc.iso") + " is being written by another Kestrova job (process " +
                                  std::to_string(::getpid())),
              std::string::npos)
        << second.Error();

    first.Release();
    EXPECT_FALSE(fs::exists(dir.File(".disc.iso.lock")));
    EXPECT_EQ(second.Acquire(output), COutputLock::EResult::Locked) << second.Error();
}

TEST(OutputLock, LockOfAKilledProcessIsFree)
{
    TempDir dir;
    const std::string output = dir.File("VIDEO_TS");
    const pid_t child = ::fork();
    if (child == 0) {
        COutputLock held;
        if (held.Acquire(output) != COutputLock::EResult::Locked) ::_exit(1);
        ::raise(SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(fs::exists(COutputLock::LockFileFor(output)));  // the file stays, the lock does not
    COutputLock next;
    EXPECT_EQ(next.Acquire(output), COutputLock::EResult::Locked) << next.Error();
}

TEST(OutputLock, PlaceThatCannotHoldALockFailsWithTheReason)
{
    TempDir dir;
    WriteText(dir.File("file"), "x");
    COutputLock lock;
    EXPECT_EQ(lock.Acquire(dir.File("missing/disc.iso")), COutputLock::EResult::Failed);
    EXPECT_EQ(lock.Reason(), "No such file or directory");
    EXPECT_EQ(lock.Acquire(dir.File("file/dvd/VIDEO_TS"), true), COutputLock::EResult::Failed);
    EXPECT_EQ(lock.Reason(), "Not a directory");
    EXPECT_NE(lock.Error().find(dir.File("file/dvd/VIDEO_TS")), std::string::npos) << lock.Error();
    EXPECT_EQ(ReadText(dir.File("file")), "x");
    // With makeParent the folders are made.
    EXPECT_EQ(lock.Acquire(dir.File("made/dvd/VIDEO_TS"), true), COutputLock::EResult::Locked);
    EXPECT_TRUE(fs::is_directory(dir.File("made/dvd")));
}

TEST(FileIdentity, NamesOfOneFileThroughLinksAreTheSame)
{
    TempDir dir;
    WriteText(dir.File("a.wav"), "a");
    WriteText(dir.File("b.wav"), "a");
    fs::create_hard_link(dir.File("a.wav"), dir.File("hard.wav"));
    fs::create_symlink("a.wav", dir.File("soft.wav"));
    EXPECT_TRUE(IsSameFile(dir.File("a.wav"), dir.File("hard.wav")));
    EXPECT_TRUE(IsSameFile(dir.File("soft.wav"), dir.File("a.wav")));
    EXPECT_FALSE(IsSameFile(dir.File("a.wav"), dir.File("b.wav")));  // equal bytes, two files
    EXPECT_FALSE(IsSameFile(dir.File("none.wav"), dir.File("none.wav")));
    EXPECT_EQ(FindSameFile(dir.File("soft.wav"), {dir.File("b.wav"), dir.File("hard.wav")}), dir.File("hard.wav"));
    EXPECT_EQ(FindSameFile(dir.File("b.wav"), {dir.File("a.wav"), ""}), "");
}

}  // namespace
