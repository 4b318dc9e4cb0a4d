// `kestrova slideshow PROJECT.osh --mp2 OUT.mp2`: writes the show's sound (background
// music and narrations, timed to the pictures) as the MPEG-1 Layer II stream that goes
// onto the DVD.
#include "cli/Commands.h"

#include "app/Project.h"
#include "audio/AudioSlide.h"
#include "base/DVDParams.h"
#include "slideshow/PhotoSlideSource.h"

#include <cstdio>
#include <memory>
#include <string>

namespace {

int RunSlideshowMp2(const CArgs& args)
{
    const std::string project = args.positional.at(0);
    const std::string output = args.Get("--mp2");
    if (output.empty()) return Fail("--mp2 needs an output file name");

    CDVDParams params;
    ApplyVideoFormat(0, args.Has("--wide"), args.Has("--pal"), params);

    CAlbum album;
    std::string error;
    if (!LoadProject(album, project, &error)) return Fail(error);
    if (album.photos.empty()) return Fail(project + ": the project has no photos");

    auto show = std::make_unique<CPhotoSlideSource>();
    if (!show->Init(params.width, params.height, params.frameRateCode == 3 ? 25.0 : 29.97))
        return Fail("the slide-show source could not be set up (out of memory?)");
    for (size_t i = 0; i < album.photos.size(); ++i) {
        const CAlbumPhoto& photo = album.photos[i];
        show->AddPhoto(photo.transitionType, photo.photoPath, photo.showSeconds * 1000,
                       photo.transitionSeconds * 1000, photo.panZoomType);
        show->AddPhotoClip(photo.narrationPath, int32_t(i));
    }
    for (const CAlbumMusic& music : album.music) show->AddBackgroundMusic(music.path);
    show->BuildAudioTimeline();
    show->Audio().compressAudio = true;

    CAudioSlide audio(&show->Audio());
    if (!audio.Start(1, 0, 0, 0)) return Fail("the audio encoder could not be set up (out of memory)");

    uint64_t bytes = 0;
    if (!WriteStreamFile(
            output, 1152, [&](uint8_t* buffer, int size) { return audio.Read(buffer, size); }, {},
            bytes, error))
        return Fail(error);
    std::printf("%s: %llu frames, %llu bytes, %.3f s\n", output.c_str(),
                static_cast<unsigned long long>(bytes / 1152), static_cast<unsigned long long>(bytes),
                double(bytes / 1152) * 0.024);
    return 0;
}

CCommandRegistrar registrar(CSlideshowOutput{
    "--mp2",
    "  --mp2 OUT.mp2     write the show's music and narrations as MPEG-1 Layer II audio\n",
    {},
    30,
    RunSlideshowMp2});

}  // namespace
