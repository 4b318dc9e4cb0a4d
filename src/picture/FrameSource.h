// CFrameSource: where the encoder pulls its input pictures from (the slide-show
// renderer, the media decoder, a test pattern or a raw video file).
#pragma once

#include <cstdint>

class CFrame;

// Pictures a slide show's video title carries after the show's last frame (black ones,
// or the last picture repeated); the show's sound lasts through them as well.
constexpr int64_t kShowTailFrames = 5;

class CFrameSource {
public:
    virtual ~CFrameSource() = default;
    // Number of pictures the source has to give.
    virtual int64_t FrameCount() = 0;
    // Renders the next picture into `frame.picture` (a picture of the coded size).
    // Asked past its end, a source repeats its last picture or gives black.
    virtual void NextFrame(CFrame& frame) = 0;
    // True once a source whose length was only estimated (a decoded media file) has
    // given its last picture: the encoder then ends the stream there instead of coding
    // the rest of FrameCount. Rendered sources know their length and never end early.
    virtual bool Exhausted() { return false; }
};
