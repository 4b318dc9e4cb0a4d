#include "app/IsoJob.h"
#include "discimage/UDF_Disc.h"

#include "discimage/DiscTestUtil.h"
#include "support/FileSizeLimit.h"
#include "support/ScriptedUi.h"
#include "support/SmallDvd.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>

using namespace disctest;
namespace fs = std::filesystem;

namespace {

constexpr size_t S = 2048;
const char* kNoDvd = "This folder does not contain required DVD Video files.";
class IsoJobTest : public ::testing::Test {
protected:
    // A small DVD folder that would play: parent/VIDEO_TS with a VMG and one title set
    // of `vobBytes` (whole sectors) of title VOB.
    std::string MakeDvd(const std::string& parent, size_t vobBytes = 7 * S)
    {
        std::string videoTs = parent + "/VIDEO_TS";
        fs::create_directories(videoTs);
        testsupport::WriteSmallDvdIfoFiles(videoTs, vobBytes / S);
        MakeFile(videoTs + "/VTS_01_1.VOB", vobBytes);
        return videoTs;
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> texts;
        for (const auto& box : ui.boxes) texts.push_back(box.text);
        return texts;
    }

    testsupport::TempDir dir;
    // Every job gets this port; the process's port stays the silent one, so a message
    // or window that went there instead would be missed by the checks.
    CScriptedUi ui;
    CDiscTime time{2026, 5, 6, 7, 8, 9, 0};
};

TEST_F(IsoJobTest, VideoTsFolderAndItsParentGiveTheSameImage)
{
    std::string videoTs = MakeDvd(dir.File("dvd"));
    CIsoJob fromFolder("", ui), fromParent("", ui);
    fromFolder.SetCreationTime(time);
    fromParent.SetCreationTime(time);
    ASSERT_TRUE(fromFolder.ChooseFolder(videoTs + "/"));
    ASSERT_TRUE(fromParent.ChooseFolder(dir.File("dvd")));
    EXPECT_EQ(fromParent.FolderText(), videoTs);
    ASSERT_EQ(fromFolder.CreateImage(dir.File("a.iso")), CIsoJob::Result::Written);
    ASSERT_EQ(fromParent.CreateImage(dir.File("b.iso")), CIsoJob::Result::Written);
    auto a = FileBytes(dir.File("a.iso"));
    EXPECT_EQ(a.size(), size_t(fromFolder.ImageSectors()) * S);
    EXPECT_EQ(a.size(),
              size_t(296 + 5 + 2 * testsupport::kSmallVmgSectors + 2 * testsupport::kSmallVtsSectors + 7 + 512) * S);
    EXPECT_TRUE(a == FileBytes(dir.File("b.iso")));
    EXPECT_EQ(Boxes(), (std::vector<std::string>{"Done!", "Done!"}));
}

TEST_F(IsoJobTest, FolderAcceptanceFollowsTheNameAndTheIfoLocation)
{
    // Named like a VIDEO_TS folder: only its own VIDEO_TS.IFO counts, not a subfolder's.
    MakeDvd(dir.File("MYVIDEO_TS"));
    EXPECT_EQ(CIsoJob::ResolveSource(dir.File("MYVIDEO_TS")), "");
    MakeFile(dir.File("MYVIDEO_TS/VIDEO_TS.IFO"), S);
    EXPECT_EQ(CIsoJob::ResolveSource(dir.File("MYVIDEO_TS")), dir.File("MYVIDEO_TS"));
    // Any other folder: its VIDEO_TS subfolder first, then the folder itself.
    fs::create_directories(dir.File("flat"));
    MakeFile(dir.File("flat/VIDEO_TS.IFO"), S);
    EXPECT_EQ(CIsoJob::ResolveSource(dir.File("flat")), dir.File("flat"));
    MakeDvd(dir.File("flat"));
    EXPECT_EQ(CIsoJob::ResolveSource(dir.File("flat")), dir.File("flat/VIDEO_TS"));
    // A folder named VIDEO_TS.IFO is not the file.
    fs::create_directories(dir.File("odd/VIDEO_TS.IFO"));
    EXPECT_EQ(CIsoJob::ResolveSource(dir.File("odd")), "");
}

TEST_F(IsoJobTest, FolderWithoutDvdFilesIsRefusedAndNothingChanges)
{
    std::string good = MakeDvd(dir.File("good"));
    fs::create_directories(dir.File("empty"));
    CIsoJob job("/start/here", ui);
    EXPECT_EQ(job.SizeText(), "Data size: ");
    EXPECT_FALSE(job.ChooseFolder(dir.File("empty")));
    EXPECT_EQ(Boxes(), std::vector<std::string>{kNoDvd});
    EXPECT_EQ(job.FolderText(), "/start/here");
    EXPECT_FALSE(job.CanCreate());
    EXPECT_EQ(job.CreateImage(dir.File("x.iso")), CIsoJob::Result::Failed);
    EXPECT_FALSE(fs::exists(dir.File("x.iso")));

    ASSERT_TRUE(job.ChooseFolder(good));
    std::string size = job.SizeText();
    EXPECT_FALSE(job.ChooseFolder(dir.File("empty")));
    EXPECT_EQ(job.FolderText(), good);
    EXPECT_EQ(job.SizeText(), size);
    EXPECT_TRUE(job.CanCreate());
}

TEST_F(IsoJobTest, SizeTextInKilobytesOrMegabytesWithDiscPercentage)
{
    EXPECT_EQ(CIsoJob::SizeTextFor(511), "Data size is 1022 KB, 0.0% of a 4.7G DVD Disc");
    EXPECT_EQ(CIsoJob::SizeTextFor(2297888), "Data size is 4488 MB, 100.0% of a 4.7G DVD Disc");
    // 100 MB of files: S = 296 + files + 51200 + 512 sectors.
    std::string videoTs = dir.File("big/VIDEO_TS");
    fs::create_directories(videoTs);
    MakeFile(videoTs + "/VIDEO_TS.IFO", S);
    MakeFile(videoTs + "/VTS_01_0.IFO", S);
    MakeFile(videoTs + "/VTS_01_1.VOB", 0);
    ASSERT_EQ(0, truncate((videoTs + "/VTS_01_1.VOB").c_str(), off_t(100) << 20));
    CIsoJob job("", ui);
    ASSERT_TRUE(job.ChooseFolder(videoTs));
    int64_t s = 296 + 3 + 1 + 1 + 51200 + 512;
    EXPECT_EQ(job.ImageSectors(), s);
    EXPECT_EQ(job.SizeText(), "Data size is 101 MB, 2.3% of a 4.7G DVD Disc");
}

TEST_F(IsoJobTest, BrowsingAgainDescribesOnlyTheNewFolder)
{
    std::string first = MakeDvd(dir.File("one"), 20 * S);
    std::string second = dir.File("two/VIDEO_TS");
    fs::create_directories(second);
    MakeFile(second + "/VIDEO_TS.IFO", S);
    ui.folderAnswers = {dir.File("one"), dir.File("two")};
    CIsoJob job("", ui);
    job.SetCreationTime(time);
    ASSERT_TRUE(job.Browse());
    EXPECT_EQ(job.FolderText(), first);
    ASSERT_TRUE(job.Browse());
    EXPECT_EQ(job.FolderText(), second);
    EXPECT_EQ(job.ImageSectors(), 296 + 1 + 1 + 512);
    EXPECT_FALSE(job.Browse());  // declined: nothing changes
    EXPECT_EQ(job.FolderText(), second);
}

TEST_F(IsoJobTest, LabelTypedAfterBrowsingIsWritten)
{
    MakeDvd(dir.File("dvd"));
    CIsoJob job("", ui);
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    job.label = "Holiday 2026";
    ASSERT_EQ(job.CreateImage(dir.File("l.iso")), CIsoJob::Result::Written);
    auto image = FileBytes(dir.File("l.iso"));
    ASSERT_GT(image.size(), 258 * S);
    const uint8_t* lvd = &image[35 * S + 84];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(lvd + 1), lvd[127] - 1u), "Holiday 2026");
    const uint8_t* fileSet = &image[257 * S + 304];
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fileSet + 1), fileSet[31] - 1u), "Holiday 2026");
}

TEST_F(IsoJobTest, WritingShowsProgressAndCancelKeepsThePartialFile)
{
    MakeDvd(dir.File("dvd"));
    CIsoJob job("", ui);
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    ui.CancelAtPump(0, 5);
    std::string out = dir.File("partial.iso");
    EXPECT_EQ(job.CreateImage(out), CIsoJob::Result::Cancelled);
    EXPECT_EQ(fs::file_size(out), 5 * S);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Done!"});
    ASSERT_FALSE(ui.progress.empty());
    EXPECT_EQ(ui.progress.front().what, "open");
    EXPECT_EQ(ui.progress.front().value, "Create Disc Image\nWriting " + out);
    EXPECT_EQ(ui.progress.back().what, "close");
}

TEST_F(IsoJobTest, OutputThatCannotBeCreatedIsReported)
{
    MakeDvd(dir.File("dvd"));
    CIsoJob job("", ui);
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    std::string out = dir.File("missing/folder/x.iso");
    EXPECT_EQ(job.CreateImage(out), CIsoJob::Result::Failed);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Failed creating disc image file."});
    EXPECT_NE(job.Error().find(out), std::string::npos);
    EXPECT_TRUE(ui.progress.empty());
}

TEST_F(IsoJobTest, ImageNeverOverwritesOneOfItsSourceFiles)
{
    std::string videoTs = MakeDvd(dir.File("dvd"));
    CIsoJob job("", ui);
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    auto before = FileBytes(videoTs + "/VTS_01_1.VOB");
    // The same file reached through another name.
    ASSERT_EQ(0, symlink((videoTs + "/VTS_01_1.VOB").c_str(), dir.File("movie.iso").c_str()));
    EXPECT_EQ(job.CreateImage(dir.File("movie.iso")), CIsoJob::Result::Failed);
    EXPECT_TRUE(FileBytes(videoTs + "/VTS_01_1.VOB") == before);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("VTS_01_1.VOB"), std::string::npos);
}

TEST_F(IsoJobTest, WriteFailureIsReportedAndTheEarlierImageKept)
{
    MakeDvd(dir.File("dvd"));
    CIsoJob job("", ui);
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    const std::string out = dir.File("disc.iso");
    MakeFile(out, 3 * S);
    const auto earlier = FileBytes(out);
    {
        // Writes stop past 64 KiB, as on a full disk. The job must not call that "Done!".
        testsupport::CFileSizeLimit limit(64 * 1024);
        if (!limit.Active()) GTEST_SKIP() << "cannot lower the file size limit";
        EXPECT_EQ(job.CreateImage(out), CIsoJob::Result::Failed);
    }
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find("Failed writing disc image file"), std::string::npos);
    EXPECT_NE(job.Error().find("File too large"), std::string::npos) << job.Error();
    EXPECT_NE(job.Error().find(out), std::string::npos) << job.Error();
    EXPECT_TRUE(FileBytes(out) == earlier);
    EXPECT_FALSE(fs::exists(out + ".part"));
}

TEST_F(IsoJobTest, FileDataCopiedInLongRunsGivesTheSectorsTheDiscDescribes)
{
    // The 700-sector VOB goes through the kernel's copy; the information files, shorter
    // than a copied run, are read.
    std::string videoTs = MakeDvd(dir.File("dvd"), 700 * S);
    CIsoJob job("", ui);
    job.SetCreationTime(time);
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    ASSERT_EQ(job.CreateImage(dir.File("a.iso")), CIsoJob::Result::Written);

    UDF_Disc reference(time);
    ASSERT_TRUE(reference.Build("My Movie", videoTs));
    reference.SetLabel("My Movie");
    std::vector<uint8_t> expected(size_t(reference.ImageSectors()) * S);
    for (int64_t i = 0; i < reference.ImageSectors(); ++i) reference.ReadSector(i, expected.data() + size_t(i) * S);
    const auto image = FileBytes(dir.File("a.iso"));
    ASSERT_EQ(image.size(), expected.size());
    EXPECT_TRUE(image == expected);
}

TEST_F(IsoJobTest, CancelInsideACopiedRunCutsTheFileBackToTheSectorsHandled)
{
    MakeDvd(dir.File("dvd"), 700 * S);
    CIsoJob job("", ui);
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    ui.CancelAtPump(0, 500);  // inside the VOB, whose data starts at sector 301 + 2 x 3 + 5
    std::string out = dir.File("partial.iso");
    EXPECT_EQ(job.CreateImage(out), CIsoJob::Result::Cancelled);
    EXPECT_EQ(fs::file_size(out), 500 * S);
}

TEST_F(IsoJobTest, FolderThatWouldNotPlayIsRefusedBeforeAnythingIsWritten)
{
    const std::string videoTs = MakeDvd(dir.File("dvd"));
    CIsoJob job("", ui);
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    const std::string out = dir.File("disc.iso");
    MakeFile(out, 3 * S);
    const auto earlier = FileBytes(out);
    // Emptied after it was chosen, as another program might.
    ASSERT_EQ(0, truncate((videoTs + "/VTS_01_1.VOB").c_str(), 0));
    EXPECT_EQ(job.CreateImage(out), CIsoJob::Result::Failed);
    const std::string problem = videoTs + "/VTS_01_1.VOB is empty (0 bytes)";
    EXPECT_EQ(job.Error(), problem);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"This DVD Video folder would not play: " + problem});
    EXPECT_TRUE(ui.progress.empty());
    EXPECT_TRUE(FileBytes(out) == earlier);
    EXPECT_EQ(job.CreateImage(dir.File("other.iso")), CIsoJob::Result::Failed);
    EXPECT_FALSE(fs::exists(dir.File("other.iso")));
}

TEST_F(IsoJobTest, WithoutAPortTheJobTalksToTheProcessPort)
{
    MakeDvd(dir.File("dvd"));
    CScriptedUi global;
    CUiScope scope(global);
    CIsoJob job;
    ASSERT_TRUE(job.ChooseFolder(dir.File("dvd")));
    ASSERT_EQ(job.CreateImage(dir.File("a.iso")), CIsoJob::Result::Written);
    ASSERT_EQ(global.boxes.size(), 1u);
    EXPECT_EQ(global.boxes[0].text, "Done!");
    EXPECT_FALSE(global.progress.empty());
    EXPECT_TRUE(ui.boxes.empty());
}

}  // namespace
