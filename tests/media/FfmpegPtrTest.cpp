// Owned FFmpeg objects: the openers and makers hand back an empty pointer on failure
// and a working object otherwise (the address sanitizer's leak check sees that every
// one is freed).
#include <gtest/gtest.h>

#include <vector>

#include "media/FfmpegLoader.h"
#include "media/FfmpegPtr.h"
#include "support/TestSupport.h"

using testsupport::TempDir;

TEST(FfmpegPtr, OpenInputIsEmptyForAMissingFileOrUnknownDemuxer)
{
    ASSERT_TRUE(FfmpegAvailable());
    ff().av_log_set_level(AV_LOG_QUIET);
    TempDir dir;
    EXPECT_FALSE(OpenInput(dir.File("missing.wav").c_str(), nullptr, nullptr));
    // A file the forced demuxer cannot read: the failed open leaves nothing to free.
    testsupport::WriteText(dir.File("text.wav"), "not a sound file at all");
    EXPECT_FALSE(OpenInput(dir.File("text.wav").c_str(), ff().av_find_input_format("wav"), nullptr));
}

TEST(FfmpegPtr, ResamplerConvertsAndRefusesAnImpossibleShape)
{
    ASSERT_TRUE(FfmpegAvailable());
    ff().av_log_set_level(AV_LOG_QUIET);
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    // A rate of 0 cannot be converted.
    EXPECT_FALSE(MakeResampler(stereo, AV_SAMPLE_FMT_S16, 48000, stereo, AV_SAMPLE_FMT_S16, 0));

    // 0.1 s at 44.1 kHz becomes 0.1 s at 48 kHz, once the converter is flushed.
    ResamplerPtr converter = MakeResampler(stereo, AV_SAMPLE_FMT_S16, 48000, stereo, AV_SAMPLE_FMT_S16, 44100);
    ASSERT_TRUE(converter);
    std::vector<int16_t> in(4410 * 2, 1000), out(6000 * 2);
    const uint8_t* from[1] = {reinterpret_cast<const uint8_t*>(in.data())};
    uint8_t* to[1] = {reinterpret_cast<uint8_t*>(out.data())};
    int made = ff().swr_convert(converter.get(), to, 6000, from, 4410);
    ASSERT_GE(made, 0);
    uint8_t* rest[1] = {reinterpret_cast<uint8_t*>(out.data() + 2 * made)};
    const int flushed = ff().swr_convert(converter.get(), rest, 6000 - made, nullptr, 0);
    ASSERT_GE(flushed, 0);
    EXPECT_NEAR(made + flushed, 4800, 2);
    // A steady level stays steady in the middle of the converted sound.
    EXPECT_NEAR(out[2 * 2400], 1000, 2);
    EXPECT_NEAR(out[2 * 2400 + 1], 1000, 2);
}
