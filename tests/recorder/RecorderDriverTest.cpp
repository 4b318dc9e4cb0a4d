// The recorder list and driver against the virtual recorder, and the sysfs scan of the
// Linux transport against a fake tree.
#include "recorder/Burner.h"
#include "recorder/RetryPacer.h"
#include "recorder/Scsiif.h"
#include "recorder/VirtualRecorder.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <filesystem>
#include <memory>

namespace {

// A recorder list over one virtual recorder, its driver selected, sleeping only on paper.
struct Rig {
    explicit Rig(int profile, CVirtualRecorder::SFaults faults = {})
    {
        auto owned = std::make_unique<CVirtualRecorder>(dir.File("disc.img"), profile, faults);
        recorder = owned.get();
        burner = std::make_unique<CBurner>(std::move(owned), ui);
        EXPECT_EQ(burner->Enumerate(), 1);
        EXPECT_EQ(burner->Select(0), 1);
        driver = burner->Driver();
        driver->SetSleeper([this](int ms) { slept += ms; });
        EXPECT_EQ(driver->GetCurrentProfile(), profile);
    }
    bool Logged(const std::string& line) const
    {
        const auto& log = recorder->Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    int CountLogged(const std::string& line) const
    {
        const auto& log = recorder->Log();
        return int(std::count(log.begin(), log.end(), line));
    }

    testsupport::TempDir dir;
    CScriptedUi ui;
    CVirtualRecorder* recorder = nullptr;
    std::unique_ptr<CBurner> burner;
    CCDRDRV* driver = nullptr;
    int64_t slept = 0;
};

}  // namespace

TEST(RecorderList, ListsTheVirtualRecorderAndSelectsOnlyExistingEntries)
{
    Rig rig(CVirtualRecorder::kDvdMinusR);
    EXPECT_EQ(rig.burner->Entry(0).name, "KESTROVA VIRTUAL DVD-RW 1.00");
    EXPECT_EQ(rig.burner->Entry(0).vendor, "KESTROVA");
    EXPECT_EQ(rig.burner->Select(1), 0);
    EXPECT_EQ(rig.burner->Select(-1), 0);
    EXPECT_EQ(rig.burner->DriverIndex(), 0);
    EXPECT_TRUE(rig.burner->Transport().underrunSupported);
}

TEST(RecorderDriver, SpeedZeroAsksForTheDrivesMaximumAndEightTimesSends11080)
{
    Rig rig(CVirtualRecorder::kDvdMinusR);
    EXPECT_EQ(rig.driver->SetWriteSpeed(0), 0);
    EXPECT_EQ(rig.driver->SetStreaming(100, 0), 0);
    EXPECT_TRUE(rig.Logged("SET CD SPEED 65535 kB/s -> good"));
    EXPECT_TRUE(rig.Logged("SET STREAMING end 100 write 4294967295 kB/s -> good"));
    EXPECT_EQ(rig.driver->SetWriteSpeed(11080), 0);
    EXPECT_EQ(rig.driver->SetStreaming(100, 11080), 0);
    EXPECT_TRUE(rig.Logged("SET CD SPEED 11080 kB/s -> good"));
    EXPECT_TRUE(rig.Logged("SET STREAMING end 100 write 11080 kB/s -> good"));
}

TEST(RecorderDriver, FormatCapacitiesWithOneDescriptorAreRefused)
{
    Rig rig(CVirtualRecorder::kDvdPlusR);  // lists only the current capacity
    EXPECT_NE(rig.driver->ReadFormatCapacities(), 0);
    ASSERT_EQ(rig.ui.boxes.size(), 1u);
    EXPECT_EQ(rig.ui.boxes[0].text, "unable to READ FORMAT CAPACITIES 2");
}

TEST(RecorderDriver, LongWriteInProgressIsRetriedWithPausesAndGivenUpAfterTheBound)
{
    CVirtualRecorder::SFaults ten;
    ten.busyWrites = 10;
    Rig rig(CVirtualRecorder::kDvdPlusR, ten);
    ASSERT_EQ(rig.driver->PrepareWrite(0, 32), 0);
    std::vector<uint8_t> data(32 * 2048, 1);
    int64_t address = 0;
    EXPECT_EQ(rig.driver->WriteBlocks(address, data.data(), 32), 0);
    EXPECT_EQ(address, 32);
    EXPECT_EQ(rig.CountLogged("WRITE(10) block 0 count 32 -> 2/04/08"), 10);
    EXPECT_GT(rig.slept, 0);
    EXPECT_LT(rig.slept, 1000);

    CVirtualRecorder::SFaults forever;
    forever.busyWrites = -1;
    Rig stuck(CVirtualRecorder::kDvdPlusR, forever);
    ASSERT_EQ(stuck.driver->PrepareWrite(0, 32), 0);
    address = 0;
    EXPECT_NE(stuck.driver->WriteBlocks(address, data.data(), 32), 0);
    EXPECT_EQ(address, 0);
    EXPECT_GE(stuck.slept, CRetryPacer::kBoundMs);
    EXPECT_LT(stuck.slept, CRetryPacer::kBoundMs + 1000);
    EXPECT_NE(stuck.driver->Error().find("200 seconds"), std::string::npos) << stuck.driver->Error();
}

TEST(RecorderDriver, PrepareWriteRefusesAnImageLargerThanTheFreeSpace)
{
    Rig rig(CVirtualRecorder::kDvdPlusR);
    EXPECT_NE(rig.driver->PrepareWrite(0, CVirtualRecorder::kPlusCapacity + 16), 0);
    EXPECT_NE(rig.driver->Error().find("2295104"), std::string::npos) << rig.driver->Error();
    EXPECT_FALSE(rig.Logged("SET STREAMING end 2295120 write 4294967295 kB/s -> good"));
    EXPECT_EQ(rig.driver->PrepareWrite(0, CVirtualRecorder::kPlusCapacity), 0);
}

TEST(RecorderDriver, ARefusedWriteParametersPageStopsDvdMinusR)
{
    CVirtualRecorder::SFaults faults;
    faults.refuseWriteParameters = true;
    Rig minus(CVirtualRecorder::kDvdMinusR, faults);
    EXPECT_NE(minus.driver->PrepareWrite(0, 64), 0);
    EXPECT_FALSE(minus.Logged("RESERVE TRACK 64 blocks -> good"));
    Rig plus(CVirtualRecorder::kDvdPlusR, faults);
    EXPECT_EQ(plus.driver->PrepareWrite(0, 64), 0);  // DVD+R drives may ignore the page
}

TEST(RecorderDriver, UnderrunAndTestWriteAbilitiesComeFromFeature2F)
{
    CVirtualRecorder::SFaults faults;
    faults.noUnderrunProtection = true;
    faults.noTestWrite = true;
    Rig rig(CVirtualRecorder::kDvdMinusR, faults);
    EXPECT_EQ(rig.driver->QueryUnderrunFree(), 0);
    EXPECT_FALSE(rig.driver->UnderrunFree());
    EXPECT_FALSE(rig.driver->TestWriteSupported());
    rig.driver->testWrite = true;
    EXPECT_NE(rig.driver->PrepareWrite(0, 64), 0);
    // Without underrun protection every write first waits for room in the buffer.
    Rig slow(CVirtualRecorder::kDvdMinusR, faults);
    ASSERT_EQ(slow.driver->PrepareWrite(0, 64), 0);
    std::vector<uint8_t> data(64 * 2048, 2);
    int64_t address = 0;
    EXPECT_EQ(slow.driver->WriteBlocks(address, data.data(), 64), 0);
    EXPECT_TRUE(slow.Logged("READ BUFFER CAPACITY x 1 -> good"));
}

TEST(RetryPacer, PausesGrowFromTwoToTwentyFiveMillisecondsUpToTheBound)
{
    std::vector<int> pauses;
    std::function<void(int)> sleep = [&](int ms) { pauses.push_back(ms); };
    CRetryPacer pacer(sleep);
    int tries = 0;
    while (pacer.Pause()) ++tries;
    ASSERT_GE(pauses.size(), 6u);
    EXPECT_EQ(std::vector<int>(pauses.begin(), pauses.begin() + 6), (std::vector<int>{2, 4, 8, 16, 25, 25}));
    EXPECT_GE(pacer.SleptMs(), CRetryPacer::kBoundMs);
    EXPECT_EQ(tries, int(pauses.size()));
}

TEST(LinuxTransport, FindsOpticalDrivesInSysfsAndReportsThoseItCannotUse)
{
    testsupport::TempDir root;
    namespace fs = std::filesystem;
    const fs::path blocks = root.Path() / "sys/class/block";
    for (const char* name : {"sr0", "sr1", "sr10", "sda"}) fs::create_directories(blocks / name / "device");
    fs::create_directories(blocks / "sr0/queue");
    testsupport::WriteText((blocks / "sr0/device/type").string(), "5\n");
    testsupport::WriteText((blocks / "sr0/queue/max_hw_sectors_kb").string(), "32\n");
    testsupport::WriteText((blocks / "sr1/device/type").string(), "0\n");  // not a CD/DVD device
    testsupport::WriteText((blocks / "sr10/device/type").string(), "5\n");
    testsupport::WriteText((blocks / "sda/device/type").string(), "5\n");
    fs::create_directories(root.Path() / "dev");
    testsupport::WriteText(root.File("dev/sr0"), "");  // a plain file, not the device

    const auto nodes = CScsiif::FindNodes(root.Path().string());
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].name, "sr0");
    EXPECT_EQ(nodes[0].maxTransfer, 32768);
    EXPECT_EQ(nodes[1].name, "sr10");
    EXPECT_EQ(nodes[1].maxTransfer, 65536);

    CScriptedUi ui;
    CBurner burner(std::make_unique<CScsiif>(root.Path().string()), ui);
    EXPECT_EQ(burner.Enumerate(), 0);
    ASSERT_EQ(burner.Notes().size(), 2u);
    EXPECT_EQ(burner.Notes()[0], root.File("dev/sr0") + ": not a block device");
    EXPECT_NE(burner.Notes()[1].find(root.File("dev/sr10")), std::string::npos);
    EXPECT_EQ(burner.Select(0), 0);
}
