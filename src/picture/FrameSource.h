// CFrameSource: where the encoder pulls its input pictures from (the slide-show
// renderer, the media decoder, a test pattern or a raw video file).
#pragma once

#include <cstdint>

class CFrame;

class CFrameSource {
public:
    virtual ~CFrameSource() = default;
    // Number of pictures the source has to give.
    virtual int64_t FrameCount() = 0;
    // Renders the next picture into `frame.picture` (a picture of the coded size).
    // Asked past its end, a source repeats its last picture or gives black.
    virtual void NextFrame(CFrame& frame) = 0;
};
