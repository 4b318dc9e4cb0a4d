// `kestrova slideshow PROJECT.osh --out DIR [--title-set N]`: renders and encodes the
// slide show, multiplexes it into title set N of the DVD folder DIR (DIR/VIDEO_TS,
// with an empty DIR/AUDIO_TS beside it; a DIR that is itself named VIDEO_TS is used
// as it is) and writes the title set's IFO/BUP and VIDEO_TS.IFO/.BUP.
#include "cli/Commands.h"

#include "app/Project.h"
#include "base/DVDParams.h"
#include "dvd/SlideshowTitleBuilder.h"
#include "slideshow/PhotoSlideSource.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

namespace {

int Resolution(const std::string& name)
{
    if (name == "medium") return 1;
    if (name == "low") return 2;
    return 0;
}

// The VIDEO_TS folder for --out DIR, created with AUDIO_TS beside it.
bool PrepareFolder(const std::string& out, std::string& videoTs, std::string& error)
{
    namespace fs = std::filesystem;
    fs::path dir(out);
    if (dir.filename().empty()) dir = dir.parent_path();
    fs::path video = dir.filename() == "VIDEO_TS" ? dir : dir / "VIDEO_TS";
    std::error_code ec;
    fs::create_directories(video, ec);
    if (!ec) fs::create_directories(video.parent_path() / "AUDIO_TS", ec);
    if (ec) {
        error = video.string() + ": cannot create the folder (" + ec.message() + ")";
        return false;
    }
    videoTs = video.string() + "/";
    return true;
}

int RunSlideshowDvd(const CArgs& args)
{
    const std::string project = args.positional.at(0);
    const std::string out = args.Get("--out");
    if (out.empty()) return Fail("--out needs the DVD folder");

    const std::string setText = args.Get("--title-set", "1");
    char* end = nullptr;
    const long titleSet = std::strtol(setText.c_str(), &end, 10);
    if (end == setText.c_str() || *end != '\0' || titleSet < 1 || titleSet > 99)
        return Fail("--title-set must be a number from 1 to 99, not \"" + setText + "\"");

    CDVDParams params;
    const std::string resolution = args.Get("--resolution", "high");
    if (resolution != "high" && resolution != "medium" && resolution != "low")
        return Fail("--resolution must be high, medium or low, not \"" + resolution + "\"");
    ApplyVideoFormat(Resolution(resolution), args.Has("--wide"), args.Has("--pal"), params);
    params.compressAudio = args.Has("--lpcm") ? 0 : 1;

    CAlbum album;
    std::string error;
    if (!LoadProject(album, project, &error)) return Fail(error);
    if (album.photos.empty()) return Fail(project + ": the project has no photos");

    if (args.Has("--bitrate")) {
        const std::string text = args.Get("--bitrate");
        const double rate = std::strtod(text.c_str(), &end);
        if (end == text.c_str() || *end != '\0' || rate < 256000.0 || rate > 15000000.0)
            return Fail("--bitrate must be a number of bits per second from 256000 to 15000000, not \"" +
                        text + "\"");
        params.videoBitRate = rate;
    } else {
        params.titleCount = 1;
        params.titleSeconds[0] = int32_t(album.TotalSeconds());
        params.totalSeconds = params.titleSeconds[0];
        FitBitRate(params);
        params.videoBitRate = std::min(params.videoBitRate, 6500000.0);
    }
    const size_t slash = project.find_last_of('/');
    params.jobName = slash == std::string::npos ? project : project.substr(slash + 1);

    std::string folder;
    if (!PrepareFolder(out, folder, error)) return Fail(error);
    params.outputFolder = folder;
    // VIDEO_TS.IFO lists title sets 1, 2, ... up to the first one missing, so a set
    // after a gap would never be seen.
    for (long n = 1; n < titleSet; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "VTS_%02ld_0.IFO", n);
        if (!std::filesystem::exists(folder + name))
            return Fail("title set " + std::to_string(titleSet) + " needs title set " + std::to_string(n) +
                        " in " + folder + " first (" + name + " is missing)");
    }

    auto show = std::make_unique<CPhotoSlideSource>();
    if (!show->Init(params.width, params.height, params.frameRateCode == 3 ? 25.0 : 29.97))
        return Fail("the slide-show renderer could not be set up (out of memory?)");
    for (size_t i = 0; i < album.photos.size(); ++i) {
        const CAlbumPhoto& photo = album.photos[i];
        show->AddPhoto(photo.transitionType, photo.photoPath, photo.showSeconds * 1000,
                       photo.transitionSeconds * 1000, photo.panZoomType);
        show->AddPhotoClip(photo.narrationPath, int32_t(i));
    }
    for (const CAlbumMusic& music : album.music) show->AddBackgroundMusic(music.path);
    show->BuildAudioTimeline();
    show->Audio().compressAudio = params.compressAudio != 0;

    const double seconds = double(show->FrameCount()) / show->frameRate;
    CSlideshowTitleBuilder builder(*show, params, seconds);
    if (!builder.Build(int(titleSet) - 1, folder)) return Fail(builder.Error());
    std::printf("%s: title set %ld, %.1f s\n", folder.c_str(), titleSet, seconds);
    return 0;
}

CCommandRegistrar registrar(CSlideshowOutput{
    "--out",
    "  --out DIR         make the DVD folder DIR (DIR/VIDEO_TS) with the show as one title set\n"
    "  --title-set N     the title set to write (1 to 99, default 1); VIDEO_TS.IFO lists all present\n"
    "  --lpcm            DVD linear PCM sound instead of MPEG-1 Layer II\n",
    {"--title-set", "--bitrate", "--resolution"},
    100,
    RunSlideshowDvd});

}  // namespace
