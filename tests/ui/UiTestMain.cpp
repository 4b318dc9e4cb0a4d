// The window tests' main: a home of their own (settings, ~/TempDVD, the log), Qt's
// application object, and the desktop program's application object prepared as the
// start-up prepares it, without showing the main window.
#include "base/Language.h"
#include "base/UiPort.h"
#include "support/TestSupport.h"
#include "ui/GuiApp.h"
#include "ui/QtUiPort.h"

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

int main(int argc, char** argv)
{
    testsupport::TempDir home;
    setenv("HOME", home.Path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", home.File("config").c_str(), 1);
    setenv("XDG_STATE_HOME", home.File("state").c_str(), 1);
    setenv("LC_ALL", "C", 1);
    setenv("LANG", "C", 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    int result = 0;
    {
        CGuiApp app;
        app.PrepareFolders();
        ChooseLanguage(app.programFolder, app.configFolder);
        app.LoadSettings();
        SetUi(&GuiPort());
        result = RUN_ALL_TESTS();
        SetUi(nullptr);
    }
    return result;
}
