#include "mpeg2enc/VideoSlide.h"

#include "mpeg2enc/FrameSource.h"
#include "mpeg2enc/SlideFrameSource.h"

CVideoSlide::CVideoSlide(CPhotoSlideSource& show)
    : ownedSource(std::make_unique<CSlideFrameSource>(show)), frameSource(*ownedSource)
{
}

CVideoSlide::CVideoSlide(CFrameSource& source) : frameSource(source) {}

CVideoSlide::~CVideoSlide() = default;

bool CVideoSlide::IsDrained() { return encoder.IsDrained(); }

uint32_t CVideoSlide::NextPictureTime() { return encoder.NextPictureTime(); }

uint32_t CVideoSlide::CurrentPictureTime() { return encoder.CurrentPictureTime(); }

int32_t CVideoSlide::InitFromSettings(const CDVDParams& params) { return encoder.InitFromSettings(params) ? 1 : 0; }

int32_t CVideoSlide::InitFromConfigFile(const std::string& path)
{
    return encoder.InitFromConfigFile(path) ? 1 : 0;
}

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
    return encoder.Start(&frameSource, frameSource.FrameCount() + 5) ? 1 : 0;
}
