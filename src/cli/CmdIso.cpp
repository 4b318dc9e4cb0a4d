// `kestrova iso FOLDER -o IMAGE.iso [--label TEXT]`: writes the DVD-Video folder FOLDER
// (a VIDEO_TS folder or the folder holding one) as a UDF/ISO 9660 disc image.
#include "cli/Commands.h"

#include "app/IsoJob.h"

#include <cstdio>

namespace {

int RunIso(const CArgs& args)
{
    if (args.positional.size() != 1 || !args.Has("-o"))
        return Fail("iso needs a DVD folder and -o IMAGE.iso (see kestrova iso --help)");
    const std::string folder = args.positional[0];
    const std::string image = args.Get("-o");

    return WriteDiscImage(folder, image, args.Get("--label"), true);
}

}  // namespace

int WriteDiscImage(const std::string& folder, const std::string& image, const std::string& label, bool printSize)
{
    CIsoJob job;
    if (!label.empty()) job.label = label;
    if (!job.ChooseFolder(folder)) return Fail(job.Error());
    if (printSize) std::printf("%s: %s\n", job.FolderText().c_str(), job.SizeText().c_str());
    switch (job.CreateImage(image)) {
    case CIsoJob::Result::Written:
        std::printf("%s: %lld sectors written\n", image.c_str(), static_cast<long long>(job.ImageSectors()));
        return 0;
    case CIsoJob::Result::Cancelled:
        return Fail("cancelled; " + image + " holds only the sectors written so far");
    case CIsoJob::Result::Failed:
        break;
    }
    return Fail(job.Error());
}

namespace {

CCommandRegistrar registrar(CCommand{
    "iso",
    "write a DVD-Video folder as an ISO disc image",
    "Usage: kestrova iso FOLDER -o IMAGE.iso [--label TEXT]\n\n"
    "Writes the DVD-Video files of FOLDER (a VIDEO_TS folder, or the folder that holds\n"
    "one) to IMAGE.iso as a UDF 1.02 / ISO 9660 bridge disc image. A folder that would\n"
    "not play (an IFO file damaged, a file it needs missing, empty or of the wrong size)\n"
    "is refused with the file named, and no image is written.\n\n"
    "  -o IMAGE.iso    the image file to write (replaced when it exists)\n"
    "  --label TEXT    the disc label (default \"My Movie\"; 30 characters are kept)\n",
    {"--label"},
    RunIso});

}  // namespace
