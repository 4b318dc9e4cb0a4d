// Disc images of DVD folders made by another authoring program (dvdauthor, which pads
// its video manager), written by `kestrova iso` and read back by programs we did not
// write: isoinfo, xorriso, udfinfo, 7z, lsdvd, libdvdread and libdvdnav.
#include "discimage_readers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using testsupport::Quote;

namespace {

struct Dvd {
    std::string name;
    std::string videoTs;  // the folder dvdauthor wrote
    std::string image;  // our image of it
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
        for (auto [clip, source, seconds] : {std::tuple{"a", "testsrc", 4}, std::tuple{"b", "testsrc2", 3}}) {
            step("ffmpeg -nostdin -loglevel error -y -f lavfi -i " + std::string(source) +
                 "=size=720x480:rate=30000/1001 -f lavfi -i sine -t " + std::to_string(seconds) + " -target ntsc-dvd " +
                 Quote(w + "/" + clip + ".mpg"));
        }
        const std::string env = "export VIDEO_FORMAT=NTSC; ";
        step(env + "dvdauthor -o " + Quote(w + "/one") + " -t " + Quote(w + "/a.mpg") + " && dvdauthor -o " +
             Quote(w + "/one") + " -T");
        testsupport::WriteText(w + "/two.xml",
                               "<dvdauthor dest=\"" + w +
                                   "/two\"><vmgm />"
                                   "<titleset><titles><pgc><vob file=\"" +
                                   w +
                                   "/a.mpg\"/></pgc></titles></titleset>"
                                   "<titleset><titles><pgc><vob file=\"" +
                                   w +
                                   "/b.mpg\"/></pgc></titles></titleset>"
                                   "</dvdauthor>\n");
        step(env + "dvdauthor -x " + Quote(w + "/two.xml"));
        dvds = {{"one", w + "/one/VIDEO_TS", w + "/one.iso", 1}, {"two", w + "/two/VIDEO_TS", w + "/two.iso", 2}};
        for (const Dvd& dvd : dvds)
            step(Quote(testsupport::CliPath()) + " iso " + Quote(dvd.videoTs) + " -o " + Quote(dvd.image) +
                 " --label " + Quote("Test " + dvd.name));
    }
    static void TearDownTestSuite() { work.reset(); }

    void SetUp() override { ASSERT_TRUE(setupError.empty()) << setupError; }

    static inline std::unique_ptr<testsupport::TempDir> work;
    static inline std::vector<Dvd> dvds;
    static inline std::string setupError;
};

TEST_F(DvdauthorImages, IsoinfoReadsVolumePathTablesAndDirectories)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        discreaders::CheckIsoinfo(dvd.image, dvd.videoTs);
    }
}

TEST_F(DvdauthorImages, XorrisoAndUdfinfoReadWithoutComplaint)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        discreaders::CheckXorrisoAndUdfinfo(dvd.image, dvd.videoTs, "Test " + dvd.name);
    }
}

TEST_F(DvdauthorImages, SevenZipExtractsTheSameFilesFromBothViews)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        discreaders::CheckSevenZip(dvd.image, dvd.videoTs, work->Path().string());
    }
}

TEST_F(DvdauthorImages, EveryFileStartsAtTheSectorItsIfoFilesGive)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        discreaders::CheckPlacement(dvd.image, dvd.videoTs);
    }
}

TEST_F(DvdauthorImages, LsdvdAndLibdvdnavPlayTheImage)
{
    for (const Dvd& dvd : dvds) {
        SCOPED_TRACE(dvd.name);
        discreaders::CheckPlayback(dvd.image, dvd.videoTs, dvd.titleSets);
    }
}

TEST_F(DvdauthorImages, CommandRefusesFoldersWithoutDvdFilesAndUnwritableOutputs)
{
    const std::string w = work->Path().string();
    fs::create_directories(w + "/notadvd");
    auto none = testsupport::Run(Quote(testsupport::CliPath()) + " iso " + Quote(w + "/notadvd") + " -o " +
                                 Quote(w + "/none.iso"));
    EXPECT_NE(none.exitCode, 0);
    EXPECT_NE(none.err.find("This folder does not contain required DVD Video files."), std::string::npos) << none.err;
    EXPECT_FALSE(fs::exists(w + "/none.iso"));

    auto unwritable = testsupport::Run(Quote(testsupport::CliPath()) + " iso " + Quote(dvds[0].videoTs) + " -o " +
                                       Quote(w + "/no/such/folder/x.iso"));
    EXPECT_NE(unwritable.exitCode, 0);
    EXPECT_NE(unwritable.err.find("Failed creating disc image file."), std::string::npos) << unwritable.err;
    EXPECT_NE(unwritable.err.find(w + "/no/such/folder/x.iso"), std::string::npos) << unwritable.err;
}

}  // namespace
