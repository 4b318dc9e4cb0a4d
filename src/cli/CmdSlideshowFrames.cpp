// `kestrova slideshow PROJECT.osh --frames OUT.y4m`: renders every frame of the slide
// show, as the DVD job would encode it with the same options, into a YUV4MPEG2 file that
// video players and FFmpeg read directly.
#include "cli/Commands.h"

#include "app/ShowStreams.h"

#include <cstdio>
#include <string>

namespace {

int RunFrames(const CArgs& args)
{
    CSlideShowJob job;
    std::string output, error;
    if (!ReadShowOutput(args, "--frames", job, output, error)) return Fail(error);

    CShowStreams streams(job);
    ReportJobNotes(job);
    job.ReportAlbum();
    CShowStreams::SWritten written;
    if (!streams.WriteFrames(output, written)) return Fail(streams.Error());
    std::fprintf(stderr, "%s: %lld frames of %d x %d\n", output.c_str(), static_cast<long long>(written.units),
                 job.params.width, job.params.height);
    PrintPhotoSummary(job, stderr);
    return 0;
}

CCommandRegistrar registrar(CSlideshowOutput{
    "--frames", "  --frames OUT.y4m  render the show's frames into a YUV4MPEG2 file\n", {"--frames"}, 10, RunFrames});

}  // namespace
