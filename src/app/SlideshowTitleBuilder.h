// CSlideshowTitleBuilder: the title builder of a slide show. The video is coded from
// the show's frames (CVideoSlide), the audio comes from the show's audio timeline
// (CAudioSlide: Layer II or linear PCM as the timeline's compressAudio flag asks), and
// a cell starts every 120 seconds of the show.
#pragma once

#include "dvd/TitleBuilder.h"

#include <cstdint>

class CAudio;
class CDVDParams;
class CPhotoSlideSource;
class CVideoSlide;

class CSlideshowTitleBuilder : public CTitleBuilder {
public:
    // `show` (filled, with its audio timeline built) and `params` must outlive Build.
    // `seconds` is the length of the show, for the cell plan. `ui` and `run` as for
    // CTitleBuilder.
    CSlideshowTitleBuilder(CPhotoSlideSource& show, const CDVDParams& params, double seconds, CUiPort& ui,
                           SMuxRunContext& run);

    // Keeps the Layer II encoder's model line in the application's diagnostic log when
    // `audio` (started) codes Layer II; does nothing without a log.
    static void NoteAudioModel(CAudio& audio);

    // After Build: whether the person cancelled the encoding (the title then holds the
    // pictures coded so far) and how many pictures were coded.
    bool Cancelled() const { return cancelled; }
    int64_t FramesCoded() const { return framesCoded; }

protected:
    bool OpenSources(CDVDMplex& mplex) override;
    void PlanCells(CDVDMplex& mplex) override;
    void AfterRun() override;

private:
    CVideoSlide* video = nullptr;  // owned by the multiplexer
    bool cancelled = false;
    int64_t framesCoded = 0;
    CPhotoSlideSource& show;
    const CDVDParams& params;
    double seconds;
};
