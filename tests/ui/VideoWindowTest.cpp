// The video-to-DVD window driven as a person would: two generated clips added through
// the chooser (the subtitle beside one taken with Yes), a range set in the range dialog,
// the settings, Create DVD with its controls disabled while the job runs, the DVD read
// back with lsdvd, the ready-to-burn Yes and the burn window burning it to the virtual
// recorder; drops of folders, the drag into a new order, removing rows and subtitles.
#include "app/VideoDVDJob.h"
#include "base/Texts.h"
#include "integration/video_checks.h"
#include "support/MediaFixtures.h"
#include "support/TestSupport.h"
#include "ui/AdvSetupWindow.h"
#include "ui/BurnWindow.h"
#include "ui/MainWindow.h"
#include "ui/MediaListView.h"
#include "ui/ProgressDialog.h"
#include "ui/QtUiPort.h"
#include "ui/RangeWindow.h"
#include "ui/UiText.h"
#include "ui/VideoWindow.h"
#include "ui/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCommandLinkButton>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>

using testsupport::TempDir;

namespace {

namespace fs = std::filesystem;

// Runs `answer` once on the first visible window of type D, looked for every 20 ms from
// the next turn of the event loop on (a modal window's own loop, when one opens), for as
// long as the returned watch lives.
template <class D>
std::unique_ptr<QTimer> WhenOpen(std::function<void(D&)> answer)
{
    auto watch = std::make_unique<QTimer>();
    watch->setInterval(20);
    QTimer* timer = watch.get();
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* open = qobject_cast<D*>(widget);
            if (!open || !open->isVisible()) continue;
            timer->stop();
            answer(*open);
            return;
        }
    });
    timer->start();
    return watch;
}

// Sets an environment variable while it lives.
struct EnvScope {
    std::string name;
    EnvScope(const std::string& name_, const std::string& value) : name(name_)
    {
        setenv(name.c_str(), value.c_str(), 1);
    }
    ~EnvScope() { unsetenv(name.c_str()); }
};

const char kCues[] = "1\n00:00:00,200 --> 00:00:02,500\nHello from the first clip\n\n";

class VideoWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        dir = new TempDir();
        std::string error;
        first =
            testsupport::MakeMediaFixture(testsupport::EMediaFixture::H264AacMp4, dir->Path().string(), &error).path;
        second = testsupport::MakeMediaFixture(testsupport::EMediaFixture::Mpeg2Ps, dir->Path().string(), &error).path;
        fixtureError = error;
    }
    static void TearDownTestSuite()
    {
        delete dir;
        dir = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(!first.empty() && !second.empty()) << fixtureError; }

    static TempDir* dir;
    static std::string first, second, fixtureError;
};

TempDir* VideoWindowTest::dir = nullptr;
std::string VideoWindowTest::first, VideoWindowTest::second, VideoWindowTest::fixtureError;

// The rows as the list shows them: each row's six columns joined by "|".
std::vector<std::string> ListedRows(QTreeWidget& list)
{
    std::vector<std::string> rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i) {
        std::string text;
        for (int column = 0; column < 6; ++column) text += (column ? "|" : "") + S(list.topLevelItem(i)->text(column));
        rows.push_back(text);
    }
    return rows;
}

// Drags `mime` from outside onto `target` and drops it there.
void DropOnto(QWidget& target, const QMimeData& mime, QPoint at)
{
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    EXPECT_TRUE(drop.isAccepted());
}

std::vector<std::string> ListedSubtitles(QTreeWidget& list)
{
    std::vector<std::string> rows;
    for (int i = 0; i < list.topLevelItemCount(); ++i) rows.push_back(S(list.topLevelItem(i)->text(0)));
    return rows;
}

}  // namespace

TEST_F(VideoWindowTest, TwoClipsWithASubtitleAndAnEditedRangeBecomeATwoTitleDvd)
{
    const std::string subtitle = fs::path(first).replace_extension(".srt").string();
    testsupport::WriteText(subtitle, kCues);
    ScriptScope scope;
    CVideoWindow window(nullptr);
    window.show();
    auto* list = Child<QTreeWidget>(window, "mediaList");
    auto* create = Child<QPushButton>(window, "createDvd");
    auto* play = Child<QPushButton>(window, "playMedia");
    auto* remove = Child<QPushButton>(window, "removeMedia");
    EXPECT_FALSE(create->isEnabled() || play->isEnabled() || remove->isEnabled()) << "nothing listed yet";

    // Add Media: both clips chosen at once; the subtitle beside the first is taken.
    scope.script.choices.push_back({first, second});
    scope.script.answers.push_back(MsgAnswer::Yes);
    QTest::mouseClick(Child<QPushButton>(window, "addMedia"), Qt::LeftButton);
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_EQ(scope.script.messages[0].text, Text(3221) + "\n" + subtitle);
    EXPECT_EQ(scope.script.messages[0].buttons, MsgButtons::YesNo);
    // The clips last about 3 s; the list shows their whole seconds.
    const auto& rows = window.Job().Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NEAR(rows[0].duration, 3.0, 0.1);
    EXPECT_NEAR(rows[1].duration, 3.0, 0.1);
    const std::string length[2] = {CVideoDVDJob::TimeText(rows[0].duration), CVideoDVDJob::TimeText(rows[1].duration)};
    EXPECT_EQ(ListedRows(*list),
              (std::vector<std::string>{first + "|" + length[0] + "|PCM|00:00:00|" + length[0] + "|640x360",
                                        second + "|" + length[1] + "|PCM|00:00:00|" + length[1] + "|720x480"}));
    EXPECT_EQ(ListedSubtitles(*Child<QTreeWidget>(window, "subtitleList")), std::vector<std::string>{subtitle});
    EXPECT_EQ(Child<QLabel>(window, "total")->text(),
              T(3005) + " " + Q(CVideoDVDJob::TimeText(rows[0].duration + rows[1].duration)));
    EXPECT_TRUE(create->isEnabled() && play->isEnabled() && remove->isEnabled());
    EXPECT_EQ(list->currentItem(), list->topLevelItem(1)) << "the row added last has the focus";

    // Play opens the row with the focus.
    std::string played;
    window.SetPlayer([&](const std::string& path) { played = path; });
    QTest::mouseClick(play, Qt::LeftButton);
    EXPECT_EQ(played, second);

    // Each row gets its first picture as a thumbnail, made off the window thread.
    QTRY_VERIFY_WITH_TIMEOUT(!list->topLevelItem(0)->icon(0).isNull() && !list->topLevelItem(1)->icon(0).isNull(),
                             20000);

    // The range dialog: a start not before the end becomes one second before it.
    auto rangeWatch = WhenOpen<CRangeWindow>([&](CRangeWindow& range) {
        EXPECT_EQ(S(Child<QLabel>(range, "sourceLength")->text()), "Source Length: " + length[1]);
        EXPECT_EQ(Child<QTimeEdit>(range, "endTime")->time(), QTime(0, 0).addSecs(int(rows[1].duration)));
        EXPECT_EQ(Child<QTimeEdit>(range, "startTime")->displayFormat(), "HH:mm:ss");
        Child<QTimeEdit>(range, "startTime")->setTime(QTime(0, 0, 2));
        Child<QTimeEdit>(range, "endTime")->setTime(QTime(0, 0, 1));
        QTest::mouseClick(Child<QPushButton>(range, "ok"), Qt::LeftButton);
    });
    ASSERT_TRUE(window.EditRange(1));
    EXPECT_EQ(S(list->topLevelItem(1)->text(3)), "00:00:00");
    EXPECT_EQ(S(list->topLevelItem(1)->text(4)), "00:00:01");
    EXPECT_EQ(Child<QLabel>(window, "total")->text(), T(3005) + " " + Q(CVideoDVDJob::TimeText(rows[0].duration + 1)));

    // PAL relabels the resolutions; back to NTSC for the DVD.
    auto* high = Child<QRadioButton>(window, "resolutionHigh");
    Child<QRadioButton>(window, "pal")->click();
    EXPECT_EQ(high->text(), T(119));
    EXPECT_EQ(Child<QRadioButton>(window, "resolutionLow")->text(), T(121));
    Child<QRadioButton>(window, "ntsc")->click();
    EXPECT_EQ(high->text(), T(116));

    // Advanced Setting shows the delays in effect, in milliseconds.
    window.Job().audioDelay = 0.12;
    auto advancedWatch = WhenOpen<CAdvSetupWindow>([](CAdvSetupWindow& advanced) {
        EXPECT_EQ(Child<QSpinBox>(advanced, "audioDelay")->value(), 120);
        Child<QSpinBox>(advanced, "audioDelay")->setValue(0);
        advanced.accept();
    });
    QTest::mouseClick(Child<QPushButton>(window, "advancedSetting"), Qt::LeftButton);
    EXPECT_EQ(window.Job().audioDelay, 0.0);

    // The folder through Change, then Create DVD; the controls stay disabled while the
    // job runs.
    const std::string videoTs = dir->File("DVD") + "/VIDEO_TS";
    scope.script.choices.push_back({videoTs});
    QTest::mouseClick(Child<QPushButton>(window, "changeFolder"), Qt::LeftButton);
    EXPECT_EQ(S(Child<QLineEdit>(window, "dvdFolder")->text()), videoTs);
    std::vector<std::string> enabledDuringJob;
    int progressWindows = 0;
    scope.script.onProgress = [&](CProgressDialog&) {
        ++progressWindows;
        for (const char* name :
             {"addMedia", "removeMedia", "playMedia", "createDvd", "exit", "changeFolder", "advancedSetting"})
            if (Child<QPushButton>(window, name)->isEnabled()) enabledDuringJob.push_back(name);
    };
    scope.script.messages.clear();
    scope.script.answers.push_back(MsgAnswer::Yes);  // ready to burn: yes
    // Yes opens the burn window (modal) on the new folder: burn it to the virtual
    // recorder, then close the window.
    const std::string disc = dir->File("disc.img");
    EnvScope recorder("KESTROVA_VIRTUAL_RECORDER", disc + ":DVD-R");
    EnvScope pinned("SOURCE_DATE_EPOCH", "1700000000");  // the same time stamps in both images
    bool burned = false, burnWindowOpened = false;
    auto burnWatch = WhenOpen<CBurnWindow>([&](CBurnWindow& burn) {
        burnWindowOpened = true;
        burned = burn.StartBurn(false);
        burn.reject();
    });
    QTest::mouseClick(create, Qt::LeftButton);
    EXPECT_GT(progressWindows, 0);
    EXPECT_TRUE(enabledDuringJob.empty()) << enabledDuringJob.front();
    EXPECT_EQ(window.Job().titleSetsWritten, 2);
    ASSERT_FALSE(scope.script.messages.empty());
    EXPECT_EQ(scope.script.messages[0].caption, Text(423));
    EXPECT_EQ(scope.script.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_TRUE(create->isEnabled() && Child<QPushButton>(window, "addMedia")->isEnabled());

    // lsdvd: two title sets, the clip's whole length and the edited second; the first
    // with its subtitle stream.
    const std::string dvd = dir->File("DVD");
    videochecks::ExpectTitleLengths(dvd, {rows[0].duration, 1.0}, videochecks::SStandard{});
    const testsupport::RunResult ls = testsupport::Run("lsdvd " + testsupport::Quote(dvd) + " 2>/dev/null");
    std::smatch m;
    ASSERT_TRUE(std::regex_search(ls.out, m, std::regex(R"(Title: 01,[^\n]*Subpictures: (\d\d))"))) << ls.out;
    EXPECT_EQ(m[1], "01");
    ASSERT_TRUE(std::regex_search(ls.out, m, std::regex(R"(Title: 02,[^\n]*Subpictures: (\d\d))"))) << ls.out;
    EXPECT_EQ(m[1], "00");

    // The disc holds the image `kestrova iso` makes of the folder, padded to a whole
    // block of 16 sectors.
    EXPECT_TRUE(burnWindowOpened);
    EXPECT_TRUE(burned);
    const std::string reference = dir->File("ref.iso");
    const testsupport::RunResult iso =
        testsupport::Run(testsupport::Quote(testsupport::CliPath()) + " iso " + testsupport::Quote(dvd) + " -o " +
                         testsupport::Quote(reference));
    ASSERT_EQ(iso.exitCode, 0) << iso.err;
    std::vector<uint8_t> burnedBytes = testsupport::ReadBytes(disc);
    const std::vector<uint8_t> image = testsupport::ReadBytes(reference);
    ASSERT_GE(burnedBytes.size(), image.size());
    EXPECT_TRUE(
        std::all_of(burnedBytes.begin() + long(image.size()), burnedBytes.end(), [](uint8_t b) { return b == 0; }));
    burnedBytes.resize(image.size());
    EXPECT_TRUE(burnedBytes == image);
}

TEST_F(VideoWindowTest, DropsDragsAndRemovalsKeepSubtitlesWithTheirVideos)
{
    // A dropped folder brings its video files from every subfolder, not its sound files.
    const std::string folder = dir->File("dropped");
    fs::create_directories(folder + "/deeper");
    fs::copy_file(first, folder + "/deeper/a.mov", fs::copy_options::overwrite_existing);
    fs::copy_file(second, folder + "/b.mpg", fs::copy_options::overwrite_existing);
    fs::copy_file(first, folder + "/music.mp3", fs::copy_options::overwrite_existing);
    testsupport::WriteText(folder + "/b.srt", kCues);

    ScriptScope scope;
    scope.script.answers.push_back(MsgAnswer::Yes);  // b.srt beside b.mpg
    CVideoWindow window(nullptr);
    window.show();
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder))});
    DropOnto(window, mime, QPoint(20, 20));
    auto* list = Child<QTreeWidget>(window, "mediaList");
    auto* subtitles = Child<QTreeWidget>(window, "subtitleList");
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(S(list->topLevelItem(0)->text(0)), folder + "/b.mpg");
    EXPECT_EQ(S(list->topLevelItem(1)->text(0)), folder + "/deeper/a.mov");
    EXPECT_EQ(ListedSubtitles(*subtitles), std::vector<std::string>{folder + "/b.srt"});

    // A file dropped onto the list itself is added too.
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(second))});
    DropOnto(*list->viewport(), mime, QPoint(5, 5));
    ASSERT_EQ(list->topLevelItemCount(), 3);

    // A drag lands before the row under the pointer, or after it in its lower half, or
    // at the end below the rows.
    auto* view = static_cast<CMediaListView*>(list);
    const QRect firstRow = view->visualItemRect(list->topLevelItem(0));
    EXPECT_EQ(view->InsertionRow(firstRow.center() - QPoint(0, firstRow.height() / 4)), 0);
    EXPECT_EQ(view->InsertionRow(firstRow.center() + QPoint(0, firstRow.height() / 4)), 1);
    EXPECT_EQ(view->InsertionRow(QPoint(5, view->viewport()->height() - 2)), 3);

    // Dragging b below a.mov takes its subtitle along.
    emit view->rowsDragged({0}, 2);
    EXPECT_EQ(S(list->topLevelItem(0)->text(0)), folder + "/deeper/a.mov");
    EXPECT_EQ(S(list->topLevelItem(1)->text(0)), folder + "/b.mpg");
    EXPECT_EQ(ListedSubtitles(*subtitles), (std::vector<std::string>{"", folder + "/b.srt"}));
    EXPECT_TRUE(list->topLevelItem(1)->isSelected());

    // Add Subtitles: a file without cues is refused by name; a good one goes to the row
    // after the last with a subtitle.
    testsupport::WriteText(dir->File("empty.srt"), "");
    testsupport::WriteText(dir->File("third.srt"), kCues);
    scope.script.messages.clear();
    scope.script.choices.push_back({dir->File("empty.srt"), dir->File("third.srt")});
    QTest::mouseClick(Child<QPushButton>(window, "addSubtitles"), Qt::LeftButton);
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_NE(scope.script.messages[0].text.find("empty.srt"), std::string::npos) << scope.script.messages[0].text;
    EXPECT_EQ(ListedSubtitles(*subtitles), (std::vector<std::string>{"", folder + "/b.srt", dir->File("third.srt")}));

    // Removing the first row takes its (empty) subtitle row with it; removing b's
    // subtitle leaves the third clip's with its clip.
    list->clearSelection();
    list->setCurrentItem(list->topLevelItem(0));
    QTest::mouseClick(Child<QPushButton>(window, "removeMedia"), Qt::LeftButton);
    ASSERT_EQ(list->topLevelItemCount(), 2);
    EXPECT_EQ(ListedSubtitles(*subtitles), (std::vector<std::string>{folder + "/b.srt", dir->File("third.srt")}));
    EXPECT_EQ(list->currentItem(), list->topLevelItem(0));
    subtitles->topLevelItem(0)->setSelected(true);
    QTest::mouseClick(Child<QPushButton>(window, "removeSubtitles"), Qt::LeftButton);
    EXPECT_EQ(ListedSubtitles(*subtitles), (std::vector<std::string>{"", dir->File("third.srt")}));

    // Removing every row disables Play, Remove Media and Create DVD again.
    list->selectAll();
    QTest::mouseClick(Child<QPushButton>(window, "removeMedia"), Qt::LeftButton);
    EXPECT_EQ(list->topLevelItemCount(), 0);
    for (const char* name : {"playMedia", "removeMedia", "createDvd"})
        EXPECT_FALSE(Child<QPushButton>(window, name)->isEnabled()) << name;
    EXPECT_EQ(Child<QLabel>(window, "total")->text(), T(3005) + " 00:00:00");
}

TEST(VideoWindow, TheMainWindowsFirstTaskOpensIt)
{
    ScriptScope scope;
    CMainWindow main;
    main.show();
    QCommandLinkButton* task = main.TaskButton(0);
    ASSERT_TRUE(task->isEnabled());
    QTest::mouseClick(task, Qt::LeftButton);
    auto* window = main.findChild<CVideoWindow*>();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->windowTitle(), T(3000));
    EXPECT_TRUE(scope.script.messages.empty()) << scope.script.messages[0].text;
    // Exit closes it and, once closed, it is gone.
    QPointer<CVideoWindow> open(window);
    QTest::mouseClick(Child<QPushButton>(*window, "exit"), Qt::LeftButton);
    QTRY_VERIFY(open.isNull());
}
