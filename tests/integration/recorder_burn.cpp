// The sample album made into a DVD and burned (`kestrova slideshow ... --burn`, then
// `kestrova burn`) on the virtual recorder in each of its four profiles: every burned
// image is the image `kestrova iso` writes of the same folder and label, followed only by
// the zero padding of the last 16-sector block, and isoinfo, udfinfo, 7z, lsdvd and
// libdvdread/libdvdnav read it. The command log shows each profile's sequence.
#include "discimage_readers.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <sstream>

namespace fs = std::filesystem;
using testsupport::Quote;

namespace {

// Pins the image's time stamps so that two runs give the same bytes.
const std::string kEpoch = "SOURCE_DATE_EPOCH=1700000000 ";
const std::string kLabel = "Sample Album";

std::string Cli() { return kEpoch + Quote(testsupport::CliPath()); }

class BurnSampleAlbum : public ::testing::Test {
protected:
    // The folder, the reference image and the job's burn are made once per build of the
    // program and shared by the test processes (ctest runs each test in its own): a
    // stamp with the program's size and time says which build made them, and a lock
    // keeps two processes from making them at once.
    static void SetUpTestSuite()
    {
        const std::string w = std::string(KESTROVA_TEST_BIN_DIR) + "/recorder_burn";
        fs::create_directories(w);
        work = w;
        dvd = w + "/dvd";
        const int lockFd = ::open((w + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(lockFd, 0);
        ::flock(lockFd, LOCK_EX);
        struct stat program {};
        ::stat(testsupport::CliPath().c_str(), &program);
        const std::string stamp = std::to_string(program.st_size) + " " + std::to_string(program.st_mtim.tv_sec) + "." +
            std::to_string(program.st_mtim.tv_nsec);
        if (!fs::exists(w + "/stamp") || testsupport::ReadText(w + "/stamp") != stamp) {
            fs::remove(w + "/stamp");
            fs::remove_all(dvd);
            // The job burns its new DVD on a virtual DVD+R right after making it.
            auto made = testsupport::Run(Cli() + " slideshow " + Quote(testsupport::DataDir() + "/sample/album.osh") +
                                         " --out " + Quote(dvd) + " --yes --burn --label " + Quote(kLabel) +
                                         " --virtual-recorder " + Quote(w + "/job.img:DVD+R"));
            if (made.exitCode != 0) setupError = made.out + made.err;
            auto iso = testsupport::Run(Cli() + " iso " + Quote(dvd) + " -o " + Quote(w + "/ref.iso") + " --label " +
                                        Quote(kLabel));
            if (iso.exitCode != 0) setupError += iso.out + iso.err;
            if (setupError.empty()) testsupport::WriteText(w + "/stamp", stamp);
        }
        ::close(lockFd);
    }

    void SetUp() override { ASSERT_TRUE(setupError.empty()) << setupError; }

    static std::string File(const std::string& name) { return work + "/" + name; }

    // The burned image is the reference image and zeros up to a whole 16-sector block.
    static void ExpectReferenceImage(const std::string& image)
    {
        auto burned = testsupport::ReadBytes(image);
        const auto reference = testsupport::ReadBytes(File("ref.iso"));
        ASSERT_GT(reference.size(), 0u);
        ASSERT_EQ(burned.size(), (reference.size() / 2048 + 15) / 16 * 16 * 2048) << image;
        EXPECT_TRUE(
            std::all_of(burned.begin() + long(reference.size()), burned.end(), [](uint8_t b) { return b == 0; }));
        burned.resize(reference.size());
        EXPECT_TRUE(burned == reference) << image << " differs from the image kestrova iso writes";
    }

    // Programs we did not write read the burned image.
    static void ExpectReadersAccept(const std::string& image)
    {
        const std::string videoTs = dvd + "/VIDEO_TS";
        auto d = testsupport::Run("isoinfo -d -i " + Quote(image));
        EXPECT_EQ(d.exitCode, 0);
        EXPECT_NE(d.out.find("Volume size is: " + std::to_string(fs::file_size(File("ref.iso")) / 2048) + "\n"),
                  std::string::npos)
            << d.out;
        discreaders::CheckXorrisoAndUdfinfo(image, videoTs, kLabel);
        // Each test process extracts into a folder of its own (ctest may run them at once).
        const std::string scratch = image + ".7z";
        fs::create_directories(scratch);
        discreaders::CheckSevenZip(image, videoTs, scratch);
        fs::remove_all(scratch);
        discreaders::CheckPlayback(image, videoTs, 1);
    }

    // The lines of the command log that start with each of `steps`, in this order.
    static void ExpectSequence(const std::string& log, const std::vector<std::string>& steps)
    {
        std::istringstream lines(log);
        std::string line;
        size_t next = 0;
        while (next < steps.size() && std::getline(lines, line))
            if (line.rfind(steps[next], 0) == 0) ++next;
        EXPECT_EQ(next, steps.size()) << "missing \"" << (next < steps.size() ? steps[next] : "") << "\" in\n" << log;
    }

    static inline std::string work, dvd, setupError;
};

struct ProfileCase {
    const char* profile;
    std::vector<std::string> steps;
    std::vector<std::string> absent;
};

class BurnEachProfile : public BurnSampleAlbum, public ::testing::WithParamInterface<ProfileCase> {};

}  // namespace

TEST_F(BurnSampleAlbum, TheSlideShowJobBurnsItsNewDvd)
{
    ExpectReferenceImage(File("job.img"));
    ExpectSequence(testsupport::ReadText(File("job.img.log")),
                   {"GET CONFIGURATION type 0", "WRITE(10) blocks 0..",
                    "CLOSE TRACK/SESSION function 5 track 0 -> good", "START STOP UNIT eject"});
}

TEST_P(BurnEachProfile, LeavesTheImageKestrovaIsoWritesInTheProfilesOwnSequence)
{
    const ProfileCase& c = GetParam();
    const std::string image = File(std::string("burn_") + c.profile + ".img");
    auto run = testsupport::Run(Cli() + " burn " + Quote(dvd) + " --label " + Quote(kLabel) + " --verify" +
                                " --virtual-recorder " + Quote(image + ":" + c.profile));
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("1 disc written and verified"), std::string::npos) << run.out;
    EXPECT_NE(run.err.find("Done!"), std::string::npos) << run.err;
    ExpectReferenceImage(image);
    const std::string log = testsupport::ReadText(image + ".log");
    ExpectSequence(log, c.steps);
    for (const std::string& command : c.absent) EXPECT_EQ(log.find(command), std::string::npos) << command;
    EXPECT_EQ(log.find("-> 5/"), std::string::npos) << log;  // no command refused
    ExpectReadersAccept(image);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, BurnEachProfile,
    ::testing::Values(ProfileCase{"DVD-R",
                                  {"GET CONFIGURATION type 2 feature 002F -> good", "READ DISC INFORMATION -> good",
                                   "READ TRACK INFORMATION -> good", "SET CD SPEED 65535", "SET STREAMING",
                                   "MODE SELECT(10) page 05 -> good", "RESERVE TRACK", "WRITE(10) blocks 0..",
                                   "SYNCHRONIZE CACHE immediate -> good", "SYNCHRONIZE CACHE -> good",
                                   "READ DISC INFORMATION -> good", "READ(10) blocks 0..", "START STOP UNIT eject"},
                                  {"FORMAT UNIT", "CLOSE TRACK"}},
                      ProfileCase{
                          "DVD-RW",
                          {"GET CONFIGURATION type 2 feature 002F -> good", "SET CD SPEED 65535",
                           "MODE SELECT(10) page 05 -> good", "RESERVE TRACK", "WRITE(10) blocks 0..",
                           "SYNCHRONIZE CACHE immediate -> good", "SYNCHRONIZE CACHE -> good", "START STOP UNIT eject"},
                          {"FORMAT UNIT", "CLOSE TRACK"}},
                      ProfileCase{"DVD+R",
                                  {"READ DISC INFORMATION -> good", "SET STREAMING", "MODE SELECT(10) page 05 -> good",
                                   "WRITE(10) blocks 0..", "SYNCHRONIZE CACHE immediate -> good",
                                   "CLOSE TRACK/SESSION function 1 track 1 -> good",
                                   "CLOSE TRACK/SESSION function 5 track 0 -> good", "START STOP UNIT eject"},
                                  {"RESERVE TRACK", "FORMAT UNIT", "SET CD SPEED"}},
                      ProfileCase{"DVD+RW",
                                  {"READ FORMAT CAPACITIES -> good", "FORMAT UNIT -> good", "SET STREAMING",
                                   "WRITE(10) blocks 0..", "SYNCHRONIZE CACHE immediate -> good",
                                   "CLOSE TRACK/SESSION function 2 track 0 -> good", "START STOP UNIT eject"},
                                  {"RESERVE TRACK", "SET CD SPEED"}}),
    [](const ::testing::TestParamInfo<ProfileCase>& info) {
        std::string name = info.param.profile;
        std::replace(name.begin(), name.end(), '-', 'M');
        std::replace(name.begin(), name.end(), '+', 'P');
        return name;
    });

TEST_F(BurnSampleAlbum, AnIsoImageIsBurnedAsItIs)
{
    auto run = testsupport::Run(Cli() + " burn " + Quote(File("ref.iso")) + " --speed 8x --virtual-recorder " +
                                Quote(File("from_iso.img:DVD-R")));
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectReferenceImage(File("from_iso.img"));
    ExpectSequence(testsupport::ReadText(File("from_iso.img.log")),
                   {"SET CD SPEED 11080 kB/s -> good", "SET STREAMING end 14"});
}

TEST_F(BurnSampleAlbum, AWriteErrorEndsTheBurnWithoutClosingTheDisc)
{
    auto run = testsupport::Run(Cli() + " burn " + Quote(dvd) + " --virtual-recorder " +
                                Quote(File("error.img:DVD-R:write-error=5000")));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("writing stopped at block 4992"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("Done!"), std::string::npos) << run.err;
    const std::string log = testsupport::ReadText(File("error.img.log"));
    const size_t failed = log.find("WRITE(10) block 4992 count 16 -> 3/0C/00\n");
    ASSERT_NE(failed, std::string::npos) << log;
    EXPECT_EQ(log.substr(failed).find("SYNCHRONIZE"), std::string::npos) << log;
    EXPECT_NE(log.substr(failed).find("START STOP UNIT eject -> good"), std::string::npos) << log;
}

TEST_F(BurnSampleAlbum, CarelessTargetsAreRefusedBeforeAnythingIsWritten)
{
    const auto before = testsupport::ReadBytes(File("ref.iso"));
    auto same =
        testsupport::Run(Cli() + " burn " + Quote(File("ref.iso")) + " --virtual-recorder " + Quote(File("ref.iso")));
    EXPECT_EQ(same.exitCode, 1);
    EXPECT_NE(same.err.find("which is being burned"), std::string::npos) << same.err;
    EXPECT_TRUE(testsupport::ReadBytes(File("ref.iso")) == before);

    fs::remove(File("fifo"));
    fs::remove(File("t.img"));
    fs::remove(File("x.img"));
    ASSERT_EQ(::mkfifo(File("fifo").c_str(), 0644), 0);
    auto fifo = testsupport::Run(Cli() + " burn " + Quote(dvd) + " --virtual-recorder " + Quote(File("fifo")));
    EXPECT_EQ(fifo.exitCode, 1);
    EXPECT_NE(fifo.err.find("not a regular file"), std::string::npos) << fifo.err;

    auto speed =
        testsupport::Run(Cli() + " burn " + Quote(dvd) + " --speed 3x --virtual-recorder " + Quote(File("x.img")));
    EXPECT_EQ(speed.exitCode, 1);
    EXPECT_NE(speed.err.find("--speed must be"), std::string::npos) << speed.err;

    auto test =
        testsupport::Run(Cli() + " burn " + Quote(dvd) + " --test --virtual-recorder " + Quote(File("t.img:DVD+R")));
    EXPECT_EQ(test.exitCode, 1);
    EXPECT_NE(test.err.find("do not support test writing"), std::string::npos) << test.err;
    EXPECT_FALSE(fs::exists(File("t.img")));
    EXPECT_FALSE(fs::exists(File("x.img")));
}

TEST_F(BurnSampleAlbum, WithoutARecorderNothingIsBurned)
{
    bool haveDrive = false;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/block", ec))
        if (entry.path().filename().string().rfind("sr", 0) == 0) haveDrive = true;
    if (haveDrive) GTEST_SKIP() << "this machine has an optical drive";
    auto drives = testsupport::Run(Cli() + " drives");
    EXPECT_EQ(drives.exitCode, 0);
    EXPECT_EQ(drives.out, "No DVD +-R/RW Drive Found!\n");
    auto burn = testsupport::Run(Cli() + " burn " + Quote(dvd));
    EXPECT_EQ(burn.exitCode, 1);
    EXPECT_NE(burn.err.find("No DVD +-R/RW Drive Found!"), std::string::npos) << burn.err;
}
