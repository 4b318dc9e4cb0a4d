// Replacing a DVD folder or an image never loses the old one: the disk filling up while
// any file of the new DVD or image is written, an input deleted while the job runs, and
// a job killed halfway (followed by a run that tidies up). A second job on an output
// that is being written is refused, and so is an output that would overwrite one of the
// job's own inputs. Faults are made by a preloaded library (tests/integration/shim) at
// the moment the program creates a chosen file.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

std::string Kestrova() { return Quote(CliPath()); }

// The address sanitizer's options for a program with the fault library preloaded: the
// library comes before the sanitizer's own in the load order, which it would refuse.
std::string SanitizerOptions()
{
    const char* options = std::getenv("ASAN_OPTIONS");
    return std::string(options ? options : "") + ":verify_asan_link_order=0";
}

// The environment that makes `action` happen when the program creates `file`.
std::string Fault(const std::string& file, const std::string& action)
{
    return "LD_PRELOAD=" + Quote(KESTROVA_FAULT_SHIM_PATH) + " KESTROVA_FAULT_FILE=" + Quote(file) +
        " KESTROVA_FAULT_ACTION=" + Quote(action) + " ASAN_OPTIONS=" + Quote(SanitizerOptions()) + " ";
}

// A project of photos (each 1 s, copied into `dir` so that a test may delete them) with
// the sample music, also copied.
std::string Project(const TempDir& dir, const std::string& name, const std::vector<std::string>& photos)
{
    const std::string sample = DataDir() + "/sample/";
    std::string text = "[General]\nID=OrvoPhotoShow\nPhotoCount=" + std::to_string(photos.size()) + "\nMusicCount=1\n";
    for (size_t i = 0; i < photos.size(); ++i) {
        if (!fs::exists(dir.File(photos[i]))) fs::copy_file(sample + photos[i], dir.File(photos[i]));
        text +=
            "[Photo" + std::to_string(i + 1) + "]\nPath=" + dir.File(photos[i]) + "\nShowingTime=1\nTransitionTime=1\n";
    }
    if (!fs::exists(dir.File("music.mp3"))) fs::copy_file(sample + "music.mp3", dir.File("music.mp3"));
    text += "[Music1]\nPath=" + dir.File("music.mp3") + "\n";
    WriteText(dir.File(name), text);
    return dir.File(name);
}

RunResult Slideshow(const TempDir& dir, const std::string& project, const std::string& options,
                    const std::string& env = "")
{
    return testsupport::Run("XDG_STATE_HOME=" + Quote(dir.File("state")) +
                            " XDG_CONFIG_HOME=" + Quote(dir.File("config")) + " " + env + Kestrova() + " slideshow " +
                            Quote(project) + " " + options + " --resolution low --yes </dev/null");
}

// Every file under `folder` (but the program's settings and state) with a digest of
// its bytes.
std::map<std::string, size_t> Snapshot(const std::string& folder)
{
    std::map<std::string, size_t> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().lexically_relative(folder).string();
        if (!entry.is_regular_file() || name.rfind("config/", 0) == 0 || name.rfind("state/", 0) == 0) continue;
        const std::vector<uint8_t> bytes = ReadBytes(entry.path());
        files[name] = std::hash<std::string>()(std::string(bytes.begin(), bytes.end()));
    }
    return files;
}

// Hidden entries (new versions, lock files) and partial files left in `folder`.
std::vector<std::string> Leftovers(const std::string& folder)
{
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name[0] == '.' || name.find(".part") != std::string::npos) found.push_back(entry.path().string());
    }
    return found;
}

void ExpectDecodes(const std::string& vob)
{
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -f null - 2>&1");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.out, "") << vob;
}

int Count(const std::string& text, const std::string& part)
{
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Makes a DVD with title sets 1 to `footage`, then has a job writing title set
// `footage` again meet a full disk in each of its files in turn: every run must fail
// naming the file and leave the old DVD as it was, without partial files.
void ExpectTheOldDvdWhenTheDiskFills(const TempDir& dir, int footage)
{
    const std::string dvd = dir.File("dvd");
    const std::string older = Project(dir, "older.osh", {"sunset.jpg"});
    const std::string newer = Project(dir, "newer.osh", {"beach.jpg", "city.jpg"});
    for (int n = 1; n <= footage; ++n)
        ASSERT_EQ(Slideshow(dir, older, "--out " + Quote(dvd) + " --footage " + std::to_string(n)).exitCode, 0);
    const auto before = Snapshot(dvd);
    const std::string set = "VTS_0" + std::to_string(footage);
    // Every file of the DVD is larger than 8 KB, the program's messages are not: the
    // "disk" fills in the file named and the messages still reach the test.
    const std::pair<std::string, std::string> faults[] = {
        {set + "_1.VOB", "fsize:65536"}, {set + "_0.IFO", "fsize:8192"}, {"VIDEO_TS.IFO", "fsize:8192"},
        {"VTS_01_0.BUP", "fsize:8192"},  {set + "_0.BUP", "fsize:8192"}, {"VIDEO_TS.BUP", "fsize:8192"}};
    for (const auto& [file, action] : faults) {
        SCOPED_TRACE(file);
        auto r =
            Slideshow(dir, newer, "--out " + Quote(dvd) + " --footage " + std::to_string(footage), Fault(file, action));
        EXPECT_NE(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.err.find(file), std::string::npos) << r.err;
        EXPECT_EQ(Snapshot(dvd), before);
        EXPECT_EQ(Leftovers(dvd), std::vector<std::string>());
    }
}

TEST(JobAtomic, FullDiskWhileWritingAnyFileOfTheDvdKeepsTheOldOne)
{
    TempDir dir;
    ExpectTheOldDvdWhenTheDiskFills(dir, 1);
    // Without a fault the new title set takes the old one's place.
    const std::string dvd = dir.File("dvd");
    auto r = Slideshow(dir, dir.File("newer.osh"), "--out " + Quote(dvd));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Leftovers(dvd), std::vector<std::string>());
    ExpectDecodes(dvd + "/VIDEO_TS/VTS_01_1.VOB");
}

TEST(JobAtomic, FullDiskWhileReplacingASecondTitleSetKeepsTheFirst)
{
    // The new version rewrites the kept title set's IFO and BUP; the old folder's must
    // not change with them.
    TempDir dir;
    ExpectTheOldDvdWhenTheDiskFills(dir, 2);
}

TEST(JobAtomic, FullDiskWhileWritingTheImageKeepsTheOldImage)
{
    TempDir dir;
    const std::string dvd = dir.File("dvd");
    const std::string image = dir.File("old.iso");
    ASSERT_EQ(Slideshow(dir, Project(dir, "p.osh", {"beach.jpg"}), "--out " + Quote(dvd)).exitCode, 0);
    ASSERT_EQ(testsupport::Run(Kestrova() + " iso " + Quote(dvd) + " -o " + Quote(image)).exitCode, 0);
    const auto before = ReadBytes(image);
    ASSERT_EQ(Slideshow(dir, Project(dir, "q.osh", {"city.jpg", "town.jpg"}), "--out " + Quote(dvd)).exitCode, 0);
    auto r = testsupport::Run(Fault("old.iso", "fsize:1000000") + Kestrova() + " iso " + Quote(dvd) + " -o " +
                              Quote(image) + " </dev/null");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find(image), std::string::npos) << r.err;
    EXPECT_EQ(ReadBytes(image), before);
    EXPECT_EQ(Leftovers(dir.Path().string()), std::vector<std::string>());
}

// Starts the program with `args` and the fault `action` at `file`, and returns once it
// has stopped there (its process number) or -1.
pid_t StartStopped(const std::string& file, const std::vector<std::string>& args, const std::string& log)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("LD_PRELOAD", KESTROVA_FAULT_SHIM_PATH, 1);
        ::setenv("KESTROVA_FAULT_FILE", file.c_str(), 1);
        ::setenv("KESTROVA_FAULT_ACTION", "stop", 1);
        ::setenv("ASAN_OPTIONS", SanitizerOptions().c_str(), 1);
        const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::dup2(in, 0);
        std::vector<char*> argv{const_cast<char*>(KESTROVA_CLI_PATH)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(KESTROVA_CLI_PATH, argv.data());
        ::_exit(127);
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, WUNTRACED) != pid || !WIFSTOPPED(status)) return -1;
    return pid;
}

// Lets a stopped program go on and returns its exit status.
int Continue(pid_t pid)
{
    ::kill(pid, SIGCONT);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(JobAtomic, SecondJobOnAnOutputBeingWrittenIsRefused)
{
    TempDir dir;
    const std::string project = Project(dir, "p.osh", {"beach.jpg", "city.jpg"});
    const std::string dvd = dir.File("dvd");
    const std::string log = dir.File("first.log");
    const std::vector<std::string> job{"slideshow", project, "--out", dvd, "--resolution", "low", "--yes"};
    const pid_t first = StartStopped("VTS_01_1.VOB", job, log);
    ASSERT_GT(first, 0) << ReadText(log);
    auto second = Slideshow(dir, project, "--out " + Quote(dvd));
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(Count(second.err,
                    dvd + "/VIDEO_TS/ is being written by another Kestrova job (process " + std::to_string(first)),
              1)
        << second.err;
    EXPECT_EQ(Continue(first), 0) << ReadText(log);
    ExpectDecodes(dvd + "/VIDEO_TS/VTS_01_1.VOB");
    EXPECT_EQ(Leftovers(dvd), std::vector<std::string>());

    // The image file and a stream file of the show are locked in the same way.
    const std::string image = dir.File("disc.iso");
    const pid_t imaging = StartStopped("disc.iso", {"iso", dvd, "-o", image}, log);
    ASSERT_GT(imaging, 0) << ReadText(log);
    auto iso = testsupport::Run(Kestrova() + " iso " + Quote(dvd) + " -o " + Quote(image) + " </dev/null");
    EXPECT_EQ(iso.exitCode, 1);
    EXPECT_NE(iso.err.find(image + " is being written by another Kestrova job (process " + std::to_string(imaging)),
              std::string::npos)
        << iso.err;
    EXPECT_EQ(Continue(imaging), 0) << ReadText(log);
    EXPECT_GT(fs::file_size(image), 1000000u);

    const std::string m2v = dir.File("show.m2v");
    const pid_t encoding = StartStopped("show.m2v", {"slideshow", project, "--m2v", m2v, "--resolution", "low"}, log);
    ASSERT_GT(encoding, 0) << ReadText(log);
    auto stream = Slideshow(dir, project, "--m2v " + Quote(m2v));
    EXPECT_EQ(stream.exitCode, 1);
    EXPECT_NE(stream.err.find(m2v + " is being written by another Kestrova job"), std::string::npos) << stream.err;
    EXPECT_EQ(Continue(encoding), 0) << ReadText(log);
    ExpectDecodes(m2v);
    EXPECT_EQ(Leftovers(dir.Path().string()), std::vector<std::string>());
}

TEST(JobAtomic, OutputsThatAreInputsOfTheJobAreRefusedBeforeAnythingIsWritten)
{
    TempDir dir;
    const std::string project = Project(dir, "p.osh", {"beach.jpg", "city.jpg"});
    fs::copy_file(DataDir() + "/sample/narration.wav", dir.File("x.wav"));
    fs::create_symlink("beach.jpg", dir.File("link.jpg"));
    const auto before = Snapshot(dir.Path().string());
    const std::pair<std::string, std::string> cases[] = {
        {"--m2v " + Quote(dir.File("beach.jpg")), dir.File("beach.jpg")},
        {"--m2v " + Quote(dir.File("link.jpg")), dir.File("beach.jpg")},
        {"--frames " + Quote(dir.File("music.mp3")), dir.File("music.mp3")},
        {"--mp2 " + Quote(dir.File("city.jpg")), dir.File("city.jpg")},
        {"--iso " + Quote(project) + " --out " + Quote(dir.File("dvd")), project},
        {"--m2v " + Quote(dir.File("a.out")) + " --mp2 " + Quote(dir.File("a.out")), dir.File("a.out")},
    };
    for (const auto& [options, input] : cases) {
        SCOPED_TRACE(options);
        auto r = Slideshow(dir, project, options);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(input), std::string::npos) << r.err;
        EXPECT_EQ(Snapshot(dir.Path().string()), before);
        EXPECT_FALSE(fs::exists(dir.File("dvd")));
    }
    fs::create_hard_link(dir.File("x.wav"), dir.File("y.wav"));
    for (const char* output : {"x.wav", "y.wav"}) {
        auto r = testsupport::Run(Kestrova() + " audio encode " + Quote(dir.File("x.wav")) + " " +
                                  Quote(dir.File(output)) + " </dev/null");
        EXPECT_EQ(r.exitCode, 1) << output;
        EXPECT_NE(r.err.find(dir.File("x.wav")), std::string::npos) << r.err;
        EXPECT_EQ(Snapshot(dir.Path().string()).at("x.wav"), before.at("x.wav"));
    }

    // A DVD made with the old DVD's own VOB as the music would replace its input.
    const std::string dvd = dir.File("dvd");
    ASSERT_EQ(Slideshow(dir, project, "--out " + Quote(dvd)).exitCode, 0);
    const std::string vob = dvd + "/VIDEO_TS/VTS_01_1.VOB";
    WriteText(project, ReadText(project) + "[Music2]\nPath=" + vob + "\n");
    WriteText(project, std::regex_replace(ReadText(project), std::regex("MusicCount=1"), "MusicCount=2"));
    const auto dvdBefore = Snapshot(dvd);
    auto r = Slideshow(dir, project, "--out " + Quote(dvd));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(Count(r.err, vob), 2) << r.err;  // once as the music, once as a file replaced
    EXPECT_EQ(Snapshot(dvd), dvdBefore);
}

TEST(JobAtomic, InputsDeletedWhileTheJobRunsEndItCleanly)
{
    for (const char* deleted : {"town.jpg", "music.mp3"}) {
        SCOPED_TRACE(deleted);
        TempDir dir;
        const std::string dvd = dir.File("dvd");
        ASSERT_EQ(Slideshow(dir, Project(dir, "old.osh", {"sunset.jpg"}), "--out " + Quote(dvd)).exitCode, 0);
        const auto before = Snapshot(dvd);
        const std::string project = Project(dir, "p.osh", {"beach.jpg", "city.jpg", "town.jpg"});
        auto r = Slideshow(dir, project, "--out " + Quote(dvd), Fault("VTS_01_1.VOB", "unlink:" + dir.File(deleted)));
        ASSERT_FALSE(fs::exists(dir.File(deleted)));
        if (r.exitCode == 0)
            ExpectDecodes(dvd + "/VIDEO_TS/VTS_01_1.VOB");
        else
            EXPECT_EQ(Snapshot(dvd), before) << r.err;
        EXPECT_EQ(Leftovers(dvd), std::vector<std::string>());
    }
}

TEST(JobAtomic, KilledJobLeavesTheOldDvdAndTheNextRunTidiesUp)
{
    TempDir dir;
    const std::string dvd = dir.File("dvd");
    ASSERT_EQ(Slideshow(dir, Project(dir, "old.osh", {"sunset.jpg"}), "--out " + Quote(dvd)).exitCode, 0);
    const auto before = Snapshot(dvd + "/VIDEO_TS");
    const std::string project = Project(dir, "p.osh", {"beach.jpg", "city.jpg"});
    auto killed = Slideshow(dir, project, "--out " + Quote(dvd), Fault("VTS_01_0.IFO", "kill"));
    EXPECT_NE(killed.exitCode, 0);
    EXPECT_EQ(Snapshot(dvd + "/VIDEO_TS"), before);
    EXPECT_FALSE(Leftovers(dvd).empty());  // the new version the kill interrupted

    auto next = Slideshow(dir, project, "--out " + Quote(dvd));
    ASSERT_EQ(next.exitCode, 0) << next.err;
    EXPECT_EQ(Leftovers(dvd), std::vector<std::string>());
    EXPECT_NE(Snapshot(dvd + "/VIDEO_TS"), before);
    ExpectDecodes(dvd + "/VIDEO_TS/VTS_01_1.VOB");
}

TEST(JobAtomic, UnwritableFolderIsReportedOnceWithTheReason)
{
    TempDir dir;
    const std::string project = Project(dir, "p.osh", {"beach.jpg"});
    WriteText(dir.File("file"), "x");
    auto r = Slideshow(dir, project, "--out " + Quote(dir.File("file") + "/dvd"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(
        Count(r.err, "Unable to write file: " + dir.File("file") + "/dvd/VIDEO_TS/VIDEO_TS.IFO (Not a directory)"), 1)
        << r.err;
    EXPECT_EQ(Count(r.err, "VIDEO_TS.IFO"), 1) << r.err;
    EXPECT_EQ(ReadText(dir.File("file")), "x");
}

}  // namespace
