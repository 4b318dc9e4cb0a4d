// The desktop program's application object: the start-up of CKestrovaApp with Qt's
// windows — the port's message boxes during the checks, the "Select Language" dialog
// when the language cannot be guessed, then the main window until it closes.
#pragma once

#include "app/KestrovaApp.h"

#include <QPointer>

#include <string>

class CMainWindow;

class CGuiApp : public CKestrovaApp {
public:
    CGuiApp();
    ~CGuiApp() override;

    // The one application object of the program (it must exist while windows run).
    static CGuiApp& Instance();
    // True while an application object exists.
    static bool Exists();

    // A slide-show project to open in the slide-show window once the main window shows.
    std::string projectToOpen;
    // The main window, once created.
    CMainWindow* MainWindow() const;

protected:
    void CreateMainWindow() override;
    void ShowMainWindow() override;

private:
    QPointer<CMainWindow> mainWindow;
};
