// The photo settings window on a two-photo album, driven as a person would.
#include "base/Album.h"
#include "support/TestSupport.h"
#include "ui/DVDShowWindow.h"
#include "ui/PhotoSettingWindow.h"
#include "ui/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

namespace {

CAlbum TwoPhotos()
{
    CAlbum album;
    album.AddPhoto(testsupport::DataDir() + "/sample/beach.jpg");
    album.AddPhoto(testsupport::DataDir() + "/sample/city.jpg");
    return album;
}

}  // namespace

TEST(PhotoSettingWindow, OkAppliesTimesAndEffectsToTheSelectionOrToAll)
{
    CAlbum album = TwoPhotos();
    {
        CPhotoSettingWindow window(nullptr, album, {1});
        window.show();
        Child<QSpinBox>(window, "showTime")->setValue(7);
        Child<QSpinBox>(window, "transitionTime")->setValue(3);
        auto* transition = Child<QComboBox>(window, "transition");
        ASSERT_GT(transition->count(), 2);
        EXPECT_EQ(transition->itemText(0), "None");
        transition->setCurrentIndex(2);
        const std::string chosen = transition->currentText().toStdString();
        QTest::mouseClick(Child<QPushButton>(window, "ok"), Qt::LeftButton);
        EXPECT_EQ(album.photos[1].showSeconds, 7);
        EXPECT_EQ(album.photos[1].transitionSeconds, 3);
        EXPECT_EQ(std::string(TransitionNameOf(album.photos[1].transitionType)), chosen);
        EXPECT_EQ(album.photos[0].showSeconds, 5) << "only the selected photo";
    }
    {
        CPhotoSettingWindow window(nullptr, album, {1});
        window.show();
        Child<QSpinBox>(window, "showTime")->setValue(4);
        Child<QCheckBox>(window, "applyToAll")->setChecked(true);
        window.accept();
        EXPECT_EQ(album.photos[0].showSeconds, 4);
        EXPECT_EQ(album.photos[1].showSeconds, 4);
    }
    {
        // Cancel changes nothing.
        CPhotoSettingWindow window(nullptr, album, {0});
        window.show();
        Child<QSpinBox>(window, "showTime")->setValue(30);
        window.reject();
        EXPECT_EQ(album.photos[0].showSeconds, 4);
    }
}

TEST(PhotoSettingWindow, ANarrationRaisesTheShowingTimeAndEraseRemovesIt)
{
    testsupport::TempDir dir;
    const std::string wave = dir.File("voice.wav");
    const testsupport::RunResult made =
        testsupport::Run("ffmpeg -v error -f lavfi -i sine=d=9 -ar 44100 -y " + testsupport::Quote(wave));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    CAlbum album = TwoPhotos();
    album.photos[0].narrationPath = wave;
    album.photos[0].showSeconds = 5;

    CPhotoSettingWindow window(nullptr, album, {});
    window.show();
    EXPECT_EQ(Child<QSpinBox>(window, "showTime")->value(), 9) << "a 9-second narration over a 5-second photo";
    EXPECT_EQ(Child<QLabel>(window, "narrationText")->text(), "Yes, Length=00:00:09");
    EXPECT_TRUE(Child<QPushButton>(window, "erase")->isEnabled());
    QTest::mouseClick(Child<QPushButton>(window, "erase"), Qt::LeftButton);
    EXPECT_EQ(Child<QLabel>(window, "narrationText")->text(), "No");
    EXPECT_FALSE(Child<QPushButton>(window, "erase")->isEnabled());
    EXPECT_EQ(album.photos[0].narrationPath, wave) << "nothing changes before OK";
    window.accept();
    EXPECT_EQ(album.photos[0].narrationPath, "NONE");
    EXPECT_EQ(album.photos[0].showSeconds, 9);
}

TEST(PhotoSettingWindow, OpensFromTheSlideShowWindowAndItsEffectShowsInTheStatus)
{
    CDVDShowWindow show;
    show.show();
    show.AddDroppedFiles({QString::fromStdString(testsupport::DataDir() + "/sample/beach.jpg"),
                          QString::fromStdString(testsupport::DataDir() + "/sample/city.jpg")});
    ASSERT_EQ(show.Model().album.photos.size(), 2u);
    auto* list = Child<QListWidget>(show, "photoList");
    list->setCurrentRow(1);
    std::string chosen;
    QTimer::singleShot(0, [&chosen] {
        auto* window = qobject_cast<CPhotoSettingWindow*>(QApplication::activeModalWidget());
        ASSERT_NE(window, nullptr);
        auto* panZoom = Child<QComboBox>(*window, "panZoom");
        panZoom->setCurrentIndex(panZoom->count() - 1);
        chosen = panZoom->currentText().toStdString();
        QTest::mouseClick(Child<QPushButton>(*window, "ok"), Qt::LeftButton);
    });
    show.PhotoSettings();
    ASSERT_FALSE(chosen.empty());
    EXPECT_EQ(std::string(PanZoomNameOf(show.Model().album.photos[1].panZoomType)), chosen);
    EXPECT_NE(Child<QLabel>(show, "statusCurrent")->text().toStdString().find("KenBurns Effect: " + chosen),
              std::string::npos)
        << Child<QLabel>(show, "statusCurrent")->text().toStdString();
}
