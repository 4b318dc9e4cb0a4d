// `kestrova slideshow PROJECT.osh --m2v OUT.m2v`: renders the slide show and writes its
// MPEG-2 video elementary stream, byte for byte the one the DVD job puts into its VOB
// files for the same options.
#include "cli/Commands.h"

#include "app/ShowStreams.h"

#include <cstdio>
#include <string>

namespace {

int RunSlideshowM2v(const CArgs& args)
{
    CSlideShowJob job;
    std::string output, error;
    if (!ReadShowOutput(args, "--m2v", job, output, error)) return Fail(error);

    CShowStreams streams(job);
    if (!job.CheckShowFits()) return Fail(job.Error());
    ReportJobNotes(job);
    job.ReportAlbum();
    CShowStreams::SWritten written;
    if (!streams.WriteVideo(output, written)) return Fail(streams.Error());
    std::printf("%s: %lld pictures, %llu bytes, %.0f bit/s\n", output.c_str(), static_cast<long long>(written.units),
                static_cast<unsigned long long>(written.bytes),
                written.seconds > 0 ? double(written.bytes) * 8.0 / written.seconds : 0.0);
    PrintPhotoSummary(job, stdout);
    return 0;
}

CCommandRegistrar registrar(CSlideshowOutput{
    "--m2v",
    "  --m2v OUT.m2v     write the show's MPEG-2 video elementary stream, as the DVD\n"
    "                    folder would carry it with the same options\n",
    {},
    20,
    RunSlideshowM2v});

}  // namespace
