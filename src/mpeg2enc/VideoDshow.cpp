#include "mpeg2enc/VideoDshow.h"

#include "media/DirectShowAV.h"
#include "picture/Frame.h"

#include <cmath>

namespace {

// How long the start of a title waits for the first picture and sound of its file.
constexpr double kFirstSampleWait = 5.0;

}  // namespace

CVideoDshow::CVideoDshow(CDirectShowAV* media_) : media(media_), frames(media_) {}

CVideoDshow::~CVideoDshow() = default;

void CVideoDshow::CMediaFrames::NextFrame(CFrame& frame)
{
    // GetFrame says false when the picture it gave was the last one again.
    if (!media || !media->GetFrame(frame.picture)) ended = true;
}

void CVideoDshow::SetWideScreen(bool wide)
{
    forcedAspect = wide ? 3 : 2;
    encoder.SetAspectCode(forcedAspect);
}

bool CVideoDshow::IsWideShape(int width, int height, double displayAspect)
{
    if (width <= 0 || height <= 0) return false;
    const double shape = displayAspect > 0 ? displayAspect : double(width) / double(height);
    // The two DVD shapes meet at their geometric mean (about 1.54): 16:9 sources (1.78),
    // including those stored exactly at 16:9 such as 1920 x 1080, and anything wider
    // are wide; 4:3 (1.33) and narrower shapes are not.
    return shape > std::sqrt(4.0 / 3.0 * 16.0 / 9.0);
}

uint32_t CVideoDshow::NextPictureTime()
{
    if (!offsetSettled) UpdateStartOffset();
    const uint32_t t = encoder.NextPictureTime();
    return t >= CEncoder::endOfStreamTime ? t : t + startOffset;
}

uint32_t CVideoDshow::CurrentPictureTime()
{
    if (!offsetSettled) UpdateStartOffset();
    const uint32_t t = encoder.CurrentPictureTime();
    return t >= CEncoder::endOfStreamTime ? t : t + startOffset;
}

int32_t CVideoDshow::InitFromSettings(const CDVDParams& params)
{
    if (!encoder.InitFromSettings(params)) return 0;
    if (forcedAspect) encoder.SetAspectCode(forcedAspect);
    return 1;
}

int32_t CVideoDshow::InitFromConfigFile(const std::string& path)
{
    if (!encoder.InitFromConfigFile(path)) return 0;
    if (forcedAspect) encoder.SetAspectCode(forcedAspect);
    return 1;
}

int32_t CVideoDshow::ResolutionCode()
{
    if (encoder.Width() == 720) return 0;
    if (encoder.Width() == 704) return 1;
    return encoder.Height() > 400 ? 2 : 3;
}

int32_t CVideoDshow::FrameRateClass() { return encoder.FrameRate() < 26.0 ? 25 : 30; }

void CVideoDshow::UpdateStartOffset()
{
    if (!media) return;
    if (!offsetSettled) {
        // Waits only at the start of the title, before the first picture is stamped.
        media->WaitForFirstSamples(kFirstSampleWait);
        offsetSettled = true;
    }
    const int64_t audioStart = media->Dump().AudioFirstStart();
    const int64_t videoStart = media->Dump().VideoFirstStart();
    if (audioStart < 0 || videoStart < 0) return;
    const int64_t d = (audioStart - videoStart) * 9 / 1000;  // 100 ns to 90 kHz
    startOffset = d < 0 ? uint32_t(-d) : 0;
}

int32_t CVideoDshow::Read(uint8_t* buffer, int32_t length)
{
    const int32_t n = encoder.Read(buffer, length);
    UpdateStartOffset();
    return n;
}

int32_t CVideoDshow::Start(void*, int32_t, int32_t)
{
    if (!media) return 0;
    if (!forcedAspect && media->videoFound && IsWideShape(media->fileWidth, media->fileHeight, media->displayAspect))
        encoder.SetAspectCode(3);
    frames.frames =
        media->duration >= 0 ? int64_t(double(media->duration) * encoder.FrameRate() / 1e7) : unknownLengthFrames;
    return encoder.Start(&frames, frames.frames) ? 1 : 0;
}
