// What the slide-show job says about an album before it makes anything: photos shown
// black and why, photos past the 800 a show holds, a show too long for the disc, an
// album that names no photo, and photo times the project file gets wrong.
#include "app/Project.h"
#include "app/SlideShowJob.h"

#include "diag/Debugger.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using testsupport::TempDir;

namespace {

namespace fs = std::filesystem;

// An album of `paths`, one second of showing and one of transition each.
CAlbum AlbumOf(const std::vector<std::string>& paths)
{
    CAlbum album;
    for (const std::string& path : paths) {
        CAlbumPhoto photo = CAlbum::NewPhoto(path);
        photo.showSeconds = photo.transitionSeconds = 1;
        album.photos.push_back(photo);
    }
    return album;
}

}  // namespace

TEST(AlbumReport, EveryPhotoShownBlackIsNamedWithItsReasonAndLogged)
{
    TempDir dir;
    fs::create_directory(dir.File("folder.jpg"));
    testsupport::WriteText(dir.File("empty.jpg"), "");
    testsupport::WriteText(dir.File("words.jpg"), "no picture here");
    const std::string beach = testsupport::DataDir() + "/sample/beach.jpg";
    CSlideShowJob job;
    job.resolution = 2;
    job.album = AlbumOf(
        {beach, dir.File("missing.jpg"), dir.File("folder.jpg"), dir.File("empty.jpg"), dir.File("words.jpg"), ""});
    CDebugger log(dir.File("state"));
    CDebugger::SetActive(&log);
    std::vector<std::string> told;
    job.onNote = [&](const std::string& line) { told.push_back(line); };
    job.PrepareParams();
    const std::vector<std::string> lines = job.ReportAlbum();
    CDebugger::SetActive(nullptr);

    const std::vector<std::string> expected = {
        "photo 2: " + dir.File("missing.jpg") + ": no such file; shown black",
        "photo 3: " + dir.File("folder.jpg") + ": is a folder, not a file; shown black",
        "photo 4: " + dir.File("empty.jpg") + ": empty file; shown black",
        "photo 5: " + dir.File("words.jpg") + ": not a picture; shown black",
        "photo 6: no file is named; shown black",
    };
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(told, expected);
    EXPECT_EQ(job.photosShownBlack, 5);
    EXPECT_EQ(job.photosLeftOut, 0);
    const std::string logText = testsupport::ReadText(log.logPath);
    EXPECT_NE(logText.find("[SLIDESHOW]\nNote1=" + expected[0] + "\n"), std::string::npos) << logText;
    EXPECT_NE(logText.find("Note5=" + expected[4] + "\n"), std::string::npos) << logText;
}

TEST(AlbumReport, PhotosPastEightHundredAreCounted)
{
    std::vector<std::string> paths(803, "/nowhere/p.jpg");
    CSlideShowJob job;
    job.resolution = 2;
    job.album = AlbumOf(paths);
    job.PrepareParams();
    const std::vector<std::string> lines = job.ReportAlbum();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "the album has 803 photos; a show holds at most 800, so the last 3 are left out");
    EXPECT_EQ(job.photosLeftOut, 3);
    EXPECT_EQ(job.photosShownBlack, 800);
    EXPECT_EQ(lines.size(), 801u);
}

TEST(AlbumReport, AShowTooLongForTheDiscIsRefusedBeforeTheFolderIsTouched)
{
    TempDir dir;
    const std::string videoTs = dir.File("VIDEO_TS") + "/";
    fs::create_directories(videoTs);
    testsupport::WriteText(videoTs + "VIDEO_TS.IFO", "earlier");
    CScriptedUi ui;
    CUiScope scope(ui);
    ui.QueueAnswer(MsgAnswer::Yes);

    // Two photos of a day each, the longest times a project gives: 48 hours of show.
    CSlideShowJob job(ui);
    job.album = AlbumOf({"/nowhere/a.jpg", "/nowhere/b.jpg"});
    for (CAlbumPhoto& photo : job.album.photos) photo.showSeconds = photo.transitionSeconds = 43200;
    job.dvdFolder = videoTs;
    EXPECT_EQ(job.CreateDvd(), CSlideShowJob::Result::TooLong);
    ASSERT_EQ(ui.boxes.size(), 1u);  // not even the replace question
    EXPECT_EQ(ui.boxes[0].text,
              "The show (48:00:00) does not fit the disc size of 4700000000 bytes: it would get 0 bit/s of video "
              "and needs at least 500000 bit/s, which takes a disc of about 28.2 GB. Shorten the show or give a "
              "larger disc size.");
    EXPECT_EQ(job.Error(), ui.boxes[0].text);
    EXPECT_EQ(testsupport::ReadText(videoTs + "VIDEO_TS.IFO"), "earlier");
    EXPECT_EQ(job.framesCoded, 0);

    // Two hours fit a DVD; a 650 MB disc gives them too little.
    job.album.photos[0].showSeconds = job.album.photos[1].showSeconds = 3599;
    job.album.photos[0].transitionSeconds = job.album.photos[1].transitionSeconds = 1;
    job.PrepareParams();
    EXPECT_TRUE(job.CheckShowFits()) << job.Error();
    job.discSizeText = "681984000";
    job.PrepareParams();
    EXPECT_FALSE(job.CheckShowFits());
    EXPECT_NE(job.Error().find("The show (02:00:00) does not fit the disc size of 681984000 bytes"), std::string::npos)
        << job.Error();
}

TEST(AlbumReport, AnAlbumThatNamesNoPhotoIsEmpty)
{
    // A project whose photo count has no sections behind it loads photos without paths.
    TempDir dir;
    testsupport::WriteText(dir.File("p.osh"), "[General]\nID=OrvoPhotoShow\nPhotoCount=3\nMusicCount=0\n");
    CScriptedUi ui;
    CUiScope scope(ui);
    CSlideShowJob job(ui);
    ASSERT_TRUE(LoadProject(job.album, dir.File("p.osh"), nullptr, {}));
    ASSERT_EQ(job.album.photos.size(), 3u);
    EXPECT_TRUE(CSlideShowJob::AlbumIsEmpty(job.album));
    job.dvdFolder = dir.File("dvd/VIDEO_TS");
    EXPECT_EQ(job.CreateDvd(), CSlideShowJob::Result::EmptyAlbum);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "No photo is in the list!");
    EXPECT_FALSE(fs::exists(dir.File("dvd")));

    job.album.photos[1].photoPath = "/nowhere/one.jpg";
    EXPECT_FALSE(CSlideShowJob::AlbumIsEmpty(job.album));
}

TEST(AlbumReport, ProjectTimesOutsideWholeSecondsOfADayAreNamed)
{
    TempDir dir;
    testsupport::WriteText(dir.File("t.osh"),
                           "[General]\nID=OrvoPhotoShow\nPhotoCount=4\nMusicCount=0\n\n"
                           "[Photo1]\nPath=a.jpg\nShowingTime=-5\nTransitionTime=abc\n\n"
                           "[Photo2]\nPath=b.jpg\nShowingTime=2147483648\nTransitionTime=9x\n\n"
                           "[Photo3]\nPath=c.jpg\nShowingTime=86400\nTransitionTime=0\n\n"
                           "[Photo4]\nPath=d.jpg\n\n");
    CScriptedUi ui;
    CUiScope scope(ui);
    CAlbum album;
    std::vector<std::string> notes;
    ASSERT_TRUE(LoadProject(album, dir.File("t.osh"), nullptr, {}, &notes));
    const std::vector<std::string> expected = {
        "photo 1: ShowingTime \"-5\" is negative; 0 s is used",
        "photo 1: TransitionTime \"abc\" is not a number; 0 s is used",
        "photo 2: ShowingTime \"2147483648\" is more than a day; 86400 s is used",
        "photo 2: TransitionTime \"9x\" is not a whole number of seconds; 9 s is used",
    };
    EXPECT_EQ(notes, expected);
    ASSERT_EQ(album.photos.size(), 4u);
    EXPECT_EQ(album.photos[0].showSeconds, 0);
    EXPECT_EQ(album.photos[1].showSeconds, 86400);
    EXPECT_EQ(album.photos[1].transitionSeconds, 9);
    EXPECT_EQ(album.photos[2].showSeconds, 86400);
    EXPECT_EQ(album.photos[3].showSeconds, 5);  // a missing key takes its default without a note
}
