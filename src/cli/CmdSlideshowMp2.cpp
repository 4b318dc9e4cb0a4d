// `kestrova slideshow PROJECT.osh --mp2 OUT.mp2`: writes the show's sound (background
// music and narrations, timed to the pictures) as the MPEG-1 Layer II stream that goes
// onto the DVD.
#include "cli/Commands.h"

#include "app/ShowStreams.h"

#include <cstdio>
#include <string>

namespace {

int RunSlideshowMp2(const CArgs& args)
{
    CSlideShowJob job;
    std::string output, error;
    if (!ReadShowOutput(args, "--mp2", job, output, error)) return Fail(error);

    CShowStreams streams(job);
    CShowStreams::SWritten written;
    if (!streams.WriteAudio(output, written)) return Fail(streams.Error());
    std::printf("%s: %lld frames, %llu bytes, %.3f s\n", output.c_str(), static_cast<long long>(written.units),
                static_cast<unsigned long long>(written.bytes), written.seconds);
    return 0;
}

CCommandRegistrar registrar(CSlideshowOutput{
    "--mp2",
    "  --mp2 OUT.mp2     write the show's music and narrations as MPEG-1 Layer II audio\n",
    {},
    30,
    RunSlideshowMp2});

}  // namespace
