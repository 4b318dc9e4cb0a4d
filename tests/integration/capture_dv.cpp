// Camcorder capture with DV files made by FFmpeg standing in for the tape and the fake
// transport standing in for the camcorder's: footages read back by lsdvd, libdvdnav and
// FFmpeg, the length and footage limits, the tape stopped however a capture ends, the
// transport's warnings, and the tape's pace.
#include "app/DvCaptureJob.h"
#include "media/DvCaptureSource.h"
#include "media/FakeTapeTransport.h"

#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <regex>

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

struct SDvShape {
    bool pal = false;
    bool wide = false;
    int audioRate = 48000;
    double seconds = 2;
};

// A DV file of `shape`: moving test pictures and a tone.
std::string MakeDv(const TempDir& dir, const std::string& name, const SDvShape& shape)
{
    const std::string path = dir.File(name);
    const std::string size = shape.pal ? "720x576" : "720x480";
    const std::string rate = shape.pal ? "25" : "30000/1001";
    auto r = testsupport::Run("ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=" + size + ":rate=" + rate +
                              " -f lavfi -i sine=frequency=440:sample_rate=" + std::to_string(shape.audioRate) +
                              " -t " + std::to_string(shape.seconds) + " -target " +
                              (shape.pal ? "pal-dv" : "ntsc-dv") + " -aspect " + (shape.wide ? "16:9" : "4:3") +
                              " -ar " + std::to_string(shape.audioRate) + " -ac 2 " + Quote(path));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

// Pictures in a DV file, as FFmpeg counts them.
int CountFrames(const std::string& path)
{
    auto r = testsupport::Run(
        "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 " +
        Quote(path));
    return std::atoi(r.out.c_str());
}

// Lengths in seconds of the titles lsdvd lists.
std::vector<double> LsdvdLengths(const std::string& dvd)
{
    auto r = testsupport::Run("lsdvd " + Quote(dvd) + " 2>/dev/null");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    std::vector<double> lengths;
    const std::regex title(R"(Title: \d\d, Length: (\d\d):(\d\d):(\d\d)\.(\d\d\d))");
    for (auto it = std::sregex_iterator(r.out.begin(), r.out.end(), title); it != std::sregex_iterator(); ++it) {
        const auto& m = *it;
        lengths.push_back(std::stoi(m[1]) * 3600 + std::stoi(m[2]) * 60 + std::stoi(m[3]) + std::stoi(m[4]) / 1000.0);
    }
    return lengths;
}

void ExpectDecodesBottomFieldFirst(const std::string& vob)
{
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -f null - 2>&1");
    EXPECT_EQ(decode.exitCode, 0);
    EXPECT_EQ(decode.out, "") << vob;
    auto fields = testsupport::Run(
        "ffprobe -v error -select_streams v:0 -read_intervals %+#4 -show_entries "
        "frame=interlaced_frame,top_field_first -of csv=p=0 " +
        Quote(vob));
    // Every picture: interlaced, bottom field first.
    const std::regex picture(R"((^|\n)(\d),(\d))");
    int pictures = 0;
    for (auto it = std::sregex_iterator(fields.out.begin(), fields.out.end(), picture); it != std::sregex_iterator();
         ++it, ++pictures)
        EXPECT_EQ((*it)[2].str() + (*it)[3].str(), "10") << fields.out;
    EXPECT_EQ(pictures, 4) << fields.out;
}

struct SCapture {
    CScriptedUi ui;
    CUiScope scope{ui};  // the encoder's progress window comes from here
    CDvCaptureJob job{ui};
    CFakeTapeTransport* transport = nullptr;  // owned by the job

    // Opens `dv` as the tape with a fake transport of `kind`.
    bool Open(const std::string& dv, bool fast = true,
              CFakeTapeTransport::EKind kind = CFakeTapeTransport::EKind::VcrWithTape, double pullAfter = -1)
    {
        auto source = std::make_unique<CDvCaptureSource>();
        if (!source->OpenFile(dv)) return false;
        source->fast = fast;
        source->pullAfterSeconds = pullAfter;
        job.pal = source->pal;
        auto fake = std::make_unique<CFakeTapeTransport>(kind);
        transport = fake.get();
        return job.OpenDevice(std::move(source), std::move(fake));
    }
};

// A DV tape of black pictures with one white picture, `flash`, and a 1 kHz beep of one
// picture's length starting with it, otherwise silent.
std::string MakeFlashAndBeep(const TempDir& dir, bool pal, int flash)
{
    const std::string path = dir.File(pal ? "sync_pal.dv" : "sync_ntsc.dv");
    const double fps = pal ? 25.0 : 30000.0 / 1001.0;
    const double at = flash / fps, end = (flash + 1) / fps;
    char audio[200];
    std::snprintf(audio, sizeof audio, "aevalsrc=if(between(t\\,%.5f\\,%.5f)\\,0.8*sin(2*PI*1000*t)\\,0):s=48000:d=3",
                  at, end);
    const std::string video = std::string("color=c=black:s=") + (pal ? "720x576:r=25" : "720x480:r=30000/1001") +
        ":d=3,drawbox=x=0:y=0:w=720:h=" + (pal ? "576" : "480") + ":color=white:t=fill:enable=eq(n\\," +
        std::to_string(flash) + ")";
    auto r = testsupport::Run("ffmpeg -nostdin -v error -y -f lavfi -i " + Quote(video) + " -f lavfi -i " +
                              Quote(audio) + " -target " + (pal ? "pal-dv" : "ntsc-dv") + " -ac 2 " + Quote(path));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

// Seconds from the start of the VOB's streams to the white picture and to the beep.
void FindFlashAndBeep(const std::string& vob, double& flash, double& beep)
{
    flash = beep = -1;
    auto start = testsupport::Run("ffprobe -v error -select_streams a:0 -show_entries stream=start_time -of csv=p=0 " +
                                  Quote(vob));
    const double audioStart = std::atof(start.out.c_str());
    auto stats = testsupport::Run("ffprobe -v error -f lavfi " + Quote("movie=" + vob + ",signalstats") +
                                  " -show_entries frame=pts_time:frame_tags=lavfi.signalstats.YAVG -of csv=p=0");
    const std::regex row(R"((^|\n)([0-9.]+),([0-9.]+))");
    for (auto it = std::sregex_iterator(stats.out.begin(), stats.out.end(), row); it != std::sregex_iterator(); ++it) {
        if (std::atof((*it)[3].str().c_str()) > 100) {
            flash = std::atof((*it)[2].str().c_str()) - audioStart;
            break;
        }
    }
    TempDir dir;
    const std::string pcm = dir.File("sound.raw");
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + Quote(vob) + " -map 0:a -f s16le -ac 1 -ar 48000 " +
                                   Quote(pcm));
    EXPECT_EQ(decode.exitCode, 0) << decode.err;
    const std::vector<uint8_t> bytes = ReadBytes(pcm);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const int16_t sample = int16_t(bytes[i] | (bytes[i + 1] << 8));
        if (std::abs(int(sample)) > 3000) {
            beep = double(i / 2) / 48000.0;
            break;
        }
    }
}

std::string VideoTs(const TempDir& dir) { return dir.File("dvd/VIDEO_TS") + "/"; }

}  // namespace

TEST(CaptureDv, NtscFootagesPlayInOrderAtTheirLengths)
{
    TempDir dir;
    const std::string plain = MakeDv(dir, "plain.dv", {false, false, 48000, 2});
    const std::string wide = MakeDv(dir, "wide.dv", {false, true, 48000, 1.5});
    SCapture capture;
    ASSERT_TRUE(capture.Open(plain));
    capture.job.dvdFolder = VideoTs(dir);
    capture.job.lengthSeconds = 60;
    for (int footage = 1; footage <= 3; ++footage) {
        if (footage > 1) {
            // The tape has ended: nothing more can be captured from it.
            EXPECT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Failed);
            EXPECT_NE(capture.job.Error().find("the tape has ended"), std::string::npos) << capture.job.Error();
            ASSERT_TRUE(capture.Open(footage == 3 ? wide : plain));
        }
        capture.job.wide = footage == 3;
        capture.ui.QueueAnswer(MsgAnswer::Yes);  // extend the DVD already there
        ASSERT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Done) << capture.job.Error();
        EXPECT_EQ(capture.job.footage, footage + 1);
        EXPECT_EQ(capture.job.framesDropped, 0);
    }
    const std::string dvd = dir.File("dvd");
    const std::vector<double> lengths = LsdvdLengths(dvd);
    ASSERT_EQ(lengths.size(), 3u);
    const double frame = 1001.0 / 30000.0;
    const double plainSeconds = CountFrames(plain) * frame, wideSeconds = CountFrames(wide) * frame;
    EXPECT_NEAR(lengths[0], plainSeconds, frame);
    EXPECT_NEAR(lengths[1], plainSeconds, frame);
    EXPECT_NEAR(lengths[2], wideSeconds, frame);

    auto play = testsupport::Run(ToolPath("dvdnav_play") + " " + Quote(dvd) + " 2>/dev/null");
    EXPECT_EQ(play.exitCode, 0) << play.out;
    const size_t one = play.out.find("VTS 1"), two = play.out.find("VTS 2"), three = play.out.find("VTS 3");
    ASSERT_NE(three, std::string::npos) << play.out;
    EXPECT_LT(one, two);
    EXPECT_LT(two, three);
    for (int n = 1; n <= 3; ++n) ExpectDecodesBottomFieldFirst(VideoTs(dir) + "VTS_0" + std::to_string(n) + "_1.VOB");
    // The transport was asked what it is and stopped after each completed capture.
    const auto log = capture.transport->Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "Stop");
}

TEST(CaptureDv, PalFootageWithThirtyTwoKilohertzSound)
{
    TempDir dir;
    const std::string dv = MakeDv(dir, "pal.dv", {true, true, 32000, 2});
    SCapture capture;
    ASSERT_TRUE(capture.Open(dv));
    capture.job.dvdFolder = VideoTs(dir);
    capture.job.wide = true;
    ASSERT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Done) << capture.job.Error();
    const std::vector<double> lengths = LsdvdLengths(dir.File("dvd"));
    ASSERT_EQ(lengths.size(), 1u);
    EXPECT_NEAR(lengths[0], CountFrames(dv) / 25.0, 1 / 25.0);
    ExpectDecodesBottomFieldFirst(VideoTs(dir) + "VTS_01_1.VOB");
    auto audio = testsupport::Run("ffprobe -v error -select_streams a:0 -show_entries stream=sample_rate -of csv=p=0 " +
                                  Quote(VideoTs(dir) + "VTS_01_1.VOB"));
    EXPECT_EQ(audio.out.substr(0, 5), "48000");

    // A PAL DVD takes no NTSC footage.
    capture.job.pal = false;
    EXPECT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Refused);
    EXPECT_NE(capture.job.Error().find("is PAL"), std::string::npos) << capture.job.Error();
    EXPECT_FALSE(fs::exists(VideoTs(dir) + "VTS_02_0.IFO"));
}

TEST(CaptureDv, FourChannelSoundIsMixedDownAndSilentTapesGetSilence)
{
    TempDir dir;
    const std::string four = dir.File("four.avi"), silent = dir.File("silent.mov");
    const std::string pictures = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25 ";
    ASSERT_EQ(testsupport::Run(pictures + "-f lavfi -i sine=sample_rate=32000 -t 1 -c:v dvvideo -pix_fmt yuv420p " +
                               "-c:a pcm_s16le -ac 4 -ar 32000 " + Quote(four))
                  .exitCode,
              0);
    ASSERT_EQ(testsupport::Run(pictures + "-t 1 -c:v dvvideo -pix_fmt yuv420p " + Quote(silent)).exitCode, 0);
    int footage = 1;
    for (const std::string& tape : {four, silent}) {
        SCapture capture;
        ASSERT_TRUE(capture.Open(tape)) << tape;
        capture.job.dvdFolder = VideoTs(dir);
        capture.job.footage = footage++;
        capture.ui.QueueAnswer(MsgAnswer::Yes);
        ASSERT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Done) << capture.job.Error();
    }
    const std::vector<double> lengths = LsdvdLengths(dir.File("dvd"));
    ASSERT_EQ(lengths.size(), 2u);
    for (int n = 1; n <= 2; ++n) {
        const std::string vob = VideoTs(dir) + "VTS_0" + std::to_string(n) + "_1.VOB";
        EXPECT_NEAR(lengths[size_t(n - 1)], 1.0, 1 / 25.0);
        auto audio = testsupport::Run(
            "ffprobe -v error -select_streams a:0 -show_entries stream=channels -of csv=p=0 " + Quote(vob));
        EXPECT_EQ(audio.out.substr(0, 1), "2") << vob;
        ExpectDecodesBottomFieldFirst(vob);
    }
}

TEST(CaptureDv, PicturesAndSoundStayInStep)
{
    for (bool pal : {false, true}) {
        TempDir dir;
        const double fps = pal ? 25.0 : 30000.0 / 1001.0;
        const int flashPicture = pal ? 38 : 45;
        SCapture capture;
        ASSERT_TRUE(capture.Open(MakeFlashAndBeep(dir, pal, flashPicture), !pal));  // PAL at the tape's pace
        capture.job.dvdFolder = VideoTs(dir);
        ASSERT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Done) << capture.job.Error();
        double flash = 0, beep = 0;
        FindFlashAndBeep(VideoTs(dir) + "VTS_01_1.VOB", flash, beep);
        ASSERT_GE(flash, 0);
        ASSERT_GE(beep, 0);
        EXPECT_NEAR(flash, flashPicture / fps, 1 / fps) << (pal ? "PAL" : "NTSC");
        EXPECT_NEAR(beep, flash, 1 / fps) << (pal ? "PAL" : "NTSC");
    }
}

TEST(CaptureDv, LengthsAreClampedAndFootageFiftyIsRefused)
{
    EXPECT_EQ(CDvCaptureJob::ClampSeconds(0), 1);
    EXPECT_EQ(CDvCaptureJob::ClampSeconds(-5), 1);
    EXPECT_EQ(CDvCaptureJob::ClampSeconds(10000), 7200);
    EXPECT_EQ(CDvCaptureJob::ClampSeconds(7200), 7200);
    EXPECT_EQ(CDvCaptureJob::ClampSeconds(std::nan("")), 1);

    TempDir dir;
    const std::string dv = MakeDv(dir, "tape.dv", {false, false, 48000, 3});
    SCapture capture;
    ASSERT_TRUE(capture.Open(dv));
    capture.job.dvdFolder = VideoTs(dir);
    capture.job.lengthSeconds = 0;  // becomes one second
    ASSERT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Done) << capture.job.Error();
    const std::vector<double> lengths = LsdvdLengths(dir.File("dvd"));
    ASSERT_EQ(lengths.size(), 1u);
    EXPECT_NEAR(lengths[0], 1.0, 1001.0 / 30000.0);

    // The next capture goes on along the same tape.
    capture.job.lengthSeconds = 1;
    capture.ui.QueueAnswer(MsgAnswer::Yes);
    ASSERT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Done) << capture.job.Error();
    ASSERT_EQ(LsdvdLengths(dir.File("dvd")).size(), 2u);
    EXPECT_NEAR(LsdvdLengths(dir.File("dvd"))[1], 1.0, 1001.0 / 30000.0);

    for (int footage : {50, 0}) {
        capture.job.footage = footage;
        EXPECT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Refused);
        EXPECT_NE(capture.job.Error().find("1 to 49"), std::string::npos) << capture.job.Error();
    }
    EXPECT_FALSE(fs::exists(VideoTs(dir) + "VTS_50_0.IFO"));
    // A footage after a gap could never be played.
    capture.job.footage = 4;
    EXPECT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Refused);
    EXPECT_EQ(LsdvdLengths(dir.File("dvd")).size(), 2u);
}

TEST(CaptureDv, TapeIsStoppedOnCancelAndPulledDevice)
{
    TempDir dir;
    const std::string dv = MakeDv(dir, "tape.dv", {false, false, 48000, 3});

    // Pulled after one second of tape: the footage holds that second and plays.
    SCapture pulled;
    ASSERT_TRUE(pulled.Open(dv, true, CFakeTapeTransport::EKind::VcrWithTape, 1.0));
    pulled.job.dvdFolder = VideoTs(dir);
    pulled.job.playAndCapture = true;
    ASSERT_EQ(pulled.job.Capture(), CDvCaptureJob::Result::Stopped) << pulled.job.Error();
    EXPECT_EQ(pulled.job.endCode, kCaptureDeviceLost);
    EXPECT_EQ(pulled.transport->Log(), (std::vector<std::string>{"type", "status", "Play", "Stop"}));
    std::vector<double> lengths = LsdvdLengths(dir.File("dvd"));
    ASSERT_EQ(lengths.size(), 1u);
    EXPECT_NEAR(lengths[0], 1.0, 2 * 1001.0 / 30000.0);

    // Cancelled in the encoder's progress window after a few pictures.
    SCapture cancelled;
    ASSERT_TRUE(cancelled.Open(dv));
    cancelled.job.dvdFolder = VideoTs(dir);
    cancelled.job.footage = 2;
    cancelled.ui.QueueAnswer(MsgAnswer::Yes);
    cancelled.ui.CancelAtPump(0, 3);  // the encoder's window, at the third GOP
    ASSERT_EQ(cancelled.job.Capture(), CDvCaptureJob::Result::Stopped) << cancelled.job.Error();
    EXPECT_EQ(cancelled.transport->Log().back(), "Stop");
    EXPECT_EQ(cancelled.transport->LastCommand(), kTransportStop);
    lengths = LsdvdLengths(dir.File("dvd"));
    ASSERT_EQ(lengths.size(), 2u);
    EXPECT_LT(lengths[1], 2.9);
    auto play = testsupport::Run(ToolPath("dvdnav_play") + " " + Quote(dir.File("dvd")) + " 2>/dev/null");
    EXPECT_EQ(play.exitCode, 0) << play.out;
}

TEST(CaptureDv, TransportWithoutVcrModeOrTapeIsDisabled)
{
    TempDir dir;
    const std::string dv = MakeDv(dir, "tape.dv", {false, false, 48000, 1});
    const struct {
        CFakeTapeTransport::EKind kind;
        const char* warning;
    } cases[] = {
        {CFakeTapeTransport::EKind::Camera, "The Camcorder is not in the VCR mode, VCR control disabled."},
        {CFakeTapeTransport::EKind::VcrWithoutTape, "No tape is found in the camcorder,VCR control disabled."},
    };
    for (const auto& c : cases) {
        SCapture capture;
        ASSERT_TRUE(capture.Open(dv, true, c.kind));
        ASSERT_EQ(capture.ui.boxes.size(), 1u);
        EXPECT_EQ(capture.ui.boxes[0].text, c.warning);
        EXPECT_EQ(capture.ui.boxes[0].caption, "Warning");
        EXPECT_FALSE(capture.job.TransportEnabled());
        EXPECT_FALSE(capture.job.SendTransport(kTransportPlay));
        capture.job.dvdFolder = VideoTs(dir);
        capture.job.playAndCapture = true;
        EXPECT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Refused);
        // Capture alone still works, without commands to the tape.
        capture.job.playAndCapture = false;
        capture.ui.QueueAnswer(MsgAnswer::Yes);
        ASSERT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Done) << capture.job.Error();
        for (const std::string& line : capture.transport->Log()) EXPECT_TRUE(line == "type" || line == "status");
    }
}

TEST(CaptureDv, TapePaceAndRefusedFiles)
{
    TempDir dir;
    const std::string dv = MakeDv(dir, "tape.dv", {true, false, 48000, 2});
    SCapture capture;
    ASSERT_TRUE(capture.Open(dv, false));
    capture.job.dvdFolder = VideoTs(dir);
    capture.job.lengthSeconds = 1.5;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(capture.job.Capture(), CDvCaptureJob::Result::Done) << capture.job.Error();
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 1.4);  // the tape plays at its own pace
    EXPECT_EQ(capture.job.framesDropped, 0);
    EXPECT_NEAR(LsdvdLengths(dir.File("dvd")).at(0), 1.5, 1 / 25.0);

    // A file that is not DV, a folder, a FIFO and a DV file cut short.
    const std::string wav = dir.File("tone.wav");
    ASSERT_EQ(testsupport::Run("ffmpeg -nostdin -v error -f lavfi -i sine -t 1 " + Quote(wav)).exitCode, 0);
    const std::string fifo = dir.File("pipe.dv");
    ASSERT_EQ(testsupport::Run("mkfifo " + Quote(fifo)).exitCode, 0);
    for (const std::string& bad : {wav, dir.File("dvd"), fifo, dir.File("missing.dv")}) {
        CDvCaptureSource source;
        EXPECT_FALSE(source.OpenFile(bad)) << bad;
        EXPECT_NE(source.Error().find(bad), std::string::npos) << source.Error();
    }
    const std::string cut = dir.File("cut.dv");
    auto bytes = ReadBytes(dv);
    bytes.resize(144000 * 20 + 5000);  // twenty PAL DV frames and a piece
    WriteBytes(cut, bytes);
    SCapture shortTape;
    ASSERT_TRUE(shortTape.Open(cut));
    shortTape.job.dvdFolder = dir.File("short/VIDEO_TS");
    ASSERT_EQ(shortTape.job.Capture(), CDvCaptureJob::Result::Done) << shortTape.job.Error();
    EXPECT_NEAR(LsdvdLengths(dir.File("short")).at(0), 20 / 25.0, 1 / 25.0);
}

TEST(CaptureDv, CommandLineCapturesAndListsDevices)
{
    TempDir dir;
    const std::string dv = MakeDv(dir, "tape.dv", {false, false, 48000, 1});
    const std::string log = dir.File("transport.txt");
    auto r = testsupport::Run(Quote(CliPath()) + " capture --device " + Quote(dv) + " --out " + Quote(dir.File("dvd")) +
                              " --length 10000 --fast --yes --transport-log " + Quote(log));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("capturing 7200 s"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("footage 1 (title set 1)"), std::string::npos) << r.out;
    EXPECT_EQ(ReadText(log), "type\nstatus\nStop\n");
    r = testsupport::Run(Quote(CliPath()) + " capture --device " + Quote(dv) + " --out " + Quote(dir.File("dvd")) +
                         " --footage 50 --fast --yes");
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("1 to 49"), std::string::npos) << r.err;
    r = testsupport::Run(Quote(CliPath()) + " capture --device " + Quote(dir.File("none.dv")) + " --out " +
                         Quote(dir.File("dvd")));
    EXPECT_NE(r.exitCode, 0);
    EXPECT_NE(r.err.find("Unable to initialize DV device"), std::string::npos) << r.err;
    // No FireWire card here: the list says so.
    r = testsupport::Run(Quote(CliPath()) + " capture --list");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_FALSE(r.out.empty());
}
