#include "app/KestrovaApp.h"
#include "base/Ini.h"
#include "picture/ImageFile.h"
#include "platform/Clock.h"
#include "platform/SystemInfo.h"
#include "support/ScriptedUi.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>

namespace fs = std::filesystem;

namespace {

// Points every folder the program uses into a temporary home and restores the
// environment afterwards.
class CTempHome {
public:
    CTempHome()
    {
        Set("HOME", dir.Path().string());
        Set("XDG_CONFIG_HOME", dir.File("config"));
        Set("XDG_STATE_HOME", dir.File("state"));
        Set("KESTROVA_DATA_DIR", dir.File("data"));
        Set("LC_ALL", "C");
        Set("LC_MESSAGES", std::nullopt);
        Set("LANG", std::nullopt);
        fs::create_directories(dir.File("data/Language"));
    }
    ~CTempHome()
    {
        for (auto& [name, value] : saved) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    std::string Home() const { return dir.Path().string(); }
    std::string File(const std::string& name) const { return dir.File(name); }

private:
    void Set(const std::string& name, const std::optional<std::string>& value)
    {
        const char* old = std::getenv(name.c_str());
        saved.emplace(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            setenv(name.c_str(), value->c_str(), 1);
        else
            unsetenv(name.c_str());
    }
    testsupport::TempDir dir;
    std::map<std::string, std::optional<std::string>> saved;
};

class CFakeSystem : public CSystemInfo {
public:
    CCpuFeatures features{true, true, true};
    std::vector<COpticalDrive> drives;
    std::string KernelText() override { return "Linux 6.1.0"; }
    std::string DistributionText() override { return ""; }
    bool Memory(uint64_t& total, uint64_t& available) override
    {
        total = 4ull << 30;
        available = 1ull << 30;
        return true;
    }
    bool FreeSpace(const std::string&, uint64_t& bytes) override
    {
        bytes = 10ull << 30;
        return true;
    }
    std::string CpuVendor() override { return "GenuineIntel"; }
    CCpuFeatures CpuFeatures() override { return features; }
    int CoreCount() override { return 2; }
    std::vector<std::string> Processes() override { return {"systemd", "bash", "kestrova"}; }
    std::vector<COpticalDrive> OpticalDrives() override { return drives; }
    std::vector<SPacketWriter> packetWriters;
    std::vector<SPacketWriter> PacketWriters() override { return packetWriters; }
};

// A clock whose counter jumps half a second per reading, so the processor measurement
// takes no real time.
struct CFastClock : CClock {
    uint64_t ns = 0;
    uint64_t Counter() override { return ns += 500000000ull; }
    uint64_t TimeStampCounter() override { return ns * 3; }
};

// Everything a start-up test replaces: folders, system facts, clock and the port.
struct CStartupFixture {
    CTempHome home;
    CFakeSystem system;
    CFastClock clock;
    CScriptedUi ui;
    CUiScope uiScope{ui};
    CStartupFixture()
    {
        SetSystem(&system);
        SetClock(&clock);
    }
    ~CStartupFixture()
    {
        SetSystem(nullptr);
        SetClock(nullptr);
    }
    std::string Log() const { return home.File("state/kestrova/dvdlog.txt"); }
};

}  // namespace

TEST(Settings, MissingMusicFolderFallsBackToDocuments)
{
    CTempHome home;
    fs::create_directories(home.File("Documents"));
    fs::create_directories(home.File("Pictures"));
    fs::create_directories(home.File("config/kestrova"));
    testsupport::WriteText(home.File("config/kestrova/Kestrova.ini"), "[Kestrova]\nPhotoDir=/srv/photos\n");
    CKestrovaApp app;
    app.PrepareFolders();
    app.LoadSettings();
    EXPECT_EQ(app.photoDir, "/srv/photos");
    EXPECT_EQ(app.musicDir, home.File("Documents"));
    EXPECT_EQ(app.mediaDir, home.File("Documents"));
    EXPECT_EQ(app.photoShowDir, home.File("Documents"));
    EXPECT_EQ(app.isoDir, home.Home() + "/TempDVD/VIDEO_TS/");
    EXPECT_EQ(app.dvdFolder, home.Home() + "/TempDVD/VIDEO_TS/");
}

TEST(Settings, UserFoldersComeFromUserDirsAndFallBackToHome)
{
    CTempHome home;
    fs::create_directories(home.File("Musik"));
    fs::create_directories(home.File("config"));
    // Music renamed by the desktop; pictures switched off (set to the home folder).
    testsupport::WriteText(home.File("config/user-dirs.dirs"),
                           "# written by xdg-user-dirs-update\n"
                           "XDG_MUSIC_DIR=\"$HOME/Musik\"\n"
                           "XDG_PICTURES_DIR=\"$HOME/\"\n");
    CKestrovaApp app;
    app.PrepareFolders();
    app.LoadSettings();
    EXPECT_EQ(app.musicDir, home.File("Musik"));
    EXPECT_EQ(app.photoDir, home.Home());
    EXPECT_EQ(app.photoShowDir, home.Home());
    EXPECT_EQ(app.mediaDir, home.Home());
}

TEST(Settings, RememberFolderWritesTheChosenFilesFolderAtOnce)
{
    CTempHome home;
    CKestrovaApp app;
    app.PrepareFolders();
    app.LoadSettings();
    fs::create_directories(home.File("album/VIDEO_TS"));
    EXPECT_TRUE(app.RememberFolder(CKestrovaApp::kMusic, home.File("album/song.mp3")));
    EXPECT_TRUE(app.RememberFolder(CKestrovaApp::kDiscImage, home.File("album/VIDEO_TS")));
    EXPECT_FALSE(app.RememberFolder(6, home.File("album/x")));
    EXPECT_FALSE(app.RememberFolder(0, home.File("album/x")));
    EXPECT_EQ(app.musicDir, home.File("album"));

    CKestrovaApp later;
    later.PrepareFolders();
    later.LoadSettings();
    EXPECT_EQ(later.musicDir, home.File("album"));
    EXPECT_EQ(later.isoDir, home.File("album/VIDEO_TS"));
    EXPECT_EQ(later.RememberedFolder(CKestrovaApp::kDiscImage), home.File("album/VIDEO_TS"));
}

TEST(Startup, PreparesFoldersAndWritesTheReport)
{
    CStartupFixture f;
    {
        CKestrovaApp first;
        ASSERT_TRUE(first.InitInstance());
        EXPECT_EQ(CDebugger::Active(), first.debugger.get());
    }
    EXPECT_EQ(CDebugger::Active(), nullptr);
    CKestrovaApp app;
    ASSERT_TRUE(app.InitInstance());
    EXPECT_TRUE(fs::is_directory(f.home.File("TempDVD/AUDIO_TS")));
    EXPECT_TRUE(fs::is_directory(f.home.File("TempDVD/VIDEO_TS")));
    EXPECT_TRUE(fs::is_directory(f.home.File("config/kestrova")));
    EXPECT_TRUE(f.ui.boxes.empty());

    EXPECT_EQ(IniRead("System", "OS", "", f.Log()), "Windows Version: Linux 6.1.0");
    EXPECT_EQ(IniRead("System", "Memory", "", f.Log()), "Total Memory = 4096 MB, Free=1024 MB");
    EXPECT_EQ(IniRead("System", "MMX", "", f.Log()), "CPU (MMX,SSE,SSE2,nCPU): 1,1,1,2");
    EXPECT_EQ(IniRead("System", "CPU", "", f.Log()), "CPU Type: GenuineIntel, Speed = 3000 MHz");
    EXPECT_EQ(IniRead("System", "DISK", "", f.Log()), "Free Space on C: 10.00 GB");
    EXPECT_EQ(IniRead("System", "DirectX", "", f.Log()).rfind("DirectX Version: ", 0), 0u);
    EXPECT_EQ(IniRead("System", "Burner1", "none", f.Log()), "none");
    EXPECT_EQ(IniRead("Process", "Process3", "", f.Log()), "kestrova");
    const std::string version = IniRead("kestrova", "Version", "", f.Log());
    EXPECT_EQ(version.rfind("Kestrova ", 0), 0u);
    EXPECT_GT(version.size(), 9u);
    EXPECT_EQ(IniRead("AUDIO", "AUD8", "", f.Log()), "T=0 S=0 C=0 B=0");
}

TEST(Startup, ProcessorWithoutMmxEndsTheProgramBeforeTheReport)
{
    CStartupFixture f;
    f.system.features = {false, false, false};
    CKestrovaApp app;
    EXPECT_FALSE(app.InitInstance());
    ASSERT_EQ(f.ui.boxes.size(), 1u);
    EXPECT_EQ(f.ui.boxes[0].text, "Kestrova only runs when the CPU supports MMX.");
    EXPECT_EQ(f.ui.boxes[0].caption, "Kestrova");
    EXPECT_EQ(IniRead("System", "OS", "none", f.Log()), "none");
}

TEST(Startup, LockedDriveAsksAndCancelEndsTheProgram)
{
    CStartupFixture f;
    f.system.drives = {{"/dev/sr0", false, "cdrom"}, {"/dev/sr1", true, "cdrom"}};
    {
        CKestrovaApp app;
        EXPECT_FALSE(app.InitInstance());  // the safe answer is Cancel
    }
    ASSERT_EQ(f.ui.boxes.size(), 1u);
    const auto& box = f.ui.boxes[0];
    EXPECT_EQ(box.buttons, MsgButtons::OkCancel);
    EXPECT_NE(box.text.find("/dev/sr0"), std::string::npos);
    EXPECT_EQ(box.text.find("/dev/sr1"), std::string::npos);
    EXPECT_NE(box.text.find("usermod -aG cdrom"), std::string::npos) << box.text;

    f.ui.QueueAnswer(MsgAnswer::Ok);
    CKestrovaApp app;
    EXPECT_TRUE(app.InitInstance());
    EXPECT_EQ(f.ui.boxes.size(), 2u);
}

TEST(Startup, PacketWritingDeviceWarnsOnceAndIsReported)
{
    CStartupFixture f;
    f.system.packetWriters = {{"/dev/pktcdvd/dvd0", "/dev/sr0", "/media/dvd"}};
    CKestrovaApp app;
    EXPECT_TRUE(app.InitInstance());
    ASSERT_EQ(f.ui.boxes.size(), 1u);
    EXPECT_EQ(f.ui.boxes[0].text.rfind("Warning! The following packet writing is found on your PC:\n\n", 0), 0u);
    EXPECT_NE(f.ui.boxes[0].text.find("/dev/pktcdvd/dvd0 on /dev/sr0 at /media/dvd\n"), std::string::npos);
    EXPECT_EQ(IniRead("System", "OtherSoftware", "", f.Log()), " /dev/pktcdvd/dvd0 on /dev/sr0 at /media/dvd, ");
}

TEST(Startup, CommandLineStartAsksNothingAndLeavesAWholeReport)
{
    CStartupFixture f;
    // What would stop or question the desktop program's start does not stop a command.
    f.system.drives = {{"/dev/sr0", false, "cdrom"}};
    fs::create_directories(f.home.File("config/kestrova"));
    testsupport::WriteText(f.home.File("config/kestrova/Kestrova.ini"), "[Kestrova]\nMusicDir=/srv/music\n");
    CKestrovaApp app;
    app.StartCommandLine();
    EXPECT_TRUE(f.ui.boxes.empty());
    EXPECT_EQ(app.musicDir, "/srv/music");
    EXPECT_TRUE(fs::is_directory(f.home.File("TempDVD/VIDEO_TS")));
    EXPECT_EQ(CDebugger::Active(), app.debugger.get());

    EXPECT_EQ(IniRead("System", "OS", "", f.Log()), "Windows Version: Linux 6.1.0");
    EXPECT_EQ(IniRead("System", "MMX", "", f.Log()), "CPU (MMX,SSE,SSE2,nCPU): 1,1,1,2");
    // Measured over a hundredth of a second and scaled: the fake clock's half-second
    // steps overshoot fiftyfold.
    EXPECT_EQ(IniRead("System", "CPU", "", f.Log()), "CPU Type: GenuineIntel, Speed = 150000 MHz");
    EXPECT_EQ(IniRead("System", "OtherSoftware", "", f.Log()), " ");
    EXPECT_EQ(IniRead("Process", "Process3", "", f.Log()), "kestrova");
    const std::string version = IniRead("kestrova", "Version", "", f.Log());
    EXPECT_EQ(version.rfind("Kestrova ", 0), 0u);
    EXPECT_GT(version.size(), 9u);
    EXPECT_EQ(IniRead("AUDIO", "AUD1", "", f.Log()), "T=0 S=0 C=0 B=0");
    // Writes after the start reach the file at once again.
    app.debugger->WriteJobNote("photo left out");
    EXPECT_EQ(IniRead("SLIDESHOW", "Note1", "", f.Log()), "photo left out");
}

TEST(Startup, LibrariesOlderThanAtBuildTimeAreNamed)
{
    const unsigned built = 59u << 16 | 27u << 8 | 100u;
    EXPECT_EQ(
        CKestrovaApp::OutdatedLibraries({{"libavformat", built, built}, {"libavcodec", built, built + (1u << 8)}}), "");
    EXPECT_EQ(
        CKestrovaApp::OutdatedLibraries({{"libavformat", built, built - (1u << 8)}, {"libavcodec", built, 60u << 16}}),
        "libavformat 59.26.100 (built with 59.27.100), "
        "libavcodec 60.0.0 (built with 59.27.100)");
    // The libraries this test runs with are the ones it was built with.
    EXPECT_EQ(CKestrovaApp::OutdatedLibraries(CKestrovaApp::FfmpegVersions()), "");
}

TEST(Startup, StillPictureIsFittedOnBlackWhenPresent)
{
    CStartupFixture f;
    {
        CKestrovaApp app;
        ASSERT_TRUE(app.InitInstance());
        EXPECT_FALSE(app.stillPrepared);  // no still.jpg in the data folder: silently none
        EXPECT_TRUE(f.ui.boxes.empty());
    }
    CRgbImage white;
    white.width = 100;
    white.height = 100;
    white.pixels.assign(100 * 100 * 3, 255);
    std::string error;
    ASSERT_TRUE(CImageFile::WriteJpeg(f.home.File("data/still.jpg"), white, 90, error)) << error;
    CKestrovaApp app;
    ASSERT_TRUE(app.InitInstance());
    ASSERT_TRUE(app.stillPrepared);
    const CPhoto& still = *app.stillPhoto;
    ASSERT_EQ(still.bitmapWidth, 720);
    ASSERT_EQ(still.bitmapHeight, 480);
    // A square photo fills the height; the bars left and right stay black.
    const uint8_t* middle = still.pixels.data() + 240 * still.bitmapStride;
    EXPECT_EQ(middle[0], 0);
    EXPECT_EQ(middle[719 * 4 + 1], 0);
    EXPECT_GT(middle[360 * 4], 240);
}
