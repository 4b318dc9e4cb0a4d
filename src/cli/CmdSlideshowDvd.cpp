// `kestrova slideshow PROJECT.osh [--out DIR]`: the DVD creation job. Renders and
// encodes the slide show, multiplexes it into title set N of the DVD folder DIR
// (DIR/VIDEO_TS with an empty DIR/AUDIO_TS beside it; a DIR that is itself named
// VIDEO_TS is used as it is; default ~/TempDVD/VIDEO_TS) and writes the IFO/BUP files.
// A DVD already in the folder is replaced only on --yes or when the person says so at
// the terminal; Ctrl-C stops the encoding and still completes a playable folder.
#include "cli/Commands.h"

#include "app/Project.h"
#include "app/SlideShowJob.h"
#include "base/DVDParams.h"
#include "cli/TerminalUi.h"
#include "base/Texts.h"
#include "platform/Folders.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// The terminal's port for the job. Burning is not available from the command line, so
// the ready-to-burn question is answered No with a word on how to go on; everything else
// goes to the terminal port.
class CJobTerminalUi : public CUiPort {
public:
    CJobTerminalUi(CUiPort& inner_, std::string dvdRoot_) : inner(inner_), dvdRoot(std::move(dvdRoot_)) {}

    MsgAnswer MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                         MsgIcon icon) override
    {
        if (caption == Text(423) && buttons == MsgButtons::YesNo) {
            std::fprintf(stderr,
                         "Burning is not available from the command line yet. Make a disc image with\n"
                         "  kestrova iso %s -o IMAGE.iso\n"
                         "or burn the folder later.\n",
                         dvdRoot.c_str());
            return MsgAnswer::No;
        }
        return inner.MessageBox(text, caption, buttons, icon);
    }
    std::unique_ptr<CProgressWindow> OpenProgress(const std::string& title, const std::string& body,
                                                  bool visible) override
    {
        return inner.OpenProgress(title, body, visible);
    }
    std::optional<std::string> ChooseFolder(const std::string& title, const std::string& start) override
    {
        return inner.ChooseFolder(title, start);
    }
    void PlaySoundFile(const std::string& path) override { inner.PlaySoundFile(path); }

private:
    CUiPort& inner;
    std::string dvdRoot;
};

bool ParseNumber(const std::string& text, long long low, long long high, long long& value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18) return false;
    value = std::atoll(text.c_str());
    return value >= low && value <= high;
}

bool MatrixTextIsValid(const std::string& text)
{
    if (text == "Default") return true;
    uint8_t bytes[64];
    const CMatrixParse parsed = ParseMatrixText(text, bytes);
    if (parsed.byteCount != 64) return false;
    for (uint8_t b : bytes)
        if (b == 0) return false;
    return true;
}

int RunSlideshowDvd(const CArgs& args)
{
    namespace fs = std::filesystem;
    const std::string project = args.positional.at(0);

    CSlideShowJob job;
    // The folder: DIR/VIDEO_TS, or DIR itself when it is a VIDEO_TS folder.
    std::string out = args.Get("--out");
    fs::path videoTs = out.empty() ? fs::path(CFolders::DefaultDvdFolder()) : fs::path(out);
    if (videoTs.filename().empty()) videoTs = videoTs.parent_path();
    if (videoTs.filename() != "VIDEO_TS") videoTs /= "VIDEO_TS";
    job.dvdFolder = videoTs.string() + "/";
    const std::string dvdRoot = videoTs.parent_path().string();

    const bool hasFootage = args.Has("--footage");
    const std::string footageOption = hasFootage ? "--footage" : "--title-set";
    long long number = 1;
    if (args.Has(footageOption) && !ParseNumber(args.Get(footageOption), 1, 99, number))
        return Fail(footageOption + " must be a number from 1 to 99, not \"" + args.Get(footageOption) + "\"");
    job.startingFootage = int(number);

    const std::string resolution = args.Get("--resolution", "high");
    if (resolution == "high") job.resolution = 0;
    else if (resolution == "medium") job.resolution = 1;
    else if (resolution == "low") job.resolution = 2;
    else return Fail("--resolution must be high, medium or low, not \"" + resolution + "\"");

    const std::string aspect = args.Get("--aspect", args.Has("--wide") ? "16:9" : "4:3");
    if (aspect != "4:3" && aspect != "16:9") return Fail("--aspect must be 4:3 or 16:9, not \"" + aspect + "\"");
    job.wide = aspect == "16:9";
    if (args.Has("--pal") && args.Has("--ntsc")) return Fail("choose one of --ntsc and --pal");
    job.pal = args.Has("--pal");
    job.compressAudio = args.Has("--lpcm") ? 0 : 1;

    if (args.Has("--disc-size")) {
        long long bytes = 0;
        if (!ParseNumber(args.Get("--disc-size"), 100000000LL, 100000000000LL, bytes))
            return Fail("--disc-size must be a number of bytes of at least 100000000, not \"" +
                        args.Get("--disc-size") + "\"");
        job.discSizeText = args.Get("--disc-size");
    }
    for (const char* option : {"--intra-matrix", "--inter-matrix"}) {
        if (!args.Has(option)) continue;
        const std::string text = args.Get(option);
        if (!MatrixTextIsValid(text))
            return Fail(std::string(option) + " must be \"Default\" or 64 non-zero values as 128 hex digits");
        (std::string(option) == "--intra-matrix" ? job.intraMatrixText : job.interMatrixText) = text;
    }
    if (args.Has("--bitrate")) {
        const std::string text = args.Get("--bitrate");
        char* end = nullptr;
        const double rate = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || rate < 256000.0 || rate > 8000000.0)
            return Fail("--bitrate must be a number of bits per second from 256000 to 8000000, not \"" + text + "\"");
        job.fixedVideoBitRate = rate;
    }

    std::string error;
    if (!LoadProject(job.album, project, &error)) return Fail(error);
    job.soundFolder = CFolders::Data();

    // Questions: --yes / --no answer them; otherwise they are asked at a terminal and
    // answered with the safe choice (keep the existing DVD) when there is none.
    CTerminalUi::Answers answers = CTerminalUi::Answers::Safe;
    if (args.Has("--yes")) answers = CTerminalUi::Answers::Yes;
    else if (args.Has("--no")) answers = CTerminalUi::Answers::No;
    else if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO)) answers = CTerminalUi::Answers::Ask;
    CTerminalUi terminal(answers);
    CJobTerminalUi ui(terminal, dvdRoot);
    CUiScope scope(ui);

    const auto started = std::chrono::steady_clock::now();
    const CSlideShowJob::Result result = job.CreateDvd();
    const double work = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double shown = job.params.frameRate > 0 ? double(job.framesCoded) / job.params.frameRate : 0.0;

    switch (result) {
    case CSlideShowJob::Result::Done:
    case CSlideShowJob::Result::Cancelled:
        std::printf("%s: title set %d, %.1f s of show%s\n", dvdRoot.c_str(), job.startingFootage, shown,
                    result == CSlideShowJob::Result::Cancelled ? " (cancelled: the pictures coded so far)" : "");
        std::printf("Made in %.1f s, %.2f seconds of show per second of work.\n", work,
                    work > 0 ? shown / work : 0.0);
        std::printf("Watch it with: mpv --dvd-device=%s dvd://\n", dvdRoot.c_str());
        return result == CSlideShowJob::Result::Done ? 0 : 130;
    case CSlideShowJob::Result::Declined:
        return Fail("kept the DVD already in " + dvdRoot + " (give --yes to replace it)");
    default:
        return Fail(job.lastError.empty() ? std::string("the DVD could not be made") : job.lastError);
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
    "  --yes             replace a DVD already in the folder without asking\n",
    {"--title-set", "--footage", "--bitrate", "--resolution", "--aspect", "--disc-size", "--intra-matrix",
     "--inter-matrix"},
    100,
    RunSlideshowDvd});

}  // namespace
