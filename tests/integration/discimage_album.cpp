// The sample album made into a DVD by our own slide-show job and imaged right after it
// (`kestrova slideshow album.osh --out DIR --iso IMAGE`), read back by isoinfo, xorriso,
// udfinfo, 7z, lsdvd, libdvdread and libdvdnav.
#include "discimage_readers.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;
using testsupport::Quote;

namespace {

class SampleAlbumImage : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        auto help = testsupport::Run(Quote(testsupport::CliPath()) + " slideshow --help");
        if (!std::regex_search(help.out, std::regex("(^|\n)[ \t]*--out\\b"))) {
            missing = "the slide-show DVD output (--out) is not part of this build";
            return;
        }
        work = std::make_unique<testsupport::TempDir>();
        const std::string w = work->Path().string();
        image = w + "/album.iso";
        auto run = testsupport::Run(
            Quote(testsupport::CliPath()) + " slideshow " + Quote(testsupport::DataDir() + "/sample/album.osh") +
            " --out " + Quote(w + "/dvd") + " --iso " + Quote(image) + " --label " + Quote("Sample Album") + " --yes");
        if (run.exitCode != 0) setupError = run.out + run.err;
        videoTs = fs::exists(w + "/dvd/VIDEO_TS/VIDEO_TS.IFO") ? w + "/dvd/VIDEO_TS" : w + "/dvd";
    }
    static void TearDownTestSuite() { work.reset(); }

    void SetUp() override
    {
        if (!missing.empty()) GTEST_SKIP() << missing;
        ASSERT_TRUE(setupError.empty()) << setupError;
        ASSERT_TRUE(fs::exists(image));
    }

    static inline std::unique_ptr<testsupport::TempDir> work;
    static inline std::string image, videoTs, missing, setupError;
};

TEST_F(SampleAlbumImage, IsoinfoXorrisoAndUdfinfoReadIt)
{
    discreaders::CheckIsoinfo(image, videoTs);
    discreaders::CheckXorrisoAndUdfinfo(image, videoTs, "Sample Album");
}

TEST_F(SampleAlbumImage, SevenZipExtractsTheSameFilesFromBothViews)
{
    discreaders::CheckSevenZip(image, videoTs, work->Path().string());
}

TEST_F(SampleAlbumImage, FilesLieBackToBackWhereTheIfoFilesSay)
{
    discreaders::CheckPlacement(image, videoTs);
    // Our own folders need no gaps: each file starts right after the previous one.
    auto r = testsupport::Run(Quote(testsupport::ToolPath("udf_placement")) + " " + Quote(image));
    std::regex entry(R"(^(\S+\.(IFO|VOB|BUP)) ([0-9]+) ([0-9]+) (-?[0-9]+)$)");
    std::istringstream lines(r.out);
    std::string line;
    unsigned long next = 0;
    while (std::getline(lines, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, entry)) continue;
        unsigned long sector = std::stoul(m[3]), bytes = std::stoul(m[4]);
        if (next != 0) {
            EXPECT_EQ(sector, next) << line;
        }
        next = sector + (bytes + 2047) / 2048;
    }
    EXPECT_NE(next, 0ul) << r.out;
}

TEST_F(SampleAlbumImage, LsdvdAndLibdvdnavPlayIt) { discreaders::CheckPlayback(image, videoTs, 1); }

}  // namespace
