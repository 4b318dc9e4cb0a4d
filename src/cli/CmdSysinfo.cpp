// `kestrova sysinfo`: runs the start-up checks that need no window, writes the system
// report into the diagnostic log and prints it.
#include "cli/Commands.h"

#include "app/KestrovaApp.h"
#include "platform/SystemInfo.h"

#include <cstdio>

namespace {

int RunSysinfo(const CArgs& args)
{
    if (!args.positional.empty()) return Fail("sysinfo takes no file (see kestrova sysinfo --help)");
    CKestrovaApp app;
    app.PrepareFolders();
    ChooseLanguage(app.programFolder, app.configFolder);
    if (!app.CheckLibraries()) return 1;
    if (!app.CheckProcessor()) return 1;
    app.WriteSystemReport();

    const CDebugger& log = *app.debugger;
    std::printf("[System]\n");
    for (const auto& [key, value] : log.SystemEntries()) std::printf("%s=%s\n", key.c_str(), value.c_str());

    std::printf("\n");
    const auto drives = System().OpticalDrives();
    if (drives.empty()) std::printf("Optical drives: none\n");
    for (const COpticalDrive& drive : drives)
        std::printf("Optical drive: %s (%s%s%s)\n", drive.device.c_str(),
                    drive.readWrite ? "read and write allowed" : "no read and write access",
                    drive.group.empty() ? "" : ", group ", drive.group.c_str());
    std::printf("Data folder: %s\n", app.programFolder.c_str());
    std::printf("Settings: %s\n", app.settingsPath.c_str());
    std::printf("DVD folder: %s\n", app.dvdFolder.c_str());
    if (log.enabled)
        std::printf("Log: %s\n", log.logPath.c_str());
    else
        std::printf("Log: not written (%s could not be created)\n", log.logPath.c_str());
    return 0;
}

CCommandRegistrar registrar(CCommand{
    "sysinfo",
    "check this machine and print the system report",
    "Usage: kestrova sysinfo\n\n"
    "Checks the FFmpeg libraries and the processor as the program does at start, measures\n"
    "the processor's speed (one second), writes the system report and the list of running\n"
    "processes into the diagnostic log (dvdlog.txt in the state folder) and prints the\n"
    "report, the optical drives and the folders in use.\n",
    {},
    RunSysinfo});

}  // namespace
