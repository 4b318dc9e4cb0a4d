// `kestrova iso` on a DVD folder another authoring program wrote (dvdauthor, with menus
// in the video manager and in a title set, two titles in one title set) and on damaged
// copies of it: the folder itself is written, every damage that would leave a disc
// that cannot play is refused with the file named, and no image is left behind.
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>

namespace fs = std::filesystem;
using testsupport::Quote;

namespace {

class DamagedFolderImages : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work = std::make_unique<testsupport::TempDir>();
        const std::string w = work->Path().string();
        auto step = [](const std::string& command) {
            auto r = testsupport::Run(command);
            if (r.exitCode != 0) setupError += command + "\n" + r.err + "\n";
        };
        for (auto [clip, source, seconds] : {std::tuple{"title", "testsrc", "3"}, std::tuple{"menu", "testsrc2", "1"}})
            step("ffmpeg -nostdin -loglevel error -y -f lavfi -i " + std::string(source) +
                 "=size=720x480:rate=30000/1001 -f lavfi -i sine -t " + seconds + " -target ntsc-dvd " +
                 Quote(w + "/" + clip + ".mpg"));
        const std::string menu = "<vob file=\"" + w + "/menu.mpg\"/>";
        const std::string title = "<pgc><vob file=\"" + w + "/title.mpg\"/></pgc>";
        testsupport::WriteText(
            w + "/dvd.xml",
            "<dvdauthor dest=\"" + w + "/dvd\"><vmgm><menus><pgc entry=\"title\">" + menu +
                "<post>jump title 1;</post></pgc></menus></vmgm>" + "<titleset><menus><pgc entry=\"root\">" + menu +
                "<post>jump title 1;</post></pgc></menus><titles>" + title + title +
                "</titles></titleset><titleset><titles>" + title + "</titles></titleset></dvdauthor>\n");
        step("VIDEO_FORMAT=NTSC dvdauthor -x " + Quote(w + "/dvd.xml"));
        original = w + "/dvd/VIDEO_TS";
    }
    static void TearDownTestSuite() { work.reset(); }
    void SetUp() override { ASSERT_TRUE(setupError.empty()) << setupError; }

    // A fresh copy of the folder, damaged by `damage` (given the copy's path).
    std::string DamagedCopy(const std::function<void(const std::string&)>& damage)
    {
        const std::string copy = dir.File("VIDEO_TS");
        fs::remove_all(copy);
        fs::copy(original, copy);
        damage(copy);
        return copy;
    }
    testsupport::RunResult Iso(const std::string& folder, const std::string& image)
    {
        return testsupport::Run(Quote(testsupport::CliPath()) + " iso " + Quote(folder) + " -o " + Quote(image));
    }

    testsupport::TempDir dir;
    static inline std::unique_ptr<testsupport::TempDir> work;
    static inline std::string original;
    static inline std::string setupError;
};

TEST_F(DamagedFolderImages, TheUndamagedFolderWithMenusIsWritten)
{
    const std::string image = dir.File("good.iso");
    auto run = Iso(DamagedCopy([](const std::string&) {}), image);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("Done!"), std::string::npos) << run.err;
    EXPECT_TRUE(fs::exists(image));
}

TEST_F(DamagedFolderImages, EachDamageIsRefusedNamingTheFileAndNoImageIsWritten)
{
    struct SCase {
        const char* file;
        std::function<void(const std::string&)> damage;  // given the file's path
        const char* problem;
    };
    const SCase cases[] = {
        {"VTS_02_1.VOB", [](const std::string& p) { ASSERT_EQ(0, ::truncate(p.c_str(), 0)); }, " is empty (0 bytes)"},
        {"VTS_02_1.VOB",
         [](const std::string& p) {
             fs::remove(p);
             fs::create_directory(p);
         },
         "is a folder, not a file"},
        {"VTS_01_1.VOB",
         [](const std::string& p) {
             fs::remove(p);
             fs::create_symlink("VTS_01_1.VOB", p);
         },
         "Too many levels of symbolic links"},
        {"VIDEO_TS.IFO", [](const std::string& p) { ASSERT_EQ(0, ::truncate(p.c_str(), 5000)); },
         " is 5000 bytes, but its header gives it"},
        {"VTS_01_0.IFO",
         [](const std::string& p) {
             std::vector<uint8_t> noise(fs::file_size(p));
             std::mt19937 random(11);
             for (uint8_t& b : noise) b = uint8_t(random());
             testsupport::WriteBytes(p, noise);
         },
         " does not start with the identifier DVDVIDEO-VTS"},
        {"VTS_02_0.IFO", [](const std::string& p) { fs::remove(p); }, " is missing (VIDEO_TS.IFO lists 2 title sets)"},
        {"VIDEO_TS.VOB", [](const std::string& p) { ASSERT_EQ(0, ::truncate(p.c_str(), 4 * 2048)); },
         " is 4 sectors, but the menu cells of VIDEO_TS.IFO reach sector"},
    };
    for (const SCase& c : cases) {
        const std::string folder = DamagedCopy([&](const std::string& copy) { c.damage(copy + "/" + c.file); });
        const std::string path = folder + "/" + c.file;
        SCOPED_TRACE(path + c.problem);
        const std::string image = dir.File("bad.iso");
        auto run = Iso(folder, image);
        EXPECT_NE(run.exitCode, 0);
        // Files that are not files at all are refused when the folder is read, the others
        // by the check before writing; either way the last line names the file.
        const size_t named = run.err.rfind("\nkestrova: " + path);
        EXPECT_NE(named, std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.problem, named), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("Done!"), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(image));
        EXPECT_FALSE(fs::exists(image + ".part"));
    }
}

}  // namespace
