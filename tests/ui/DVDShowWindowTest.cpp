// The slide-show window driven as a person would: files chosen through the window's own
// choosers (answered by the port's script), buttons clicked, keys pressed.
#include "app/DVDShowDlg.h"
#include "app/PhotoSettingDlg.h"
#include "integration/video_checks.h"
#include "support/TestSupport.h"
#include "ui/DVDShowWindow.h"
#include "ui/GuiApp.h"
#include "ui/PhotoListWidget.h"
#include "ui/ProgressDialog.h"
#include "ui/QtUiPort.h"
#include "ui/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QAudioDevice>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMediaDevices>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <chrono>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

void Click(QWidget& window, const char* name)
{
    auto* button = Child<QPushButton>(window, name);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled()) << name;
    QTest::mouseClick(button, Qt::LeftButton);
}

// Turns the event loop until `done` holds or `ms` pass; the result of `done`.
template <class F>
bool WaitFor(F done, int ms = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) QTest::qWait(10);
    return done();
}

// The sample photos copied into `dir` (so that rotated copies are written there).
std::vector<std::string> SamplePhotos(const testsupport::TempDir& dir)
{
    std::vector<std::string> photos;
    for (const char* name : {"beach.jpg", "city.jpg", "flowers.jpg", "forest.jpg", "harbour.png", "panorama.jpg",
                             "sunset.jpg", "town.jpg"}) {
        fs::copy_file(testsupport::DataDir() + "/sample/" + name, dir.File(name));
        photos.push_back(dir.File(name));
    }
    return photos;
}

// A silent sound file of `seconds` made by FFmpeg.
std::string Silence(const testsupport::TempDir& dir, int seconds)
{
    const std::string path = dir.File("silence" + std::to_string(seconds) + ".wav");
    const auto made = testsupport::Run("ffmpeg -v error -y -f lavfi -i anullsrc=r=8000:cl=mono -t " +
                                       std::to_string(seconds) + " " + testsupport::Quote(path));
    EXPECT_EQ(made.exitCode, 0) << made.err;
    return path;
}

std::vector<int> ShowTimes(CDVDShowWindow& window)
{
    std::vector<int> times;
    for (const CAlbumPhoto& p : window.Model().album.photos) times.push_back(p.showSeconds);
    return times;
}

bool HasMessage(const SUiScript& script, const std::string& text)
{
    for (const SUiMessage& m : script.messages)
        if (m.text.find(text) != std::string::npos) return true;
    return false;
}

// Drags `data` in from outside and drops it on `target` (the drop goes only to the
// widget that accepted the drag).
void DropOn(QWidget* target, QMimeData& data)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
}

// Adds `photos` through the Add Photos button and the scripted file choice.
void AddThroughWindow(CDVDShowWindow& window, SUiScript& script, const std::vector<std::string>& photos)
{
    script.choices.push_back(photos);
    Click(window, "addPhotos");
}

TEST(DVDShowWindow, AddSelectSettingsSyncSaveLoadRotateRemove)
{
    testsupport::TempDir dir;
    ScriptScope scope;
    CDVDShowWindow window;
    window.show();
    auto* list = Child<CPhotoListWidget>(window, "photoList");
    auto* totals = Child<QLabel>(window, "statusTotals");
    auto* current = Child<QLabel>(window, "statusCurrent");
    EXPECT_FALSE(Child<QPushButton>(window, "createDvd")->isEnabled());
    EXPECT_EQ(current->text(), "Current Photo: None");

    const std::vector<std::string> photos = SamplePhotos(dir);
    AddThroughWindow(window, scope.script, {photos[0], photos[1], photos[2]});
    ASSERT_EQ(window.Model().album.photos.size(), 3u);
    EXPECT_EQ(list->count(), 3);
    EXPECT_EQ(CGuiApp::Instance().RememberedFolder(CKestrovaApp::kPhoto).rfind(dir.Path().string(), 0), 0u)
        << "the photo folder is remembered for the next time";
    EXPECT_EQ(totals->text(),
              "Total 3 photos, total time: 00:00:21\n"
              "Total 0 background musics, total music length: 00:00:00");
    EXPECT_TRUE(WaitFor([&] { return !window.ThumbnailsPending(); }));
    EXPECT_EQ(list->item(0)->icon().availableSizes().value(0), QSize(80, 80));

    // A click shows the photo on white and its settings.
    list->setCurrentRow(1);
    EXPECT_EQ(window.Model().CurrentPhoto(), 1);
    auto* shown = Child<QLabel>(window, "photoPreview");
    EXPECT_FALSE(shown->pixmap().isNull());
    // A larger window shows the photo larger, once the resizing pauses.
    const QSize small = shown->pixmap().size();
    window.resize(window.width() + 300, window.height() + 200);
    EXPECT_TRUE(WaitFor([&] { return shown->pixmap().width() > small.width(); }, 3000));
    EXPECT_EQ(current->text(),
              "Current Photo: ShowTime 00:00:05, KenBurns Effect: Auto, Transition: Auto, "
              "Transition Length 00:00:02, Narration No");

    // An effect changed in the photo settings.
    {
        CPhotoSettingDlg settings(window.Model().album, list->SelectedRows());
        settings.panZoomName = "ZoomOut";
        settings.transitionName = "Push";
        settings.Accept();
    }
    list->setCurrentRow(0);
    list->setCurrentRow(1);
    EXPECT_NE(current->text().indexOf("KenBurns Effect: ZoomOut, Transition: Push"), -1)
        << current->text().toStdString();

    // Music: one 60-second file; a file without sound is refused.
    const std::string minute = Silence(dir, 60);
    testsupport::WriteText(dir.File("noise.mp3"), "not sound");
    scope.script.choices.push_back({minute, dir.File("noise.mp3")});
    Click(window, "addMusic");
    auto* music = Child<QTreeWidget>(window, "musicList");
    ASSERT_EQ(music->topLevelItemCount(), 1);
    EXPECT_EQ(music->topLevelItem(0)->text(1), "00:01:00");
    EXPECT_TRUE(HasMessage(scope.script, "Unable to determine the duration of " + dir.File("noise.mp3")));

    // Auto sync: 3 photos and 60 s give 18 s each, 4 photos 13 s each.
    Click(window, "autoSync");
    EXPECT_EQ(ShowTimes(window), (std::vector<int>{18, 18, 18}));
    EXPECT_TRUE(HasMessage(scope.script, "Now the slide show is synced with the background music."));
    AddThroughWindow(window, scope.script, {photos[3]});
    Click(window, "autoSync");
    EXPECT_EQ(ShowTimes(window), (std::vector<int>{13, 13, 13, 13}));
    EXPECT_EQ(totals->text().left(45), "Total 4 photos, total time: 00:01:00\nTotal 1 ");

    // Seven photos and 100 s of music: 12, 13, 12, 12, 12, 13, 12.
    AddThroughWindow(window, scope.script, {photos[4], photos[5], photos[6]});
    Child<QTreeWidget>(window, "musicList")->topLevelItem(0)->setSelected(true);
    Click(window, "removeMusic");
    scope.script.choices.push_back({Silence(dir, 100)});
    Click(window, "addMusic");
    Click(window, "autoSync");
    EXPECT_EQ(ShowTimes(window), (std::vector<int>{12, 13, 12, 12, 12, 13, 12}));

    // Save, empty the album, load it back.
    scope.script.choices.push_back({dir.File("show")});
    Click(window, "saveProject");
    const std::string saved = testsupport::ReadText(dir.File("show.osh"));
    EXPECT_NE(saved.find("[Photo2]\nPath=" + photos[1] +
                         "\nWavePath=NONE\nShowingTime=13\nTransitionTime=2\n"
                         "KenBurns=ZoomOut\nTransitionType=Push\n"),
              std::string::npos)
        << saved;
    const CAlbum before = window.Model().album;
    Click(window, "removeAll");
    EXPECT_EQ(list->count(), 0);
    EXPECT_FALSE(Child<QPushButton>(window, "saveProject")->isEnabled());
    scope.script.choices.push_back({dir.File("show.osh")});
    Click(window, "loadProject");
    EXPECT_EQ(window.Model().album, before);
    EXPECT_EQ(list->count(), 7);

    // Rotate: refused without a selection, then the chosen turn of the selected photo.
    list->clearSelection();
    Click(window, "rotate");
    EXPECT_TRUE(HasMessage(scope.script, "You must select at least one photo in the list."));
    list->setCurrentRow(0);
    QTimer::singleShot(0, [] {
        QWidget* question = QApplication::activeModalWidget();
        ASSERT_NE(question, nullptr);
        QTest::mouseClick(question->findChild<QPushButton*>("rotateClockwise"), Qt::LeftButton);
    });
    Click(window, "rotate");
    EXPECT_EQ(window.Model().album.photos[0].photoPath, dir.File("beach-r.jpg"));
    EXPECT_TRUE(fs::exists(dir.File("beach-r.jpg")));
    EXPECT_EQ(list->item(0)->text(), "beach-r.jpg");

    // Delete removes the selected photos; the photo after them becomes current.
    list->clearSelection();
    list->item(1)->setSelected(true);
    list->item(2)->setSelected(true);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(window.Model().album.photos.size(), 5u);
    EXPECT_EQ(window.Model().CurrentPhoto(), 1);
    EXPECT_EQ(window.Model().album.photos[1].photoPath, photos[3]);
    EXPECT_EQ(totals->text().left(16), "Total 5 photos, ");
}

TEST(DVDShowWindow, StandardRelabelsDropsAddAndDragsReorder)
{
    ScriptScope scope;
    CDVDShowWindow window;
    window.show();
    auto* low = Child<QRadioButton>(window, "resolutionLow");
    EXPECT_EQ(low->text(), "Low (352x240)");
    Child<QRadioButton>(window, "pal")->setChecked(true);
    EXPECT_EQ(low->text(), "Low (352x288)");
    EXPECT_TRUE(window.Model().pal);

    // Files dropped from a file manager onto the list: photos by their kind, the rest
    // left alone; a sound file dropped on the window goes to the music list.
    testsupport::TempDir dir;
    const std::vector<std::string> photos = SamplePhotos(dir);
    auto* list = Child<CPhotoListWidget>(window, "photoList");
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QString::fromStdString(photos[0])),
                   QUrl::fromLocalFile(QString::fromStdString(photos[1])),
                   QUrl::fromLocalFile(QString::fromStdString(photos[2])),
                   QUrl::fromLocalFile(QString::fromStdString(dir.File("notes.txt")))});
    DropOn(list->viewport(), files);
    ASSERT_EQ(window.Model().album.photos.size(), 3u);
    EXPECT_EQ(list->count(), 3);
    QMimeData sound;
    sound.setUrls({QUrl::fromLocalFile(QString::fromStdString(Silence(dir, 3)))});
    DropOn(&window, sound);
    ASSERT_EQ(window.Model().album.music.size(), 1u);
    EXPECT_EQ(window.Model().album.music[0].seconds, 3);

    // A drag inside the list puts the dragged photos in front of the one dropped on.
    list->setCurrentRow(2);
    emit list->RowsDropped({2}, 0);
    EXPECT_EQ(window.Model().album.photos[0].photoPath, photos[2]);
    EXPECT_EQ(list->item(0)->text().toStdString(), window.Model().album.photos[0].name);
    EXPECT_TRUE(list->item(0)->isSelected());
    EXPECT_EQ(window.Model().CurrentPhoto(), 0);

    // Play: the button reads Stop while the music plays; without any sound output the
    // person is told instead of the program failing.
    auto* play = Child<QPushButton>(window, "playMusic");
    Click(window, "playMusic");
    if (QMediaDevices::audioOutputs().isEmpty()) {
        EXPECT_TRUE(HasMessage(scope.script, "No sound output was found"));
        EXPECT_EQ(play->text(), "Play");
    } else {
        EXPECT_EQ(play->text(), "Stop");
        Click(window, "playMusic");
        EXPECT_EQ(play->text(), "Play");
    }
}

TEST(DVDShowWindow, AdvancedSettingsAreKeptForTheJobAndTheNextOpening)
{
    ScriptScope scope;
    CDVDShowWindow window;
    window.show();
    QString shownAgain;
    QTimer::singleShot(0, [] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        QTest::mouseClick(dialog->findChild<QPushButton*>("presetMiniDvd"), Qt::LeftButton);
        dialog->findChild<QCheckBox*>("compressAudio")->setChecked(false);
        dialog->findChild<QCheckBox*>("highQuality")->setChecked(true);
        QTest::mouseClick(dialog->findChild<QPushButton*>("ok"), Qt::LeftButton);
    });
    Click(window, "advancedSetting");
    const auto job = window.Model().MakeJob(GuiPort());
    EXPECT_EQ(job->discSizeText, "1470000000");
    EXPECT_EQ(job->compressAudio, 0);
    EXPECT_TRUE(job->highQuality);

    // Opened again, it shows what was accepted; Cancel keeps it.
    QTimer::singleShot(0, [&shownAgain] {
        QWidget* dialog = QApplication::activeModalWidget();
        ASSERT_NE(dialog, nullptr);
        shownAgain = dialog->findChild<QLineEdit*>("discSize")->text();
        QTest::mouseClick(dialog->findChild<QPushButton*>("presetCd"), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton*>("cancel"), Qt::LeftButton);
    });
    Click(window, "advancedSetting");
    EXPECT_EQ(shownAgain, "1470000000");
    EXPECT_EQ(window.Model().MakeJob(GuiPort())->discSizeText, "1470000000");
}

TEST(DVDShowWindow, PreviewPlaysTheAlbumUntilClosed)
{
    testsupport::TempDir dir;
    ScriptScope scope;
    CDVDShowWindow window;
    window.show();
    EXPECT_FALSE(Child<QPushButton>(window, "previewButton")->isEnabled()) << "no photo yet";
    AddThroughWindow(window, scope.script, {SamplePhotos(dir)[0], dir.File("city.jpg")});
    bool opened = false;
    QTimer::singleShot(500, [&opened] {
        QWidget* preview = QApplication::activeModalWidget();
        ASSERT_NE(preview, nullptr);
        opened = preview->objectName() == "previewWindow";
        QTest::mouseClick(preview->findChild<QPushButton*>("close"), Qt::LeftButton);
    });
    Click(window, "previewButton");
    EXPECT_TRUE(opened);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(DVDShowWindow, AddingThreeHundredPhotosKeepsTheWindowResponsive)
{
    testsupport::TempDir dir;
    ScriptScope scope;
    const std::vector<std::string> samples = SamplePhotos(dir);
    std::vector<std::string> many;
    for (int i = 0; i < 300; ++i) {
        const std::string link = dir.File("photo" + std::to_string(i) + ".jpg");
        fs::create_symlink(samples[size_t(i) % samples.size()], link);
        many.push_back(link);
    }
    CDVDShowWindow window;
    window.show();
    AddThroughWindow(window, scope.script, many);
    ASSERT_EQ(window.Model().album.photos.size(), 300u);
    EXPECT_TRUE(window.ThumbnailsPending());

    // While the thumbnails are made, a timer on the window thread keeps firing.
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0, longest = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
    });
    tick.start(10);
    EXPECT_TRUE(WaitFor([&] { return !window.ThumbnailsPending(); }, 120000));
    // Making the 300 thumbnails takes over a second; on the window thread they would stop the
    // timer that long. The bound leaves room for a busy machine.
    EXPECT_LT(longest, 500) << "the window thread was held up";
}

// A short album (two photos of `seconds` each, no transitions) in the window, the DVD
// folder chosen with the Change button: `dvd`, which gets its VIDEO_TS inside.
void ShortAlbum(CDVDShowWindow& window, SUiScript& script, const testsupport::TempDir& dir, const std::string& dvd,
                int seconds)
{
    AddThroughWindow(window, script, {SamplePhotos(dir)[0], dir.File("city.jpg")});
    for (CAlbumPhoto& photo : window.Model().album.photos) {
        photo.showSeconds = seconds;
        photo.transitionSeconds = 0;
    }
    script.choices.push_back({dvd});
    Click(window, "changeFolder");
    EXPECT_EQ(Child<QLineEdit>(window, "dvdFolder")->text().toStdString(), dvd + "/VIDEO_TS/");
}

TEST(DVDShowWindow, CreateDvdMakesAFolderThatLsdvdAndDvdnavReadAndOffersToBurnIt)
{
    testsupport::TempDir dir;
    ScriptScope scope;
    CDVDShowWindow window;
    window.show();
    ShortAlbum(window, scope.script, dir, dir.File("DVD"), 1);
    // Yes to the ready-to-burn question opens the burn window with the new DVD.
    scope.script.answers.push_back(MsgAnswer::Yes);
    std::string burnSource;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal->objectName() != "burnWindow") return;
        if (auto* source = modal->findChild<QLabel*>("sourceText")) burnSource = source->text().toStdString();
        modal->close();
    });
    closer.start(50);
    Click(window, "createDvd");
    const auto lengths = videochecks::LsdvdLengths(dir.File("DVD"));
    ASSERT_EQ(lengths.size(), 1u);
    EXPECT_NEAR(lengths[0], 2.0, 0.2);
    videochecks::ExpectPlaysInOrder(dir.File("DVD"), 1);
    EXPECT_TRUE(HasMessage(scope.script, "Your DVD is ready to burn."));
    EXPECT_NE(burnSource.find(dir.File("DVD")), std::string::npos) << burnSource;
    EXPECT_TRUE(Child<QPushButton>(window, "createDvd")->isEnabled());
}

TEST(DVDShowWindow, CancelInTheProgressWindowLeavesAPlayableFolder)
{
    testsupport::TempDir dir;
    ScriptScope scope;
    // The encoder's progress window is cancelled a moment after it opens.
    scope.script.onProgress = [](CProgressDialog& dialog) {
        if (dialog.windowTitle() == "Kestrova DVD Encoder")
            QTimer::singleShot(1500, &dialog, [&dialog] { QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton); });
    };
    CDVDShowWindow window;
    window.show();
    ShortAlbum(window, scope.script, dir, dir.File("DVD"), 60);
    const auto started = std::chrono::steady_clock::now();
    Click(window, "createDvd");
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto lengths = videochecks::LsdvdLengths(dir.File("DVD"));
    ASSERT_EQ(lengths.size(), 1u);
    EXPECT_GT(lengths[0], 0.0);
    EXPECT_LT(lengths[0], 120.0) << "the cancel was not noticed (took " << took << " s)";
    videochecks::ExpectPlaysInOrder(dir.File("DVD"), 1);
}

}  // namespace
