// `kestrova capture`: DV from a camcorder straight to DVD. Each run captures one footage
// into DIR/VIDEO_TS as title set N (--footage N, 1 to 49), and VIDEO_TS.IFO is
// rewritten so that all footages play in order. The device is an IEEE 1394 camcorder
// (--device GUID, or the first one) or a DV file standing in for one (--device
// FILE.dv), read at the tape's pace unless --fast. Ctrl-C ends the capture early and
// keeps what was captured as a playable title set.
#include "cli/Commands.h"

#include "app/DvCaptureJob.h"
#include "cli/JobTerminalUi.h"
#include "cli/TerminalUi.h"
#include "platform/Folders.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

namespace fs = std::filesystem;

bool ParseSeconds(const std::string& text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end != text.c_str() && *end == '\0' && value == value;
}

bool ParseInteger(const std::string& text, int& value)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::atoi(text.c_str());
    return true;
}

int ListDevices()
{
    std::string why;
    const auto devices = CDvCaptureJob::ListDevices(why);
    if (devices.empty()) {
        std::printf("no device (%s)\n", why.c_str());
        return 0;
    }
    for (const std::string& line : devices) std::printf("%s\n", line.c_str());
    return 0;
}

// The DVD settings of the capture; false with `error` naming the option.
bool ReadCaptureOptions(const CArgs& args, CDvCaptureJob& job, std::string& error)
{
    if (args.Has("--footage") && !ParseInteger(args.Get("--footage"), job.footage)) {
        error = "--footage must be a number from 1 to " + std::to_string(CDvCaptureJob::maxFootage) + ", not \"" +
            args.Get("--footage") + "\"";
        return false;
    }
    if (args.Has("--length") && !ParseSeconds(args.Get("--length"), job.lengthSeconds)) {
        error = "--length must be a number of seconds, not \"" + args.Get("--length") + "\"";
        return false;
    }
    const std::string resolution = args.Get("--resolution", "high");
    job.resolution = resolution == "high" ? 0 : resolution == "medium" ? 1 : resolution == "low" ? 2 : -1;
    if (job.resolution < 0) {
        error = "--resolution must be high, medium or low, not \"" + resolution + "\"";
        return false;
    }
    const std::string aspect = args.Get("--aspect", "4:3");
    if (aspect != "4:3" && aspect != "16:9") {
        error = "--aspect must be 4:3 or 16:9, not \"" + aspect + "\"";
        return false;
    }
    job.wide = aspect == "16:9";
    if (args.Has("--pal") && args.Has("--ntsc")) {
        error = "choose one of --ntsc and --pal";
        return false;
    }
    // The standard follows the DVD the footage joins, else the tape, unless one is
    // asked for.
    const int folderStandard = job.footage > 1 ? CDvCaptureJob::FolderStandard(job.dvdFolder) : -1;
    const bool followPal = folderStandard >= 0 ? folderStandard == 1 : job.SourceIsPal();
    job.pal = args.Has("--pal") || (!args.Has("--ntsc") && followPal);
    job.compressAudio = args.Has("--lpcm") ? 0 : 1;
    job.playAndCapture = args.Has("--play");
    return true;
}

// Opens the device named by --device with the stand-in's options.
bool OpenCaptureDevice(const CArgs& args, CDvCaptureJob& job)
{
    CDvCaptureJob::SStandIn standIn;
    standIn.fast = args.Has("--fast");
    standIn.transport = args.Get("--transport", "vcr");
    standIn.transportLog = args.Get("--transport-log");
    if (args.Has("--pull-after") && !ParseSeconds(args.Get("--pull-after"), standIn.pullAfterSeconds)) {
        Fail("--pull-after must be a number of seconds, not \"" + args.Get("--pull-after") + "\"");
        return false;
    }
    return job.OpenNamedDevice(args.Get("--device"), standIn);  // a refusal has been shown
}

// Prints the capture's progress every two seconds until `done`.
class CProgressLines {
public:
    explicit CProgressLines(const CDvCaptureJob& job) : worker([this, &job] { Loop(job); }) {}
    ~CProgressLines()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            done = true;
        }
        wake.notify_all();
        worker.join();
    }

private:
    void Loop(const CDvCaptureJob& job)
    {
        std::unique_lock<std::mutex> guard(lock);
        while (!wake.wait_for(guard, std::chrono::seconds(2), [this] { return done; })) {
            const CDvCaptureJob::SProgress now = job.Progress();
            std::fprintf(stderr, "\ncapture: %.1f s captured, %lld dropped, encoder %.1f s behind (%.1f s of room)\n",
                         now.captured, static_cast<long long>(now.dropped), now.waiting, now.room);
        }
    }

    std::mutex lock;
    std::condition_variable wake;
    bool done = false;
    std::thread worker;
};

int RunCapture(const CArgs& args)
{
    if (args.Has("--list")) return ListDevices();
    const fs::path videoTs = OutputVideoTs(args);
    const std::string dvdRoot = videoTs.parent_path().string();

    CTerminalUi terminal(JobAnswers(args));
    CJobTerminalUi ui(terminal, dvdRoot);
    CUiScope scope(ui);

    CDvCaptureJob job(ui);
    job.dvdFolder = videoTs.string() + "/";
    if (!OpenCaptureDevice(args, job)) return 1;
    std::string error;
    if (!ReadCaptureOptions(args, job, error)) return Fail(error);
    const double seconds = CDvCaptureJob::ClampSeconds(job.lengthSeconds);
    if (seconds != job.lengthSeconds)
        std::fprintf(stderr, "kestrova: warning: --length %g is out of range: capturing %g s\n", job.lengthSeconds,
                     seconds);
    const int footage = job.footage;
    std::fprintf(stderr, "footage %d: DV Live Capture, up to %g s\n", footage, seconds);

    const auto started = std::chrono::steady_clock::now();
    CDvCaptureJob::Result result;
    {
        CProgressLines progress(job);
        result = job.Capture();
    }
    const double work = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    switch (result) {
    case CDvCaptureJob::Result::Done:
    case CDvCaptureJob::Result::Stopped:
        std::printf("%s: footage %d (title set %d), %.2f s of video, %lld frames dropped%s\n", dvdRoot.c_str(), footage,
                    footage, job.capturedSeconds, static_cast<long long>(job.framesDropped),
                    result == CDvCaptureJob::Result::Stopped ? " (ended early: what was captured was kept)" : "");
        std::printf("Captured in %.1f s, %.2f times real time.\n", work, work > 0 ? job.capturedSeconds / work : 0.0);
        std::printf("Next footage: --footage %d\n", job.footage);
        return result == CDvCaptureJob::Result::Done ? 0 : 130;
    case CDvCaptureJob::Result::Declined:
        return Fail("kept the DVD already in " + dvdRoot + " (give --yes to replace it)");
    case CDvCaptureJob::Result::Failed:
        return Fail(job.Error().empty() ? std::string("the footage could not be made") : job.Error());
    default:
        return 1;  // the job has shown why
    }
}

CCommandRegistrar registrar(CCommand{
    "capture",
    "capture DV from a camcorder (or a DV file) straight to a DVD title set",
    "Usage: kestrova capture --list\n"
    "       kestrova capture [--device GUID|FILE.dv] --out DIR [options]\n\n"
    "Captures one footage into DIR/VIDEO_TS as title set N; all footages play in order.\n"
    "--list names the IEEE 1394 devices (\"no device\" when there is none).\n\n"
    "  --device D        an IEEE 1394 device's GUID (default: the first), or a DV file\n"
    "                    (raw DV, or DV in AVI or MOV) standing in for the tape\n"
    "  --out DIR         the DVD folder (DIR/VIDEO_TS); default ~/TempDVD\n"
    "  --length S        seconds to capture, 1 to 7200 (default 3780)\n"
    "  --play            Play and Capture: start the tape first\n"
    "  --footage N       the footage (title set) to capture, 1 to 49 (default 1)\n"
    "  --ntsc, --pal     television standard (default: the tape's)\n"
    "  --resolution R    high (720 wide), medium (352 x full height) or low (352 x half)\n"
    "  --aspect A        4:3 (default) or 16:9\n"
    "  --lpcm            DVD linear PCM sound instead of MPEG-1 Layer II\n"
    "  --yes             replace title sets already in the folder without asking\n"
    "For a DV file: --fast reads it as fast as it can be encoded instead of at the\n"
    "tape's pace; --transport vcr|camera|no-tape says how the stand-in tape answers\n"
    "(default vcr); --transport-log FILE writes its queries and commands;\n"
    "--pull-after S ends the capture after S seconds as a pulled device would.\n",
    {"--device", "--out", "--length", "--footage", "--resolution", "--aspect", "--transport", "--transport-log",
     "--pull-after"},
    RunCapture});

}  // namespace
