// The command-line program given inputs that are not plain files (FIFOs, devices,
// folders, files too large to read whole), options it does not know, and interrupts
// during the DVD job. Every run has a time limit, so that a program that blocks fails
// the test instead of hanging it.
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

// Runs `kestrova ARGS` in `dir` for at most 60 seconds; a program still running then is
// killed and exits with 124 (137 when it ignored the first kill).
RunResult Kestrova(const TempDir& dir, const std::string& args, const std::string& limits = "")
{
    const std::string env = "XDG_STATE_HOME=" + Quote(dir.File("state")) +
        " XDG_CONFIG_HOME=" + Quote(dir.File("config")) + " HOME=" + Quote(dir.Path().string()) + " ";
    return Run("cd " + Quote(dir.Path().string()) + " && " + limits + env + "timeout -k 5 60 " + Quote(CliPath()) +
               " " + args);
}

std::string Fifo(const TempDir& dir, const std::string& name)
{
    const std::string path = dir.File(name);
    EXPECT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    return path;
}

std::string TwoPhotoProject(const TempDir& dir, const std::string& firstPhoto, int firstSeconds)
{
    const std::string d = DataDir() + "/sample/";
    WriteText(dir.File("p.osh"),
              "[General]\nID=OrvoPhotoShow\nPhotoCount=2\nMusicCount=1\n\n[Photo1]\nPath=" + firstPhoto +
                  "\nShowingTime=" + std::to_string(firstSeconds) + "\nTransitionTime=1\n\n[Photo2]\nPath=" + d +
                  "town.jpg\nShowingTime=2\nTransitionTime=1\n\n[Music1]\nPath=" + d + "music.mp3\n\n");
    return dir.File("p.osh");
}

// The size of a file; 0 when there is none.
uintmax_t SizeOf(const std::string& path)
{
    std::error_code ec;
    const uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : size;
}

// Every regular file under `folder`, so that a half-written one shows.
std::vector<std::string> FilesUnder(const std::string& folder)
{
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_regular_file(ec)) files.push_back(it->path().string());
    return files;
}

TEST(UnusualInputs, FifosAreRefusedInsteadOfBlocking)
{
    TempDir dir;
    const std::string fifo = Fifo(dir, "in.osh");
    auto r = Kestrova(dir, "project info " + Quote(fifo));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(fifo + ": is a FIFO, not a regular file"), std::string::npos) << r.err;

    const std::string photo = Fifo(dir, "photo.jpg");
    r = Kestrova(dir, "media info " + Quote(photo));
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("is a FIFO, not a regular file"), std::string::npos) << r.err;

    const std::string wave = Fifo(dir, "in.wav");
    r = Kestrova(dir, "audio encode " + Quote(wave) + " out.mp2");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(wave + ": is a FIFO, not a regular file"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("out.mp2")));

    // A photo that is a FIFO is not shown, but the DVD is made.
    r = Kestrova(dir, "slideshow " + Quote(TwoPhotoProject(dir, photo, 1)) + " --out dvd --resolution low --yes");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_GT(SizeOf(dir.File("dvd/VIDEO_TS/VTS_01_1.VOB")), 0u);
    EXPECT_TRUE(fs::exists(dir.File("dvd/VIDEO_TS/VIDEO_TS.IFO")));

    // A title set's VOB that is a FIFO stops the image before anything is written.
    const std::string vob = dir.File("dvd/VIDEO_TS/VTS_01_1.VOB");
    fs::remove(vob);
    ASSERT_EQ(::mkfifo(vob.c_str(), 0600), 0);
    r = Kestrova(dir, "iso dvd -o dvd.iso");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("dvd/VIDEO_TS/VTS_01_1.VOB: is a FIFO, not a regular file"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("dvd.iso")));
}

TEST(UnusualInputs, AnEarlierTitleSetWhoseIfoIsAFifoIsNamed)
{
    TempDir dir;
    fs::create_directories(dir.File("dvd/VIDEO_TS"));
    const std::string ifo = dir.File("dvd/VIDEO_TS/VTS_01_0.IFO");
    ASSERT_EQ(::mkfifo(ifo.c_str(), 0600), 0);
    auto r = Kestrova(dir,
                      "slideshow " + Quote(TwoPhotoProject(dir, DataDir() + "/sample/sunset.jpg", 1)) +
                          " --out dvd --resolution low --footage 2 --yes");
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("dvd/VIDEO_TS/VTS_01_0.IFO: is a FIFO, not a regular file"), std::string::npos) << r.err;
}

TEST(UnusualInputs, DevicesAndOversizedFilesAreRefusedWithoutBeingRead)
{
    TempDir dir;
#ifdef __SANITIZE_ADDRESS__
    // The address sanitizer reserves terabytes of address space up front, so under it the
    // cap is its own limit on resident memory: 1 GB.
    const std::string cap = "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}hard_rss_limit_mb=1000\" ";
#else
    // About 1 GB of address space: reading /dev/zero into memory would run out of it.
    const std::string cap = "ulimit -v 1000000; ";
#endif
    auto r = Kestrova(dir, "project info /dev/zero", cap);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("/dev/zero: is a device, not a regular file"), std::string::npos) << r.err;
    r = Kestrova(dir, "audio encode /dev/zero out.mp2", cap);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("/dev/zero: is a device, not a regular file"), std::string::npos) << r.err;
    r = Kestrova(dir, "audio compare " + Quote(DataDir() + "/sample/narration.wav") + " /dev/zero", cap);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find("/dev/zero: is a device, not a regular file"), std::string::npos) << r.err;

    // Sparse files larger than what is read whole: the limit is named.
    const std::string project = dir.File("big.osh");
    WriteText(project, "[General]\nID=OrvoPhotoShow\n");
    fs::resize_file(project, (uint64_t(16) << 20) + 1);
    r = Kestrova(dir, "project info " + Quote(project), cap);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(project + ": is too large (16777217 bytes; at most 16 MB)"), std::string::npos) << r.err;
    const std::string wave = dir.File("big.wav");
    WriteText(wave, "RIFF");
    fs::resize_file(wave, uint64_t(5) << 30);
    r = Kestrova(dir, "audio encode " + Quote(wave) + " out.mp2", cap);
    EXPECT_EQ(r.exitCode, 1) << r.err;
    EXPECT_NE(r.err.find(wave + ": is too large (5368709120 bytes; at most 4 GB)"), std::string::npos) << r.err;
}

TEST(UnusualInputs, MediaInfoSaysWhatIsWrongWithTheFile)
{
    TempDir dir;
    WriteText(dir.File("junk.jpg"), "\xff\xd8\xff\xe0 not really a picture");
    // A PNG whose header claims 60000 x 60000 pixels.
    const std::vector<uint8_t>
        bomb = {0x89, 'P',  'N',  'G', '\r', '\n', 0x1a, '\n',  // signature
                0,    0,    0,    13,  'I',  'H',  'D',  'R',  0,    0,    0xea, 0x60, 0,
                0,    0xea, 0x60, 8,   2,    0,    0,    0,    0x0f, 0xb0, 0xe2, 0x15, 0,
                0,    0,    0,    'I', 'D',  'A',  'T',  0x35, 0xaf, 0x06, 0x1e,  // no picture data at all
                0,    0,    0,    0,   'I',  'E',  'N',  'D',  0xae, 0x42, 0x60, 0x82};
    WriteBytes(dir.File("bomb.png"), bomb);
    fs::create_directory(dir.File("folder.mpg"));
    const struct {
        std::string file;
        std::string says;
    } cases[] = {
        {"missing.mpg", "missing.mpg: no such file"},
        {"folder.mpg", "folder.mpg: is a folder, not a file"},
        {"/dev/zero", "/dev/zero: is a device, not a regular file"},
        {"junk.jpg", "junk.jpg: damaged ("},
        {"bomb.png", "bomb.png: too large (60000 x 60000 pixels; at most 100 megapixels are decoded)"},
    };
    for (const auto& c : cases) {
        auto r = Kestrova(dir, "media info " + Quote(c.file));
        EXPECT_EQ(r.exitCode, 1) << c.file;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Unable to open audio stream."), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
}

TEST(UnusualInputs, UnknownOptionsAndMissingValuesAreRefusedByName)
{
    TempDir dir;
    const std::string project = TwoPhotoProject(dir, DataDir() + "/sample/sunset.jpg", 1);
    auto r = Kestrova(dir, "project info --bogus " + Quote(project));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrova: unknown option --bogus (see kestrova project --help)\n");
    EXPECT_TRUE(r.out.empty()) << r.out;

    r = Kestrova(dir, "slideshow " + Quote(project) + " --is0 x.iso");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrova: unknown option --is0 (see kestrova slideshow --help)\n");

    r = Kestrova(dir, "slideshow " + Quote(project) + " --out --yes");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "kestrova: option --out needs a value (see kestrova slideshow --help)\n");
    EXPECT_FALSE(fs::exists(dir.File("--yes")));
    EXPECT_FALSE(fs::exists(dir.File("TempDVD")));

    // Every option a command's help names is accepted.
    r = Kestrova(dir,
                 "project create q.osh " + Quote(DataDir() + "/sample/sunset.jpg") +
                     " --show 3 --transition 1 --effect None --motion None --force --lang English");
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

// Runs the DVD job of a one-minute show, sends `signals` once the first packs are in
// the VOB file, and returns the exit status and how many seconds the program took
// after the last signal.
struct SInterrupted {
    int exitCode = -1;
    double seconds = 0;
    std::string err;
};

SInterrupted InterruptJob(const TempDir& dir, const std::vector<std::string>& signals)
{
    const std::string project = TwoPhotoProject(dir, DataDir() + "/sample/sunset.jpg", 60);
    // The VOB grows in the new version of the folder, made beside it.
    const std::string vob = dir.File("dvd/VIDEO_TS/VTS_01_1.VOB");
    std::string kills;
    for (const std::string& s : signals) kills += "kill -" + s + " $pid; ";
    auto run = Run("cd " + Quote(dir.Path().string()) + " && XDG_STATE_HOME=state XDG_CONFIG_HOME=config " +
                   Quote(CliPath()) + " slideshow " + Quote(project) +
                   " --out dvd --resolution low 2>err.txt & pid=$!; for i in $(seq 1 1200); do for f in " + Quote(vob) +
                   " " + Quote(dir.Path().string()) +
                   "/dvd/.VIDEO_TS.part-*/VTS_01_1.VOB; do [ -s \"$f\" ] && break 2; done; sleep 0.05; done; " + kills +
                   "start=$(date +%s%N); wait $pid; rc=$?; echo rc=$rc ms=$(( ($(date +%s%N) - start) / 1000000 ))");
    SInterrupted result;
    const size_t rc = run.out.find("rc="), ms = run.out.find("ms=");
    if (rc != std::string::npos && ms != std::string::npos) {
        result.exitCode = std::stoi(run.out.substr(rc + 3));
        result.seconds = std::stod(run.out.substr(ms + 3)) / 1000.0;
    }
    result.err = ReadText(dir.File("err.txt"));
    return result;
}

TEST(UnusualInputs, TermCancelsTheJobLikeCtrlCAndKeepsAPlayableFolder)
{
    TempDir dir;
    const SInterrupted r = InterruptJob(dir, {"TERM"});
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_NE(r.err.find("Cancelling"), std::string::npos) << r.err;
    EXPECT_GT(SizeOf(dir.File("dvd/VIDEO_TS/VTS_01_1.VOB")), 0u);
    EXPECT_GT(SizeOf(dir.File("dvd/VIDEO_TS/VTS_01_0.IFO")), 0u);
    EXPECT_GT(SizeOf(dir.File("dvd/VIDEO_TS/VIDEO_TS.IFO")), 0u);
}

TEST(UnusualInputs, ASecondSignalStopsTheJobSoonLeavingNoHalfWrittenFile)
{
    TempDir dir;
    const SInterrupted r = InterruptJob(dir, {"HUP", "TERM"});
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_LT(r.seconds, 20.0);
    EXPECT_NE(r.err.find("kestrova: stopped"), std::string::npos) << r.err;
    EXPECT_EQ(FilesUnder(dir.File("dvd")), std::vector<std::string>{});
}

}  // namespace
