// CSlideshowTitleBuilder: the title builder of a slide show. The video is coded from
// the show's frames (CVideoSlide), the audio comes from the show's audio timeline
// (CAudioSlide, Layer II or linear PCM as the timeline asks), and a cell starts every
// 120 seconds of the show.
#pragma once

#include "dvd/TitleBuilder.h"

class CDVDParams;
class CFrameSource;
class CSlideAudioTimeline;

class CSlideshowTitleBuilder : public CTitleBuilder {
public:
    // `frames`, `timeline` (may be null: no sound) and `params` must outlive Build.
    // `seconds` is the length of the show.
    CSlideshowTitleBuilder(CFrameSource& frames, CSlideAudioTimeline* timeline, const CDVDParams& params,
                           double seconds);

protected:
    bool OpenSources(CDVDMplex& mplex) override;
    void PlanCells(CDVDMplex& mplex) override;

private:
    CFrameSource& frames;
    CSlideAudioTimeline* timeline;
    const CDVDParams& params;
    double seconds;
};
