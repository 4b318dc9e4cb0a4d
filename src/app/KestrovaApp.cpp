#include "app/KestrovaApp.h"

#include "app/BurnSession.h"
#include "base/Ini.h"
#include "base/Progress.h"
#include "base/Texts.h"
#include "base/UiPort.h"
#include "platform/Folders.h"
#include "platform/SystemInfo.h"

#include <sys/stat.h>
#include <filesystem>

#include "media/FfmpegLoader.h"

namespace {

const char settingsSection[] = "Kestrova";
const size_t settingsValueLength = 2047;  // a 2,048-character buffer with its zero

// A user folder as a dialog's starting folder (no trailing "/"), or "" when absent.
std::string StartFolder(CFolders::User which)
{
    std::string folder = CFolders::UserFolder(which);
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

std::string HomeStart()
{
    std::string home = CFolders::Home();
    if (home.size() > 1) home.pop_back();
    return home;
}

std::string FirstPresent(std::initializer_list<CFolders::User> order)
{
    for (CFolders::User which : order) {
        std::string folder = StartFolder(which);
        if (!folder.empty()) return folder;
    }
    return HomeStart();
}

std::string VersionText(unsigned version)
{
    return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
        std::to_string(version & 0xFF);
}

}  // namespace

CKestrovaApp::CKestrovaApp() = default;

CKestrovaApp::~CKestrovaApp()
{
    CProgress::SetSettingsFile("");
    if (debugger && CDebugger::Active() == debugger.get()) CDebugger::SetActive(nullptr);
}

void CKestrovaApp::StartLog()
{
    if (debugger) return;
    debugger = std::make_unique<CDebugger>();
    CDebugger::SetActive(debugger.get());
}

bool CKestrovaApp::PrepareFolders()
{
    programFolder = CFolders::Data();
    configFolder = CFolders::Config();
    settingsPath = configFolder + "Kestrova.ini";
    CFolders::Make(configFolder);
    CProgress::SetSettingsFile(settingsPath);

    const std::string root = CFolders::DvdRoot();
    bool made = CFolders::Make(root);
    made = CFolders::Make(root + "AUDIO_TS/") && made;
    made = CFolders::Make(root + "VIDEO_TS/") && made;
    dvdFolder = CFolders::DefaultDvdFolder();
    return made;
}

void CKestrovaApp::LoadSettings()
{
    using User = CFolders::User;
    auto read = [this](const char* key, const std::string& fallback) {
        return IniRead(settingsSection, key, fallback, settingsPath, settingsValueLength);
    };
    photoDir = read("PhotoDir", FirstPresent({User::Pictures}));
    photoShowDir = read("PhotoShowDir", FirstPresent({User::Documents}));
    musicDir = read("MusicDir", FirstPresent({User::Music, User::Documents}));
    mediaDir = read("MediaDir", FirstPresent({User::Videos, User::Documents}));
    isoDir = read("ISODir", dvdFolder);
}

bool CKestrovaApp::RememberFolder(int kind, const std::string& chosenPath)
{
    const char* key = nullptr;
    std::string* field = nullptr;
    switch (kind) {
    case kPhoto:
        key = "PhotoDir";
        field = &photoDir;
        break;
    case kProject:
        key = "PhotoShowDir";
        field = &photoShowDir;
        break;
    case kMusic:
        key = "MusicDir";
        field = &musicDir;
        break;
    case kMedia:
        key = "MediaDir";
        field = &mediaDir;
        break;
    case kDiscImage:
        key = "ISODir";
        field = &isoDir;
        break;
    default:
        return false;
    }
    if (chosenPath.empty()) return false;
    // The folder of the chosen file; a chosen folder (a VIDEO_TS folder as burn source)
    // is remembered itself.
    std::filesystem::path path(chosenPath);
    std::error_code error;
    std::string folder = std::filesystem::is_directory(path, error) ? path.string() : path.parent_path().string();
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (folder.empty()) folder.push_back('.');  // a bare file name: the current folder
    if (folder.size() > settingsValueLength) return false;
    *field = folder;
    return IniWrite(settingsPath, settingsSection, key, folder);
}

std::string CKestrovaApp::RememberedFolder(int kind) const
{
    switch (kind) {
    case kPhoto:
        return photoDir;
    case kProject:
        return photoShowDir;
    case kMusic:
        return musicDir;
    case kMedia:
        return mediaDir;
    case kDiscImage:
        return isoDir;
    default:
        return {};
    }
}

bool CKestrovaApp::CheckDrives()
{
    std::string devices;
    std::string groups;
    for (const COpticalDrive& drive : System().OpticalDrives()) {
        if (drive.readWrite) continue;
        devices += (devices.empty() ? "" : ", ") + drive.device;
        if (!drive.group.empty() && groups.find("'" + drive.group + "'") == std::string::npos)
            groups += (groups.empty() ? "'" : ", '") + drive.group + "'";
    }
    if (devices.empty()) return true;
    std::string text = "Kestrova cannot open your DVD burner (" + devices +
        ") for reading and writing.\n\n"
        "Kestrova will not be able to access your DVD burner without that permission. ";
    if (!groups.empty())
        text += "Ask your administrator to add your user to the group " + groups +
            " that owns the device (for example: sudo usermod -aG " + groups.substr(1, groups.find('\'', 1) - 1) +
            " $USER), then log out and log in again.";
    else
        text += "Ask your administrator to give your user read and write access to it.";
    text +=
        "\n\nIf you only want to create DVD folders or disc images, click 'OK' to "
        "continue.\nOr click 'Cancel' to quit.";
    return Ui().MessageBox(text, "Kestrova", MsgButtons::OkCancel, MsgIcon::Information) == MsgAnswer::Ok;
}

std::vector<CLibraryVersion> CKestrovaApp::FfmpegVersions()
{
    // Libraries that cannot be loaded are listed as version 0.0.0.
    if (!FfmpegAvailable())
        return {
            {"libavutil", LIBAVUTIL_VERSION_INT, 0},         {"libavcodec", LIBAVCODEC_VERSION_INT, 0},
            {"libavformat", LIBAVFORMAT_VERSION_INT, 0},     {"libswscale", LIBSWSCALE_VERSION_INT, 0},
            {"libswresample", LIBSWRESAMPLE_VERSION_INT, 0},
        };
    return {
        {"libavutil", LIBAVUTIL_VERSION_INT, ff().avutil_version()},
        {"libavcodec", LIBAVCODEC_VERSION_INT, ff().avcodec_version()},
        {"libavformat", LIBAVFORMAT_VERSION_INT, ff().avformat_version()},
        {"libswscale", LIBSWSCALE_VERSION_INT, ff().swscale_version()},
        {"libswresample", LIBSWRESAMPLE_VERSION_INT, ff().swresample_version()},
    };
}

std::string CKestrovaApp::OutdatedLibraries(const std::vector<CLibraryVersion>& libraries)
{
    std::string names;
    for (const CLibraryVersion& library : libraries) {
        // Another major version breaks the interface either way; within one major a
        // library older than the headers may lack what the program calls.
        const bool otherMajor = (library.running >> 16) != (library.built >> 16);
        if (!otherMajor && library.running >= library.built) continue;
        if (!names.empty()) names += ", ";
        names += library.name + " " + VersionText(library.running) + " (built with " + VersionText(library.built) + ")";
    }
    return names;
}

bool CKestrovaApp::CheckLibraries()
{
    std::string missing;
    if (!FfmpegAvailable(&missing)) {
        Ui().MessageBox(
            "Kestrova needs the FFmpeg libraries it was built with, or newer "
            "ones of the same major version. " +
                missing + "\n\nPlease install matching FFmpeg libraries.",
            "Kestrova", MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    const std::string outdated = OutdatedLibraries(FfmpegVersions());
    if (!outdated.empty()) {
        Ui().MessageBox(
            "Kestrova needs the FFmpeg libraries it was built with, or newer "
            "ones of the same major version. These do not fit: " +
                outdated + ".\n\nPlease install matching FFmpeg libraries.",
            "Kestrova", MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    const char* info = ff().av_version_info();
    directxText = std::string("DirectX Version: ") + (info ? info : "unknown");
    return true;
}

bool CKestrovaApp::CheckProcessor()
{
    CCpuFeatures features = System().CpuFeatures();
    cpuMmx = features.mmx;
    cpuSse = features.sse;
    cpuSse2 = features.sse2;
    if (!cpuMmx) {
        Ui().MessageBox(Text(302), "Kestrova", MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    return true;
}

void CKestrovaApp::WriteSystemReport(unsigned cpuParts)
{
    StartLog();
    debugger->MeasureCpu(cpuParts);
    debugger->CollectSystemTexts();
    debugger->directxText = directxText;
    debugger->SetBurners(burnerNames);
    debugger->DetectPacketWriters();
    debugger->WarnPacketWriters();
    debugger->WriteSystem();
    debugger->WriteProcesses();
}

bool CKestrovaApp::PrepareStillPicture()
{
    // Fitted on black and stored bottom-up, as the media import keeps its pictures. A
    // missing or broken file leaves the program without the still picture, silently.
    stillPhoto = std::make_unique<CPhoto>();
    if (stillPhoto->LoadFitted(720, 480, true, true, programFolder + "still.jpg")) return true;
    stillPhoto.reset();
    return false;
}

void CKestrovaApp::ListRecorders()
{
    // A session holds every drive open for itself alone; start-up needs only the names for
    // the report, so the drives are let go when it ends here and a burn session (the burn
    // window's, or another run's) can open them.
    CBurnSession recorders(Ui());
    std::string error;
    recorders.Open("", error);
    burnerNames = recorders.Burner().Names();
}

void CKestrovaApp::StartCommandLine()
{
    // A hundredth of a second measures the processor's clock well enough; a whole second
    // at every command would be felt. The FFmpeg libraries are not loaded for the report:
    // commands without media start without them.
    constexpr unsigned cpuParts = 100;
    PrepareFolders();
    LoadSettings();
    ListRecorders();
    StartLog();
    // Runs that start together (scripts, parallel tests) share one log: the report is
    // gathered in memory and stored with one rename, so the file always holds one run's
    // whole report.
    debugger->Hold();
    WriteSystemReport(cpuParts);
    debugger->WriteVersion(std::string("Kestrova ") + KESTROVA_VERSION_TEXT);
    debugger->Release();
}

bool CKestrovaApp::InitInstance()
{
    PrepareFolders();
    ChooseLanguage(programFolder, configFolder, languageAsk);
    LoadSettings();
    ListRecorders();
    StartLog();

    if (!CheckDrives()) return false;
    if (!CheckLibraries()) return false;

    CreateMainWindow();
    stillPrepared = PrepareStillPicture();

    if (!CheckProcessor()) return false;
    WriteSystemReport();

    debugger->WriteVersion(std::string("Kestrova ") + KESTROVA_VERSION_TEXT);
    ShowMainWindow();
    return true;
}
