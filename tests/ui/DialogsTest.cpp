// The advanced-settings and disc-image windows, driven as a person would.
#include "app/AdvSetupDlg.h"
#include "app/IsoJob.h"
#include "support/SmallDvd.h"
#include "support/TestSupport.h"
#include "ui/AdvSetupWindow.h"
#include "ui/IsoWindow.h"
#include "ui/QtUiPort.h"
#include "ui/WindowTestSupport.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <filesystem>

namespace {}  // namespace

TEST(AdvSetupWindow, PresetsAndOkCarryTheShownValuesBack)
{
    CAdvSetupDlg values;
    CAdvSetupWindow window(nullptr, values);
    window.show();
    QTest::mouseClick(Child<QPushButton>(window, "presetMiniDvd"), Qt::LeftButton);
    EXPECT_EQ(Child<QLineEdit>(window, "discSize")->text(), "1470000000");
    QTest::mouseClick(Child<QPushButton>(window, "animation"), Qt::LeftButton);
    EXPECT_NE(Child<QPlainTextEdit>(window, "intraMatrix")->toPlainText(), "Default");
    EXPECT_EQ(Child<QPlainTextEdit>(window, "interMatrix")->toPlainText(), "Default");
    Child<QSpinBox>(window, "audioDelay")->setValue(120);
    Child<QSpinBox>(window, "startingFootage")->setValue(3);
    // Cancel leaves the values as they were.
    window.reject();
    EXPECT_EQ(values.discSizeText, "4700000000");
    EXPECT_EQ(values.audioDelayMs, 0);

    CAdvSetupWindow again(nullptr, values);
    again.show();
    QTest::mouseClick(Child<QPushButton>(again, "presetCd"), Qt::LeftButton);
    Child<QSpinBox>(again, "videoDelay")->setValue(-40);
    Child<QSpinBox>(again, "startingFootage")->setValue(3);
    EXPECT_FALSE(Child<QCheckBox>(again, "highQuality")->isChecked()) << "the specified encoding unless chosen";
    Child<QCheckBox>(again, "highQuality")->setChecked(true);
    again.accept();
    EXPECT_TRUE(values.highQuality);
    EXPECT_EQ(values.discSizeText, "681984000");
    EXPECT_EQ(values.videoDelayMs, -40);
    EXPECT_EQ(values.startingFootage, 3);
    CDVDParams params;
    CAdvJobChoices choices;
    values.Accept(params, choices);
    EXPECT_EQ(choices.startingFootage, 3);
    EXPECT_DOUBLE_EQ(params.videoDelay, -0.04);
}

TEST(IsoWindow, RefusesAFolderWithoutADvdAndWritesTheImageOfOneWithIt)
{
    testsupport::TempDir dir;
    const std::string dvd = dir.File("DVD") + "/VIDEO_TS";
    std::filesystem::create_directories(dvd);
    ScriptScope scope;

    CIsoWindow window(nullptr, dir.File("DVD"));
    window.show();
    auto* create = Child<QPushButton>(window, "createIso");
    EXPECT_FALSE(create->isEnabled()) << "nothing accepted yet";
    scope.script.choices.push_back({dir.Path().string()});
    QTest::mouseClick(Child<QPushButton>(window, "browse"), Qt::LeftButton);
    ASSERT_EQ(scope.script.messages.size(), 1u);
    EXPECT_EQ(scope.script.messages[0].text, "This folder does not contain required DVD Video files.");
    EXPECT_FALSE(create->isEnabled());

    // A folder with a small DVD is accepted through its parent.
    testsupport::WriteSmallDvdIfoFiles(dvd, 7);
    testsupport::WriteBytes(dvd + "/VTS_01_1.VOB", std::vector<uint8_t>(2048 * 7, 0));
    ASSERT_TRUE(window.AcceptFolder(dir.File("DVD")));
    EXPECT_EQ(Child<QLineEdit>(window, "folderBox")->text().toStdString(), dvd);
    EXPECT_TRUE(Child<QLabel>(window, "sizeText")->text().startsWith("Data size is "));
    EXPECT_TRUE(create->isEnabled());

    Child<QLineEdit>(window, "labelBox")->setText("HOLIDAY");
    const std::string iso = dir.File("out.iso");
    scope.script.choices.push_back({iso});
    scope.script.messages.clear();
    ASSERT_TRUE(window.CreateImage()) << (scope.script.messages.empty() ? "" : scope.script.messages.back().text);
    EXPECT_EQ(int64_t(std::filesystem::file_size(iso)), window.Job().ImageSectors() * 2048);
    ASSERT_FALSE(scope.script.messages.empty());
    EXPECT_EQ(scope.script.messages.back().text, "Done!");
    if (testsupport::HaveProgram("udfinfo")) {
        const testsupport::RunResult info = testsupport::Run("udfinfo --utf8 " + testsupport::Quote(iso));
        EXPECT_NE(info.out.find("label=HOLIDAY"), std::string::npos) << info.out;
    }
}
