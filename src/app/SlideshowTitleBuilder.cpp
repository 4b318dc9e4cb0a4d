#include "app/SlideshowTitleBuilder.h"

#include "audio/AudioSlide.h"
#include "dvd/DVDMplex.h"
#include "mpeg2enc/VideoSlide.h"
#include "slideshow/PhotoSlideSource.h"
#include "slideshow/SlideFrameSource.h"

CSlideshowTitleBuilder::CSlideshowTitleBuilder(CPhotoSlideSource& show_, const CDVDParams& params_,
                                               double seconds_)
    : show(show_), params(params_), seconds(seconds_)
{
}

bool CSlideshowTitleBuilder::OpenSources(CDVDMplex& mplex)
{
    auto* video = new CVideoSlide(std::make_unique<CSlideFrameSource>(show));
    auto* audio = new CAudioSlide(&show.Audio());
    mplex.SetSources(video, audio);
    if (!video->InitFromSettings(params))
        return false;
    if (!video->Start(nullptr, 0, 0))
        return false;
    return audio->Start(0, 0, 1, 0);
}

void CSlideshowTitleBuilder::PlanCells(CDVDMplex& mplex)
{
    mplex.PlanSlideshowCells(seconds);
}
