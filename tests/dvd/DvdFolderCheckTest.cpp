// The folder check on a folder our title builder wrote (two title sets, the second
// split over two VOB files) and on damaged copies of it: each damage is refused with a
// message that names the damaged file by its full path and says what is wrong.
#include "TitleHelpers.h"

#include "dvd/DvdFolderCheck.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>

namespace fs = std::filesystem;

namespace {

class DvdFolderCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work = std::make_unique<testsupport::TempDir>();
        CScriptedUi ui;
        CUiScope scope(ui);
        original = work->File("original");
        fs::create_directories(original);
        FakeTitle first, second;
        first.video = fakestreams::Video(2, 352, 240);
        first.audio = fakestreams::Mp2(2);
        first.seconds = 2;
        second = first;
        second.splitBytes = 128 << 10;
        if (!CFakeTitleBuilder(first).Build(0, original) || !CFakeTitleBuilder(second).Build(1, original))
            setupError = "the title sets could not be built";
        else if (VobFiles(original, 2).size() != 2)
            setupError = "the second title set should have two VOB files";
    }
    static void TearDownTestSuite() { work.reset(); }
    void SetUp() override { ASSERT_TRUE(setupError.empty()) << setupError; }

    // A fresh copy of the folder.
    std::string Copy()
    {
        const std::string copy = dir.File("copy");
        fs::remove_all(copy);
        fs::copy(original, copy);
        return copy;
    }

    testsupport::TempDir dir;
    static inline std::unique_ptr<testsupport::TempDir> work;
    static inline std::string original;
    static inline std::string setupError;
};

void Resize(const std::string& path, int64_t bytes) { ASSERT_EQ(0, ::truncate(path.c_str(), off_t(bytes))); }

TEST_F(DvdFolderCheck, EachDamageIsRefusedNamingTheFileAndTheProblem)
{
    struct SCase {
        const char* file;  // the file the message must name
        std::function<void(const std::string&)> damage;  // given the file's path
        const char* problem;
    };
    const SCase cases[] = {
        {"VTS_02_1.VOB", [](const std::string& p) { Resize(p, 0); }, " is empty (0 bytes)"},
        {"VTS_02_1.VOB",
         [](const std::string& p) {
             fs::remove(p);
             fs::create_directory(p);
         },
         " is a folder, not a file"},
        {"VTS_01_1.VOB",
         [](const std::string& p) {
             fs::remove(p);
             fs::create_symlink("VTS_01_1.VOB", p);
         },
         " is a link loop"},
        {"VTS_02_2.VOB",
         [](const std::string& p) {
             fs::remove(p);
             fs::create_symlink("gone.VOB", p);
         },
         " is a link to a file that does not exist"},
        {"VTS_01_1.VOB",
         [](const std::string& p) {
             fs::remove(p);
             ASSERT_EQ(0, ::mkfifo(p.c_str(), 0600));
         },
         " is not a regular file"},
        {"VIDEO_TS.IFO", [](const std::string& p) { Resize(p, 5000); }, " is 5000 bytes, but its header gives it"},
        {"VIDEO_TS.IFO",
         [](const std::string& p) {
             std::vector<uint8_t> noise(fs::file_size(p));
             std::mt19937 random(7);
             for (uint8_t& b : noise) b = uint8_t(random());
             testsupport::WriteBytes(p, noise);
         },
         " does not start with the identifier DVDVIDEO-VMG"},
        {"VTS_02_0.IFO", [](const std::string& p) { Resize(p, 3 * 2048); }, " is 6144 bytes"},
        {"VTS_02_0.IFO", [](const std::string& p) { fs::remove(p); }, " is missing (VIDEO_TS.IFO lists 2 title sets)"},
        {"VTS_01_0.BUP", [](const std::string& p) { fs::remove(p); }, " is missing (the backup of VTS_01_0.IFO)"},
        {"VIDEO_TS.BUP",
         [](const std::string& p) {
             auto bytes = testsupport::ReadBytes(p);
             bytes[3000] ^= 1;
             testsupport::WriteBytes(p, bytes);
         },
         " differs from VIDEO_TS.IFO"},
        {"VTS_02_1.VOB", [](const std::string& p) { fs::remove(p); }, " is missing, but VTS_02_2.VOB follows it"},
        {"VTS_01_0.IFO",
         [](const std::string& p) { Resize((fs::path(p).parent_path() / "VTS_01_1.VOB").string(), 2048); },
         " gives its title VOBs"},
        {"VTS_02_2.VOB", [](const std::string& p) { Resize(p, int64_t(fs::file_size(p)) + 100); },
         " bytes, not a whole number of 2048-byte sectors"},
        {"VTS_02_0.VOB", [](const std::string& p) { testsupport::WriteBytes(p, std::vector<uint8_t>(2048)); },
         " is not used: VTS_02_0.IFO names no menu VOB"},
    };
    for (const SCase& c : cases) {
        const std::string copy = Copy();
        std::string error;
        ASSERT_TRUE(CheckDvdFolder(copy, error)) << error;
        const std::string path = copy + "/" + c.file;
        c.damage(path);
        SCOPED_TRACE(path + c.problem);
        EXPECT_FALSE(CheckDvdFolder(copy, error));
        EXPECT_EQ(error.rfind(path + " ", 0), 0u) << error;
        EXPECT_NE(error.find(c.problem), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST_F(DvdFolderCheck, FolderNameWithOrWithoutSlashAndMissingFolder)
{
    std::string error;
    EXPECT_TRUE(CheckDvdFolder(original + "/", error)) << error;
    EXPECT_FALSE(CheckDvdFolder(dir.File("nothing"), error));
    EXPECT_EQ(error, dir.File("nothing") + "/VIDEO_TS.IFO is missing");
}

}  // namespace
