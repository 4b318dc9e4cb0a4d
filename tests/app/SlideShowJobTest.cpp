// The DVD creation job's settings, cell plan and folder checks. Runs that encode a real
// title set are in tests/integration/job_*.cpp.
#include "app/SlideShowJob.h"

#include "base/Texts.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

using testsupport::TempDir;

namespace {

namespace fs = std::filesystem;

CAlbum TenPhotos()
{
    CAlbum album;
    for (int i = 0; i < 10; ++i) album.AddPhoto("/nowhere/photo" + std::to_string(i) + ".jpg");
    return album;
}

// Every file under `root` with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file())
            files[entry.path().string()] = testsupport::ReadText(entry.path().string());
        else
            files[entry.path().string() + "/"] = {};
    return files;
}

// A folder holding an earlier DVD: VIDEO_TS.IFO/.BUP and two title sets of made-up bytes.
std::string EarlierDvd(const TempDir& dir)
{
    const std::string videoTs = dir.File("VIDEO_TS") + "/";
    fs::create_directories(videoTs);
    for (const char* name : {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_0.BUP", "VTS_01_1.VOB",
                             "VTS_02_0.IFO", "VTS_02_0.BUP", "VTS_02_1.VOB", "VTS_05_1.VOB"})
        testsupport::WriteText(videoTs + name, std::string("earlier ") + name);
    return videoTs;
}

TEST(SlideShowJob, PrepareParamsFillsOneTitleOfTheShowsLength)
{
    CSlideShowJob job;
    job.album = TenPhotos();
    job.dvdFolder = "/tmp/somewhere/VIDEO_TS";
    job.PrepareParams();
    EXPECT_EQ(job.params.titleCount, 1);
    EXPECT_EQ(job.params.totalSeconds, 70);
    EXPECT_EQ(job.params.titleSeconds[0], 70);
    EXPECT_EQ(job.params.titleAudioType[0], 1);
    EXPECT_EQ(job.params.compressAudio, 1);
    EXPECT_EQ(job.params.outputFolder, "/tmp/somewhere/VIDEO_TS/");
    EXPECT_EQ(job.params.jobName, "Photo Slide Show");
    EXPECT_EQ(job.params.aspectCode, 2);

    // The rate is the fitted one: 70 s of Layer II on a 4.7 GB disc hits the ceiling
    // of 7.2 Mbit/s less audio and navigation.
    const double audio = 1.0178926441351888 * 671000.0;
    EXPECT_NEAR(job.params.videoBitRate, 7200000.0 - audio - 32768.0, 1.0);

    // LPCM, PAL, medium, wide; a smaller disc; a longer show keeps the fitted rate.
    job.compressAudio = 0;
    job.pal = true;
    job.wide = true;
    job.resolution = 1;
    job.discSizeText = "681984000";
    job.intraMatrixText = kAnimationIntraMatrix;
    for (int i = 0; i < 200; ++i) job.album.AddPhoto("/nowhere/more.jpg");
    job.PrepareParams();
    EXPECT_EQ(job.params.totalSeconds, 210 * 7);
    EXPECT_EQ(job.params.titleAudioType[0], 2);
    EXPECT_EQ(job.params.compressAudio, 0);
    EXPECT_EQ(job.params.height, 576);
    EXPECT_EQ(job.params.aspectCode, 3);
    EXPECT_EQ(job.params.intraMatrixText, kAnimationIntraMatrix);
    EXPECT_EQ(job.params.discBytes, 617884800);
    CDVDParams fitted = job.params;
    FitBitRate(fitted);
    EXPECT_DOUBLE_EQ(job.params.videoBitRate, fitted.videoBitRate);
}

TEST(SlideShowJob, ShowLengthCountsOnlyThePhotosTheJobUses)
{
    CAlbum album;
    for (int i = 0; i < 900; ++i) album.AddPhoto("p.jpg");
    album.photos.resize(900, album.photos.front());  // a loaded project may list more
    EXPECT_EQ(CSlideShowJob::ShowSeconds(album), 800 * 7);
    album.photos.resize(2);
    album.photos[0].showSeconds = 11;
    album.photos[1].transitionSeconds = 0;
    EXPECT_EQ(CSlideShowJob::ShowSeconds(album), 11 + 2 + 5 + 0);
    // Times from a damaged project neither go negative nor overflow.
    album.photos[0].showSeconds = -40;
    album.photos[1].showSeconds = 2000000000;
    EXPECT_EQ(CSlideShowJob::ShowSeconds(album), 0 + 2 + 86400 + 0);
}

TEST(SlideShowJob, BitRateIsCappedForSlideShows)
{
    CDVDParams params;
    params.videoBitRate = 7000000.0;
    CSlideShowJob::CapBitRate(params);
    EXPECT_DOUBLE_EQ(params.videoBitRate, 6500000.0);
    params.videoBitRate = 6499999.0;
    CSlideShowJob::CapBitRate(params);
    EXPECT_DOUBLE_EQ(params.videoBitRate, 6499999.0);
}

TEST(SlideShowJob, CellsEvery120SecondsThenAnOpenCell)
{
    auto plan = CSlideShowJob::CellPlan(70);
    ASSERT_EQ(plan.size(), 2u);
    EXPECT_EQ(plan[0].start, 0);
    EXPECT_EQ(plan[0].end, 120);
    EXPECT_EQ(plan[1].start, 120);
    EXPECT_EQ(plan[1].end, -1);

    plan = CSlideShowJob::CellPlan(240);
    ASSERT_EQ(plan.size(), 3u);
    EXPECT_EQ(plan[1].start, 120);
    EXPECT_EQ(plan[1].end, 240);
    EXPECT_EQ(plan[2].start, 240);
    EXPECT_EQ(plan[2].end, -1);

    plan = CSlideShowJob::CellPlan(0);
    ASSERT_EQ(plan.size(), 1u);
    EXPECT_EQ(plan[0].start, 0);
    EXPECT_EQ(plan[0].end, -1);

    // Ten hours: the plan stops at 255 cells, the last one open.
    plan = CSlideShowJob::CellPlan(10 * 3600);
    ASSERT_EQ(plan.size(), 255u);
    EXPECT_EQ(plan[253].end, 254 * 120);
    EXPECT_EQ(plan[254].start, 254 * 120);
    EXPECT_EQ(plan[254].end, -1);
}

TEST(SlideShowJob, DecliningToReplaceLeavesEveryFile)
{
    TempDir dir;
    const std::string videoTs = EarlierDvd(dir);
    const auto before = Snapshot(dir.Path());

    CScriptedUi ui;
    CUiScope scope(ui);
    ui.QueueAnswer(MsgAnswer::No);
    CSlideShowJob job;
    job.album = TenPhotos();
    job.dvdFolder = videoTs;
    EXPECT_EQ(job.CreateDvd(), CSlideShowJob::Result::Declined);
    EXPECT_EQ(Snapshot(dir.Path()), before);

    ASSERT_EQ(ui.boxes.size(), 1u);  // no sound, no burn question
    EXPECT_EQ(ui.boxes[0].caption, "Warning");
    EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Warning);
    EXPECT_NE(ui.boxes[0].text.find(videoTs), std::string::npos) << ui.boxes[0].text;
    EXPECT_NE(ui.boxes[0].text.find("Do you want to replace it?"), std::string::npos);
    EXPECT_TRUE(ui.sounds.empty());
    EXPECT_TRUE(ui.progress.empty());
}

TEST(SlideShowJob, FileThatCannotBeCreatedStopsBeforeAnythingIsDeleted)
{
    TempDir dir;
    const std::string videoTs = EarlierDvd(dir);
    // Title set 3's IFO name is taken by a folder, so the file cannot be created.
    fs::create_directories(videoTs + "VTS_03_0.IFO");
    const auto before = Snapshot(dir.Path());

    CScriptedUi ui;
    CUiScope scope(ui);
    ui.QueueAnswer(MsgAnswer::Yes);
    CSlideShowJob job;
    job.album = TenPhotos();
    job.dvdFolder = videoTs;
    job.startingFootage = 3;
    EXPECT_EQ(job.CreateDvd(), CSlideShowJob::Result::NotWritable);
    // Nothing deleted, and the files checked before the failing one (VIDEO_TS.IFO,
    // VIDEO_TS.BUP, VTS_03_1.VOB) are neither truncated nor left behind.
    EXPECT_EQ(Snapshot(dir.Path()), before);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_EQ(ui.boxes[1].caption, "Warning");
    EXPECT_EQ(ui.boxes[1].text,
              ExpandLineBreaks("Unable to write file: " + videoTs + "VTS_03_0.IFO (Is a directory)||" +
                               "This file is possibly being used by another program."));
    EXPECT_NE(job.Error().find(videoTs + "VTS_03_0.IFO"), std::string::npos);
    EXPECT_TRUE(ui.sounds.empty());
}

TEST(SlideShowJob, FolderThatCannotBeMadeGivesTheWriteMessage)
{
    TempDir dir;
    testsupport::WriteText(dir.File("plain-file"), "not a folder");
    CScriptedUi ui;
    CUiScope scope(ui);
    CSlideShowJob job;
    job.album = TenPhotos();
    job.dvdFolder = dir.File("plain-file") + "/dvd/VIDEO_TS";
    EXPECT_EQ(job.CreateDvd(), CSlideShowJob::Result::NotWritable);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_NE(ui.boxes[0].text.find(dir.File("plain-file") + "/dvd/VIDEO_TS/VIDEO_TS.IFO"), std::string::npos)
        << ui.boxes[0].text;
    EXPECT_EQ(testsupport::ReadText(dir.File("plain-file")), "not a folder");
}

TEST(SlideShowJob, EmptyAlbumAndUnreachableTitleSetTouchNothing)
{
    TempDir dir;
    const std::string videoTs = EarlierDvd(dir);
    const auto before = Snapshot(dir.Path());
    CScriptedUi ui;
    CUiScope scope(ui);
    ui.QueueAnswer(MsgAnswer::Yes);
    ui.QueueAnswer(MsgAnswer::Yes);

    CSlideShowJob empty;
    empty.dvdFolder = videoTs;
    EXPECT_EQ(empty.CreateDvd(), CSlideShowJob::Result::EmptyAlbum);
    ASSERT_EQ(ui.boxes.size(), 1u);  // no replace question, no burn question
    EXPECT_EQ(ui.boxes[0].text, "No photo is in the list!");
    EXPECT_EQ(ui.boxes[0].caption, "Kestrova");

    // Title set 4 after 1 and 2 would follow a gap that VIDEO_TS.IFO cannot list.
    CSlideShowJob gap;
    gap.album = TenPhotos();
    gap.dvdFolder = videoTs;
    gap.startingFootage = 4;
    EXPECT_EQ(gap.CreateDvd(), CSlideShowJob::Result::Refused);
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_NE(ui.boxes[1].text.find(videoTs + "VTS_03_0.IFO"), std::string::npos) << ui.boxes[1].text;
    EXPECT_EQ(Snapshot(dir.Path()), before);
    EXPECT_TRUE(ui.sounds.empty());
}

}  // namespace
