// `kestrova video FILE[@START-END]... --out DIR`: the video-to-DVD job. Every FILE (a
// video or audio file FFmpeg can read, a still picture, a slide-show project, a
// VIDEO_TS folder, one of its files or a DVD image) becomes one title set of the DVD
// in DIR/VIDEO_TS, in the order given, encoded from its range. The rows are printed as
// the video window lists them, with the total, before the job starts. Like the slide
// show's, the new DVD replaces an old one only when complete; Ctrl-C ends the title
// being encoded early and keeps the titles made so far.
#include "cli/Commands.h"

#include "app/VideoDVDJob.h"
#include "base/Texts.h"
#include "cli/JobTerminalUi.h"
#include "cli/TerminalUi.h"
#include "platform/Folders.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;

struct SRowArg {
    std::string path;
    std::string subtitle;  // empty: none given
    double start = -1;  // -1: not given
    double end = -1;
};

bool HasSubtitleEnding(std::string name)
{
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    for (const char* ending : {".srt", ".srt.txt", ".sub", ".vtt", ".ass", ".ssa"})
        if (name.size() > std::strlen(ending) &&
            name.compare(name.size() - std::strlen(ending), std::string::npos, ending) == 0)
            return true;
    return false;
}

// Takes ":SUBTITLE" off the end of a row word: at the first colon after which the rest
// names an existing file, else at the last colon followed by a subtitle file name
// (.srt, .srt.txt, .sub, .vtt, .ass, .ssa). A word that names a file as it is keeps its colons.
std::string SplitSubtitle(std::string& word)
{
    std::error_code ec;
    if (fs::exists(word, ec)) return {};
    for (size_t c = word.find(':'); c != std::string::npos; c = word.find(':', c + 1)) {
        const std::string rest = word.substr(c + 1);
        if (!rest.empty() && fs::exists(rest, ec) && !fs::is_directory(rest, ec)) {
            word.resize(c);
            return rest;
        }
    }
    const size_t c = word.rfind(':');
    if (c == std::string::npos || !HasSubtitleEnding(word.substr(c + 1))) return {};
    const std::string rest = word.substr(c + 1);
    word.resize(c);
    return rest;
}

// FILE, FILE@START-END (either side may be left out: "@30-" runs from 30 s to the end,
// "@-1:00" from the start to one minute), each optionally followed by :SUBTITLE. A name
// that exists as it is, '@' and all, is a file name.
bool SplitRowArg(const std::string& given, SRowArg& row, std::string& error)
{
    std::string word = given;
    const std::string subtitle = SplitSubtitle(word);
    row = SRowArg{word, subtitle};
    const size_t at = word.rfind('@');
    std::error_code ec;
    if (at == std::string::npos || fs::exists(word, ec)) return true;
    const std::string range = word.substr(at + 1);
    const size_t dash = range.find('-');
    if (dash == std::string::npos) {
        error = word + ": a range is START-END, for example @00:10:00-00:10:30 or @4-10";
        return false;
    }
    const std::string from = range.substr(0, dash), to = range.substr(dash + 1);
    row.path = word.substr(0, at);
    row.start = from.empty() ? 0 : CVideoDVDJob::ParseTime(from);
    row.end = to.empty() ? -1 : CVideoDVDJob::ParseTime(to);
    if (row.start < 0 || (!to.empty() && row.end < 0)) {
        error = word + ": \"" + (row.start < 0 ? from : to) + "\" is not a time (HH:MM:SS, MM:SS or seconds)";
        return false;
    }
    if (row.end >= 0 && row.end <= row.start) {
        error = word + ": the range ends before it starts";
        return false;
    }
    return true;
}

double ParseDelay(const CArgs& args, const char* option, std::string& error)
{
    if (!args.Has(option)) return 0;
    const std::string text = args.Get(option);
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !std::isfinite(value) || std::fabs(value) > 60) {
        error = std::string(option) + " must be a number of seconds from -60 to 60, not \"" + text + "\"";
        return NAN;
    }
    return value;
}

// The rows as the window's list shows them, and the total.
void PrintRows(const CVideoDVDJob& job)
{
    std::printf("%-3s %-40s %-9s %-9s %-9s %-9s %s\n", "#", "Video File Name", "Duration", "AudioType", "Start", "End",
                "Size");
    int n = 0;
    for (const CVideoDVDJob::SRow& row : job.Rows()) {
        std::string name = row.path;
        if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
        std::printf("%-3d %-40s %-9s %-9s %-9s %-9s %s\n", ++n, name.c_str(),
                    CVideoDVDJob::TimeText(row.duration).c_str(), row.audioType.c_str(),
                    CVideoDVDJob::TimeText(row.start).c_str(), CVideoDVDJob::TimeText(row.end).c_str(),
                    row.size.c_str());
    }
    std::printf("%s %s\n", Text(3005).c_str(), CVideoDVDJob::TimeText(job.TotalSeconds()).c_str());
    std::fflush(stdout);
}

// Gives row `index` its subtitle file: the one given, or else the one found beside the
// media file (same name, .srt, .srt.txt or .sub) when the person agrees (--yes, or an
// answer at the terminal). False (the reason printed) when a given file cannot be used.
bool AddRowSubtitle(CVideoDVDJob& job, int index, const std::string& given)
{
    std::string subtitle = given;
    const bool found = subtitle.empty();
    if (found) {
        subtitle = CVideoDVDJob::AssociatedSubtitle(job.Rows()[size_t(index)].path);
        if (subtitle.empty()) return true;
        const MsgAnswer answer =
            job.Port().MessageBox(Text(3221) + "\n" + subtitle, Text(3220), MsgButtons::YesNo, MsgIcon::Information);
        if (answer != MsgAnswer::Yes) return true;
    }
    if (job.SetRowSubtitle(index, subtitle)) return true;
    if (found) {
        std::fprintf(stderr, "kestrova: warning: %s\n", job.Error().c_str());
        return true;
    }
    Fail(job.Error());
    return false;
}

// Adds every row to the job with its range; false (the reason printed) on the first
// file that cannot be used or range that does not fit its file.
bool AddRows(const CArgs& args, CVideoDVDJob& job)
{
    for (const std::string& word : args.positional) {
        SRowArg arg;
        std::string error;
        if (!SplitRowArg(word, arg, error)) {
            Fail(error);
            return false;
        }
        if (int(job.Rows().size()) >= CVideoDVDJob::maxRows) {
            Fail("a DVD made from video files holds at most " + std::to_string(CVideoDVDJob::maxRows) + " rows; " +
                 arg.path + " and the rest were not added");
            return false;
        }
        if (!job.AddMedia(arg.path)) return false;  // the job has said why
        const int index = int(job.Rows().size()) - 1;
        if (!AddRowSubtitle(job, index, arg.subtitle)) return false;
        const double duration = job.Rows().back().duration;
        if (arg.start < 0) continue;
        if (arg.start >= duration) {
            Fail(word + ": the range starts at or after the end of the file (" + CVideoDVDJob::TimeText(duration) +
                 ")");
            return false;
        }
        if (arg.end > duration)
            std::fprintf(stderr, "kestrova: warning: %s: the file ends at %s; the range ends there\n", word.c_str(),
                         CVideoDVDJob::TimeText(duration).c_str());
        const double end = arg.end < 0 || arg.end > duration ? duration : arg.end;
        job.SetRange(index, arg.start, end);
    }
    return true;
}

int RunVideo(const CArgs& args)
{
    if (args.positional.empty()) return Fail("video needs at least one file (see kestrova video --help)");
    const fs::path videoTs = OutputVideoTs(args);
    const std::string dvdRoot = videoTs.parent_path().string();

    CTerminalUi terminal(JobAnswers(args));
    CJobTerminalUi ui(terminal, dvdRoot);
    CUiScope scope(ui);

    CVideoDVDJob job(ui);
    // The diagnostic log takes the files and the jobs' notes, as the window's does.
    job.OpenLog();
    job.dvdFolder = videoTs.string() + "/";
    std::string error;
    if (!ReadVideoFormatOptions(args, job, error)) return Fail(error);
    job.audioDelay = ParseDelay(args, "--audio-delay", error);
    job.videoDelay = ParseDelay(args, "--video-delay", error);
    if (!error.empty()) return Fail(error);
    job.flip = args.Has("--flip");
    job.soundFolder = CFolders::Data();
    job.onNote = [](const std::string& line) { std::fprintf(stderr, "kestrova: warning: %s\n", line.c_str()); };
    job.onTitle = [&job](int row, int titleSet, int rows) {
        std::fprintf(stderr, "title set %d of %d: %s\n", titleSet - job.startingFootage + 1, rows,
                     job.Rows()[size_t(row)].path.c_str());
    };

    if (!AddRows(args, job)) return 1;
    PrintRows(job);

    const auto started = std::chrono::steady_clock::now();
    const CVideoDVDJob::Result result = job.CreateDvd();
    const double work = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    switch (result) {
    case CVideoDVDJob::Result::Done:
    case CVideoDVDJob::Result::Cancelled: {
        double shown = 0;
        for (int64_t frames : job.framesCoded) shown += double(frames) / job.params.frameRate;
        std::printf("%s: title sets %d to %d, %.1f s of video%s\n", dvdRoot.c_str(), job.startingFootage,
                    job.startingFootage + job.titleSetsWritten - 1, shown,
                    result == CVideoDVDJob::Result::Cancelled ? " (cancelled: the titles made so far)" : "");
        std::printf("Made in %.1f s, %.2f seconds of video per second of work.\n", work, work > 0 ? shown / work : 0.0);
        if (args.Has("--iso")) {
            const int written = WriteDiscImage(videoTs.string(), args.Get("--iso"), args.Get("--label"), false);
            if (written != 0) return written;
        }
        std::printf("Watch it with: mpv --dvd-device=%s dvd://\n", dvdRoot.c_str());
        return result == CVideoDVDJob::Result::Done ? 0 : 130;
    }
    case CVideoDVDJob::Result::Declined:
        return Fail("kept the DVD already in " + dvdRoot + " (give --yes to replace it)");
    case CVideoDVDJob::Result::Failed:
        return Fail(job.Error().empty() ? std::string("the DVD could not be made") : job.Error());
    default:
        return 1;  // the job has shown why
    }
}

CCommandRegistrar registrar(CCommand{
    "video",
    "make a DVD from video files, DVD titles and slide-show projects",
    "Usage: kestrova video FILE[@START-END][:SUBTITLE]... [options]\n\n"
    "Every FILE becomes one title set of the DVD, in the order given: any video or audio\n"
    "file FFmpeg can read, a still picture, a slide-show project (.osh), a VIDEO_TS folder\n"
    "(or its parent, VIDEO_TS.IFO, a VTS_nn_m.VOB/.IFO/.BUP) or a DVD image (.iso).\n"
    "@START-END encodes only that range; START and END are HH:MM:SS, MM:SS or seconds\n"
    "(either may be left out). Pictures keep their shape, with black bars where the\n"
    "title's frame is wider or taller; wide sources make 16:9 titles.\n"
    ":SUBTITLE shows that subtitle file in the title: SubRip text (.srt, .srt.txt; UTF-8\n"
    "or Latin-1), WebVTT (.vtt) or ASS/SSA (.ass, .ssa) drawn in Arial (Liberation Sans),\n"
    "or VobSub (.sub with its .idx beside it), copied as it is; any other file is read\n"
    "as media and its first subtitle stream is used (film.mkv:film.mkv): text drawn, DVD\n"
    "bitmaps copied. Without one, a subtitle file beside FILE with the same "
    "name\n"
    "(.srt, .srt.txt, .sub) is offered: used with --yes, asked at a terminal.\n"
    "Subtitles are shown from the start of the disc.\n\n"
    "  --out DIR         make the DVD folder DIR (DIR/VIDEO_TS, AUDIO_TS beside it);\n"
    "                    default ~/TempDVD\n"
    "  --iso IMAGE       also write the new DVD as a disc image (--label TEXT names it)\n"
    "  --ntsc, --pal     television standard (default NTSC)\n"
    "  --resolution R    high (720 wide), medium (352 x full height) or low (352 x half)\n"
    "  --aspect A        4:3 (default) or 16:9 for sources that are not wide themselves\n"
    "  --lpcm            DVD linear PCM sound instead of MPEG-1 Layer II (AC-3 stays AC-3)\n"
    "  --disc-size B     target disc size in bytes (default 4700000000)\n"
    "  --footage N       the first title set to write (1 to 99, default 1)\n"
    "  --audio-delay S   move the sound S seconds later (negative: earlier)\n"
    "  --video-delay S   move the pictures S seconds later (negative: earlier)\n"
    "  --flip            turn every picture upside down\n"
    "  --intra-matrix T, --inter-matrix T\n"
    "                    quantiser matrices: Default or 128 hex digits\n"
    "  --quality Q       video encoding: standard (default) or high (a better picture at\n"
    "                    the same rate, coded more slowly)\n"
    "  --yes             replace a DVD already in the folder and use the subtitle\n"
    "                    file found beside a video without asking\n",
    {"--out", "--iso", "--label", "--resolution", "--aspect", "--disc-size", "--footage", "--title-set",
     "--audio-delay", "--video-delay", "--intra-matrix", "--inter-matrix", "--quality"},
    RunVideo});

}  // namespace
