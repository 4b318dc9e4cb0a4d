#include "dvd/SlideshowTitleBuilder.h"

#include "audio/AudioSlide.h"
#include "dvd/DVDMplex.h"
#include "mpeg2enc/VideoSlide.h"

CSlideshowTitleBuilder::CSlideshowTitleBuilder(CFrameSource& frames_, CSlideAudioTimeline* timeline_,
                                               const CDVDParams& params_, double seconds_)
    : frames(frames_), timeline(timeline_), params(params_), seconds(seconds_)
{
}

bool CSlideshowTitleBuilder::OpenSources(CDVDMplex& mplex)
{
    auto* video = new CVideoSlide(frames);
    auto* audio = new CAudioSlide(timeline);
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
