#include "base/Ini.h"
#include "diag/Debugger.h"
#include "platform/Clock.h"
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
    std::vector<SPacketWriter> packetWriters;
    std::vector<SPacketWriter> PacketWriters() override { return packetWriters; }
};

struct SystemScope {
    explicit SystemScope(CSystemInfo& system) { SetSystem(&system); }
    ~SystemScope() { SetSystem(nullptr); }
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

TEST(Debugger, PacketWritersAreReportedAndWarnedAboutByDevice)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CFakeSystem system;
    SystemScope systemScope(system);
    testsupport::TempDir dir;
    CDebugger log(dir.Path().string());

    // Nothing in packet-writing use: the report's list stays a single space, no warning.
    log.DetectPacketWriters();
    EXPECT_EQ(log.OtherSoftwareText(), " ");
    EXPECT_FALSE(log.WarnPacketWriters());
    EXPECT_TRUE(ui.boxes.empty());

    system.packetWriters = {{"/dev/pktcdvd/dvd0", "/dev/sr0", ""}, {"/dev/sr1", "", "/media/ram disc"}};
    log.DetectPacketWriters();
    log.WriteSystem();
    EXPECT_EQ(IniRead("System", "OtherSoftware", "", log.logPath),
              " /dev/pktcdvd/dvd0 on /dev/sr0, /dev/sr1 at /media/ram disc, ");
    // A recorder in the list does not silence the warning: the drive is still held.
    log.SetBurners({"TSSTcorp DVD+-RW"});
    EXPECT_TRUE(log.WarnPacketWriters());
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].icon, MsgIcon::Warning);
    EXPECT_EQ(ui.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_NE(ui.boxes[0].text.find("       /dev/pktcdvd/dvd0 on /dev/sr0\n       /dev/sr1 at /media/ram disc\n"),
              std::string::npos)
        << ui.boxes[0].text;

    // A mount point with a line break in its name keeps the report's line whole.
    system.packetWriters = {{"/dev/sr2", "", "/media/two\nlines"}};
    log.DetectPacketWriters();
    log.WriteSystem();
    EXPECT_EQ(IniRead("System", "OtherSoftware", "", log.logPath), " /dev/sr2 at /media/two?lines, ");

    // Detection follows the system: the devices gone, the list is empty again.
    system.packetWriters.clear();
    log.DetectPacketWriters();
    EXPECT_EQ(log.OtherSoftwareText(), " ");
}

TEST(Debugger, HeldWritesReachTheFileWithOneRenameAndWinOverALaterStart)
{
    CFakeSystem system;
    system.processes = {"init", "bash", "kestrova"};
    SystemScope systemScope(system);
    testsupport::TempDir dir;
    CDebugger first(dir.Path().string());
    const std::string started = testsupport::ReadText(first.logPath);
    first.Hold();
    first.CollectSystemTexts();
    first.WriteSystem();
    first.WriteProcesses();
    first.WriteVersion("Kestrova first");
    first.RecordBurn(0, 26, 4);
    first.WriteSystem();
    // Nothing reached the file while held.
    EXPECT_EQ(testsupport::ReadText(first.logPath), started);

    // Another run starts meanwhile and empties the log; the held report, stored last,
    // is what the file then holds, whole.
    CDebugger second(dir.Path().string());
    second.WriteVersion("Kestrova second");
    ASSERT_TRUE(first.Release());
    const std::string text = testsupport::ReadText(first.logPath);
    EXPECT_EQ(IniRead("kestrova", "Version", "", first.logPath), "Kestrova first");
    EXPECT_EQ(IniRead("Process", "Process3", "", first.logPath), "kestrova");
    EXPECT_EQ(IniRead("AUDIO", "AUD8", "", first.logPath), "T=0 S=0 C=0 B=0");
    EXPECT_NE(text.find("LastBuringJob=0,DVD+RW,4\n\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("second"), std::string::npos);
    // No partial file is left beside the log.
    int entries = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
        (void)entry;
        ++entries;
    }
    EXPECT_EQ(entries, 1);

    // After the release writes go straight to the file again.
    first.WriteUsb("stick");
    EXPECT_EQ(IniRead("USB", "USB1", "", first.logPath), "stick");
}

TEST(Debugger, ShortMeasurementIsScaledToMegahertz)
{
    // A counter that moves 4 ms per reading and a 2 GHz time-stamp counter, measured over
    // a hundredth of a second.
    struct FakeClock : CClock {
        uint64_t ns = 0;
        uint64_t Counter() override { return ns += 4000000ull; }
        uint64_t TimeStampCounter() override { return ns * 2; }
    } clock;
    CFakeSystem system;
    SystemScope systemScope(system);
    SetClock(&clock);
    testsupport::TempDir dir;
    CDebugger log(dir.Path().string());
    const int speed = log.MeasureCpu(100);
    SetClock(nullptr);
    // Three readings after the start: 12 ms of counter and 24,000,000 cycles, counted as
    // a hundredth of a second as the whole second's measurement counts its overshoot.
    EXPECT_EQ(speed, 2400);
    EXPECT_EQ(log.cpuTypeText, "CPU Type: AuthenticAMD, Speed = 2400 MHz");
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
