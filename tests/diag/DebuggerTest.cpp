#include "base/Ini.h"
#include "diag/Debugger.h"
#include "platform/Clock.h"
#include "platform/Registry.h"
#include "platform/SystemInfo.h"
#include "support/ScriptedUi.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>

namespace {

class CFakeSystem : public CSystemInfo {
public:
    std::vector<std::string> processes;
    uint64_t freeBytes = 0;
    std::string KernelText() override { return "Linux 6.1.0"; }
    std::string DistributionText() override { return "Debian GNU/Linux 12 (bookworm)"; }
    bool Memory(uint64_t& total, uint64_t& available) override
    {
        total = 8ull << 30;
        available = (3ull << 30) + 12345;
        return true;
    }
    bool FreeSpace(const std::string&, uint64_t& bytes) override
    {
        bytes = freeBytes;
        return true;
    }
    std::string CpuVendor() override { return "AuthenticAMD"; }
    CCpuFeatures CpuFeatures() override { return {true, true, false}; }
    int CoreCount() override { return 6; }
    std::vector<std::string> Processes() override { return processes; }
    std::vector<COpticalDrive> OpticalDrives() override { return {}; }
};

struct SystemScope {
    explicit SystemScope(CSystemInfo& system) { SetSystem(&system); }
    ~SystemScope() { SetSystem(nullptr); }
};

struct RegistryScope {
    ~RegistryScope() { Registry().Clear(); }
};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

}  // namespace

TEST(Debugger, StartsAnEmptyLogWithZeroedAudioSlots)
{
    testsupport::TempDir dir;
    const std::string folder = dir.File("state/kestrova");
    {
        CDebugger first(folder);
        ASSERT_TRUE(first.enabled);
        first.WriteVersion("old run");
        first.WriteAudioSlot(3, 1, 2, 3, 4);
        EXPECT_EQ(IniRead("AUDIO", "AUD3", "", first.logPath), "T=1 S=2 C=3 B=4");
    }
    CDebugger second(folder);
    ASSERT_TRUE(second.enabled);
    EXPECT_EQ(second.logPath, folder + "/dvdlog.txt");
    std::string text = testsupport::ReadText(second.logPath);
    EXPECT_EQ(text.find("old run"), std::string::npos);
    for (int slot = 1; slot <= 8; ++slot)
        EXPECT_EQ(IniRead("AUDIO", "AUD" + std::to_string(slot), "?", second.logPath), "T=0 S=0 C=0 B=0");
    // Slots outside 1..8 do not exist.
    second.WriteAudioSlot(9, 1, 1, 1, 1);
    second.WriteAudioSlot(0, 1, 1, 1, 1);
    EXPECT_EQ(testsupport::ReadText(second.logPath), text);
}

TEST(Debugger, UnwritableStateFolderDisablesTheLogSilently)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    testsupport::TempDir dir;
    // A folder that can never be made: its parent is an ordinary file.
    testsupport::WriteText(dir.File("blocker"), "x");
    CDebugger blocked(dir.File("blocker") + "/kestrova");
    EXPECT_FALSE(blocked.enabled);
    blocked.WriteVersion("1.0");
    blocked.WriteSystem();
    blocked.WriteProcesses();
    blocked.WriteUsb("usb");
    EXPECT_FALSE(std::filesystem::exists(blocked.logPath));

    if (geteuid() != 0) {
        // A read-only folder (root ignores permission bits, so only as a user).
        std::filesystem::create_directory(dir.File("ro"));
        chmod(dir.File("ro").c_str(), 0555);
        CDebugger readOnly(dir.File("ro"));
        EXPECT_FALSE(readOnly.enabled);
        readOnly.WriteVersion("1.0");
        EXPECT_FALSE(std::filesystem::exists(readOnly.logPath));
        chmod(dir.File("ro").c_str(), 0755);
    }
    EXPECT_TRUE(ui.boxes.empty());
}

TEST(Debugger, SystemSectionCarriesTheCollectedTexts)
{
    CFakeSystem system;
    system.freeBytes = (5ull << 30) + (512ull << 20) + 999;  // 5.5 GB and some bytes
    SystemScope systemScope(system);
    testsupport::TempDir dir;
    CDebugger log(dir.Path().string());
    log.CollectSystemTexts();
    log.directxText = "DirectX Version: 5.1.4";
    log.SetBurners({"A", "B", "C", "D", "E", "F", "G", "H", "I"});
    log.WriteSystem();

    EXPECT_EQ(log.osText, "Windows Version: Linux 6.1.0 (Debian GNU/Linux 12 (bookworm))");
    EXPECT_EQ(IniRead("System", "Memory", "", log.logPath), "Total Memory = 8192 MB, Free=3072 MB");
    EXPECT_EQ(IniRead("System", "MMX", "", log.logPath), "CPU (MMX,SSE,SSE2,nCPU): 1,1,0,6");
    EXPECT_EQ(IniRead("System", "DISK", "", log.logPath), "Free Space on C: 5.50 GB");
    EXPECT_EQ(IniRead("System", "DirectX", "", log.logPath), "DirectX Version: 5.1.4");
    // Nine recorders are counted but only eight names are kept.
    EXPECT_EQ(log.burnerCount, 9);
    EXPECT_EQ(IniRead("System", "Burner8", "", log.logPath), "H");
    EXPECT_EQ(IniRead("System", "Burner9", "none", log.logPath), "none");
    EXPECT_EQ(IniRead("System", "OtherSoftware", "", log.logPath), " ");
    // No burn yet: no burn record.
    EXPECT_EQ(IniRead("System", "LastBuringJob", "none", log.logPath), "none");
}

TEST(Debugger, LastBurnRecordEndsWithALineFeed)
{
    CFakeSystem system;
    system.processes = {"init", "kestrova"};
    SystemScope systemScope(system);
    testsupport::TempDir dir;
    CDebugger log(dir.Path().string());
    log.CollectSystemTexts();
    log.WriteSystem();
    log.WriteProcesses();
    log.RecordBurn(1, 27, 8);
    log.WriteSystem();

    std::string text = testsupport::ReadText(log.logPath);
    EXPECT_NE(text.find("LastBuringJob=1,DVD+R,8\n\n"), std::string::npos) << text;
    // The processes written earlier are still there and readable.
    EXPECT_EQ(IniRead("Process", "Process2", "", log.logPath), "kestrova");

    log.RecordBurn(0, 99, 4);
    log.WriteSystem();
    log.WriteProcesses();
    text = testsupport::ReadText(log.logPath);
    // Rewritten in place, still followed by exactly one empty line.
    EXPECT_NE(text.find("LastBuringJob=0,N/A,4\n\n[Process]"), std::string::npos) << text;
    EXPECT_EQ(text.find("DVD+R"), std::string::npos);
    EXPECT_EQ(text.find("\n\n\n"), std::string::npos) << text;
}

TEST(Debugger, TwelveProcessesGiveTwelveNumberedKeysInOneSection)
{
    CFakeSystem system;
    for (int i = 1; i <= 12; ++i) system.processes.push_back("proc" + std::to_string(i));
    SystemScope systemScope(system);
    testsupport::TempDir dir;
    CDebugger log(dir.Path().string());
    log.WriteProcesses();
    std::vector<std::string> lines = Lines(testsupport::ReadText(log.logPath));
    auto head = std::find(lines.begin(), lines.end(), "[Process]");
    ASSERT_NE(head, lines.end());
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "[Process]"), 1);
    for (int i = 1; i <= 12; ++i) {
        ASSERT_LT(head + i, lines.end());
        EXPECT_EQ(*(head + i), "Process" + std::to_string(i) + "=proc" + std::to_string(i));
    }
    EXPECT_EQ(IniRead("Process", "Process13", "none", log.logPath), "none");
}

TEST(Debugger, PacketWriterFlagsFollowTheirValues)
{
    RegistryScope registryScope;
    testsupport::TempDir dir;
    CDebugger log(dir.Path().string());
    Registry().SetNumber("SOFTWARE\\Roxio\\DragToDisc\\Settings", "Anchor", 0);
    Registry().SetString("SOFTWARE\\VERITAS\\Direct Access\\CurrentVersion\\All", "AppName", "Direct Access");
    Registry().SetString("SOFTWARE\\Ahead\\InCD\\UI", "LaunchOnBlankDisc", "12345");
    log.DetectPacketWriters();
    EXPECT_FALSE(log.roxioDragToDisc);
    EXPECT_FALSE(log.sonicDla);
    EXPECT_FALSE(log.neroInCd);

    Registry().SetNumber("SOFTWARE\\Roxio\\DragToDisc\\Settings", "Anchor", 7);
    Registry().SetString("SOFTWARE\\VERITAS\\Direct Access\\CurrentVersion\\All", "AppName", "DLA");
    Registry().SetString("SOFTWARE\\Ahead\\InCD\\UI", "LaunchOnBlankDisc", "123456");
    log.DetectPacketWriters();
    EXPECT_EQ(log.OtherSoftwareText(), " Sonic DLA, Roxio DragToDisc, Nero InCD, ");

    // A text where a number belongs (or the reverse) counts as missing.
    Registry().SetString("SOFTWARE\\Roxio\\DragToDisc\\Settings", "Anchor", "1");
    log.DetectPacketWriters();
    EXPECT_FALSE(log.roxioDragToDisc);
}

TEST(Debugger, MeasuresTheTimeStampCounterOverOneSecond)
{
    // A counter that moves 0.3 s per reading and a 2.4 GHz time-stamp counter.
    struct FakeClock : CClock {
        uint64_t ns = 5000;
        uint64_t CounterFrequency() override { return 1000000000ull; }
        uint64_t Counter() override { return ns += 300000000ull; }
        uint64_t TimeStampCounter() override { return ns * 12 / 5; }
    } clock;
    CFakeSystem system;
    SystemScope systemScope(system);
    SetClock(&clock);
    testsupport::TempDir dir;
    CDebugger log(dir.Path().string());
    int speed = log.MeasureCpu();
    SetClock(nullptr);
    // Four readings after the start: 1.2 s of counter, 2880 MHz worth of cycles.
    EXPECT_EQ(speed, 2880);
    EXPECT_EQ(log.cpuTypeText, "CPU Type: AuthenticAMD, Speed = 2880 MHz");
}

TEST(Debugger, VideoFileInfoShowsTheFirst400BytesPrintably)
{
    testsupport::TempDir dir;
    std::vector<uint8_t> bytes(1000, 'A');
    bytes[0] = 'R';
    bytes[1] = 0;
    bytes[2] = 0x0A;
    bytes[3] = 0xFF;
    bytes[4] = 127;
    bytes[5] = 32;
    testsupport::WriteBytes(dir.File("clip.avi"), bytes);
    CDebugger log(dir.File("log"));
    log.WriteVideoFile(dir.File("clip.avi"));
    std::string info = IniRead("VIDEO", "Info", "", log.logPath, 4096);
    ASSERT_EQ(info.size(), 400u);
    EXPECT_EQ(info.substr(0, 7), "R...\x7f A");
    EXPECT_EQ(IniRead("VIDEO", "File", "", log.logPath), dir.File("clip.avi"));

    log.WriteUsb("first");
    log.WriteUsb("second");
    EXPECT_EQ(IniRead("USB", "USB2", "", log.logPath), "second");
    log.WriteSampleSize(4);
    EXPECT_EQ(IniRead("AUDIO", "samplesize", "", log.logPath), "4");
}
