// The burn job against the virtual recorder: what it writes, what it asks and tells,
// and how it stops when the drive or the disc says no.
#include "app/BurnJob.h"
#include "app/BurnSession.h"
#include "app/IsoJob.h"
#include "base/Texts.h"
#include "diag/Debugger.h"
#include "recorder/VirtualRecorder.h"

#include "discimage/DiscTestUtil.h"
#include "support/ScriptedUi.h"
#include "support/SmallDvd.h"
#include "support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <algorithm>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

constexpr size_t S = 2048;

class BurnJobTest : public ::testing::Test {
protected:
    // An image file of `sectors` sectors, sector i filled with the byte i + 1; `sparse`
    // leaves it as a hole (zeros) instead.
    std::string MakeImage(int64_t sectors, bool sparse = false)
    {
        const std::string path = dir.File("source.iso");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        EXPECT_GE(fd, 0);
        if (sparse) {
            EXPECT_EQ(::ftruncate(fd, off_t(sectors) * off_t(S)), 0);
        } else {
            std::vector<uint8_t> sector(S);
            for (int64_t i = 0; i < sectors; ++i) {
                std::fill(sector.begin(), sector.end(), uint8_t(i + 1));
                EXPECT_EQ(::write(fd, sector.data(), S), ssize_t(S));
            }
        }
        ::close(fd);
        return path;
    }
    // Opens the virtual recorder "disc.img:<target>" and a job over it.
    void Open(const std::string& target)
    {
        std::string error;
        ASSERT_TRUE(session.Open(dir.File("disc.img") + (target.empty() ? "" : ":" + target), error)) << error;
        job = std::make_unique<CBurnJob>(session.Burner(), ui);
        job->SetSleeper([this](int ms) { slept += ms; });
    }
    CVirtualRecorder& Recorder() { return *session.Virtual(); }
    bool Logged(const std::string& line)
    {
        const auto& log = Recorder().Log();
        return std::find(log.begin(), log.end(), line) != log.end();
    }
    std::vector<std::string> Boxes() const
    {
        std::vector<std::string> texts;
        for (const auto& box : ui.boxes) texts.push_back(box.text);
        return texts;
    }
    int CountBoxes(const std::string& text) const
    {
        const auto texts = Boxes();
        return int(std::count(texts.begin(), texts.end(), text));
    }

    testsupport::TempDir dir;
    CScriptedUi ui;
    CBurnSession session{ui};
    std::unique_ptr<CBurnJob> job;
    int64_t slept = 0;
};

}  // namespace

TEST_F(BurnJobTest, HundredSectorsGoOutAsSixWholeBlocksAndOnePaddedBlock)
{
    Open("DVD-R");
    ASSERT_TRUE(job->OpenSource(MakeImage(100)));
    EXPECT_EQ(job->SourceText(), "DVD Disc image file: " + dir.File("source.iso"));
    EXPECT_EQ(job->SizeText(), "200 KB, 0.0% of a 4.7G DVD Disc");
    ASSERT_TRUE(job->Burn()) << job->Error();
    EXPECT_TRUE(Logged("RESERVE TRACK 112 blocks -> good"));
    EXPECT_TRUE(Logged("WRITE(10) blocks 0..111 in 7 commands -> good"));
    const auto disc = testsupport::ReadBytes(dir.File("disc.img"));
    ASSERT_EQ(disc.size(), 112 * S);
    EXPECT_EQ(disc[99 * S], 100);
    EXPECT_TRUE(std::all_of(disc.begin() + 100 * S, disc.end(), [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(Recorder().DiscStatus(), 2);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Done!"});
}

TEST_F(BurnJobTest, ProgressShowsTheWritingRateAndTheDriveBufferFill)
{
    Open("DVD+R");
    job->SetRateInterval(std::chrono::milliseconds(0));
    ASSERT_TRUE(job->OpenSource(MakeImage(64)));
    ASSERT_TRUE(job->Burn()) << job->Error();
    const std::regex rate("Writing DVD\\.\\.\\. [0-9]+\\.[0-9] MB/s, drive buffer [0-9]+%");
    int rates = 0;
    for (const auto& event : ui.progress)
        if (event.what == "text" && std::regex_search(event.value, rate)) ++rates;
    EXPECT_GE(rates, 3);  // after each of the first three of four blocks
}

TEST_F(BurnJobTest, ThreeCopiesAskForAnotherDiscTwiceAndEndWithDone)
{
    Open("DVD+R");
    ASSERT_TRUE(job->OpenSource(MakeImage(40)));
    EXPECT_EQ(job->SetCopies(0), 1);
    EXPECT_EQ(job->SetCopies(100), 99);
    job->SetCopies(3);
    ASSERT_TRUE(job->Burn()) << job->Error();
    EXPECT_EQ(
        Boxes(),
        (std::vector<std::string>{"Please insert another blank disc.", "Please insert another blank disc.", "Done!"}));
    EXPECT_EQ(job->DiscsWritten(), 3);
    EXPECT_EQ(Recorder().DiscsLoaded(), 3);
    const auto& log = Recorder().Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "START STOP UNIT eject -> good"), 3);
    EXPECT_EQ(std::count(log.begin(), log.end(), "CLOSE TRACK/SESSION function 5 track 0 -> good"), 3);
}

TEST_F(BurnJobTest, EightTimesSpeedSends11080AndMaximumSendsAllOnes)
{
    Open("DVD-RW");
    ASSERT_TRUE(job->OpenSource(MakeImage(16)));
    job->speedIndex = 5;
    EXPECT_STREQ(CBurnJob::kSpeedTexts[5], "8x (11080KB/s)");
    ASSERT_TRUE(job->Burn()) << job->Error();
    EXPECT_TRUE(Logged("SET CD SPEED 11080 kB/s -> good"));
    EXPECT_TRUE(Logged("SET STREAMING end 16 write 11080 kB/s -> good"));
    job->speedIndex = 0;
    ASSERT_TRUE(job->Burn()) << job->Error();
    EXPECT_TRUE(Logged("SET CD SPEED 65535 kB/s -> good"));
    EXPECT_TRUE(Logged("SET STREAMING end 16 write 4294967295 kB/s -> good"));
}

TEST_F(BurnJobTest, AWriteErrorStopsTheBurnLeavesTheDiscOpenEjectsAndReportsFailure)
{
    Open("DVD-R:write-error=5000");
    ASSERT_TRUE(job->OpenSource(MakeImage(6000, true)));
    EXPECT_FALSE(job->Burn());
    EXPECT_EQ(job->Error().rfind("virtual:" + dir.File("disc.img") + ": writing stopped at block 4992", 0), 0u)
        << job->Error();
    EXPECT_NE(Recorder().DiscStatus(), 2);
    const auto& log = Recorder().Log();
    const auto failed = std::find(log.begin(), log.end(), "WRITE(10) block 4992 count 16 -> 3/0C/00");
    ASSERT_NE(failed, log.end());
    EXPECT_EQ(std::vector<std::string>(failed + 1, log.end()),
              (std::vector<std::string>{"TEST UNIT READY -> good", "TEST UNIT READY -> good",
                                        "START STOP UNIT eject -> good"}));
    EXPECT_EQ(CountBoxes("Done!"), 0);
    EXPECT_EQ(CountBoxes("KEY,ASC,ASCQ,ASCLEN=3,c,0,a\n"), 1);
    EXPECT_EQ(ui.boxes.back().icon, MsgIcon::Error);
}

TEST_F(BurnJobTest, AnImageAsLargeAsTheDiscDisablesBurning)
{
    Open("DVD+R");
    EXPECT_FALSE(job->OpenSource(MakeImage(CBurnJob::kDiscSectors, true)));
    EXPECT_FALSE(job->CanBurn());
    EXPECT_EQ(Boxes(), std::vector<std::string>{Text(6205)});
    EXPECT_EQ(ui.boxes[0].caption, Text(6204));
    EXPECT_FALSE(job->Burn());
    EXPECT_EQ(Recorder().Log().size(), 2u);  // INQUIRY and MODE SENSE of the listing only
    EXPECT_TRUE(job->OpenSource(MakeImage(CBurnJob::kDiscSectors - 1, true)));
    EXPECT_TRUE(job->CanBurn());
}

TEST_F(BurnJobTest, AWrittenDvdMinusRIsRefusedWith6207AndEjected)
{
    Open("DVD-R:used");
    ASSERT_TRUE(job->OpenSource(MakeImage(32)));
    EXPECT_FALSE(job->Burn());
    EXPECT_EQ(CountBoxes(Text(6207)), 1);
    EXPECT_EQ(CountBoxes("Done!"), 0);
    EXPECT_EQ(Recorder().Log().back(), "START STOP UNIT eject -> good");
    EXPECT_EQ(Recorder().SectorsWritten(), 0);
}

TEST_F(BurnJobTest, TestWriteIsRefusedOnDvdPlusRAndLeavesDvdMinusRBlank)
{
    Open("DVD+R");
    ASSERT_TRUE(job->OpenSource(MakeImage(32)));
    ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_FALSE(job->TestWrite());
    EXPECT_EQ(ui.boxes[0].caption, Text(6203));
    EXPECT_NE(Boxes()[1].find("do not support test writing"), std::string::npos);
    EXPECT_EQ(Recorder().SectorsWritten(), 0);
    EXPECT_EQ(Recorder().DiscStatus(), 0);

    Open("DVD-R");
    ASSERT_TRUE(job->OpenSource(MakeImage(32)));
    ui.boxes.clear();
    ui.QueueAnswer(MsgAnswer::Ok);
    EXPECT_TRUE(job->TestWrite()) << job->Error();
    EXPECT_TRUE(Logged("WRITE(10) blocks 0..31 in 2 commands -> good"));
    EXPECT_EQ(Recorder().DiscStatus(), 0);
    EXPECT_FALSE(fs::exists(dir.File("disc.img")));
    EXPECT_EQ(ui.boxes.back().text, "Done!");
}

TEST_F(BurnJobTest, AFolderBurnsTheSameImageTheIsoJobWrites)
{
    const std::string videoTs = dir.File("dvd/VIDEO_TS");
    fs::create_directories(videoTs);
    testsupport::WriteSmallDvdIfoFiles(videoTs, 7);
    disctest::MakeFile(videoTs + "/VTS_01_1.VOB", 7 * S);
    const CDiscTime time = UDF_Disc::LocalNow();
    CIsoJob iso("", ui);
    iso.label = "Holiday";
    iso.SetCreationTime(time);
    ASSERT_TRUE(iso.ChooseFolder(dir.File("dvd")));
    ASSERT_EQ(iso.CreateImage(dir.File("ref.iso")), CIsoJob::Result::Written);

    Open("DVD+RW");
    job->SetCreationTime(time);
    job->label = "Holiday";
    job->verify = true;
    ASSERT_TRUE(job->OpenSource(dir.File("dvd")));
    EXPECT_EQ(job->SourceText(), "DVD Video files at " + videoTs);
    ASSERT_TRUE(job->Burn()) << job->Error();
    auto disc = testsupport::ReadBytes(dir.File("disc.img"));
    const auto reference = testsupport::ReadBytes(dir.File("ref.iso"));
    ASSERT_EQ(disc.size(), (reference.size() / S + 15) / 16 * 16 * S);
    EXPECT_TRUE(std::all_of(disc.begin() + long(reference.size()), disc.end(), [](uint8_t b) { return b == 0; }));
    disc.resize(reference.size());
    EXPECT_TRUE(disc == reference);
    EXPECT_EQ(Recorder().Formats(), 1);

    // A folder that lost a file since it was chosen is not burned.
    fs::remove(videoTs + "/VTS_01_1.VOB");
    EXPECT_FALSE(job->Burn());
    EXPECT_NE(job->Error().find("VTS_01_1.VOB"), std::string::npos) << job->Error();
    EXPECT_EQ(Recorder().DiscsLoaded(), 1);
}

TEST_F(BurnJobTest, DvdPlusRwIsFormattedOnlyWhenUnformattedOrInterrupted)
{
    Open("DVD+RW:formatted");
    ASSERT_TRUE(job->OpenSource(MakeImage(32)));
    ASSERT_TRUE(job->Burn()) << job->Error();
    EXPECT_EQ(Recorder().Formats(), 0);
    Open("DVD+RW:interrupted");
    ASSERT_TRUE(job->OpenSource(MakeImage(32)));
    ASSERT_TRUE(job->Burn()) << job->Error();
    EXPECT_EQ(Recorder().Formats(), 1);
}

TEST_F(BurnJobTest, CloseCommandsAnsweredOperationInProgressAreSentAgain)
{
    Open("DVD+R:lingering=3");
    ASSERT_TRUE(job->OpenSource(MakeImage(32)));
    ASSERT_TRUE(job->Burn()) << job->Error();
    const auto& log = Recorder().Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), "CLOSE TRACK/SESSION function 1 track 1 -> 2/04/07"), 3);
    EXPECT_TRUE(Logged("CLOSE TRACK/SESSION function 1 track 1 -> good"));
    EXPECT_EQ(Recorder().DiscStatus(), 2);
}

TEST_F(BurnJobTest, VerifyNamesTheFirstSectorThatDiffers)
{
    Open("DVD-R:corrupt=21");
    job->verify = true;
    ASSERT_TRUE(job->OpenSource(MakeImage(40)));
    EXPECT_FALSE(job->Burn());
    EXPECT_NE(job->Error().find("sector 21 "), std::string::npos) << job->Error();
    EXPECT_EQ(CountBoxes("Done!"), 0);
}

TEST_F(BurnJobTest, AnEmptyTrayAsksForADiscAndIsNotEjected)
{
    Open("DVD-R:nodisc");
    ASSERT_TRUE(job->OpenSource(MakeImage(32)));
    EXPECT_FALSE(job->Burn());
    EXPECT_EQ(Boxes(), std::vector<std::string>{Text(6206)});
    EXPECT_FALSE(Logged("START STOP UNIT eject -> good"));
}

TEST_F(BurnJobTest, WithoutRecordersTheListSaysNoneWasFound)
{
    std::string error;
    ASSERT_TRUE(session.Open("", error, dir.Path().string()));
    CBurnJob none(session.Burner(), ui);
    EXPECT_EQ(none.RecorderLines(), std::vector<std::string>{"No DVD +-R/RW Drive Found!"});
    ASSERT_TRUE(none.OpenSource(MakeImage(16)));
    EXPECT_FALSE(none.CanBurn());
    EXPECT_FALSE(none.Burn());
    EXPECT_EQ(none.Error(), "No DVD +-R/RW Drive Found!");
}

TEST_F(BurnJobTest, SourcesThatAreNeitherFolderNorImageAreRefused)
{
    Open("DVD-R");
    EXPECT_FALSE(job->OpenSource(dir.File("missing.iso")));
    EXPECT_EQ(Boxes().back(), "Can not open disc image: " + dir.File("missing.iso"));
    fs::create_directories(dir.File("empty"));
    EXPECT_FALSE(job->OpenSource(dir.File("empty")));
    EXPECT_FALSE(job->OpenSource("/dev/null"));
    EXPECT_FALSE(job->CanBurn());
}

TEST_F(BurnJobTest, TheDiagnosticLogRecordsTheBurnOnceItStarts)
{
    CDebugger log(dir.File("state"));
    ASSERT_TRUE(log.enabled);
    CDebugger::SetActive(&log);
    Open("DVD+R");
    ASSERT_TRUE(job->OpenSource(MakeImage(16)));
    job->speedIndex = 5;
    const bool burned = job->Burn();
    CDebugger::SetActive(nullptr);
    ASSERT_TRUE(burned) << job->Error();
    EXPECT_NE(testsupport::ReadText(log.logPath).find("LastBuringJob=0,DVD+R,11080\n\n"), std::string::npos)
        << testsupport::ReadText(log.logPath);
}

TEST_F(BurnJobTest, StatusReportsRisingProgressTheDriveBufferAndEachCopysEnd)
{
    Open("DVD-R");
    job->SetRateInterval(std::chrono::milliseconds(0));
    std::vector<CBurnJob::SStatus> seen;
    job->SetStatusListener([&](const CBurnJob::SStatus& status) { seen.push_back(status); });
    ASSERT_TRUE(job->OpenSource(MakeImage(100)));
    job->SetCopies(2);
    ASSERT_TRUE(job->Burn()) << job->Error();
    ASSERT_FALSE(seen.empty());
    // Each copy starts at 0 %, rises, and ends with one report of 100 % not writing.
    for (int copy = 1; copy <= 2; ++copy) {
        std::vector<CBurnJob::SStatus> mine;
        for (const auto& status : seen)
            if (status.copy == copy) mine.push_back(status);
        ASSERT_GE(mine.size(), 3u) << "copy " << copy;
        EXPECT_TRUE(mine.front().writing);
        EXPECT_EQ(mine.front().percent, 0);
        EXPECT_EQ(mine.front().copies, 2);
        for (size_t i = 1; i + 1 < mine.size(); ++i) {
            EXPECT_TRUE(mine[i].writing);
            EXPECT_GE(mine[i].percent, mine[i - 1].percent);
            EXPECT_GE(mine[i].bufferPercent, 0) << "the virtual recorder tells its buffer";
        }
        EXPECT_FALSE(mine.back().writing);
        EXPECT_EQ(mine.back().percent, 100);
    }

    // A failed disc does not end at 100 %.
    Open("DVD-R:write-error=32");
    seen.clear();
    job->SetStatusListener([&](const CBurnJob::SStatus& status) { seen.push_back(status); });
    ASSERT_TRUE(job->OpenSource(MakeImage(100)));
    EXPECT_FALSE(job->Burn());
    ASSERT_FALSE(seen.empty());
    EXPECT_FALSE(seen.back().writing);
    EXPECT_LT(seen.back().percent, 100);
}

TEST_F(BurnJobTest, AFileOfADvdFolderStandsForItsFolderAndAnIsoNameForAnImage)
{
    EXPECT_TRUE(CBurnJob::IsDvdFile("/a/VIDEO_TS/VIDEO_TS.IFO"));
    EXPECT_TRUE(CBurnJob::IsDvdFile("vts_01_1.vob"));
    EXPECT_TRUE(CBurnJob::IsDvdFile("/a/VTS_02_0.Bup"));
    EXPECT_FALSE(CBurnJob::IsDvdFile("/a/movie.iso"));
    EXPECT_FALSE(CBurnJob::IsDvdFile("/a/movie.iso.vob")) << "a name with .iso is an image";
    EXPECT_FALSE(CBurnJob::IsDvdFile("/a/disc.img"));
    EXPECT_FALSE(CBurnJob::IsDvdFile("/a.ifo/x"));
    // In the file dialog only a name with .iso is an image; other files stand for their folder.
    disctest::MakeFile(dir.File("Movie.ISO"), S);
    disctest::MakeFile(dir.File("notes.txt"), S);
    EXPECT_EQ(CBurnJob::ChosenSource(dir.File("Movie.ISO")), dir.File("Movie.ISO"));
    EXPECT_EQ(CBurnJob::ChosenSource(dir.File("notes.txt")), dir.Path().string());
    EXPECT_EQ(CBurnJob::ChosenSource(dir.Path().string()), dir.Path().string());

    const std::string videoTs = dir.File("dvd/VIDEO_TS");
    fs::create_directories(videoTs);
    testsupport::WriteSmallDvdIfoFiles(videoTs, 7);
    disctest::MakeFile(videoTs + "/VTS_01_1.VOB", 7 * S);
    Open("DVD-R");
    ASSERT_TRUE(job->OpenSource(videoTs + "/VTS_01_1.VOB"));
    EXPECT_EQ(job->SourceKind(), CBurnJob::Source::Folder);
    EXPECT_EQ(job->SourceText(), "DVD Video files at " + videoTs);
    // A DVD file outside a DVD folder is refused as a folder, not burned as an image.
    disctest::MakeFile(dir.File("VIDEO_TS.VOB"), 16 * S);
    EXPECT_FALSE(job->OpenSource(dir.File("VIDEO_TS.VOB")));
    EXPECT_EQ(job->SourceKind(), CBurnJob::Source::None);
}
