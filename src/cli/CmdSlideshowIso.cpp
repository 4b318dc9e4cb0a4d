// `kestrova slideshow PROJECT.osh [--out DIR] --iso IMAGE.iso`: after the creation job
// has made the DVD folder, writes it as a disc image.
#include "cli/Commands.h"

#include "platform/Folders.h"

namespace {

int RunSlideshowIso(const CArgs& args)
{
    // The folder made by the creation job: --out, or the default DVD folder.
    const std::string folder = args.Get("--out", CFolders::DefaultDvdFolder());
    return WriteDiscImage(folder, args.Get("--iso"), args.Get("--label"), false);
}

// Runs after every other output, so that the DVD folder of "--out" is complete.
CCommandRegistrar registrar(CSlideshowOutput{"--iso",
                                             "  --iso IMAGE.iso   make the DVD folder, then write it as a disc image\n"
                                             "  --label TEXT      the image's disc label (default \"My Movie\")\n",
                                             {"--label"},
                                             10000,
                                             RunSlideshowIso});

}  // namespace
