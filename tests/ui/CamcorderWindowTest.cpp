// The camcorder window driven as a person would, with a DV file made by FFmpeg standing
// in for the camcorder: two footages captured through its buttons play in order in
// libdvdnav, the preview shows the tape, and without a device the window shows the
// four-line message and stays closed unless a DV file is chosen in its place.
#include "app/DvCaptureJob.h"
#include "base/Texts.h"
#include "integration/video_checks.h"
#include "support/TestSupport.h"
#include "ui/CamcorderWindow.h"
#include "ui/ProgressDialog.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/WindowTestSupport.h"
#include "ui/Windows.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>

#include <filesystem>
#include <functional>

using namespace testsupport;

namespace {

// An NTSC DV tape of `seconds`: moving test pictures and a tone.
std::string MakeDvTape(const TempDir& dir, double seconds)
{
    const std::string path = dir.File("tape.dv");
    auto r = testsupport::Run(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x480:rate=30000/1001 -f lavfi -i "
        "sine=frequency=440:sample_rate=48000 -t " +
        std::to_string(seconds) + " -target ntsc-dv -ac 2 " + Quote(path));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

// Turns the window thread's loop until `done`, at most five seconds.
bool WaitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 250 && !done(); ++i) QTest::qWait(20);
    return done();
}

std::string Messages(const SUiScript& script)
{
    std::string all;
    for (const SUiMessage& m : script.messages) all += "[" + m.caption + "] " + m.text + "\n";
    return all;
}

}  // namespace

TEST(CamcorderWindow, CapturesTwoFootagesFromADvFileThatPlayInOrder)
{
    TempDir dir;
    // Long enough for the preview's play and both footages (each start of the tape
    // leaves the few pictures decoded ahead behind).
    const std::string tape = MakeDvTape(dir, 14);
    const std::string videoTs = dir.File("DVD") + "/VIDEO_TS/";
    ScriptScope scope;

    CCamcorderWindow window(nullptr, tape);
    window.show();
    ASSERT_TRUE(window.DeviceOpen()) << Messages(scope.script);
    EXPECT_EQ(window.windowTitle(), T(5000));
    // The stand-in answers as a VCR with a tape: every transport button is offered.
    for (const char* name : {"vcrPlay", "vcrPause", "vcrStop", "vcrFastForward", "vcrRewind", "vcrFastPlayFwd",
                             "vcrFastPlayRev", "playAndCapture", "capture"})
        EXPECT_TRUE(Child<QPushButton>(window, name)->isEnabled()) << name;
    // The tape is NTSC: the standard follows it and the resolutions are NTSC's.
    EXPECT_TRUE(Child<QRadioButton>(window, "ntsc")->isChecked());
    EXPECT_EQ(Child<QRadioButton>(window, "resolutionHigh")->text(), T(116));
    Child<QRadioButton>(window, "pal")->click();
    EXPECT_EQ(Child<QRadioButton>(window, "resolutionLow")->text(), T(121));
    Child<QRadioButton>(window, "ntsc")->click();

    // The idle stand-in shows its first picture; Play runs its tape in the preview.
    auto* preview = Child<QLabel>(window, "preview");
    EXPECT_TRUE(WaitUntil([&] { return !preview->pixmap().isNull(); })) << "no first picture";
    const uint64_t still = window.Job().PreviewSerial();
    QTest::mouseClick(Child<QPushButton>(window, "vcrPlay"), Qt::LeftButton);
    EXPECT_TRUE(WaitUntil([&] { return window.Job().PreviewSerial() >= still + 3; })) << "the tape did not play";
    QTest::mouseClick(Child<QPushButton>(window, "vcrStop"), Qt::LeftButton);

    auto* folder = Child<QLineEdit>(window, "folderBox");
    folder->setText(QString::fromStdString(videoTs));
    auto* footage = Child<QSpinBox>(window, "footage");
    EXPECT_EQ(footage->value(), 1);
    Child<QSpinBox>(window, "lengthSeconds")->setValue(5);

    const uint64_t beforeCapture = window.Job().PreviewSerial();
    QTest::mouseClick(Child<QPushButton>(window, "capture"), Qt::LeftButton);
    EXPECT_EQ(footage->value(), 2) << Messages(scope.script);
    // The preview showed the tape while it was captured.
    EXPECT_GT(window.Job().PreviewSerial(), beforeCapture);
    EXPECT_FALSE(preview->pixmap().isNull());
    // The window is live again after the capture.
    EXPECT_TRUE(Child<QPushButton>(window, "createDvd")->isEnabled());

    // Play and Capture: the tape goes on where the first footage stopped; the DVD already
    // in the folder is extended when the person agrees.
    scope.script.answers = {MsgAnswer::Yes};
    QTest::mouseClick(Child<QPushButton>(window, "playAndCapture"), Qt::LeftButton);
    EXPECT_EQ(footage->value(), 3) << Messages(scope.script);
    for (const SUiMessage& m : scope.script.messages) EXPECT_NE(m.icon, MsgIcon::Error) << m.text;

    const std::string dvd = dir.File("DVD");
    videochecks::ExpectTitleLengths(dvd, {5.0, 5.0}, videochecks::SStandard{false});
    videochecks::ExpectPlaysInOrder(dvd, 2);

    // Create DVD asks whether to burn the folder now; No leaves the window as it was.
    scope.script.messages.clear();
    scope.script.answers = {MsgAnswer::No};
    QTest::mouseClick(Child<QPushButton>(window, "createDvd"), Qt::LeftButton);
    ASSERT_EQ(scope.script.messages.size(), 1u) << Messages(scope.script);
    EXPECT_EQ(scope.script.messages[0].caption, Text(423));
    EXPECT_EQ(scope.script.messages[0].text, Text(424) + Text(425) + Text(426) + Text(427));
    EXPECT_EQ(scope.script.messages[0].buttons, MsgButtons::YesNo);
}

TEST(CamcorderWindow, WithoutADeviceShowsTheFourLinesAndClosesUnlessADvFileIsChosen)
{
    TempDir dir;
    ScriptScope scope;
    // No camcorder on this machine; the offer of a DV file is declined.
    EXPECT_EQ(OpenCamcorderWindow(nullptr), nullptr);
    ASSERT_GE(scope.script.messages.size(), 2u);
    const SUiMessage& first = scope.script.messages[0];
    EXPECT_EQ(first.text.rfind(Text(5200) + Text(5201) + Text(5202) + Text(5203), 0), 0u) << first.text;
    EXPECT_EQ(first.caption, "Kestrova");
    EXPECT_EQ(scope.script.messages[1].buttons, MsgButtons::YesNo);
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_NE(top->objectName(), "camcorderWindow") << "the window stayed open without a device";

    // Accepting the offer with a file that is no DV keeps the window closed, with the
    // file named.
    const std::string notDv = dir.File("notes.dv");
    WriteText(notDv, "not a DV stream");
    scope.script.messages.clear();
    scope.script.answers = {MsgAnswer::Ok, MsgAnswer::Yes};
    scope.script.choices = {{notDv}};
    EXPECT_EQ(OpenCamcorderWindow(nullptr), nullptr);
    bool named = false;
    for (const SUiMessage& m : scope.script.messages) named = named || m.text.find(notDv) != std::string::npos;
    EXPECT_TRUE(named) << Messages(scope.script);

    // A real DV file opens the window with it as the tape.
    const std::string tape = MakeDvTape(dir, 1);
    scope.script.answers = {MsgAnswer::Ok, MsgAnswer::Yes};
    scope.script.choices = {{tape}};
    QWidget* opened = OpenCamcorderWindow(nullptr);
    ASSERT_NE(opened, nullptr) << Messages(scope.script);
    auto* window = qobject_cast<CCamcorderWindow*>(opened);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->DeviceOpen());
    EXPECT_TRUE(Child<QPushButton>(*window, "capture")->isEnabled());
    window->close();  // deletes itself
}

TEST(CamcorderWindow, VcrControlsOnlyWhenTheDeviceIsAVcrWithATape)
{
    TempDir dir;
    const std::string tape = MakeDvTape(dir, 1);
    const std::pair<const char*, int> kinds[] = {{"camera", 5204}, {"no-tape", 5205}};
    for (const auto& [kind, key] : kinds) {
        ScriptScope scope;
        CDvCaptureJob::SStandIn standIn;
        standIn.transport = kind;
        CCamcorderWindow window(nullptr, tape, standIn);
        window.show();
        ASSERT_TRUE(window.DeviceOpen()) << kind;
        ASSERT_EQ(scope.script.messages.size(), 1u) << kind << "\n" << Messages(scope.script);
        EXPECT_EQ(scope.script.messages[0].text, Text(key));
        EXPECT_EQ(scope.script.messages[0].caption, Text(6204));
        for (const char* name : {"vcrPlay", "vcrPause", "vcrStop", "vcrFastForward", "vcrRewind", "vcrFastPlayFwd",
                                 "vcrFastPlayRev", "playAndCapture"})
            EXPECT_FALSE(Child<QPushButton>(window, name)->isEnabled()) << kind << " " << name;
        // Capturing needs no transport control.
        EXPECT_TRUE(Child<QPushButton>(window, "capture")->isEnabled()) << kind;
    }
}

// A window opened over a progress window (the next stage's progress) must not be its
// child: the progress window goes away when its stage ends, and would take it along.
TEST(QtUiPortParents, AProgressWindowOpenedOverAnotherOutlivesIt)
{
    auto outer = GuiPort().OpenProgress("Outer stage", "", true);
    CProgressDialog* outerDialog = nullptr;
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->windowTitle() == "Outer stage") outerDialog = qobject_cast<CProgressDialog*>(top);
    ASSERT_NE(outerDialog, nullptr);
    outerDialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(outerDialog));
    auto inner = GuiPort().OpenProgress("Inner stage", "", true);
    outer.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTest::qWait(20);
    bool innerAlive = false;
    for (QWidget* top : QApplication::topLevelWidgets()) innerAlive = innerAlive || top->windowTitle() == "Inner stage";
    EXPECT_TRUE(innerAlive);
    inner.reset();
}
