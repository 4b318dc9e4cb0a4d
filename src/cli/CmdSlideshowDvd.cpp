// `kestrova slideshow PROJECT.osh [--out DIR]`: the DVD creation job. Renders and
// encodes the slide show, multiplexes it into title set N of the DVD folder DIR
// (DIR/VIDEO_TS with an empty DIR/AUDIO_TS beside it; a DIR that is itself named
// VIDEO_TS is used as it is; default ~/TempDVD/VIDEO_TS) and writes the IFO/BUP files.
// A DVD already in the folder is replaced only on --yes or when the person says so at
// the terminal; Ctrl-C (or SIGTERM, SIGHUP) stops the encoding and still completes a
// playable folder, a second one abandons the title.
#include "cli/Commands.h"

#include "app/SlideShowJob.h"
#include "base/Texts.h"
#include "cli/JobTerminalUi.h"
#include "cli/TerminalUi.h"
#include "platform/Folders.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

int RunSlideshowDvd(const CArgs& args)
{
    namespace fs = std::filesystem;
    const fs::path videoTs = OutputVideoTs(args);
    const std::string dvdRoot = videoTs.parent_path().string();

    CTerminalUi terminal(JobAnswers(args));
    CJobTerminalUi ui(terminal, dvdRoot, args.Has("--burn"));
    CUiScope scope(ui);

    CSlideShowJob job(ui);
    // --burn: the new DVD goes to the recorder once the job is done.
    int burnExit = 0;
    job.openBurnWindow = [&](const std::string& folder) { burnExit = BurnSource(folder, args, terminal); };
    job.dvdFolder = videoTs.string() + "/";
    std::string error;
    if (!ReadJobOptions(args, job, error)) return Fail(error);
    job.soundFolder = CFolders::Data();
    ReportJobNotes(job);

    const auto started = std::chrono::steady_clock::now();
    const CSlideShowJob::Result result = job.CreateDvd();
    const double work = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double shown = job.params.frameRate > 0 ? double(job.framesCoded) / job.params.frameRate : 0.0;

    switch (result) {
    case CSlideShowJob::Result::Done:
    case CSlideShowJob::Result::Cancelled:
        std::printf("%s: title set %d, %.1f s of show%s\n", dvdRoot.c_str(), job.startingFootage, shown,
                    result == CSlideShowJob::Result::Cancelled ? " (cancelled: the pictures coded so far)" : "");
        std::printf("Made in %.1f s, %.2f seconds of show per second of work.\n", work, work > 0 ? shown / work : 0.0);
        PrintPhotoSummary(job, stdout);
        std::printf("Watch it with: mpv --dvd-device=%s dvd://\n", dvdRoot.c_str());
        if (burnExit != 0) return burnExit;
        return result == CSlideShowJob::Result::Done ? 0 : 130;
    case CSlideShowJob::Result::EmptyAlbum:
    case CSlideShowJob::Result::TooLong:
        return 1;  // the job has said why through the terminal
    case CSlideShowJob::Result::Declined:
        return Fail("kept the DVD already in " + dvdRoot + " (give --yes to replace it)");
    case CSlideShowJob::Result::Refused:
    case CSlideShowJob::Result::NotWritable:
    case CSlideShowJob::Result::Busy:
        return 1;  // the job has shown why
    default:
        return Fail(job.Error().empty() ? std::string("the DVD could not be made") : job.Error());
    }
}

CCommandRegistrar registrar(CSlideshowOutput{
    "--out",
    "  --out DIR         make the DVD folder DIR (DIR/VIDEO_TS, AUDIO_TS beside it); the\n"
    "                    default output, into ~/TempDVD when --out is not given\n"
    "  --ntsc, --pal     television standard (default NTSC)\n"
    "  --resolution R    high (720 wide), medium (352 x full height) or low (352 x half)\n"
    "  --aspect A        4:3 (default) or 16:9 (--wide is the same as --aspect 16:9)\n"
    "  --lpcm            DVD linear PCM sound instead of MPEG-1 Layer II\n"
    "  --disc-size B     target disc size in bytes (default 4700000000)\n"
    "  --footage N       the title set to write (1 to 99, default 1; --title-set N too);\n"
    "                    sets 1..N-1 stay, N..99 are replaced, VIDEO_TS.IFO lists them all\n"
    "  --intra-matrix T, --inter-matrix T\n"
    "                    quantiser matrices: Default or 128 hex digits\n"
    "  --bitrate R       a fixed video rate in bit/s instead of the one fitted to the disc\n"
    "  --quality Q       video encoding: standard (default) or high (a better picture at\n"
    "                    the same rate, coded more slowly)\n"
    "  --yes             replace a DVD already in the folder without asking\n"
    "  --burn            burn the new DVD afterwards; takes the options of kestrova burn:\n"
    "                    --drive N, --speed S, --copies N, --test, --verify,\n"
    "                    --virtual-recorder IMAGE[:PROFILE]\n",
    {"--drive", "--speed", "--copies", "--virtual-recorder", "--title-set", "--footage", "--bitrate", "--resolution",
     "--aspect", "--disc-size", "--intra-matrix", "--inter-matrix", "--quality"},
    100,
    RunSlideshowDvd});

}  // namespace
