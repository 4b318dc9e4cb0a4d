#include "media/ACMResample.h"

#include "media/FfmpegLoader.h"

namespace {
constexpr int32_t kOutRate = 48000;
constexpr int32_t kFrameBytes = 4;  // 16-bit stereo
}  // namespace

CACMResample::~CACMResample() = default;

bool CACMResample::OpenResampler(int32_t rate)
{
    context.reset();
    if (rate <= 0 || !FfmpegAvailable()) return false;
    sourceRate = rate;
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    context = MakeResampler(stereo, AV_SAMPLE_FMT_S16, kOutRate, stereo, AV_SAMPLE_FMT_S16, rate);
    return context != nullptr;
}

int32_t CACMResample::MaxOutput(int32_t length) const
{
    int64_t inFrames = length / kFrameBytes;
    // Output for the new input plus what the filter may still hold back.
    int64_t outFrames = inFrames * kOutRate / (sourceRate > 0 ? sourceRate : 1) + 256 +
        (context ? ff().swr_get_delay(context.get(), kOutRate) : 0);
    return static_cast<int32_t>(outFrames * kFrameBytes);
}

int32_t CACMResample::Resample(int32_t length, const uint8_t* source, uint8_t* destination)
{
    if (!context || length < 0 || (length > 0 && !source) || !destination) return 0;
    const uint8_t* in[1] = {source};
    uint8_t* out[1] = {destination};
    int outFrames = MaxOutput(length) / kFrameBytes;
    int n = ff().swr_convert(context.get(), out, outFrames, in, length / kFrameBytes);
    return n > 0 ? n * kFrameBytes : 0;
}

int32_t CACMResample::Flush(uint8_t* destination)
{
    if (!context || !destination) return 0;
    uint8_t* out[1] = {destination};
    int n = ff().swr_convert(context.get(), out, MaxOutput(0) / kFrameBytes, nullptr, 0);
    return n > 0 ? n * kFrameBytes : 0;
}
