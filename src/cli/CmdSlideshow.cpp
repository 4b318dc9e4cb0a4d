// `kestrova slideshow PROJECT.osh [outputs]`: runs each output whose option was given
// (frames, elementary streams, a DVD folder, an image), in their registered order.
#include "cli/Commands.h"

#include "app/Project.h"
#include "app/SlideShowJob.h"
#include "base/FileIdentity.h"

#include <cstdio>
#include <utility>
#include <vector>

namespace {

// Refuses, before any output is made, an output file that is one of the show's own
// files (the project, a photo, a narration, the music) or the file of another output.
// A project that cannot be read is left to the outputs to report.
bool CheckOutputFiles(const CArgs& args, std::string& error)
{
    CSlideShowJob job;
    job.projectFile = args.positional.at(0);
    CUiPort* previous = &Ui();
    SetUi(nullptr);  // the outputs show the project's warnings when they load it
    const bool loaded = LoadProject(job.album, job.projectFile, nullptr, {});
    SetUi(previous);
    std::vector<std::pair<std::string, std::string>> outputs;  // option, file
    for (const char* option : {"--frames", "--m2v", "--mp2", "--iso"})
        if (args.Has(option) && !args.Get(option).empty()) outputs.emplace_back(option, args.Get(option));
    for (size_t i = 0; i < outputs.size(); ++i) {
        const auto& [option, file] = outputs[i];
        const std::string input = loaded ? job.InputAt(file) : FindSameFile(file, {job.projectFile});
        if (!input.empty()) {
            error = option + " " + file + " is " + input + ", one of the show's own files; choose another name";
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            if (outputs[j].second == file || IsSameFile(outputs[j].second, file)) {
                error = outputs[j].first + " and " + option + " both name " + file + "; give each its own file";
                return false;
            }
        }
    }
    return true;
}

int RunSlideshow(const CArgs& args)
{
    if (args.positional.size() != 1)
        return Fail("slideshow needs exactly one project file (see kestrova slideshow --help)");
    std::string error;
    if (!CheckOutputFiles(args, error)) return Fail(error);
    // An image is made of the folder the creation job writes, so --iso runs the job too.
    const bool wantsDvd = args.Has("--out") || args.Has("--iso");
    int ran = 0;
    for (const auto& output : SlideshowOutputs()) {
        if (!args.Has(output.option) && !(output.option == "--out" && wantsDvd)) continue;
        int rc = output.run(args);
        if (rc != 0) return rc;
        ++ran;
    }
    if (ran == 0) {
        // Without an explicit output the whole DVD job runs, when it is registered as "--out".
        for (const auto& output : SlideshowOutputs())
            if (output.option == "--out") return output.run(args);
        return Fail("no output chosen (see kestrova slideshow --help)");
    }
    return 0;
}

CCommandRegistrar registrar(CCommand{"slideshow",
                                     "render, encode and author a slide-show project",
                                     "Usage: kestrova slideshow PROJECT.osh [OPTIONS]\n\n"
                                     "Renders the slide show of PROJECT.osh. Outputs:\n",
                                     {},
                                     RunSlideshow});

}  // namespace
