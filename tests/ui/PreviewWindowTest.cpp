// The preview window on the sample album: pictures that change as the show plays, drawn
// scaled into the window, and Close stopping pictures and sound at once.
#include "app/Project.h"
#include "base/Album.h"
#include "base/Texts.h"
#include "support/TestSupport.h"
#include "ui/PreviewWindow.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/WindowTestSupport.h"
#include "ui/Windows.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <vector>

namespace {

// Waits (running the window thread's events) until `window` has drawn `count`
// pictures, at most `seconds`.
bool WaitForPictures(CPreviewWindow& window, int64_t count, int seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (window.PicturesDrawn() < count && clock.elapsed() < seconds * 1000) QTest::qWait(10);
    return window.PicturesDrawn() >= count;
}

}  // namespace

TEST(PreviewWindow, PlaysTheSampleAlbumWithChangingPicturesAndCloseStopsItAtOnce)
{
    ScriptScope scope;
    CAlbum album;
    std::string error;
    ASSERT_TRUE(LoadProject(album, testsupport::DataDir() + "/sample/album.osh", &error)) << error;
    CPreviewWindow window(nullptr, album);
    EXPECT_EQ(window.windowTitle(), "Preview");
    EXPECT_TRUE(window.isModal());
    ASSERT_TRUE(window.Start());
    window.show();

    // The first picture, then one a second later: the zoom of the first photo moves it.
    ASSERT_TRUE(WaitForPictures(window, 1, 30));
    const QImage first = window.Picture();
    ASSERT_TRUE(WaitForPictures(window, 21, 30));
    const QImage later = window.Picture();
    EXPECT_EQ(first.size(), QSize(320, 240));
    EXPECT_NE(first, later);
    EXPECT_GT(window.PictureNumber(), 0);
    EXPECT_TRUE(window.Preview().PicturesRunning());

    // The picture is drawn across the picture area, scaled up: its middle shows the
    // middle of the picture.
    QWidget* area = window.findChild<QWidget*>("pictureArea");
    ASSERT_NE(area, nullptr);
    EXPECT_GT(area->width(), 320);
    const QImage shown = window.grab(area->geometry()).toImage();
    const QColor middle = shown.pixelColor(shown.width() / 2, shown.height() / 2);
    const QColor source = window.Picture().pixelColor(160, 120);
    EXPECT_LE(std::abs(middle.red() - source.red()) + std::abs(middle.green() - source.green()) +
                  std::abs(middle.blue() - source.blue()),
              48);

    QPushButton* close = window.findChild<QPushButton*>("close");
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text(), T(7002));
    QElapsedTimer stopping;
    stopping.start();
    QTest::mouseClick(close, Qt::LeftButton);
    EXPECT_LT(stopping.elapsed(), 500);
    EXPECT_FALSE(window.isVisible());
    EXPECT_FALSE(window.Preview().PicturesRunning());
    EXPECT_FALSE(window.Preview().SoundPlaying());
    const int64_t drawn = window.PicturesDrawn();
    QTest::qWait(200);
    EXPECT_EQ(window.PicturesDrawn(), drawn);
    EXPECT_LT(window.Preview().FramesShown(), window.Preview().FrameCount());
    EXPECT_TRUE(scope.script.messages.empty());
}

TEST(PreviewWindow, AnEmptyAlbumIsRefusedWithoutOpeningTheWindow)
{
    ScriptScope scope;
    CAlbum empty;
    OpenPreview(nullptr, empty);
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_EQ(scope.script.messages[0].text, Text(4302));
    EXPECT_EQ(scope.script.messages[0].caption, "Kestrova");
}
