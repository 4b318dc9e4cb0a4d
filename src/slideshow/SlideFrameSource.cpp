#include "slideshow/SlideFrameSource.h"

#include "slideshow/PhotoSlideSource.h"

int64_t CSlideFrameSource::FrameCount() { return show.FrameCount(); }

void CSlideFrameSource::NextFrame(CFrame& frame) { show.NextFrame(frame); }
