// Pictures of the windows for docs/screenshots. They are taken only when the
// environment names a folder (KESTROVA_SCREENSHOT_DIR; scripts/screenshots.sh runs them
// under Xvfb at 100 % and 200 % scaling) and skipped in the normal test run.
#include "app/AdvSetupDlg.h"
#include "app/Project.h"
#include "app/SlideShowJob.h"
#include "base/Language.h"
#include "support/MediaFixtures.h"
#include "support/SmallDvd.h"
#include "support/TestSupport.h"
#include "ui/AdvSetupWindow.h"
#include "ui/BurnWindow.h"
#include "ui/CamcorderWindow.h"
#include "ui/DVDShowWindow.h"
#include "ui/GuiApp.h"
#include "ui/IsoWindow.h"
#include "ui/JobRunner.h"
#include "ui/LanguageDialog.h"
#include "ui/MainWindow.h"
#include "ui/PhotoListWidget.h"
#include "ui/PhotoSettingWindow.h"
#include "ui/PreviewWindow.h"
#include "ui/ProgressDialog.h"
#include "ui/QtUiPort.h"
#include "ui/RangeWindow.h"
#include "ui/VideoWindow.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <QDir>
#include <QElapsedTimer>
#include <QPainter>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

QString ShotFolder()
{
    const char* folder = std::getenv("KESTROVA_SCREENSHOT_DIR");
    return folder ? QString::fromLocal8Bit(folder) : QString();
}

// Shows `window`, lets it lay out and paint, and saves it as NAME.png under a plain
// title bar with the window's caption (the virtual display has no window manager).
void Shoot(QWidget& window, const char* name)
{
    QCursor::setPos(0, 0);  // no button under the pointer looks hovered
    window.show();
    window.raise();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    QTest::qWait(200);
    const QPixmap content = window.grab();
    const qreal scale = content.devicePixelRatio();
    QFont font = window.font();
    font.setBold(true);
    const int bar = QFontMetrics(font).height() + 12;
    QPixmap framed(QSize(content.width(), content.height() + int(bar * scale)));
    framed.setDevicePixelRatio(scale);
    framed.fill(QColor(0x3c, 0x4a, 0x5e));
    QPainter painter(&framed);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(QRect(10, 0, int(content.width() / scale) - 20, bar), Qt::AlignVCenter | Qt::AlignLeft,
                     window.windowTitle());
    painter.drawPixmap(QPoint(0, bar), content);
    painter.end();
    QDir().mkpath(ShotFolder());
    const QString path = ShotFolder() + "/" + name + ".png";
    EXPECT_TRUE(framed.save(path)) << path.toStdString();
}

}  // namespace

#define NEED_SHOTS()                                                                   \
    do {                                                                               \
        if (ShotFolder().isEmpty()) GTEST_SKIP() << "KESTROVA_SCREENSHOT_DIR not set"; \
    } while (0)

TEST(Screenshots, MainWindow)
{
    NEED_SHOTS();
    CMainWindow window;
    Shoot(window, "main");
}

TEST(Screenshots, LanguageDialog)
{
    NEED_SHOTS();
    CLanguageDialog dialog(nullptr, LanguageList());
    Shoot(dialog, "language");
}

TEST(Screenshots, AdvancedSettings)
{
    NEED_SHOTS();
    CAdvSetupDlg values;
    CAdvSetupWindow window(nullptr, values);
    Shoot(window, "advanced-settings");
}

TEST(Screenshots, DiscImage)
{
    NEED_SHOTS();
    testsupport::TempDir dir;
    const std::string dvd = dir.File("Holiday") + "/VIDEO_TS";
    std::filesystem::create_directories(dvd);
    testsupport::WriteSmallDvdIfoFiles(dvd, 7);
    testsupport::WriteBytes(dvd + "/VTS_01_1.VOB", std::vector<uint8_t>(2048 * 7, 0));
    CIsoWindow window(nullptr, dvd);
    Shoot(window, "disc-image");
}

// The progress window of a real Create DVD on the sample album, a moment into the job.
TEST(Screenshots, ProgressDuringCreateDvd)
{
    NEED_SHOTS();
    testsupport::TempDir dir;
    SUiScript script;
    bool shot = false;
    script.onProgress = [&](CProgressDialog& dialog) {
        // The encoder's window (the second one the job opens) is the one a person watches.
        if (dialog.windowTitle() != "Kestrova DVD Encoder") return;
        QTimer::singleShot(1200, &dialog, [&dialog, &shot] {
            Shoot(dialog, "progress");
            shot = true;
            dialog.RequestCancel();
        });
    };
    GuiPort().SetScript(&script);
    CSlideShowJob job(GuiPort());
    ASSERT_TRUE(LoadProject(job.album, testsupport::DataDir() + "/sample/album.osh"));
    job.dvdFolder = dir.File("VIDEO_TS");
    RunJob([&] { job.CreateDvd(); });
    GuiPort().SetScript(nullptr);
    EXPECT_TRUE(shot);
}

// The camcorder window with a DV file standing in for the tape: the tape's pictures in
// the preview.
TEST(Screenshots, Camcorder)
{
    NEED_SHOTS();
    testsupport::TempDir dir;
    const std::string tape = dir.File("tape.dv");
    const testsupport::RunResult made = testsupport::Run(
        "ffmpeg -nostdin -v error -y -loop 1 -i " + testsupport::Quote(testsupport::DataDir() + "/sample/harbour.png") +
        " -f lavfi -i sine -t 3 -vf scale=720:480,setsar=8/9 -target ntsc-dv -ac 2 " + testsupport::Quote(tape));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    CCamcorderWindow window(nullptr, tape);
    ASSERT_TRUE(window.DeviceOpen());
    window.show();
    for (int i = 0; i < 50 && !window.PreviewShown(); ++i) QTest::qWait(100);
    EXPECT_TRUE(window.PreviewShown());
    Shoot(window, "camcorder");
}

// The preview of the sample album in the middle of its first transition.
TEST(Screenshots, PreviewMidShow)
{
    NEED_SHOTS();
    CAlbum album;
    ASSERT_TRUE(LoadProject(album, testsupport::DataDir() + "/sample/album.osh"));
    CPreviewWindow window(nullptr, album);
    ASSERT_TRUE(window.Start());
    window.show();
    QElapsedTimer clock;
    clock.start();
    while (window.PictureNumber() < 200 && clock.elapsed() < 60000) QTest::qWait(20);
    Shoot(window, "preview");
}

// The burn window partway through a real burn of a small DVD on the virtual recorder:
// the burn is held at 40 % while the picture is taken.
TEST(Screenshots, BurnWindowMidBurn)
{
    NEED_SHOTS();
    testsupport::TempDir dir;
    const std::string dvd = dir.File("Holiday") + "/VIDEO_TS";
    std::filesystem::create_directories(dvd);
    std::filesystem::create_directories(dir.File("no-drives"));
    testsupport::WriteSmallDvdIfoFiles(dvd, 7);
    testsupport::WriteBytes(dvd + "/VTS_01_1.VOB", std::vector<uint8_t>(2048 * 7, 0));
    SUiScript script;
    GuiPort().SetScript(&script);
    CBurnWindow window(nullptr, dvd, dir.File("disc.img") + ":DVD-R", dir.File("no-drives"));
    window.Job().SetRateInterval(std::chrono::milliseconds(0));
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
    window.Job().SetStatusListener([&](const CBurnJob::SStatus& status) {
        QMetaObject::invokeMethod(
            &window, [&window, status] { window.ShowStatus(status); }, Qt::QueuedConnection);
        // A pace a drive might keep, so that the rate shown is a plausible one.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (status.writing && status.percent >= 40 && !held.exchange(true))
            while (!released) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    window.show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!held || released) return;
        Shoot(window, "burn");
        released = true;
    });
    poll.start(10);
    EXPECT_TRUE(window.StartBurn(false));
    GuiPort().SetScript(nullptr);
    EXPECT_TRUE(released);
}

// The slide-show window with the sample album loaded, its thumbnails made and the second
// photo selected.
TEST(Screenshots, SlideShow)
{
    NEED_SHOTS();
    SUiScript script;
    GuiPort().SetScript(&script);
    CDVDShowWindow window;
    window.show();
    ASSERT_TRUE(window.OpenProject(testsupport::DataDir() + "/sample/album.osh"));
    for (int i = 0; i < 500 && window.ThumbnailsPending(); ++i) QTest::qWait(20);
    window.findChild<CPhotoListWidget*>("photoList")->setCurrentRow(1);
    Shoot(window, "slide-show");
    GuiPort().SetScript(nullptr);
}

// The photo settings of the sample album's first photo, which has a narration.
TEST(Screenshots, PhotoSettings)
{
    NEED_SHOTS();
    CAlbum album;
    ASSERT_TRUE(LoadProject(album, testsupport::DataDir() + "/sample/album.osh"));
    CPhotoSettingWindow window(nullptr, album, {0});
    Shoot(window, "photo-settings");
}

// The video window after two clips were added (their thumbnails shown) and the subtitle
// beside one was taken.
TEST(Screenshots, VideoWindow)
{
    NEED_SHOTS();
    testsupport::TempDir dir;
    const std::string first =
        testsupport::MakeMediaFixture(testsupport::EMediaFixture::H264AacMp4, dir.Path().string()).path;
    const std::string second =
        testsupport::MakeMediaFixture(testsupport::EMediaFixture::Mpeg2Ps, dir.Path().string()).path;
    ASSERT_FALSE(first.empty() || second.empty());
    testsupport::WriteText(std::filesystem::path(first).replace_extension(".srt").string(),
                           "1\n00:00:00,200 --> 00:00:02,500\nHello\n\n");
    SUiScript script;
    script.answers.push_back(MsgAnswer::Yes);
    GuiPort().SetScript(&script);
    CVideoWindow window(nullptr);
    EXPECT_EQ(window.AddFiles({first, second}), 2);
    GuiPort().SetScript(nullptr);
    for (int i = 0; i < 200 && (window.Thumbnail(first).isNull() || window.Thumbnail(second).isNull()); ++i)
        QTest::qWait(100);
    Shoot(window, "video");
}

// The range dialog of a row.
TEST(Screenshots, RangeDialog)
{
    NEED_SHOTS();
    CRangeWindow range(nullptr, "/home/me/Videos/holiday.mp4", 754.2, 65, 700);
    Shoot(range, "range");
}
