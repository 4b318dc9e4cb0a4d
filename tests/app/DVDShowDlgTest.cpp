#include "app/DVDShowDlg.h"
#include "app/PhotoFitter.h"
#include "app/PhotoSettingDlg.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

// A window state with `photos` photos of 2-second transitions and music of `musicSeconds`.
CDVDShowDlg ShowWith(int photos, int musicSeconds)
{
    CDVDShowDlg dlg("/tmp/dvd/VIDEO_TS/", "");
    for (int i = 0; i < photos; ++i) dlg.album.AddPhoto("/p/" + std::to_string(i) + ".jpg");
    if (musicSeconds > 0) dlg.album.AddMusic("/m/song.mp3", musicSeconds);
    return dlg;
}

std::vector<int> ShowTimes(const CDVDShowDlg& dlg)
{
    std::vector<int> times;
    for (const CAlbumPhoto& p : dlg.album.photos) times.push_back(p.showSeconds);
    return times;
}

TEST(DVDShowDlg, AutoSyncSharesTheMusicOverThePhotos)
{
    CScriptedUi ui;
    CDVDShowDlg three = ShowWith(3, 60);
    EXPECT_TRUE(three.AutoSync(ui));
    EXPECT_EQ(ShowTimes(three), (std::vector<int>{18, 18, 18}));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Now the slide show is synced with the background music.");
    EXPECT_EQ(ui.boxes[0].caption, "Kestrova");
    EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Information);

    CDVDShowDlg four = ShowWith(4, 60);
    EXPECT_TRUE(four.AutoSync(ui));
    EXPECT_EQ(ShowTimes(four), (std::vector<int>{13, 13, 13, 13}));

    // R = 86 over 7 photos: rounded shares that add up to 86 exactly.
    CDVDShowDlg seven = ShowWith(7, 100);
    EXPECT_TRUE(seven.AutoSync(ui));
    EXPECT_EQ(ShowTimes(seven), (std::vector<int>{12, 13, 12, 12, 12, 13, 12}));
    EXPECT_EQ(seven.album.TotalSeconds(), 100);

    // A narrated photo keeps its time and takes it from the music.
    CDVDShowDlg narrated = ShowWith(3, 60);
    narrated.album.photos[1].narrationPath = "/n/voice.wav";
    narrated.album.photos[1].showSeconds = 10;
    EXPECT_TRUE(narrated.AutoSync(ui));
    EXPECT_EQ(ShowTimes(narrated), (std::vector<int>{22, 10, 22}));

    // Music shorter than the transitions, no music, or every photo narrated: nothing
    // changes and nothing is said.
    ui.boxes.clear();
    CDVDShowDlg shortMusic = ShowWith(3, 5);
    CDVDShowDlg noMusic = ShowWith(3, 0);
    CDVDShowDlg allNarrated = ShowWith(1, 60);
    allNarrated.album.photos[0].narrationPath = "/n/a.wav";
    for (CDVDShowDlg* dlg : {&shortMusic, &noMusic, &allNarrated}) {
        EXPECT_FALSE(dlg->AutoSync(ui));
        EXPECT_EQ(dlg->album.photos[0].showSeconds, 5);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(DVDShowDlg, AddPhotosShowsProgressStopsAt800AndOnCancel)
{
    CScriptedUi ui;
    CDVDShowDlg dlg("/tmp/dvd/", "");
    std::vector<std::string> paths;
    for (int i = 0; i < 799; ++i) paths.push_back("/p/" + std::to_string(i) + ".jpg");
    EXPECT_EQ(dlg.AddPhotos(paths, ui), 799);
    EXPECT_EQ(ui.progress.front().what, "open");
    EXPECT_EQ(ui.progress.front().value.substr(0, 10), "Loading...");
    bool sawFull = false;
    for (const auto& event : ui.progress) sawFull = sawFull || (event.what == "bar" && event.value == "100");
    EXPECT_TRUE(sawFull);

    // The 800th goes in, the 801st does not.
    EXPECT_EQ(dlg.AddPhotos({"/p/a.jpg", "/p/b.jpg"}, ui), 1);
    EXPECT_EQ(dlg.AddPhotos({"/p/c.jpg"}, ui), 0);
    EXPECT_EQ(dlg.album.photos.size(), 800u);
    EXPECT_EQ(dlg.album.photos.back().name, "a.jpg");

    // A cancel at the third file keeps the two before it.
    CScriptedUi cancelling;
    cancelling.CancelAtPump(0, 3);
    CDVDShowDlg other("/tmp/dvd/", "");
    EXPECT_EQ(other.AddPhotos({"/p/1.jpg", "/p/2.jpg", "/p/3.jpg", "/p/4.jpg"}, cancelling), 2);
}

TEST(DVDShowDlg, RemoveMoveAndSelectKeepTheCurrentPhotoRight)
{
    CDVDShowDlg dlg = ShowWith(6, 0);
    dlg.SelectPhoto(2);
    EXPECT_EQ(dlg.RemovePhotos({4, 2, 2, 99}), 2);
    EXPECT_EQ(dlg.album.photos.size(), 4u);
    EXPECT_EQ(dlg.album.photos[2].name, "3.jpg");
    EXPECT_EQ(dlg.RemovePhotos({3}), 2);  // the last row went: the one above takes the focus
    EXPECT_EQ(dlg.CurrentPhoto(), 2);
    EXPECT_EQ(dlg.RemovePhotos({0, 1, 2}), -1);
    EXPECT_EQ(dlg.CurrentPhoto(), -1);

    CDVDShowDlg moving = ShowWith(5, 0);
    moving.SelectPhoto(1);
    // Rows 0 and 3 dragged in front of row 2: 1, 0, 3, 2, 4.
    EXPECT_EQ(moving.MovePhotos({3, 0}, 2), 1);
    std::vector<std::string> names;
    for (const auto& p : moving.album.photos) names.push_back(p.name);
    EXPECT_EQ(names, (std::vector<std::string>{"1.jpg", "0.jpg", "3.jpg", "2.jpg", "4.jpg"}));
    EXPECT_EQ(moving.CurrentPhoto(), 0);
    EXPECT_EQ(moving.MovePhotos({0}, 5), 4);  // to the end
    EXPECT_EQ(moving.album.photos.back().name, "1.jpg");
    EXPECT_EQ(moving.CurrentPhoto(), 4);
}

TEST(DVDShowDlg, StatusLinesAndButtons)
{
    CDVDShowDlg dlg = ShowWith(0, 0);
    EXPECT_EQ(dlg.TotalsText(),
              "Total 0 photos, total time: 00:00:00\n"
              "Total 0 background musics, total music length: 00:00:00");
    EXPECT_EQ(dlg.CurrentPhotoText(), "Current Photo: None");
    EXPECT_FALSE(dlg.Buttons().createDvd);
    EXPECT_FALSE(dlg.Buttons().playMusic);
    EXPECT_TRUE(dlg.Buttons(true).playMusic);

    dlg = ShowWith(2, 75);
    dlg.album.photos[1].panZoomType = 5;
    dlg.album.photos[1].transitionType = 1234;  // no such code
    dlg.album.photos[1].narrationPath = "/n/x.wav";
    dlg.album.photos[1].showSeconds = 3725;
    dlg.SelectPhoto(1);
    EXPECT_EQ(dlg.TotalsText(),
              "Total 2 photos, total time: 01:02:14\n"
              "Total 1 background musics, total music length: 00:01:15");
    EXPECT_EQ(dlg.CurrentPhotoText(),
              "Current Photo: ShowTime 01:02:05, KenBurns Effect: ZoomIn and PanRight, Transition: None, "
              "Transition Length 00:00:02, Narration Yes");
    const CDVDShowDlg::SButtonStates b = dlg.Buttons();
    EXPECT_TRUE(b.removePhotos && b.rotate && b.createDvd && b.preview && b.saveProject && b.autoSync && b.playMusic);
    EXPECT_EQ(CDVDShowDlg::ResolutionKeys(true)[0], 119);
    EXPECT_EQ(CDVDShowDlg::ResolutionKeys(false)[2], 118);
}

TEST(DVDShowDlg, RotateRefusesAnEmptySelectionAndReplacesTurnedPhotos)
{
    testsupport::TempDir dir;
    const std::string photo = dir.File("beach.jpg");
    std::filesystem::copy_file(testsupport::DataDir() + "/sample/beach.jpg", photo);
    CScriptedUi ui;
    CDVDShowDlg dlg("/tmp/dvd/", "");
    dlg.album.AddPhoto(photo);
    dlg.album.AddPhoto(dir.File("missing.jpg"));

    EXPECT_TRUE(dlg.Rotate({}, 0, ui).empty());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "You must select at least one photo in the list.");

    EXPECT_EQ(dlg.Rotate({0, 1}, 0, ui), std::vector<int>{0});
    EXPECT_EQ(dlg.album.photos[0].photoPath, dir.File("beach-r.jpg"));
    EXPECT_EQ(dlg.album.photos[0].name, "beach-r.jpg");
    EXPECT_TRUE(std::filesystem::exists(dir.File("beach-r.jpg")));
    EXPECT_EQ(dlg.album.photos[1].photoPath, dir.File("missing.jpg"));  // could not be turned
    EXPECT_EQ(ui.boxes.size(), 1u);
}

TEST(DVDShowDlg, MusicRefusalAndLimit)
{
    CScriptedUi ui;
    CDVDShowDlg dlg("/tmp/dvd/", "");
    auto measure = [](const std::string& path) { return path == "/m/silent.xyz" ? 0 : 30; };
    EXPECT_EQ(dlg.AddMusic({"/m/a.mp3", "/m/silent.xyz", "/m/b.ogg"}, ui, measure), 2);
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Unable to determine the duration of /m/silent.xyz");
    EXPECT_EQ(ui.boxes[0].caption, "Kestrova");

    std::vector<std::string> many(120, "/m/c.mp3");
    EXPECT_EQ(dlg.AddMusic(many, ui, measure), 97);
    EXPECT_EQ(dlg.album.music.size(), 99u);
    dlg.RemoveMusic({0, 98});
    EXPECT_EQ(dlg.album.music.size(), 97u);
    EXPECT_EQ(dlg.album.music[0].path, "/m/b.ogg");
}

TEST(DVDShowDlg, SaveLoadAndJobCarryTheWindowsSettings)
{
    testsupport::TempDir dir;
    CScriptedUi ui;
    CDVDShowDlg dlg = ShowWith(2, 0);
    ASSERT_TRUE(dlg.SaveProject(dir.File("show")));
    EXPECT_EQ(dlg.projectFile, dir.File("show.osh"));

    CDVDShowDlg loaded("/tmp/dvd/", "");
    std::string error;
    EXPECT_FALSE(loaded.LoadProject(dir.File("absent.osh"), ui, &error));
    EXPECT_NE(error.find("absent.osh"), std::string::npos);
    ASSERT_TRUE(loaded.LoadProject(dir.File("show.osh"), ui, &error)) << error;
    EXPECT_EQ(loaded.album, dlg.album);

    CAdvSetupDlg adv = loaded.AdvancedDialog();
    adv.compressAudio = false;
    adv.startingFootage = 3;
    adv.PresetMiniDvd();
    loaded.AcceptAdvanced(adv);
    // The next opening shows what was accepted.
    EXPECT_EQ(loaded.AdvancedDialog().discSizeText, "1470000000");
    EXPECT_EQ(loaded.AdvancedDialog().startingFootage, 3);
    loaded.pal = true;
    loaded.resolution = 2;
    loaded.wide = true;
    const auto job = loaded.MakeJob(ui);
    EXPECT_EQ(job->album, dlg.album);
    EXPECT_EQ(job->dvdFolder, "/tmp/dvd/");
    EXPECT_TRUE(job->pal && job->wide);
    EXPECT_EQ(job->resolution, 2);
    EXPECT_EQ(job->compressAudio, 0);
    EXPECT_EQ(job->startingFootage, 3);
    EXPECT_EQ(job->discSizeText, "1470000000");
    EXPECT_EQ(job->projectFile, dir.File("show.osh"));

    // A chosen folder becomes a DVD folder: VIDEO_TS inside it unless it is one.
    EXPECT_EQ(loaded.ChooseDvdFolder("/media/show"), "/media/show/VIDEO_TS/");
    EXPECT_EQ(loaded.ChooseDvdFolder("/media/show/"), "/media/show/VIDEO_TS/");
    EXPECT_EQ(loaded.ChooseDvdFolder("/media/VIDEO_TS"), "/media/VIDEO_TS/");
    EXPECT_EQ(loaded.dvdFolder, "/media/VIDEO_TS/");
}

TEST(PhotoSettingDlg, NarrationRaisesTimeAndEraseSavesNone)
{
    testsupport::TempDir dir;
    CDVDShowDlg dlg = ShowWith(3, 0);
    dlg.album.photos[1].narrationPath = "/n/voice.wav";
    auto nineSeconds = [](const std::string&) { return 9; };
    {
        CPhotoSettingDlg settings(dlg.album, {2, 1}, nineSeconds);
        EXPECT_EQ(settings.PhotoIndex(), 1);
        EXPECT_EQ(settings.showSeconds, 9);
        EXPECT_EQ(settings.NarrationText(), "Yes, Length=00:00:09");
        EXPECT_EQ(settings.RecordingPath(), "/p/1.wav");
        settings.showSeconds = 4;  // shorter than the narration: raised again on OK
        settings.panZoomName = "zoomin";
        settings.transitionName = "None";
        settings.Accept();
    }
    EXPECT_EQ(dlg.album.photos[1].showSeconds, 9);
    EXPECT_EQ(dlg.album.photos[2].showSeconds, 9);  // selected too
    EXPECT_EQ(dlg.album.photos[2].panZoomType, 0);
    EXPECT_EQ(dlg.album.photos[2].transitionType, -1);
    EXPECT_EQ(dlg.album.photos[2].narrationPath, "NONE");  // the narration stays with its photo
    EXPECT_EQ(dlg.album.photos[0].showSeconds, 5);

    CPhotoSettingDlg erase(dlg.album, {1}, nineSeconds);
    erase.Erase();
    EXPECT_EQ(erase.NarrationText(), "No");
    erase.applyToAll = true;
    erase.showSeconds = 6;
    erase.Accept();
    EXPECT_EQ(ShowTimes(dlg), (std::vector<int>{6, 6, 6}));
    dlg.SelectPhoto(1);
    EXPECT_NE(dlg.CurrentPhotoText().find("Narration No"), std::string::npos);
    ASSERT_TRUE(dlg.SaveProject(dir.File("erased.osh")));
    const std::string saved = testsupport::ReadText(dir.File("erased.osh"));
    EXPECT_NE(saved.find("[Photo2]\nPath=/p/1.jpg\nWavePath=NONE\n"), std::string::npos);
}

TEST(PhotoSettingDlg, ListsAndTheRealNarrationLength)
{
    const auto panZoom = CPhotoSettingDlg::PanZoomNames();
    EXPECT_EQ(panZoom.front(), "None");
    EXPECT_EQ(panZoom[1], "Auto");
    EXPECT_EQ(panZoom.size(), 18u);
    const auto transitions = CPhotoSettingDlg::TransitionNames();
    EXPECT_EQ(transitions.size(), 37u);
    EXPECT_EQ(std::count(transitions.begin(), transitions.end(), "None"), 1);
    EXPECT_EQ(CPhotoSettingDlg::IndexOfName(transitions, "blend"), 2);
    EXPECT_EQ(CPhotoSettingDlg::IndexOfName(transitions, "nothing"), 0);

    // The sample narration, measured by the media decoder.
    CAlbum album;
    album.AddPhoto("/p/a.jpg");
    album.photos[0].showSeconds = 1;
    album.photos[0].narrationPath = testsupport::DataDir() + "/sample/narration.wav";
    CPhotoSettingDlg settings(album, {});
    EXPECT_GT(settings.narrationSeconds, 0);
    EXPECT_EQ(settings.showSeconds, std::max(1, settings.narrationSeconds));
}

TEST(PhotoSettingDlg, RecordingGoesBesideThePhotoOrSaysWhyNot)
{
    testsupport::TempDir dir;
    CAlbum album;
    album.AddPhoto(dir.File("beach.jpg"));
    CPhotoSettingDlg settings(album, {0});
    EXPECT_EQ(settings.RecordingPath(), dir.File("beach.wav"));
    if (!settings.StartRecording()) {
        // No microphone here: the reason is given and the photo keeps no narration.
        EXPECT_FALSE(settings.Error().empty());
        EXPECT_FALSE(settings.IsRecording());
        EXPECT_FALSE(settings.StopRecording());
        EXPECT_EQ(settings.narrationPath, "NONE");
        EXPECT_FALSE(std::filesystem::exists(dir.File("beach.wav")));
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(settings.StopRecording()) << settings.Error();
    EXPECT_EQ(settings.narrationPath, dir.File("beach.wav"));
    EXPECT_TRUE(std::filesystem::exists(dir.File("beach.wav")));
    settings.Accept();
    EXPECT_EQ(album.photos[0].narrationPath, dir.File("beach.wav"));
}

TEST(PhotoFitter, FitsOnWhiteAndNamesAFileItCannotRead)
{
    // The panorama is far wider than the square it is fitted into: white bars above and
    // below, the photo in the middle line.
    CPhotoFitter fitter;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(fitter.Fit(testsupport::DataDir() + "/sample/panorama.jpg", 80, 80, rgba)) << fitter.Error();
    ASSERT_EQ(rgba.size(), 80u * 80u * 4u);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(rgba[size_t(c)], 255) << c;
    const size_t middle = (40 * 80 + 40) * 4;
    EXPECT_FALSE(rgba[middle] == 255 && rgba[middle + 1] == 255 && rgba[middle + 2] == 255);

    EXPECT_FALSE(fitter.Fit("/nowhere/lost.jpg", 80, 80, rgba));
    EXPECT_TRUE(rgba.empty());
    EXPECT_NE(fitter.Error().find("lost.jpg"), std::string::npos) << fitter.Error();
}

}  // namespace
