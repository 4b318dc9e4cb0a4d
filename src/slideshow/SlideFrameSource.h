// CSlideFrameSource: the slide-show renderer (CPhotoSlideSource) as the encoder's frame
// source.
#pragma once

#include "picture/FrameSource.h"

class CPhotoSlideSource;

class CSlideFrameSource : public CFrameSource {
public:
    // `show` must outlive this object.
    explicit CSlideFrameSource(CPhotoSlideSource& show) : show(show) {}
    // The show's frame count (totalFrames).
    int64_t FrameCount() override;
    // The show's next picture; black once the show is over.
    void NextFrame(CFrame& frame) override;

private:
    CPhotoSlideSource& show;
};
