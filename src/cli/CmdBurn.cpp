// `kestrova burn SOURCE [options]`: burns a VIDEO_TS folder (or the folder holding one)
// or an ISO image file to DVD, on the machine's recorder or on the virtual recorder.
#include "cli/Commands.h"

#include "app/BurnJob.h"
#include "app/BurnSession.h"
#include "base/FileIdentity.h"
#include "cli/TerminalUi.h"

#include <unistd.h>
#include <cstdio>
#include <cstdlib>

namespace {

const char* const kSpeedWords[CBurnJob::kSpeedCount] = {"max", "1x", "2x", "2.4x", "4x", "8x"};

bool ParseWhole(const std::string& text, int low, int high, int& value)
{
    if (text.empty() || text.size() > 6 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    value = std::atoi(text.c_str());
    return value >= low && value <= high;
}

}  // namespace

int BurnSource(const std::string& source, const CArgs& args, CUiPort& ui)
{
    int drive = 1;
    if (args.Has("--drive") && !ParseWhole(args.Get("--drive"), 1, 16, drive))
        return Fail("--drive must be a recorder number from 1 to 16 (see kestrova drives), not \"" +
                    args.Get("--drive") + "\"");
    int speed = 0;
    const std::string speedWord = args.Get("--speed", "max");
    while (speed < CBurnJob::kSpeedCount && speedWord != kSpeedWords[speed]) ++speed;
    if (speed == CBurnJob::kSpeedCount)
        return Fail("--speed must be max, 1x, 2x, 2.4x, 4x or 8x, not \"" + speedWord + "\"");
    int copies = 1;
    if (args.Has("--copies") && !ParseWhole(args.Get("--copies"), 1, 99, copies))
        return Fail("--copies must be a number from 1 to 99, not \"" + args.Get("--copies") + "\"");

    CBurnSession session(ui);
    std::string error;
    if (!session.Open(args.Get("--virtual-recorder"), error)) return Fail(error);
    for (const std::string& note : session.Notes()) std::fprintf(stderr, "kestrova: note: %s\n", note.c_str());

    CBurnJob job(session.Burner(), ui);
    if (args.Has("--label")) job.label = args.Get("--label");
    if (!job.OpenSource(source)) return Fail(job.Error());
    std::printf("%s\n%s\n", job.SourceText().c_str(), job.SizeText().c_str());
    if (session.Burner().EntryCount() == 0) return Fail(CBurnJob::kNoRecorder);
    if (drive > session.Burner().EntryCount())
        return Fail("there is no recorder " + std::to_string(drive) + " (see kestrova drives)");
    // The virtual recorder's image is written over: never one of the files burned.
    if (!session.VirtualImage().empty()) {
        if (const std::string same = FindSameFile(session.VirtualImage(), job.SourceFiles()); !same.empty())
            return Fail(session.VirtualImage() + " is " + same + ", which is being burned; choose another image file");
    }
    job.recorderIndex = drive - 1;
    job.speedIndex = speed;
    job.SetCopies(copies);
    job.verify = args.Has("--verify");
    std::printf("Recorder: %s (%s), speed %s\n", session.Burner().Entry(drive - 1).name.c_str(),
                session.DevicePath(drive - 1).c_str(), CBurnJob::kSpeedTexts[speed]);

    const bool ok = args.Has("--test") ? job.TestWrite() : job.Burn(false);
    if (const std::string log = session.WriteCommandLog(); !log.empty())
        std::printf("Virtual recorder: image %s, command log %s\n", session.VirtualImage().c_str(), log.c_str());
    if (ok) {
        std::printf("%d disc%s %s\n", job.DiscsWritten(), job.DiscsWritten() == 1 ? "" : "s",
                    args.Has("--test") ? "test-written"
                        : job.verify   ? "written and verified"
                                       : "written");
        return 0;
    }
    if (const std::string imageError = session.VirtualImageError(); !imageError.empty())
        return Fail("the virtual recorder cannot record: " + imageError);
    if (args.Has("--test") && job.DiscsWritten() + job.DiscsFailed() == 0 && job.Error().empty())
        return Fail("test write cancelled");
    return Fail(job.Error().empty() ? std::string("the burn failed") : job.Error());
}

namespace {

int RunBurn(const CArgs& args)
{
    if (args.positional.size() != 1)
        return Fail("burn needs one SOURCE: a DVD folder or an ISO image (see kestrova burn --help)");
    CTerminalUi::Answers answers = CTerminalUi::Answers::Safe;
    if (args.Has("--yes") || args.Has("--test"))
        answers = CTerminalUi::Answers::Yes;
    else if (isatty(STDIN_FILENO) && isatty(STDERR_FILENO))
        answers = CTerminalUi::Answers::Ask;
    CTerminalUi terminal(answers);
    CUiScope scope(terminal);
    return BurnSource(args.positional[0], args, terminal);
}

CCommandRegistrar registrar(CCommand{
    "burn",
    "burn a DVD-Video folder or an ISO disc image to DVD",
    "Usage: kestrova burn SOURCE [--drive N] [--speed S] [--copies N] [--test] [--verify]\n"
    "                    [--label TEXT] [--virtual-recorder IMAGE[:PROFILE]] [--yes]\n\n"
    "Burns SOURCE to a blank DVD-R, DVD-RW, DVD+R or DVD+RW disc. SOURCE is a VIDEO_TS\n"
    "folder, the folder that holds one (its UDF/ISO 9660 image is made on the fly) or an\n"
    "ISO image file (burned as it is).\n\n"
    "  --drive N       the recorder to use, as numbered by kestrova drives (default 1)\n"
    "  --speed S       max (default), 1x, 2x, 2.4x, 4x or 8x\n"
    "  --copies N      burn N discs one after another (1 to 99)\n"
    "  --test          a test write: the laser stays off (DVD-R and DVD-RW only)\n"
    "  --verify        read every burned sector back and compare it with the source\n"
    "  --label TEXT    the disc label of a folder's image (default \"My Movie\")\n"
    "  --virtual-recorder IMAGE[:PROFILE]\n"
    "                  burn on a recorder made of software that records to the file IMAGE\n"
    "                  and keeps its command log in IMAGE.log; PROFILE is DVD-R (default),\n"
    "                  DVD-RW, DVD+R or DVD+RW, optionally followed by faults such as\n"
    "                  :write-error=BLOCK, :busy-writes=N, :nodisc, :used, :formatted\n"
    "  --yes           answer the questions with yes\n",
    {"--drive", "--speed", "--copies", "--label", "--virtual-recorder"},
    RunBurn});

}  // namespace
