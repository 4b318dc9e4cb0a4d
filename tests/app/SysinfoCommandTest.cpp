#include "base/Ini.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/statvfs.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace {

std::map<std::string, std::string> SectionOf(const std::string& output)
{
    std::map<std::string, std::string> values;
    std::istringstream in(output);
    std::string line;
    bool inSystem = false;
    while (std::getline(in, line)) {
        if (line == "[System]") {
            inSystem = true;
            continue;
        }
        if (line.empty()) inSystem = false;
        size_t eq = line.find('=');
        if (inSystem && eq != std::string::npos) values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return values;
}

long MeminfoMegabytes(const std::string& key)
{
    std::ifstream in("/proc/meminfo");
    std::string name;
    long kib = 0;
    std::string unit;
    while (in >> name >> kib >> unit)
        if (name == key + ":") return kib >> 10;
    return -1;
}

std::string CpuinfoVendor()
{
    std::ifstream in("/proc/cpuinfo");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("vendor_id", 0) == 0) return line.substr(line.find(':') + 2);
    return {};
}

}  // namespace

TEST(SysinfoCommand, PrintsThisMachinesFiguresAndLogsTheSame)
{
    testsupport::TempDir home;
    const std::string env = "env HOME=" + testsupport::Quote(home.Path().string()) +
        " XDG_STATE_HOME=" + testsupport::Quote(home.File("state")) +
        " XDG_CONFIG_HOME=" + testsupport::Quote(home.File("config")) + " ";
    auto result = testsupport::Run(env + testsupport::Quote(testsupport::CliPath()) + " sysinfo");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto shown = SectionOf(result.out);

    int totalMb = 0, freeMb = 0;
    ASSERT_EQ(std::sscanf(shown["Memory"].c_str(), "Total Memory = %d MB, Free=%d MB", &totalMb, &freeMb), 2)
        << shown["Memory"];
    EXPECT_EQ(totalMb, MeminfoMegabytes("MemTotal"));
    EXPECT_GT(freeMb, 0);
    EXPECT_LE(freeMb, totalMb);

    int mmx = 0, sse = 0, sse2 = 0, cores = 0;
    ASSERT_EQ(std::sscanf(shown["MMX"].c_str(), "CPU (MMX,SSE,SSE2,nCPU): %d,%d,%d,%d", &mmx, &sse, &sse2, &cores), 4);
    EXPECT_EQ(cores, sysconf(_SC_NPROCESSORS_ONLN));
#if defined(__x86_64__)
    EXPECT_EQ(mmx + sse + sse2, 3);  // every x86-64 processor has all three
#endif

    char vendor[64] = {};
    int mhz = 0;
    ASSERT_EQ(std::sscanf(shown["CPU"].c_str(), "CPU Type: %63[^,], Speed = %d MHz", vendor, &mhz), 2);
    EXPECT_EQ(std::string(vendor), CpuinfoVendor());
    EXPECT_GT(mhz, 200);
    EXPECT_LT(mhz, 10000);

    float gigabytes = 0;
    ASSERT_EQ(std::sscanf(shown["DISK"].c_str(), "Free Space on C: %f GB", &gigabytes), 1);
    struct statvfs fs;
    ASSERT_EQ(statvfs(home.Path().c_str(), &fs), 0);
    const double actual = static_cast<double>(fs.f_bavail) * fs.f_frsize / (1024.0 * 1024 * 1024);
    EXPECT_NEAR(gigabytes, actual, 0.5);

    EXPECT_EQ(shown["OS"].rfind("Windows Version: Linux ", 0), 0u) << shown["OS"];
    EXPECT_EQ(shown["DirectX"].rfind("DirectX Version: ", 0), 0u);
    EXPECT_GT(shown["DirectX"].size(), std::string("DirectX Version: ").size());

    const std::string log = home.File("state/kestrova/dvdlog.txt");
    for (const auto& [key, value] : shown) EXPECT_EQ(IniRead("System", key, "<missing>", log), value) << key;
    EXPECT_NE(IniRead("Process", "Process1", "", log), "");
    EXPECT_NE(result.out.find("Log: " + log), std::string::npos);
}

TEST(SysinfoCommand, InstalledProgramUsesTheShareFolderBesideIt)
{
    testsupport::TempDir prefix;
    std::filesystem::create_directories(prefix.File("bin"));
    std::filesystem::create_directories(prefix.File("share/kestrova/Language"));
    std::filesystem::copy_file(testsupport::CliPath(), prefix.File("bin/kestrova"));
    const std::string env = "env -u KESTROVA_DATA_DIR HOME=" + testsupport::Quote(prefix.Path().string()) +
        " XDG_STATE_HOME=" + testsupport::Quote(prefix.File("state")) +
        " XDG_CONFIG_HOME=" + testsupport::Quote(prefix.File("config")) + " ";
    auto result = testsupport::Run(env + testsupport::Quote(prefix.File("bin/kestrova")) + " sysinfo");
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("Data folder: " + prefix.File("share/kestrova") + "/\n"), std::string::npos)
        << result.out;
}
