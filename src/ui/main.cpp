// kestrova-gui: the desktop program. `kestrova-gui [--open PROJECT.osh]` starts with the
// main window; with --open (or a project file as the only argument, as a file manager
// passes it) the slide-show window opens on that project.
#include "base/UiPort.h"
#include "ui/GuiApp.h"
#include "ui/QtUiPort.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName("Kestrova");
    QApplication::setDesktopFileName("kestrova-gui");
    QApplication::setWindowIcon(QIcon::fromTheme("kestrova-gui"));

    std::string project;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--open") == 0 && i + 1 < argc) {
            project = argv[++i];
        } else if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kestrova-gui %s\n", KESTROVA_VERSION_TEXT);
            return 0;
        } else if (argv[i][0] != '-') {
            project = argv[i];
        } else {
            std::fprintf(stderr, "kestrova-gui: unknown option %s\nUsage: kestrova-gui [--open PROJECT.osh]\n",
                         argv[i]);
            return 2;
        }
    }

    SetUi(&GuiPort());
    CGuiApp app;
    app.projectToOpen = project;
    const bool ran = app.InitInstance();
    SetUi(nullptr);
    return ran ? 0 : 1;
}
