#include "platform/LinuxSystem.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

void Write(const testsupport::TempDir& root, const std::string& name, const std::string& text)
{
    fs::create_directories(fs::path(root.File(name)).parent_path());
    testsupport::WriteText(root.File(name), text);
}

}  // namespace

TEST(LinuxSystem, ReadsTextsAndMemoryFromItsRoot)
{
    testsupport::TempDir root;
    Write(root, "proc/sys/kernel/ostype", "Linux\n");
    Write(root, "proc/sys/kernel/osrelease", "6.1.0-18-amd64\n");
    Write(root, "etc/os-release", "NAME=\"Debian GNU/Linux\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    Write(root, "proc/meminfo",
          "MemTotal:        8048576 kB\nMemFree:          123456 kB\nMemAvailable:    4000000 kB\n");
    CLinuxSystem system(root.Path().string());
    EXPECT_EQ(system.KernelText(), "Linux 6.1.0-18-amd64");
    EXPECT_EQ(system.DistributionText(), "Debian GNU/Linux 12 (bookworm)");
    uint64_t total = 0, available = 0;
    ASSERT_TRUE(system.Memory(total, available));
    EXPECT_EQ(total, 8048576ull * 1024);
    EXPECT_EQ(available, 4000000ull * 1024);

    // Old kernels have no MemAvailable: the free figure is used.
    Write(root, "proc/meminfo", "MemTotal: 1024 kB\nMemFree: 512 kB\n");
    ASSERT_TRUE(system.Memory(total, available));
    EXPECT_EQ(available, 512ull * 1024);
    // No total: unknown.
    Write(root, "proc/meminfo", "garbage\n");
    EXPECT_FALSE(system.Memory(total, available));
    fs::remove(root.File("etc/os-release"));
    EXPECT_EQ(system.DistributionText(), "");
}

TEST(LinuxSystem, ListsProcessesByIdWithTheirExecutableNames)
{
    testsupport::TempDir root;
    Write(root, "proc/10/comm", "kworker/0:1\n");
    Write(root, "proc/2/comm", "kthreadd\n");
    Write(root, "proc/1/comm", "systemd\n");
    Write(root, "proc/self/comm", "not a process\n");
    Write(root, "proc/7/comm", "Web Content\n");
    fs::create_directories(root.File("proc/300"));  // ended while being listed
    fs::create_symlink("/usr/lib/systemd/systemd", root.File("proc/1/exe"));
    fs::create_symlink("/usr/lib/firefox-esr/firefox-esr (deleted)", root.File("proc/7/exe"));
    CLinuxSystem system(root.Path().string());
    std::vector<std::string> expected = {"systemd", "kthreadd", "firefox-esr", "kworker/0:1"};
    EXPECT_EQ(system.Processes(), expected);
}

TEST(LinuxSystem, FindsOpticalDrivesInNumericOrder)
{
    testsupport::TempDir root;
    for (const char* name : {"sr0", "sr2", "sr10", "sda", "srx"})
        fs::create_directories(root.File(std::string("sys/class/block/") + name));
    Write(root, "dev/sr0", "");
    Write(root, "dev/sr10", "");
    Write(root, "dev/sda", "");
    // sr2 has no device node and is left out.
    CLinuxSystem system(root.Path().string());
    auto drives = system.OpticalDrives();
    ASSERT_EQ(drives.size(), 2u);
    EXPECT_EQ(drives[0].device, root.File("dev/sr0"));
    EXPECT_EQ(drives[1].device, root.File("dev/sr10"));
    EXPECT_TRUE(drives[0].readWrite);
    EXPECT_FALSE(drives[0].group.empty());
}

TEST(LinuxSystem, RunningSystemAnswersPlausibly)
{
    CLinuxSystem system;
    uint64_t total = 0, available = 0;
    ASSERT_TRUE(system.Memory(total, available));
    EXPECT_GT(total, 64ull << 20);
    EXPECT_LE(available, total);
    uint64_t freeBytes = 0;
    EXPECT_TRUE(system.FreeSpace("/", freeBytes));
    EXPECT_FALSE(system.FreeSpace("/no/such/folder/here", freeBytes));
    EXPECT_GE(system.CoreCount(), 1);
    EXPECT_EQ(system.KernelText().rfind("Linux ", 0), 0u);
#if defined(__x86_64__)
    CCpuFeatures features = system.CpuFeatures();
    EXPECT_TRUE(features.mmx && features.sse && features.sse2);
    EXPECT_EQ(system.CpuVendor().size(), 12u);
#endif
    // This test program is among the running processes.
    const std::string self = fs::read_symlink("/proc/self/exe").filename().string();
    auto processes = system.Processes();
    EXPECT_NE(std::find(processes.begin(), processes.end(), self), processes.end());
}

TEST(LinuxSystem, FindsPacketDevicesAndUdfMountedForWriting)
{
    testsupport::TempDir root;
    CLinuxSystem system(root.Path().string());
    // A machine without the pktcdvd module and without mounts has none.
    EXPECT_TRUE(system.PacketWriters().empty());

    // The kernel's map names dvd0 on block device 11:0, which sysfs leads to sr0.
    Write(root, "sys/class/pktcdvd/device_map", "dvd0 253:0 11:0\nbroken line\n");
    fs::create_directories(root.File("sys/devices/pci/host1/block/sr0"));
    fs::create_directories(root.File("sys/dev/block"));
    fs::create_symlink("../../devices/pci/host1/block/sr0", root.File("sys/dev/block/11:0"));
    // Device nodes: the control node is the interface; dvd0 is known already; rw1 was
    // made by hand without the map knowing it.
    Write(root, "dev/pktcdvd/control", "");
    Write(root, "dev/pktcdvd/dvd0", "");
    Write(root, "dev/pktcdvd/rw1", "");
    Write(root, "proc/mounts",
          "/dev/vda1 / ext4 rw,relatime 0 0\n"
          "/dev/pktcdvd/dvd0 /media/my\\040disc udf rw,nosuid 0 0\n"
          "/dev/sr1 /media/video udf ro,nosuid 0 0\n"  // a DVD-Video disc being read
          "/dev/sr2 /media/ram udf rw,relatime 0 0\n"  // DVD-RAM written in place
          "/dev/sr3 /media/cd iso9660 rw 0 0\n"
          "/dev/loop0 /mnt/image udf rw 0 0\n"  // an image file, no drive
          "/dev/sr20x /mnt/odd udf rw 0 0\n");

    const std::vector<SPacketWriter> writers = system.PacketWriters();
    ASSERT_EQ(writers.size(), 3u);
    EXPECT_EQ(writers[0].device, "/dev/pktcdvd/dvd0");
    EXPECT_EQ(writers[0].drive, "/dev/sr0");
    EXPECT_EQ(writers[0].mountPoint, "/media/my disc");
    EXPECT_EQ(writers[1].device, "/dev/pktcdvd/rw1");
    EXPECT_EQ(writers[1].drive, "");
    EXPECT_EQ(writers[1].mountPoint, "");
    EXPECT_EQ(writers[2].device, "/dev/sr2");
    EXPECT_EQ(writers[2].mountPoint, "/media/ram");

    // A read-only option among others is still read-only; "rw" must be a whole option.
    Write(root, "proc/mounts", "/dev/sr2 /media/ram udf nosuid,ro,rwx 0 0\n");
    fs::remove_all(root.File("dev/pktcdvd"));
    fs::remove(root.File("sys/class/pktcdvd/device_map"));
    EXPECT_TRUE(system.PacketWriters().empty());
}
