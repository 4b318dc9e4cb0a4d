#include "ui/GuiApp.h"

#include "ui/LanguageDialog.h"
#include "ui/MainWindow.h"
#include "ui/QtUiPort.h"
#include "ui/Windows.h"

#include <QApplication>

namespace {
CGuiApp* instance = nullptr;
}

CGuiApp::CGuiApp()
{
    instance = this;
    languageAsk = [](const std::vector<CLanguageEntry>& entries) { return AskLanguage(nullptr, entries); };
}

CGuiApp::~CGuiApp()
{
    delete mainWindow.data();
    if (instance == this) instance = nullptr;
}

CGuiApp& CGuiApp::Instance() { return *instance; }

bool CGuiApp::Exists() { return instance != nullptr; }

CMainWindow* CGuiApp::MainWindow() const { return mainWindow.data(); }

void CGuiApp::CreateMainWindow()
{
    mainWindow = new CMainWindow;
    GuiPort().SetParentWindow(nullptr);
}

void CGuiApp::ShowMainWindow()
{
    mainWindow->show();
    if (!projectToOpen.empty()) mainWindow->OpenSlideShow(projectToOpen);
    QApplication::exec();
}
