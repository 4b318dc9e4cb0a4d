#include "app/DvCaptureTitleBuilder.h"

#include "app/SlideshowTitleBuilder.h"
#include "audio/AudioDshow.h"
#include "base/DVDParams.h"
#include "dvd/CellPlan.h"
#include "dvd/DVDMplex.h"
#include "media/DirectShowAV.h"
#include "media/DvCaptureSource.h"
#include "mpeg2enc/VideoDshow.h"

namespace {

// Below this many lines a picture is too small for its two fields to mean anything:
// such titles are coded progressive.
constexpr int kInterlacedMinLines = 400;

}  // namespace

CDvCaptureTitleBuilder::CDvCaptureTitleBuilder(CDirectShowAV& media_, CDvCaptureSource& source_, double seconds_,
                                               const CDVDParams& params_, CUiPort& ui, SMuxRunContext& run)
    : CTitleBuilder(ui, run), media(media_), source(source_), seconds(seconds_), params(params_)
{}

CDvCaptureTitleBuilder::~CDvCaptureTitleBuilder()
{
    if (started) source.Stop();
}

bool CDvCaptureTitleBuilder::OpenSources(CDVDMplex& target)
{
    media.SetTarget(params.width, params.height, params.frameRate);
    auto ownedVideo = std::make_unique<CVideoDshow>(&media);
    auto ownedAudio = std::make_unique<CAudioDshow>(&media, params.compressAudio != 0);
    video = ownedVideo.get();
    CAudioDshow* audio = ownedAudio.get();
    target.SetSources(std::move(ownedVideo), std::move(ownedAudio));

    if (!video->InitFromSettings(params)) return false;
    if (!video->Start(nullptr, 0, 0)) return false;
    // DV is interlaced with the bottom field first.
    video->SetFieldOrder(params.height >= kInterlacedMinLines, false);
    const int64_t frames = video->Encoder().TotalFrames();
    audio->SetMinimumPcmBytes(int64_t(double(frames) / params.frameRate * 48000.0) * 4);
    media.Run();
    source.Start(onEnd);
    started = true;
    if (!audio->Start(0, 0, 1, 0)) return false;
    CSlideshowTitleBuilder::NoteAudioModel(*audio);
    return true;
}

void CDvCaptureTitleBuilder::PlanCells(CDVDMplex& target) { target.AddCells(SlideshowCellPlan(seconds)); }

void CDvCaptureTitleBuilder::PrepareMultiplexer(CDVDMplex& target)
{
    // The first picture is shown one picture period after its decoding time, which is
    // where the video's times start: the sound starts with that first picture.
    target.audioTimeOffset += 90000.0 / params.frameRate;
}

void CDvCaptureTitleBuilder::AfterRun()
{
    if (video) {
        cancelled = video->Encoder().Cancelled();
        framesCoded = video->Encoder().FramesCoded();
    }
    // The tape and the decoding end before the IFO files are written.
    if (started) source.Stop();
    started = false;
    media.Stop();
}
