// The command-line program's start-up: which commands run it, what it leaves (folders,
// the diagnostic report with the version), that runs starting together each leave a
// whole report, and that a start stays short.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <sstream>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string Env(const TempDir& home)
{
    return "env -u KESTROVA_DATA_DIR HOME=" + Quote(home.Path().string()) +
        " XDG_STATE_HOME=" + Quote(home.File("state")) + " XDG_CONFIG_HOME=" + Quote(home.File("config")) +
        " LC_ALL=C ";
}

RunResult Kestrova(const TempDir& home, const std::string& args)
{
    return Run(Env(home) + Quote(CliPath()) + " " + args);
}

std::string Log(const TempDir& home) { return home.File("state/kestrova/dvdlog.txt"); }

std::string Sample() { return Quote(DataDir() + "/sample/album.osh"); }

// The log's lines grouped by section, each section's lines in order; a section met twice
// is named twice in `order`.
struct SLog {
    std::vector<std::string> order;
    std::map<std::string, std::vector<std::string>> lines;
};

SLog ReadLog(const std::string& path)
{
    SLog log;
    std::istringstream in(ReadText(path));
    std::string line;
    std::string section;
    while (std::getline(in, line)) {
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            section = line.substr(1, line.size() - 2);
            log.order.push_back(section);
        } else if (!line.empty()) {
            log.lines[section].push_back(line);
        }
    }
    return log;
}

// Checks that the log is one run's whole report: every section once, the system keys
// in order, the processes numbered without a gap and the version last written.
void ExpectWholeReport(const std::string& path)
{
    const SLog log = ReadLog(path);
    std::map<std::string, int> seen;
    for (const std::string& section : log.order)
        EXPECT_EQ(++seen[section], 1) << section << " twice in\n" << ReadText(path);
    for (const char* section : {"AUDIO", "System", "Process", "kestrova"})
        EXPECT_EQ(seen[section], 1) << section << " missing in\n" << ReadText(path);
    auto find = log.lines.find("System");
    ASSERT_NE(find, log.lines.end());
    const std::vector<std::string>& system = find->second;
    ASSERT_GE(system.size(), 7u);
    const char* keys[] = {"OS=", "DirectX=", "Memory=", "CPU=", "MMX=", "DISK="};
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(system[i].rfind(keys[i], 0), 0u) << system[i];
    EXPECT_EQ(system.back().rfind("OtherSoftware= ", 0), 0u) << system.back();
    const std::vector<std::string>& processes = log.lines.at("Process");
    ASSERT_FALSE(processes.empty());
    for (size_t i = 0; i < processes.size(); ++i)
        EXPECT_EQ(processes[i].rfind("Process" + std::to_string(i + 1) + "=", 0), 0u) << processes[i];
    const std::vector<std::string>& version = log.lines.at("kestrova");
    ASSERT_EQ(version.size(), 1u);
    EXPECT_EQ(version[0].rfind("Version=Kestrova ", 0), 0u) << version[0];
    EXPECT_GT(version[0].size(), 17u);
    EXPECT_EQ(log.lines.at("AUDIO").size(), 8u);
}

}  // namespace

TEST(StartupReport, CommandsThatMakeSomethingStartTheProgramOthersDoNot)
{
    TempDir home;
    // Help, the version and the commands that only look leave nothing behind.
    for (const std::string args : {"--help", "--version", "project --help", "drives", "media info /nonexistent.avi"}) {
        Kestrova(home, args);
        EXPECT_FALSE(fs::exists(home.File("state"))) << args;
        EXPECT_FALSE(fs::exists(home.File("TempDVD"))) << args;
    }

    auto run = Kestrova(
        home, "project create " + Quote(home.File("show.osh")) + " " + Quote(DataDir() + "/sample/sunset.jpg"));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(fs::is_directory(home.File("TempDVD/AUDIO_TS")));
    EXPECT_TRUE(fs::is_directory(home.File("TempDVD/VIDEO_TS")));
    EXPECT_TRUE(fs::is_directory(home.File("config/kestrova")));
    ExpectWholeReport(Log(home));
    // A command line is no file dialog: the remembered folders are read, never written.
    EXPECT_FALSE(fs::exists(home.File("config/kestrova/Kestrova.ini")));

    // A command that fails after the start has still written the report of its run.
    fs::remove(Log(home));
    run = Kestrova(home, "iso " + Quote(home.File("none")) + " -o " + Quote(home.File("x.iso")));
    EXPECT_EQ(run.exitCode, 1);
    ExpectWholeReport(Log(home));
}

TEST(StartupReport, RunsStartingTogetherEachLeaveAWholeReport)
{
    TempDir home;
    // Sixteen runs at once on one home: each stores its report with one rename, so the
    // log is always one run's whole report and no partial file is left.
    std::string script;
    for (int i = 0; i < 16; ++i)
        script += Env(home) + Quote(CliPath()) + " project info " + Sample() + " >/dev/null & ";
    script += "fails=0; for job in $(jobs -p); do wait $job || fails=$((fails+1)); done; exit $fails";
    auto run = testsupport::Run("bash -c " + Quote(script));
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ExpectWholeReport(Log(home));
    for (const auto& entry : fs::directory_iterator(home.File("state/kestrova")))
        EXPECT_EQ(entry.path().filename(), "dvdlog.txt");
    for (const auto& entry : fs::directory_iterator(home.File("config/kestrova")))
        EXPECT_EQ(entry.path().filename().string().find(".part"), std::string::npos) << entry.path();
}

TEST(StartupReport, AStartStaysShort)
{
    TempDir home;
    // The quickest of five runs: a start that measured the processor for a whole second,
    // or loaded the media libraries, would show here even on a busy machine.
    double quickest = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        auto run = Kestrova(home, "project info " + Sample());
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        ASSERT_EQ(run.exitCode, 0) << run.err;
        quickest = std::min(quickest, took.count());
    }
    EXPECT_LT(quickest, 0.5);
}
