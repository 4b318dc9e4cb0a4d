// The main window, the port's dialogs and the job runner, on the offscreen platform.
#include "base/Language.h"
#include "base/Progress.h"
#include "base/Texts.h"
#include "ui/DVDShowWindow.h"
#include "ui/GuiApp.h"
#include "ui/JobRunner.h"
#include "ui/MainWindow.h"
#include "ui/ProgressDialog.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCommandLinkButton>
#include <QElapsedTimer>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <thread>

namespace {

// Installs a script for one test and removes it after.
}  // namespace

TEST(MainWindow, ShowsTheFourTasksAndOnlyOffersTheOnesItHas)
{
    CMainWindow window;
    window.show();
    EXPECT_EQ(window.windowTitle(), T(1000));
    const int titles[4] = {1001, 1002, 1003, 1004};
    for (int i = 0; i < 4; ++i) {
        QCommandLinkButton* task = window.TaskButton(i);
        EXPECT_EQ(task->text(), T(titles[i]));
        EXPECT_EQ(task->description(), T(1101 + i));
        // A task whose window is missing says so instead of doing nothing.
        if (!task->isEnabled()) {
            EXPECT_FALSE(task->toolTip().isEmpty());
        }
    }
    EXPECT_TRUE(window.TaskButton(1)->isEnabled());
}

TEST(MainWindow, LanguageMenuRelabelsInGerman)
{
    CMainWindow window;
    window.show();
    auto* button = window.findChild<QToolButton*>("languageButton");
    ASSERT_NE(button, nullptr);
    QMenu* menu = button->menu();
    emit menu->aboutToShow();
    QAction* german = nullptr;
    for (QAction* action : menu->actions())
        if (action->text() == "German") german = action;
    ASSERT_NE(german, nullptr) << "data/Language/German.txt is offered";
    german->trigger();
    EXPECT_EQ(Q(CurrentLanguageName()), "German");
    EXPECT_NE(window.TaskButton(1)->text(), Q(EnglishText(1002)));
    EXPECT_EQ(window.TaskButton(1)->text(), T(1002));
    EXPECT_EQ(window.findChild<QToolButton*>("languageButton")->text(), "German");
    {
        // A window opened after the switch speaks German too.
        CDVDShowWindow show;
        EXPECT_EQ(show.findChild<QPushButton*>("addPhotos")->text(), QString::fromUtf8("Fotos hinzufügen"));
        EXPECT_EQ(show.findChild<QPushButton*>("createDvd")->text(), "DVD erstellen");
    }

    emit menu->aboutToShow();
    for (QAction* action : menu->actions())
        if (action->text() == "English") action->trigger();
    EXPECT_EQ(window.TaskButton(1)->text(), Q(EnglishText(1002)));
}

TEST(QtUiPort, ScriptRecordsMessagesFromAWorkerThreadAndAnswersThem)
{
    ScriptScope scope;
    scope.script.answers = {MsgAnswer::Yes};
    MsgAnswer first = MsgAnswer::Ok;
    MsgAnswer second = MsgAnswer::Ok;
    RunJob([&] {
        first = GuiPort().MessageBox("Replace it?", "Warning", MsgButtons::YesNo, MsgIcon::Warning);
        second = GuiPort().MessageBox("Go on?", "Kestrova", MsgButtons::OkCancel, MsgIcon::Information);
    });
    EXPECT_EQ(first, MsgAnswer::Yes);
    EXPECT_EQ(second, MsgAnswer::Cancel) << "an unscripted answer is the safe one";
    ASSERT_EQ(scope.script.messages.size(), 2u);
    EXPECT_EQ(scope.script.messages[0].text, "Replace it?");
    EXPECT_EQ(scope.script.messages[1].caption, "Kestrova");
}

TEST(JobRunner, CancelInTheProgressWindowReachesTheJobQuickly)
{
    ScriptScope scope;
    CProgressDialog* dialog = nullptr;
    scope.script.onProgress = [&](CProgressDialog& opened) { dialog = &opened; };
    QElapsedTimer clock;
    qint64 cancelledAt = -1;
    qint64 seenAt = -1;
    // Press Cancel half a second in, from the window thread, as a person would.
    QTimer::singleShot(500, [&] {
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        cancelledAt = clock.elapsed();
        QTest::mouseClick(dialog->CancelButton(), Qt::LeftButton);
    });
    clock.start();
    int percentShown = -1;
    RunJob([&] {
        CProgress progress(GuiPort());
        progress.OpenHidden("Kestrova DVD Encoder", "Encoding");
        for (int step = 0; step < 400 && !progress.IsCancelled(); ++step) {
            progress.SetPercent(step / 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            progress.Pump();
        }
        seenAt = clock.elapsed();
        percentShown = progress.LastPercent();
    });
    ASSERT_GE(cancelledAt, 0);
    EXPECT_LT(seenAt - cancelledAt, 200) << "Cancel must answer within a fifth of a second";
    EXPECT_GT(percentShown, 0);
    EXPECT_LT(percentShown, 99);
}

TEST(JobRunner, TheWindowThreadKeepsRunningDuringTheJob)
{
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(10);
    RunJob([] { std::this_thread::sleep_for(std::chrono::milliseconds(300)); });
    EXPECT_GE(ticks, 10) << "the window thread's events were dispatched while the job ran";
}

TEST(JobRunner, CarriesAnExceptionBack)
{
    EXPECT_THROW(RunJob([] { throw std::runtime_error("disk full"); }), std::runtime_error);
    EXPECT_FALSE(JobRunning());
}

TEST(MainWindow, AsksBeforeOpeningTheSlideShowOnASmallScreen)
{
    CMainWindow window;
    window.show();
    // The offscreen platform's screen is 800 x 800, below the 1024 x 768 the window needs.
    const QSize screen = window.screen()->size();
    ASSERT_TRUE(screen.width() < 1024 || screen.height() < 768) << screen.width() << "x" << screen.height();
    ScriptScope scope;
    scope.script.answers = {MsgAnswer::No};
    EXPECT_EQ(window.OpenSlideShow(""), nullptr) << "No keeps the window closed";
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_EQ(scope.script.messages[0].text, Text(303));
    EXPECT_EQ(scope.script.messages[0].caption, Text(422));
    EXPECT_EQ(scope.script.messages[0].buttons, MsgButtons::YesNo);
}
