#include "app/SlideshowTitleBuilder.h"

#include "audio/AudioSlide.h"
#include "diag/Debugger.h"
#include "dvd/CellPlan.h"
#include "dvd/DVDMplex.h"
#include "mpeg2enc/VideoSlide.h"
#include "slideshow/PhotoSlideSource.h"
#include "slideshow/SlideFrameSource.h"

CSlideshowTitleBuilder::CSlideshowTitleBuilder(CPhotoSlideSource& show_, const CDVDParams& params_, double seconds_,
                                               CUiPort& ui, SMuxRunContext& run)
    : CTitleBuilder(ui, run), show(show_), params(params_), seconds(seconds_)
{}

bool CSlideshowTitleBuilder::OpenSources(CDVDMplex& mplex)
{
    auto ownedVideo = std::make_unique<CVideoSlide>(std::make_unique<CSlideFrameSource>(show));
    auto ownedAudio = std::make_unique<CAudioSlide>(&show.Audio());
    video = ownedVideo.get();
    CAudioSlide* audio = ownedAudio.get();
    mplex.SetSources(std::move(ownedVideo), std::move(ownedAudio));
    if (!video->InitFromSettings(params)) return false;
    if (!video->Start(nullptr, 0, 0)) return false;
    if (!audio->Start(0, 0, 1, 0)) return false;
    NoteAudioModel(*audio);
    return true;
}

void CSlideshowTitleBuilder::NoteAudioModel(CAudio& audio)
{
    CDebugger* log = CDebugger::Active();
    if (log && audio.StreamKind() == CAudio::kindMp2) log->WriteAudioModel(CMP2Encoder::ModelSetupText());
}

void CSlideshowTitleBuilder::PlanCells(CDVDMplex& mplex) { mplex.AddCells(SlideshowCellPlan(seconds)); }

void CSlideshowTitleBuilder::AfterRun()
{
    if (!video) return;
    cancelled = video->Encoder().Cancelled();
    framesCoded = video->Encoder().FramesCoded();
}
