// `kestrova slideshow PROJECT.osh --m2v OUT.m2v [--bitrate BITS]`: renders the slide show
// and writes its MPEG-2 video elementary stream, as it goes onto the DVD.
#include "cli/Commands.h"

#include "app/Project.h"
#include "base/DVDParams.h"
#include "mpeg2enc/VideoSlide.h"
#include "slideshow/PhotoSlideSource.h"
#include "slideshow/SlideFrameSource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

int Resolution(const std::string& name)
{
    if (name == "medium") return 1;
    if (name == "low") return 2;
    return 0;
}

int RunSlideshowM2v(const CArgs& args)
{
    const std::string project = args.positional.at(0);
    const std::string output = args.Get("--m2v");
    if (output.empty()) return Fail("--m2v needs an output file name");

    CDVDParams params;
    const std::string resolution = args.Get("--resolution", "high");
    if (resolution != "high" && resolution != "medium" && resolution != "low")
        return Fail("--resolution must be high, medium or low, not \"" + resolution + "\"");
    ApplyVideoFormat(Resolution(resolution), args.Has("--wide"), args.Has("--pal"), params);

    CAlbum album;
    std::string error;
    if (!LoadProject(album, project, &error)) return Fail(error);
    if (album.photos.empty()) return Fail(project + ": the project has no photos");

    if (args.Has("--bitrate")) {
        const std::string text = args.Get("--bitrate");
        char* end = nullptr;
        const double rate = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || rate < 256000.0 || rate > 15000000.0)
            return Fail("--bitrate must be a number of bits per second from 256000 to 15000000, not \"" +
                        text + "\"");
        params.videoBitRate = rate;
    } else {
        // The rate the DVD job would choose for this show, capped for slide shows.
        params.titleCount = 1;
        params.titleSeconds[0] = int32_t(album.TotalSeconds());
        params.totalSeconds = params.titleSeconds[0];
        FitBitRate(params);
        params.videoBitRate = std::min(params.videoBitRate, 6500000.0);
    }
    const size_t slash = project.find_last_of('/');
    params.jobName = slash == std::string::npos ? project : project.substr(slash + 1);

    auto show = std::make_unique<CPhotoSlideSource>();
    if (!show->Init(params.width, params.height, params.frameRateCode == 3 ? 25.0 : 29.97))
        return Fail("the slide-show renderer could not be set up (out of memory?)");
    for (const CAlbumPhoto& photo : album.photos)
        show->AddPhoto(photo.transitionType, photo.photoPath, photo.showSeconds * 1000,
                       photo.transitionSeconds * 1000, photo.panZoomType);

    CVideoSlide video(std::make_unique<CSlideFrameSource>(*show));
    if (!video.InitFromSettings(params)) return Fail("the video encoder could not be set up (out of memory?)");

    // Written beside the target and renamed at the end, so that a failed or cancelled
    // run never leaves a partial stream under the requested name.
    video.Start(nullptr, 0, 0);
    const CEncoder& encoder = video.Encoder();
    uint64_t bytes = 0;
    const bool written = WriteStreamFile(
        output, 2048, [&](uint8_t* buffer, int size) { return int(video.Read(buffer, size)); },
        [&]() -> std::string {
            if (encoder.Cancelled()) return "cancelled; " + output + " was not written";
            if (encoder.Failed()) return "out of memory while encoding; " + output + " was not written";
            return {};
        },
        bytes, error);
    if (!written) return Fail(error);
    const double seconds = double(encoder.FramesCoded()) / encoder.FrameRate();
    std::printf("%s: %lld pictures, %llu bytes, %.0f bit/s\n", output.c_str(),
                static_cast<long long>(encoder.FramesCoded()), static_cast<unsigned long long>(bytes),
                seconds > 0 ? double(bytes) * 8.0 / seconds : 0.0);
    return 0;
}

CCommandRegistrar registrar(CSlideshowOutput{
    "--m2v",
    "  --m2v OUT.m2v     write the show's MPEG-2 video elementary stream\n"
    "  --bitrate BITS    average video bit rate (default: what fits the disc, at most 6500000)\n"
    "                    (--pal, --wide and --resolution high|medium|low choose the format)\n",
    {"--bitrate", "--resolution"},
    20,
    RunSlideshowM2v});

}  // namespace
