// `kestrova slideshow PROJECT.osh --out DIR --iso IMAGE.iso`: after the DVD folder has
// been made, writes it as a disc image.
#include "cli/Commands.h"

#include "app/IsoJob.h"

#include <cstdio>

namespace {

int RunSlideshowIso(const CArgs& args)
{
    const std::string image = args.Get("--iso");
    if (!args.Has("--out"))
        return Fail("--iso images the DVD folder made by --out; give --out DIR as well");
    CIsoJob job;
    job.label = args.Get("--label", job.label);
    if (!job.ChooseFolder(args.Get("--out"))) return Fail(job.LastError());
    switch (job.CreateImage(image)) {
    case CIsoJob::Result::Written:
        std::printf("%s: %lld sectors written\n", image.c_str(),
                    static_cast<long long>(job.ImageSectors()));
        return 0;
    case CIsoJob::Result::Cancelled:
        return Fail("cancelled; " + image + " holds only the sectors written so far");
    case CIsoJob::Result::Failed:
        break;
    }
    return Fail(job.LastError());
}

// Runs after every other output, so that the DVD folder of "--out" is complete.
CCommandRegistrar registrar(CSlideshowOutput{
    "--iso",
    "  --iso IMAGE.iso   write the DVD folder made by --out as a disc image\n"
    "  --label TEXT      the image's disc label (default \"My Movie\")\n",
    {"--label"},
    10000,
    RunSlideshowIso});

}  // namespace
