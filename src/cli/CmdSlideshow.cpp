// `kestrova slideshow PROJECT.osh [outputs]`: runs each output whose option was given
// (frames, elementary streams, a DVD folder, an image), in their registered order.
#include "cli/Commands.h"

#include <cstdio>

namespace {

int RunSlideshow(const CArgs& args)
{
    if (args.positional.size() != 1)
        return Fail("slideshow needs exactly one project file (see kestrova slideshow --help)");
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
