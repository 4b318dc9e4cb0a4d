// The video-to-DVD job's list: rows, ranges, times, drops, subtitles beside files, the
// cells of a title, and whole runs on short files made with FFmpeg.
#include "app/VideoDVDJob.h"
#include "app/VideoFileTitleBuilder.h"
#include "base/Texts.h"
#include "media/IfoReader.h"
#include "mpeg2enc/VideoDshow.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using testsupport::TempDir;

namespace {

namespace fs = std::filesystem;

// A slide-show project of `photos` photos with no times stored (5 + 2 s each).
std::string Project(const TempDir& dir, const std::string& name, int photos)
{
    std::string text = "[General]\nID=OrvoPhotoShow\nPhotoCount=" + std::to_string(photos) + "\n";
    for (int i = 1; i <= photos; ++i)
        text += "[Photo" + std::to_string(i) + "]\nPhotoPath=" + dir.File("p" + std::to_string(i) + ".jpg") + "\n";
    testsupport::WriteText(dir.File(name), text);
    return dir.File(name);
}

std::vector<std::pair<double, double>> Spans(const std::vector<SCellSpan>& cells)
{
    std::vector<std::pair<double, double>> spans;
    for (const SCellSpan& c : cells) spans.emplace_back(c.start, c.end);
    return spans;
}

}  // namespace

TEST(VideoDVDJob, TimeTextsReadAndWriteAsTheListShowsThem)
{
    EXPECT_EQ(CVideoDVDJob::TimeText(0), "00:00:00");
    EXPECT_EQ(CVideoDVDJob::TimeText(3725.9), "01:02:05");
    EXPECT_EQ(CVideoDVDJob::TimeText(-4), "00:00:00");
    EXPECT_EQ(CVideoDVDJob::ParseTimeText("01:02:05"), 3725);
    EXPECT_EQ(CVideoDVDJob::ParseTimeText("00:10:00"), 600);
    EXPECT_EQ(CVideoDVDJob::ParseTimeText("1:02:05"), -1);
    EXPECT_EQ(CVideoDVDJob::ParseTimeText(""), -1);
    // What a person types on the command line.
    EXPECT_DOUBLE_EQ(CVideoDVDJob::ParseTime("00:10:30"), 630);
    EXPECT_DOUBLE_EQ(CVideoDVDJob::ParseTime("10:30"), 630);
    EXPECT_DOUBLE_EQ(CVideoDVDJob::ParseTime("4.5"), 4.5);
    EXPECT_DOUBLE_EQ(CVideoDVDJob::ParseTime("1:00:01.25"), 3601.25);
    for (const char* bad : {"", "abc", "1:60", "1:2:3:4", "-5", "1.2.3", ":30", "10:", "."})
        EXPECT_LT(CVideoDVDJob::ParseTime(bad), 0) << bad;
}

TEST(VideoDVDJob, RowsRangesAndTotalFollowTheListsRules)
{
    TempDir dir;
    CScriptedUi ui;
    CVideoDVDJob job(ui);
    // A project of three photos without times lasts 3 x (5 + 2) s, with PCM sound.
    ASSERT_TRUE(job.AddMedia(Project(dir, "three.osh", 3)));
    ASSERT_EQ(job.Rows().size(), 1u);
    EXPECT_DOUBLE_EQ(job.Rows()[0].duration, 21);
    EXPECT_EQ(job.Rows()[0].audioType, "PCM");
    EXPECT_EQ(job.Rows()[0].size, " ");
    EXPECT_DOUBLE_EQ(job.Rows()[0].end, 21);

    // A start after the end is moved to one second before it; an end of 0 becomes 1.
    job.SetRange(0, 600, 300);
    EXPECT_DOUBLE_EQ(job.Rows()[0].start, 299);
    EXPECT_DOUBLE_EQ(job.Rows()[0].end, 300);
    job.SetRange(0, 0, 0);
    EXPECT_DOUBLE_EQ(job.Rows()[0].start, 0);
    EXPECT_DOUBLE_EQ(job.Rows()[0].end, 1);
    job.SetRange(0, 5, 12);
    ASSERT_TRUE(job.AddMedia(Project(dir, "two.osh", 2)));
    EXPECT_DOUBLE_EQ(job.TotalSeconds(), 7 + 14);

    // Files that cannot be used are refused by name and not added.
    EXPECT_FALSE(job.AddMedia(dir.File("missing.mp4")));
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_NE(ui.boxes.back().text.find(FormatText(Text(3200), {dir.File("missing.mp4")})), std::string::npos);
    testsupport::WriteText(dir.File("empty.osh"), "[General]\nID=OrvoPhotoShow\nPhotoCount=0\n");
    EXPECT_FALSE(job.AddMedia(dir.File("empty.osh")));
    EXPECT_EQ(ui.boxes.back().text, FormatText(Text(3201), {dir.File("empty.osh")}));
    EXPECT_EQ(job.Rows().size(), 2u);

    // The 51st row is left out without a word.
    const size_t boxes = ui.boxes.size();
    const std::string one = Project(dir, "one.osh", 1);
    while (job.Rows().size() < size_t(CVideoDVDJob::maxRows)) ASSERT_TRUE(job.AddMedia(one));
    EXPECT_FALSE(job.AddMedia(one));
    EXPECT_EQ(job.Rows().size(), size_t(CVideoDVDJob::maxRows));
    EXPECT_EQ(ui.boxes.size(), boxes);

    job.RemoveRows({0, 49, 0, 77, -1});
    EXPECT_EQ(job.Rows().size(), 48u);
    EXPECT_EQ(job.Rows()[0].path, dir.File("two.osh"));
}

TEST(VideoDVDJob, DropsAddVideoFilesFromFoldersAndSubtitlesAreFoundBeside)
{
    TempDir dir;
    for (const char* name : {"top/b.AVI", "top/a.avi", "top/sub/c.mpeg", "top/sub/d.mp3", "top/.hidden/e.avi",
                             "top/.f.avi", "loose.mov", "loose.txt"}) {
        fs::create_directories(fs::path(dir.File(name)).parent_path());
        testsupport::WriteText(dir.File(name), "x");
    }
    const std::vector<std::string> files =
        CVideoDVDJob::DroppedFiles({dir.File("top"), dir.File("loose.mov"), dir.File("loose.txt")});
    EXPECT_EQ(files,
              (std::vector<std::string>{dir.File("top/a.avi"), dir.File("top/b.AVI"), dir.File("top/sub/c.mpeg"),
                                        dir.File("loose.mov")}));

    const std::string video = dir.File("holiday.mp4");
    EXPECT_EQ(CVideoDVDJob::AssociatedSubtitle(video), "");
    testsupport::WriteText(dir.File("holiday.sub"), "x");
    EXPECT_EQ(CVideoDVDJob::AssociatedSubtitle(video), dir.File("holiday.sub"));
    testsupport::WriteText(dir.File("holiday.srt.txt"), "x");
    EXPECT_EQ(CVideoDVDJob::AssociatedSubtitle(video), dir.File("holiday.srt.txt"));
    testsupport::WriteText(dir.File("holiday.srt"), "x");
    EXPECT_EQ(CVideoDVDJob::AssociatedSubtitle(video), dir.File("holiday.srt"));
}

TEST(VideoFileTitleBuilder, CellsFollowTheSourcesChaptersInsideTheRange)
{
    using Plan = std::vector<std::pair<double, double>>;
    // No chapters of its own: every 180 s and a last one ten seconds before the end.
    EXPECT_EQ(Spans(CVideoFileTitleBuilder::CellsForRange({}, 0, 390)),
              (Plan{{0, 180}, {180, 360}, {360, 380}, {380, -1}}));
    // A DVD title's chapters, moved to the range and cut to it.
    EXPECT_EQ(Spans(CVideoFileTitleBuilder::CellsForRange({0, 60, 125, 300}, 50, 200)),
              (Plan{{0, 10}, {10, 75}, {75, -1}}));
    EXPECT_EQ(Spans(CVideoFileTitleBuilder::CellsForRange({0, 60, 125}, 0, -1)), (Plan{{0, 60}, {60, 125}, {125, -1}}));
    // A chapter at the very start of the range adds nothing.
    EXPECT_EQ(Spans(CVideoFileTitleBuilder::CellsForRange({0, 60.4}, 60, 90)), (Plan{{0, -1}}));
}

TEST(VideoDshow, WideShapesMakeWideTitles)
{
    EXPECT_TRUE(CVideoDshow::IsWideShape(1920, 1080, 0));  // exactly 16:9
    EXPECT_TRUE(CVideoDshow::IsWideShape(720, 480, 16.0 / 9.0));  // anamorphic
    EXPECT_TRUE(CVideoDshow::IsWideShape(1920, 800, 0));  // 2.4:1 film
    EXPECT_FALSE(CVideoDshow::IsWideShape(720, 480, 4.0 / 3.0));
    EXPECT_FALSE(CVideoDshow::IsWideShape(640, 480, 0));
    EXPECT_FALSE(CVideoDshow::IsWideShape(1080, 1920, 0));  // upright phone clip
    EXPECT_FALSE(CVideoDshow::IsWideShape(480, 480, 0));
    EXPECT_FALSE(CVideoDshow::IsWideShape(0, 0, 0));
}

// Whole runs: two one-second clips as title sets 3 and 4 after an earlier DVD's 1 and 2,
// one of them without sound; a refused run leaves the folder as it was.
TEST(VideoDVDJob, MakesOneTitleSetPerRowFromTheStartingFootage)
{
    if (!testsupport::HaveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    TempDir dir;
    const std::string withSound = dir.File("a.mp4"), silent = dir.File("b.mkv");
    ASSERT_EQ(testsupport::Run("ffmpeg -v error -f lavfi -i testsrc2=s=320x240:r=25:d=1 -f lavfi -i sine=d=1 "
                               "-c:v mpeg4 -c:a aac -shortest " +
                               testsupport::Quote(withSound))
                  .exitCode,
              0);
    ASSERT_EQ(testsupport::Run("ffmpeg -v error -f lavfi -i testsrc2=s=320x240:r=25:d=1 -c:v mpeg4 " +
                               testsupport::Quote(silent))
                  .exitCode,
              0);
    CScriptedUi ui;
    CUiScope scope(ui);
    const std::string folder = dir.File("dvd/VIDEO_TS") + "/";
    for (int footage : {1, 3}) {
        CVideoDVDJob job(ui);
        job.dvdFolder = folder;
        job.startingFootage = footage;
        job.resolution = 2;
        ui.QueueAnswer(MsgAnswer::Yes);  // replace the DVD made before
        ASSERT_TRUE(job.AddMedia(withSound));
        ASSERT_TRUE(job.AddMedia(silent));
        EXPECT_EQ(job.Rows()[1].audioType, "No Audio");
        ASSERT_EQ(job.CreateDvd(), CVideoDVDJob::Result::Done) << job.Error();
        EXPECT_EQ(job.titleSetsWritten, 2);
        EXPECT_NEAR(double(job.framesCoded[0]), 30, 1);
    }
    for (const char* name : {"VTS_01_1.VOB", "VTS_02_1.VOB", "VTS_03_1.VOB", "VTS_04_1.VOB", "VTS_04_0.BUP"})
        EXPECT_TRUE(fs::exists(folder + name)) << name;
    const std::vector<uint8_t> vmg = testsupport::ReadBytes(folder + "VIDEO_TS.IFO");
    SVmgInfo info;
    std::string error;
    ASSERT_TRUE(ParseVmgIfo(vmg.data(), vmg.size(), info, error)) << error;
    EXPECT_EQ(info.titleSets, 4);
    // The file without sound has a silent track as long as its pictures.
    const auto probe =
        testsupport::Run("ffprobe -v error -select_streams a -show_entries packet=pts_time -of csv=p=0 " +
                         testsupport::Quote(folder + "VTS_04_1.VOB") + " | tail -1");
    ASSERT_EQ(probe.exitCode, 0);
    EXPECT_GT(std::atof(probe.out.c_str()), 0.9) << probe.out;

    // Title sets past 99 are refused before anything is touched.
    CVideoDVDJob tooFar(ui);
    tooFar.dvdFolder = folder;
    tooFar.startingFootage = 99;
    ASSERT_TRUE(tooFar.AddMedia(withSound));
    ASSERT_TRUE(tooFar.AddMedia(silent));
    EXPECT_EQ(tooFar.CreateDvd(), CVideoDVDJob::Result::Refused);
    EXPECT_NE(tooFar.Error().find("at most 99"), std::string::npos) << tooFar.Error();
    EXPECT_TRUE(fs::exists(folder + "VTS_04_1.VOB"));
}
