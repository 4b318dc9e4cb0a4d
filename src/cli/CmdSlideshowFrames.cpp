// `kestrova slideshow PROJECT.osh --frames OUT.y4m [--pal] [--resolution high|medium|low]`:
// renders every frame of the slide show into a YUV4MPEG2 file that video players and
// FFmpeg read directly.
#include "cli/Commands.h"

#include "app/Project.h"
#include "base/DVDParams.h"
#include "base/Progress.h"
#include "picture/Frame.h"
#include "picture/ImageFile.h"
#include "slideshow/PhotoSlideSource.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace {

struct FileCloser {
    void operator()(FILE* f) const { if (f) std::fclose(f); }
};

// 0 high, 1 medium, 2 low; -1 for an unknown word.
int ResolutionOf(const std::string& word)
{
    if (word.empty() || word == "high") return 0;
    if (word == "medium") return 1;
    if (word == "low") return 2;
    return -1;
}

int RunFrames(const CArgs& args)
{
    const std::string project = args.positional.at(0);
    const std::string out = args.Get("--frames");
    if (out.empty()) return Fail("--frames needs an output file name");
    const int resolution = ResolutionOf(args.Get("--resolution"));
    if (resolution < 0)
        return Fail("unknown --resolution '" + args.Get("--resolution") + "' (high, medium or low)");
    const bool pal = args.Has("--pal");

    CAlbum album;
    std::string error;
    if (!LoadProject(album, project, &error)) return Fail(error);
    if (album.photos.empty()) return Fail(project + ": the project has no photos");

    CDVDParams params;
    ApplyVideoFormat(resolution, false, pal, params);
    CPhotoSlideSource show;
    if (!show.Init(params.width, params.height, params.frameRate))
        return Fail("cannot set up frames of " + std::to_string(params.width) + " x " +
                    std::to_string(params.height));
    for (const CAlbumPhoto& p : album.photos) {
        if (CImageFile::DetectKind(p.photoPath) == CImageFile::kUnknown)
            std::fprintf(stderr, "kestrova: warning: %s: %s; it is shown as black\n", p.photoPath.c_str(),
                         std::filesystem::exists(p.photoPath) ? "not a JPEG, PNG, BMP or WebP picture"
                                                              : "no such file");
        show.AddPhoto(p.transitionType, p.photoPath, p.showSeconds * 1000, p.transitionSeconds * 1000,
                      p.panZoomType);
    }

    // Written under a temporary name and renamed when complete, so a failed or
    // cancelled run never leaves a truncated file behind under the real name.
    const std::string temp = out + ".part";
    std::unique_ptr<FILE, FileCloser> file(std::fopen(temp.c_str(), "wb"));
    if (!file) return Fail("cannot create " + temp);
    const bool ntscRate = params.frameRateCode == 4;
    std::fprintf(file.get(), "YUV4MPEG2 W%d H%d F%s Ip A0:0 C420jpeg\n", params.width, params.height,
                 ntscRate ? "30000:1001" : "25:1");

    CFrame frame;
    if (!frame.Create(params.width, params.height)) return Fail("out of memory for the frame");
    CProgress progress;
    progress.Open("Rendering", project);
    bool ok = true;
    for (int32_t n = 0; n < show.totalFrames && ok; ++n) {
        show.NextFrame(frame);
        ok = std::fputs("FRAME\n", file.get()) >= 0 &&
             std::fwrite(frame.picture.planeY, 1, frame.picture.planarSize, file.get()) ==
                 (size_t)frame.picture.planarSize;
        if ((n & 15) == 0) {
            progress.SetPercent((int)(100LL * n / show.totalFrames));
            progress.Pump();
            if (progress.IsCancelled()) {
                file.reset();
                std::remove(temp.c_str());
                return Fail("cancelled; " + out + " was not written");
            }
        }
    }
    ok = ok && std::fflush(file.get()) == 0;
    file.reset();
    if (!ok) {
        std::remove(temp.c_str());
        return Fail("cannot write " + out + " (disk full?)");
    }
    std::error_code ec;
    std::filesystem::rename(temp, out, ec);
    if (ec) {
        std::remove(temp.c_str());
        return Fail("cannot create " + out + ": " + ec.message());
    }
    std::fprintf(stderr, "%s: %d frames of %d x %d\n", out.c_str(), show.totalFrames, params.width,
                 params.height);
    return 0;
}

CCommandRegistrar registrar(CSlideshowOutput{
    "--frames",
    "  --frames OUT.y4m        render the show's frames into a YUV4MPEG2 file\n"
    "  --pal                   PAL frames at 25 per second (default NTSC, 29.97)\n"
    "  --resolution WORD       high (720 wide, default), medium (352 x full height)\n"
    "                          or low (352 x half height)\n",
    {"--frames", "--resolution"},
    10,
    RunFrames});

}  // namespace
