// Disc images of DVD folders made by another authoring program (dvdauthor, which pads
// its video manager), written by `kestrova iso` and read back by programs we did not
// write: isoinfo, xorriso, udfinfo, 7z, lsdvd, libdvdread and libdvdnav.
#include "support/TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>

namespace fs = std::filesystem;
using testsupport::Quote;


namespace {

struct Dvd {
    std::string name;
    std::string videoTs;  // the folder dvdauthor wrote
    std::string image;    // our image of it
    int titleSets = 0;
};

class DvdauthorImages : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work = std::make_unique<testsupport::TempDir>();
        const std::string w = work->Path().string();
        auto step = [](const std::string& command) {
            auto r = testsupport::Run(command);
            if (r.exitCode != 0) setupError += command + "\n" + r.err + "\n";
        };
        for (auto [clip, source, seconds] :
             {std::tuple{"a", "testsrc", 4}, std::tuple{"b", "testsrc2", 3}}) {
            step("ffmpeg -nostdin -loglevel error -y -f lavfi -i " + std::string(source) +
                 "=size=720x480:rate=30000/1001 -f lavfi -i sine -t " + std::to_string(seconds) +
                 " -target ntsc-dvd " + Quote(w + "/" + clip + ".mpg"));
        }
        const std::string env = "export VIDEO_FORMAT=NTSC; ";
        step(env + "dvdauthor -o " + Quote(w + "/one") + " -t " + Quote(w + "/a.mpg") +
             " && dvdauthor -o " + Quote(w + "/one") + " -T");
        testsupport::WriteText(w + "/two.xml",
            "<dvdauthor dest=\"" + w + "/two\"><vmgm />"
            "<titleset><titles><pgc><vob file=\"" + w + "/a.mpg\"/></pgc></titles></titleset>"
            "<titleset><titles><pgc><vob file=\"" + w + "/b.mpg\"/></pgc></titles></titleset>"
            "</dvdauthor>\n");
        step(env + "dvdauthor -x " + Quote(w + "/two.xml"));
        dvds = {{"one", w + "/one/VIDEO_TS", w + "/one.iso", 1},
                {"two", w + "/two/VIDEO_TS", w + "/two.iso", 2}};
        for (const Dvd& dvd : dvds)
            step(Quote(testsupport::CliPath()) + " iso " + Quote(dvd.videoTs) + " -o " +
                 Quote(dvd.image) + " --label " + Quote("Test " + dvd.name));
    }
    static void TearDownTestSuite() { work.reset(); }

    void SetUp() override { ASSERT_TRUE(setupError.empty()) << setupError; }

    static std::map<std::string, uint64_t> FolderFiles(const std::string& folder)
    {
        std::map<std::string, uint64_t> files;
        for (const auto& entry : fs::directory_iterator(folder))
            files[entry.path().filename().string()] = entry.file_size();
        return files;
    }

    static inline std::unique_ptr<testsupport::TempDir> work;
    static inline std::vector<Dvd> dvds;
    static inline std::string setupError;
};

TEST_F(DvdauthorImages, IsoinfoReadsVolumePathTablesAndDirectories)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        auto d = testsupport::Run("isoinfo -d -i " + Quote(dvd.image));
        EXPECT_EQ(d.exitCode, 0);
        EXPECT_EQ(d.err, "");
        uint64_t sectors = fs::file_size(dvd.image) / 2048;
        EXPECT_NE(d.out.find("Volume size is: " + std::to_string(sectors) + "\n"), std::string::npos)
            << d.out;
        auto p = testsupport::Run("isoinfo -p -i " + Quote(dvd.image));
        EXPECT_EQ(p.err, "");
        EXPECT_NE(p.out.find("Path table starts at block 70, size 42"), std::string::npos) << p.out;
        EXPECT_NE(p.out.find("2:    1 51 AUDIO_TS"), std::string::npos) << p.out;
        EXPECT_NE(p.out.find("3:    1 52 VIDEO_TS"), std::string::npos) << p.out;

        auto l = testsupport::Run("isoinfo -l -i " + Quote(dvd.image));
        EXPECT_EQ(l.err, "");
        for (const auto& [name, size] : FolderFiles(dvd.videoTs)) {
            std::regex line(std::to_string(size) + " [A-Za-z]{3} +[0-9]+ [0-9]{4} \\[ *[0-9]+ 00\\]  " +
                            name + ";1");
            EXPECT_TRUE(std::regex_search(l.out, line)) << name << "\n" << l.out;
        }
    }
}

TEST_F(DvdauthorImages, XorrisoAndUdfinfoReadWithoutComplaint)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        auto x = testsupport::Run("xorriso -abort_on FAILURE -return_with SORRY 32 -indev " + Quote(dvd.image) +
                     " -find /VIDEO_TS -type f -exec lsdl");
        EXPECT_EQ(x.exitCode, 0) << x.err;
        for (const char* bad : {"WARNING", "SORRY", "FAILURE"})
            EXPECT_EQ(x.err.find(bad), std::string::npos) << x.err;
        for (const auto& [name, size] : FolderFiles(dvd.videoTs))
            EXPECT_NE(x.out.find(std::to_string(size) + " "), std::string::npos) << name;
        EXPECT_EQ(size_t(std::count(x.out.begin(), x.out.end(), '\n')), FolderFiles(dvd.videoTs).size());

        auto u = testsupport::Run("udfinfo " + Quote(dvd.image));
        EXPECT_EQ(u.exitCode, 0) << u.err;
        EXPECT_NE(u.out.find("label=Test " + dvd.name + "\n"), std::string::npos) << u.out;
        EXPECT_NE(u.out.find("integrity=closed"), std::string::npos);
        EXPECT_NE(u.out.find("udfrev=1.02"), std::string::npos);
        EXPECT_NE(u.out.find("numfiles=" + std::to_string(FolderFiles(dvd.videoTs).size()) + "\n"),
                  std::string::npos) << u.out;
        EXPECT_NE(u.out.find("impid=*Kestrova DVD"), std::string::npos);
    }
}

TEST_F(DvdauthorImages, SevenZipExtractsTheSameFilesFromBothViews)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        std::set<std::string> listed[2];
        int view = 0;
        for (const char* type : {"udf", "iso"}) {
            auto list = testsupport::Run("7z l -slt -t" + std::string(type) + " " + Quote(dvd.image));
            ASSERT_EQ(list.exitCode, 0) << list.err;
            std::istringstream lines(list.out);
            std::string line;
            while (std::getline(lines, line))
                if (line.rfind("Path = VIDEO_TS/", 0) == 0) listed[view].insert(line.substr(16));
            std::string out = work->Path().string() + "/x_" + dvd.name + "_" + type;
            auto x = testsupport::Run("7z x -y -t" + std::string(type) + " -o" + Quote(out) + " " + Quote(dvd.image));
            ASSERT_EQ(x.exitCode, 0) << x.err;
            EXPECT_TRUE(fs::is_directory(out + "/AUDIO_TS"));
            for (const auto& [name, size] : FolderFiles(dvd.videoTs)) {
                auto c = testsupport::Run("cmp " + Quote(dvd.videoTs + "/" + name) + " " + Quote(out + "/VIDEO_TS/" + name));
                EXPECT_EQ(c.exitCode, 0) << type << " " << name << " " << c.out << c.err;
            }
            ++view;
        }
        EXPECT_EQ(listed[0], listed[1]);
        EXPECT_EQ(listed[0].size(), FolderFiles(dvd.videoTs).size());
    }
}

TEST_F(DvdauthorImages, EveryFileStartsAtTheSectorItsIfoFilesGive)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        auto r = testsupport::Run(Quote(testsupport::ToolPath("udf_placement")) + " " + Quote(dvd.image));
        EXPECT_EQ(r.exitCode, 0) << r.out;
        EXPECT_EQ(r.out.find("MISMATCH"), std::string::npos) << r.out;
        // The ISO 9660 view points at the same sectors as the UDF view.
        auto l = testsupport::Run("isoinfo -l -i " + Quote(dvd.image));
        std::regex entry(R"(^(\S+\.(IFO|VOB|BUP)) ([0-9]+) ([0-9]+) (-?[0-9]+)$)");
        std::istringstream lines(r.out);
        std::string line;
        int files = 0;
        while (std::getline(lines, line)) {
            std::smatch m;
            if (!std::regex_match(line, m, entry)) continue;
            EXPECT_TRUE(std::regex_search(l.out, std::regex("\\[ *" + m[3].str() + " 00\\]  " + m[1].str())))
                << line;
            ++files;
        }
        EXPECT_EQ(size_t(files), FolderFiles(dvd.videoTs).size());
    }
}

TEST_F(DvdauthorImages, LsdvdAndLibdvdnavPlayTheImage)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        auto ls = testsupport::Run("lsdvd " + Quote(dvd.image));
        EXPECT_EQ(ls.exitCode, 0) << ls.err;
        for (int t = 1; t <= dvd.titleSets; ++t) {
            char title[32];
            std::snprintf(title, sizeof title, "Title: %02d,", t);
            EXPECT_NE(ls.out.find(title), std::string::npos) << ls.out;
        }
        auto play = testsupport::Run(Quote(testsupport::ToolPath("dvdnav_play")) + " " + Quote(dvd.image));
        EXPECT_EQ(play.exitCode, 0) << play.out;
        EXPECT_NE(play.out.find("VTS 1\n"), std::string::npos) << play.out;
        EXPECT_NE(play.out.find("STOP"), std::string::npos) << play.out;
        EXPECT_EQ(play.out.find("ERROR"), std::string::npos) << play.out;
        // The image plays exactly as the folder itself does.
        auto folder = testsupport::Run(Quote(testsupport::ToolPath("dvdnav_play")) + " " +
                                       Quote(fs::path(dvd.videoTs).parent_path().string()));
        EXPECT_EQ(folder.exitCode, 0) << folder.out;
        std::smatch fromImage, fromFolder;
        ASSERT_TRUE(std::regex_search(play.out, fromImage, std::regex("BLOCKS ([0-9]+)")));
        ASSERT_TRUE(std::regex_search(folder.out, fromFolder, std::regex("BLOCKS ([0-9]+)")));
        EXPECT_EQ(fromImage[1].str(), fromFolder[1].str());
        EXPECT_GT(std::stoul(fromImage[1]), 0ul);
    }
}

TEST_F(DvdauthorImages, CommandRefusesFoldersWithoutDvdFilesAndUnwritableOutputs)
{
    const std::string w = work->Path().string();
    fs::create_directories(w + "/notadvd");
    auto none = testsupport::Run(Quote(testsupport::CliPath()) + " iso " + Quote(w + "/notadvd") + " -o " +
                    Quote(w + "/none.iso"));
    EXPECT_NE(none.exitCode, 0);
    EXPECT_NE(none.err.find("This folder does not contain required DVD Video files."), std::string::npos)
        << none.err;
    EXPECT_FALSE(fs::exists(w + "/none.iso"));

    auto unwritable = testsupport::Run(Quote(testsupport::CliPath()) + " iso " + Quote(dvds[0].videoTs) + " -o " +
                          Quote(w + "/no/such/folder/x.iso"));
    EXPECT_NE(unwritable.exitCode, 0);
    EXPECT_NE(unwritable.err.find("Failed creating disc image file."), std::string::npos) << unwritable.err;
    EXPECT_NE(unwritable.err.find(w + "/no/such/folder/x.iso"), std::string::npos) << unwritable.err;
}

}  // namespace
