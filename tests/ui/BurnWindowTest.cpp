// The burn window driven as a person would, burning to the virtual recorder.
#include "app/BurnSession.h"
#include "base/Texts.h"
#include "recorder/VirtualRecorder.h"
#include "support/SmallDvd.h"
#include "support/TestSupport.h"
#include "ui/BurnWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtUiPort.h"
#include "ui/UiText.h"
#include "ui/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCommandLinkButton>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

constexpr size_t kSector = 2048;

// Pins the creation time of every disc image made while it lives.
struct PinnedTime {
    PinnedTime() { setenv("SOURCE_DATE_EPOCH", "1700000000", 1); }
    ~PinnedTime() { unsetenv("SOURCE_DATE_EPOCH"); }
};

// A small playable DVD folder under `dir`/DVD/VIDEO_TS; returns the VIDEO_TS folder.
std::string MakeSmallDvd(const testsupport::TempDir& dir)
{
    const std::string videoTs = dir.File("DVD") + "/VIDEO_TS";
    fs::create_directories(videoTs);
    testsupport::WriteSmallDvdIfoFiles(videoTs, 7);
    std::vector<uint8_t> vob(7 * kSector);
    for (size_t i = 0; i < vob.size(); ++i) vob[i] = uint8_t(i * 7 + i / kSector);
    testsupport::WriteBytes(videoTs + "/VTS_01_1.VOB", vob);
    return videoTs;
}

// An image file of `sectors` sectors, each filled with its number plus one.
std::string MakeImage(const testsupport::TempDir& dir, int sectors)
{
    std::vector<uint8_t> bytes(size_t(sectors) * kSector);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i / kSector + 1);
    const std::string path = dir.File("source.iso");
    testsupport::WriteBytes(path, bytes);
    return path;
}

bool Logged(CBurnWindow& window, const std::string& line)
{
    const auto& log = window.Session().Virtual()->Log();
    return std::find(log.begin(), log.end(), line) != log.end();
}

}  // namespace

TEST(BurnWindow, BurnsADvdFolderToTheVirtualRecorderAsTheImageCommandWritesIt)
{
    testsupport::TempDir dir;
    fs::create_directories(dir.File("root"));
    const std::string videoTs = MakeSmallDvd(dir);
    PinnedTime pinned;
    const std::string reference = dir.File("ref.iso");
    const testsupport::RunResult made =
        testsupport::Run("SOURCE_DATE_EPOCH=1700000000 " + testsupport::Quote(testsupport::CliPath()) + " iso " +
                         testsupport::Quote(dir.File("DVD")) + " -o " + testsupport::Quote(reference));
    ASSERT_EQ(made.exitCode, 0) << made.err;
    ScriptScope scope;

    // A VIDEO_TS.IFO stands for its folder; no real drive is under the fake root.
    CBurnWindow window(nullptr, videoTs + "/VIDEO_TS.IFO", dir.File("disc.img") + ":DVD-R", dir.File("root"));
    window.show();
    EXPECT_EQ(Child<QLabel>(window, "sourceText")->text().toStdString(), "DVD Video files at " + videoTs);
    EXPECT_TRUE(Child<QLabel>(window, "sizeText")->text().contains("1 MB, 0.0% of a 4.7G DVD Disc"));
    EXPECT_TRUE(Child<QLineEdit>(window, "labelBox")->isEnabled());
    EXPECT_EQ(Child<QLineEdit>(window, "labelBox")->text(), "My Movie");
    auto* recorders = Child<QComboBox>(window, "recorderList");
    ASSERT_EQ(recorders->count(), 1);
    EXPECT_TRUE(recorders->itemText(0).startsWith("KESTROVA VIRTUAL DVD-RW")) << recorders->itemText(0).toStdString();
    Child<QComboBox>(window, "speedList")->setCurrentIndex(5);

    // The bars move while the disc is written; the drive's buffer is asked about.
    window.Job().SetRateInterval(std::chrono::milliseconds(0));
    window.Job().SetSleeper([](int) {});
    // Meanwhile nothing else can start and the window does not close.
    std::vector<int> written;
    auto* burn = Child<QPushButton>(window, "burn");
    auto* exit = Child<QPushButton>(window, "exit");
    bool usableDuring = false;
    QObject::connect(Child<QProgressBar>(window, "writeBar"), &QProgressBar::valueChanged, [&](int value) {
        written.push_back(value);
        if (value > 0 && value < 100) {
            usableDuring |=
                burn->isEnabled() || exit->isEnabled() || Child<QComboBox>(window, "recorderList")->isEnabled();
            window.reject();
        }
    });
    ASSERT_TRUE(burn->isEnabled());
    QTest::mouseClick(burn, Qt::LeftButton);
    EXPECT_FALSE(window.Burning());
    EXPECT_FALSE(usableDuring);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(burn->isEnabled());
    ASSERT_FALSE(scope.script.messages.empty());
    EXPECT_EQ(scope.script.messages.back().text, "Done!") << scope.script.messages.front().text;
    EXPECT_EQ(Child<QLabel>(window, "burnStatus")->text(), "Done!");
    ASSERT_GE(written.size(), 3u);
    EXPECT_TRUE(std::is_sorted(written.begin(), written.end()));
    EXPECT_EQ(written.back(), 100);
    EXPECT_TRUE(Child<QProgressBar>(window, "bufferBar")->isEnabled()) << "the drive told its buffer fill";
    EXPECT_TRUE(Logged(window, "SET CD SPEED 11080 kB/s -> good")) << "the chosen speed reaches the drive";
    EXPECT_TRUE(fs::exists(dir.File("disc.img.log"))) << "the command log is kept beside the image";

    // The disc holds the image the image command writes, padded to a whole block.
    auto disc = testsupport::ReadBytes(dir.File("disc.img"));
    const auto iso = testsupport::ReadBytes(reference);
    ASSERT_EQ(disc.size(), (iso.size() / kSector + 15) / 16 * 16 * kSector);
    EXPECT_TRUE(std::all_of(disc.begin() + long(iso.size()), disc.end(), [](uint8_t b) { return b == 0; }));
    disc.resize(iso.size());
    EXPECT_TRUE(disc == iso);

    // Eject opens the tray of the selected recorder once more.
    const auto& log = window.Session().Virtual()->Log();
    const auto ejects = [&] { return std::count(log.begin(), log.end(), "START STOP UNIT eject -> good"); };
    const auto before = ejects();
    QTest::mouseClick(Child<QPushButton>(window, "eject"), Qt::LeftButton);
    EXPECT_EQ(ejects(), before + 1);
}

TEST(BurnWindow, TestWriteIsAskedFirstAndRefusedOnDvdPlusR)
{
    testsupport::TempDir dir;
    fs::create_directories(dir.File("root"));
    const std::string image = MakeImage(dir, 40);
    ScriptScope scope;
    CBurnWindow window(nullptr, image, dir.File("disc.img") + ":DVD+R", dir.File("root"));
    window.show();
    EXPECT_EQ(Child<QLabel>(window, "sourceText")->text().toStdString(), "DVD Disc image file: " + image);
    EXPECT_FALSE(Child<QLineEdit>(window, "labelBox")->isEnabled()) << "an image keeps its own label";

    // Cancel on the question: nothing happens.
    auto* test = Child<QPushButton>(window, "testWrite");
    scope.script.answers = {MsgAnswer::Cancel};
    QTest::mouseClick(test, Qt::LeftButton);
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_EQ(scope.script.messages[0].caption, Text(6203));
    EXPECT_EQ(scope.script.messages[0].buttons, MsgButtons::OkCancel);
    EXPECT_FALSE(Logged(window, "START STOP UNIT load -> good")) << "no disc was loaded";

    // OK: the disc in the tray is a DVD+R, which would be written for real, so nothing is.
    scope.script.messages.clear();
    scope.script.answers = {MsgAnswer::Ok};
    EXPECT_FALSE(window.StartBurn(true));
    ASSERT_GE(scope.script.messages.size(), 2u);
    EXPECT_NE(scope.script.messages[1].text.find("do not support test writing"), std::string::npos);
    EXPECT_EQ(window.Session().Virtual()->SectorsWritten(), 0);
    EXPECT_EQ(window.Session().Virtual()->DiscStatus(), 0);
    EXPECT_TRUE(!fs::exists(dir.File("disc.img")) || fs::file_size(dir.File("disc.img")) == 0);
    EXPECT_NE(scope.script.messages.back().text, "Done!");
    EXPECT_TRUE(test->isEnabled());

    // The virtual recorder never records over the image being burned.
    const auto before = testsupport::ReadBytes(image);
    CBurnWindow over(nullptr, image, image + ":DVD-R", dir.File("root"));
    scope.script.messages.clear();
    EXPECT_FALSE(over.StartBurn(false));
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_NE(scope.script.messages[0].text.find("which is being burned"), std::string::npos);
    EXPECT_TRUE(testsupport::ReadBytes(image) == before);
}

TEST(BurnWindow, WithoutARecorderTheListSaysSoAndNothingCanBurn)
{
    testsupport::TempDir dir;
    fs::create_directories(dir.File("root"));
    fs::create_directories(dir.File("notafile"));
    const std::string image = MakeImage(dir, 16);
    ScriptScope scope;
    // The virtual recorder cannot record into a folder: it is left out, with a message.
    CBurnWindow window(nullptr, image, dir.File("notafile"), dir.File("root"));
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_NE(scope.script.messages[0].text.find("not a regular file"), std::string::npos);
    auto* recorders = Child<QComboBox>(window, "recorderList");
    ASSERT_EQ(recorders->count(), 1);
    EXPECT_EQ(recorders->currentText(), "No DVD +-R/RW Drive Found!");
    EXPECT_FALSE(Child<QPushButton>(window, "burn")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(window, "testWrite")->isEnabled());
    EXPECT_FALSE(Child<QPushButton>(window, "eject")->isEnabled());
    EXPECT_FALSE(window.StartBurn(false));
    EXPECT_EQ(Child<QLabel>(window, "sourceText")->text().toStdString(), "DVD Disc image file: " + image);
}

TEST(BurnWindow, TheMainWindowsFourthTaskOpensItForAnImageButNotForAnyOtherFile)
{
    testsupport::TempDir dir;
    const std::string image = MakeImage(dir, 16);
    testsupport::WriteText(dir.File("notes.txt"), "not a disc");
    ScriptScope scope;
    setenv("KESTROVA_VIRTUAL_RECORDER", (dir.File("disc.img") + ":DVD-RW").c_str(), 1);
    CMainWindow main;
    main.show();
    QCommandLinkButton* task = main.TaskButton(3);
    ASSERT_TRUE(task->isEnabled());
    // Whatever opens is looked at and closed at once.
    std::string shownSource;
    QString lastRecorder;
    const auto look = [&] {
        auto* window = qobject_cast<CBurnWindow*>(QApplication::activeModalWidget());
        if (!window) return;
        shownSource = Child<QLabel>(*window, "sourceText")->text().toStdString();
        auto* recorders = Child<QComboBox>(*window, "recorderList");
        lastRecorder = recorders->itemText(recorders->count() - 1);
        window->reject();
    };

    // A file that is neither an image nor in a DVD folder: refused, no window.
    scope.script.choices.push_back({dir.File("notes.txt")});
    QTimer::singleShot(0, look);
    QTest::mouseClick(task, Qt::LeftButton);
    QTest::qWait(20);
    EXPECT_TRUE(shownSource.empty());
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_EQ(scope.script.messages[0].text, "This folder does not contain required DVD Video files.");

    // An image opens the window, with the virtual recorder of the environment listed.
    scope.script.choices.push_back({image});
    QTimer::singleShot(0, look);
    QTest::mouseClick(task, Qt::LeftButton);
    unsetenv("KESTROVA_VIRTUAL_RECORDER");
    EXPECT_EQ(shownSource, "DVD Disc image file: " + image);
    EXPECT_TRUE(lastRecorder.contains("KESTROVA VIRTUAL")) << lastRecorder.toStdString();
    EXPECT_TRUE(lastRecorder.endsWith(Q(dir.File("disc.img"))));
}
