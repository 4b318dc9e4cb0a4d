// The slide-show job's options, shared by every output of `kestrova slideshow` so that
// the DVD folder, the elementary streams and the frames all come from the same settings.
#include "cli/Commands.h"

#include "app/Project.h"
#include "app/SlideShowJob.h"
#include "app/VideoDVDJob.h"
#include "base/DVDParams.h"
#include "base/Texts.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Sets `error` to `text` and returns false, for one-line refusals.
bool Refuse(std::string& error, const std::string& text)
{
    error = text;
    return false;
}

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

// --bitrate: a fixed video rate instead of the fitted one.
bool ReadBitRate(const CArgs& args, double& fixedRate, std::string& error)
{
    if (args.Has("--bitrate")) {
        const std::string text = args.Get("--bitrate");
        char* end = nullptr;
        const double rate = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || rate < 256000.0 || rate > 8000000.0)
            return Refuse(error,
                          "--bitrate must be a number of bits per second from 256000 to 8000000, not \"" + text + "\"");
        fixedRate = rate;
    }
    return true;
}

// The options that choose the format, rate and title set, for either DVD job.
template <class Job>
bool ReadFormatOptions(const CArgs& args, Job& job, std::string& error)
{
    const bool hasFootage = args.Has("--footage");
    const std::string footageOption = hasFootage ? "--footage" : "--title-set";
    long long number = 1;
    if (args.Has(footageOption) && !ParseNumber(args.Get(footageOption), 1, 99, number))
        return Refuse(error, footageOption + " must be a number from 1 to 99, not \"" + args.Get(footageOption) + "\"");
    job.startingFootage = int(number);

    const std::string resolution = args.Get("--resolution", "high");
    if (resolution == "high")
        job.resolution = 0;
    else if (resolution == "medium")
        job.resolution = 1;
    else if (resolution == "low")
        job.resolution = 2;
    else
        return Refuse(error, "--resolution must be high, medium or low, not \"" + resolution + "\"");

    const std::string aspect = args.Get("--aspect", args.Has("--wide") ? "16:9" : "4:3");
    if (aspect != "4:3" && aspect != "16:9")
        return Refuse(error, "--aspect must be 4:3 or 16:9, not \"" + aspect + "\"");
    job.wide = aspect == "16:9";
    if (args.Has("--pal") && args.Has("--ntsc")) return Refuse(error, "choose one of --ntsc and --pal");
    job.pal = args.Has("--pal");
    job.compressAudio = args.Has("--lpcm") ? 0 : 1;

    if (args.Has("--disc-size")) {
        long long bytes = 0;
        if (!ParseNumber(args.Get("--disc-size"), 100000000LL, 100000000000LL, bytes))
            return Refuse(
                error,
                "--disc-size must be a number of bytes of at least 100000000, not \"" + args.Get("--disc-size") + "\"");
        job.discSizeText = args.Get("--disc-size");
    }
    for (const char* option : {"--intra-matrix", "--inter-matrix"}) {
        if (!args.Has(option)) continue;
        const std::string text = args.Get(option);
        if (!MatrixTextIsValid(text))
            return Refuse(error, std::string(option) + " must be \"Default\" or 64 non-zero values as 128 hex digits");
        (std::string(option) == "--intra-matrix" ? job.intraMatrixText : job.interMatrixText) = text;
    }
    const std::string quality = args.Get("--quality", "standard");
    if (quality != "standard" && quality != "high")
        return Refuse(error, "--quality must be standard or high, not \"" + quality + "\"");
    job.highQuality = quality == "high";
    if constexpr (requires { job.fixedVideoBitRate; }) {
        if (!ReadBitRate(args, job.fixedVideoBitRate, error)) return false;
    }
    return true;
}

}  // namespace

bool ReadVideoFormatOptions(const CArgs& args, CVideoDVDJob& job, std::string& error)
{
    return ReadFormatOptions(args, job, error);
}

bool ReadJobOptions(const CArgs& args, CSlideShowJob& job, std::string& error)
{
    if (!ReadFormatOptions(args, job, error)) return false;
    const std::string project = args.positional.at(0);
    job.projectFile = project;
    std::vector<std::string> notes;
    if (!LoadProject(job.album, project, &error, MeasureMusicSeconds, &notes)) return false;
    for (const std::string& note : notes)
        std::fprintf(stderr, "kestrova: warning: %s: %s\n", project.c_str(), note.c_str());
    return true;
}

bool ReadShowOutput(const CArgs& args, const std::string& option, CSlideShowJob& job, std::string& output,
                    std::string& error)
{
    output = args.Get(option);
    if (output.empty()) return Refuse(error, option + " needs an output file name");
    if (!ReadJobOptions(args, job, error)) return false;
    if (CSlideShowJob::AlbumIsEmpty(job.album))
        return Refuse(error, args.positional.at(0) + ": the project has no photos (" + Text(4302) + ")");
    return true;
}

void ReportJobNotes(CSlideShowJob& job)
{
    job.OpenLog();
    job.onNote = [](const std::string& line) { std::fprintf(stderr, "kestrova: warning: %s\n", line.c_str()); };
}

void PrintPhotoSummary(const CSlideShowJob& job, std::FILE* to)
{
    if (job.photosShownBlack == 1) std::fprintf(to, "1 photo could not be shown and is black.\n");
    if (job.photosShownBlack > 1)
        std::fprintf(to, "%d photos could not be shown and are black.\n", job.photosShownBlack);
    if (job.photosLeftOut > 0)
        std::fprintf(to, "%d photo%s past the %d a show holds %s left out.\n", job.photosLeftOut,
                     job.photosLeftOut == 1 ? "" : "s", int(CAlbum::maxPhotos),
                     job.photosLeftOut == 1 ? "was" : "were");
}
