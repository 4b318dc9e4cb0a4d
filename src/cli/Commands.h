// The command-line program's commands. Each command lives in its own file and registers
// itself with a static CCommandRegistrar, so adding a command touches no other file.
//
// `kestrova slideshow PROJECT.osh <output options>` is shared by several outputs
// (--frames, --m2v, --mp2, --out, --iso ...): each output registers a CSlideshowOutput
// and the slideshow command runs every output whose option was given.
#pragma once

#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <map>
#include <string>
#include <vector>

// Parsed arguments of one command: positional words, options with a value, and flags.
struct CArgs {
    std::vector<std::string> positional;
    std::multimap<std::string, std::string> options;  // "--music" -> "a.mp3", repeated
    std::vector<std::string> flags;  // "--pal", "--yes"

    bool Has(const std::string& name) const;
    // The last value of an option, or `fallback`.
    std::string Get(const std::string& name, const std::string& fallback = "") const;
    std::vector<std::string> GetAll(const std::string& name) const;
};

struct CCommand {
    std::string name;  // "project", "slideshow", "iso" ...
    std::string summary;  // one line for `kestrova --help`
    std::string usage;  // the full text for `kestrova NAME --help`
    std::vector<std::string> valueOptions;  // options that take a value, e.g. "--music"
    std::function<int(const CArgs&)> run;  // returns the exit code
};

struct CSlideshowOutput {
    std::string option;  // "--frames", "--m2v" ...
    std::string usage;  // lines added to `kestrova slideshow --help`
    std::vector<std::string> valueOptions;  // further options it reads, e.g. "--bitrate"
    int order = 0;  // outputs run in increasing order
    std::function<int(const CArgs&)> run;
};

class CCommandRegistrar {
public:
    explicit CCommandRegistrar(CCommand command);
    explicit CCommandRegistrar(CSlideshowOutput output);
};

std::map<std::string, CCommand>& Commands();
std::vector<CSlideshowOutput>& SlideshowOutputs();

// Splits argv into positional words, value options and flags; `valueOptions` lists the
// options that take the next word as their value. Returns false with `error` set when
// an option lacks its value.
bool ParseArgs(int argc, char** argv, int first, const std::vector<std::string>& valueOptions, CArgs& args,
               std::string& error);

class CSlideShowJob;

// Fills the slide-show job from the options every `kestrova slideshow` output shares
// (--ntsc/--pal, --resolution, --aspect/--wide, --lpcm, --disc-size, --footage, the
// matrices, --bitrate) and loads the project named by the first positional word. False
// with a one-line `error` naming the option or the file.
bool ReadJobOptions(const CArgs& args, CSlideShowJob& job, std::string& error);

class CVideoDVDJob;

// Fills the video-to-DVD job from the format options it shares with the slide-show job
// (--ntsc/--pal, --resolution, --aspect/--wide, --lpcm, --disc-size, --footage, the
// matrices). False with a one-line `error` naming the option.
bool ReadVideoFormatOptions(const CArgs& args, CVideoDVDJob& job, std::string& error);

// For the outputs that write a file of the show (--frames, --m2v, --mp2): the output
// file named by `option`, and the job as ReadJobOptions fills it, refusing an album
// without photos. False with a one-line `error`.
bool ReadShowOutput(const CArgs& args, const std::string& option, CSlideShowJob& job, std::string& output,
                    std::string& error);

// The options named in a help text: every "--word" in it, in order.
std::vector<std::string> OptionsNamedIn(const std::string& text);

// False with error "unknown option --x (see kestrova COMMAND --help)" when `args` hold
// an option (a flag or one with a value) that `known` does not list.
bool RefuseUnknownOptions(const CArgs& args, const std::vector<std::string>& known, const std::string& command,
                          std::string& error);

// The exit status after an internal error (an exception nothing else caught).
constexpr int kInternalErrorExit = 70;

// Prints "kestrova: internal error: <what the exception says>" to `out` and returns
// kInternalErrorExit: the last resort for an exception that reached main.
int InternalError(std::exception_ptr failure, std::FILE* out);

// Prints "kestrova: <message>" to stderr and returns 1, for one-line failures.
int Fail(const std::string& message);

// Makes the job print each of its notes (photos left out or shown black) on stderr as
// "kestrova: warning: <note>" and keep them in the diagnostic log.
void ReportJobNotes(CSlideShowJob& job);
// Prints how many photos were shown black and left out ("2 photos could not be shown
// and are black") on `to`, nothing when every photo was shown.
void PrintPhotoSummary(const CSlideShowJob& job, std::FILE* to);

class CUiPort;

// Burns `source` (a DVD folder or an ISO image) with the burn options of `args`
// (--drive, --speed, --copies, --test, --verify, --label, --virtual-recorder), asking
// and telling through `ui`. Returns the exit code; failures are printed as one line.
int BurnSource(const std::string& source, const CArgs& args, CUiPort& ui);

// Writes the DVD-Video folder `folder` (VIDEO_TS or its parent) as the disc image
// `image` with `label` (empty: the default label), printing the folder's size first when
// `printSize`. Returns the exit code; failures are printed as one line.
int WriteDiscImage(const std::string& folder, const std::string& image, const std::string& label, bool printSize);
