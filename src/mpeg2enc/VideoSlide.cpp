#include "mpeg2enc/VideoSlide.h"

#include "base/Threads.h"
#include "mpeg2enc/RenderAhead.h"
#include "picture/FrameSource.h"

namespace {

// The slide show's pictures, rendered ahead on a thread of their own when the chain
// may use more than one thread.
std::unique_ptr<CRenderAhead> RenderAheadFor(CFrameSource& source)
{
    if (WorkerThreads() <= 1) return nullptr;
    return std::make_unique<CRenderAhead>(source);
}

}  // namespace

CVideoSlide::CVideoSlide(std::unique_ptr<CFrameSource> source)
    : ownedSource(std::move(source)),
      renderAhead(RenderAheadFor(*ownedSource)),
      frameSource(renderAhead ? static_cast<CFrameSource&>(*renderAhead) : *ownedSource)
{}

CVideoSlide::CVideoSlide(CFrameSource& source) : frameSource(source) {}

CVideoSlide::~CVideoSlide() = default;

bool CVideoSlide::IsDrained() { return encoder.IsDrained(); }

uint32_t CVideoSlide::NextPictureTime() { return encoder.NextPictureTime(); }

uint32_t CVideoSlide::CurrentPictureTime() { return encoder.CurrentPictureTime(); }

int32_t CVideoSlide::InitFromSettings(const CDVDParams& params) { return encoder.InitFromSettings(params) ? 1 : 0; }

int32_t CVideoSlide::InitFromConfigFile(const std::string& path) { return encoder.InitFromConfigFile(path) ? 1 : 0; }

int32_t CVideoSlide::ResolutionCode()
{
    if (encoder.Width() == 720) return 0;
    if (encoder.Width() == 704) return 1;
    return encoder.Height() > 400 ? 2 : 3;
}

int32_t CVideoSlide::FrameRateClass() { return encoder.FrameRate() < 26.0 ? 25 : 30; }

bool CVideoSlide::IsWideScreen() { return encoder.AspectCode() == 3; }

int32_t CVideoSlide::Read(uint8_t* buffer, int32_t length) { return encoder.Read(buffer, length); }

int32_t CVideoSlide::Start(void*, int32_t, int32_t)
{
    const int64_t frames = frameSource.FrameCount() + kShowTailFrames;
    // The rendering thread makes exactly the pictures the encoder will ask for, so it
    // has ended (and leaves the show alone) once the last of them is coded.
    if (renderAhead) renderAhead->SetFrameLimit(frames);
    return encoder.Start(&frameSource, frames) ? 1 : 0;
}
