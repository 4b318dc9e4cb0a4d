// Running out of memory while an audio source starts must make it report failure (and
// deliver nothing) instead of ending the program. Large allocations are made to fail
// on request through replaced global allocation functions.
#include "audio/AudioSlide.h"
#include "media/PcmSource.h"
#include "support/ReplacedAllocation.h"

#include <gtest/gtest.h>

namespace {

// Allocations of this size and more fail while a test asks for it.
constexpr std::size_t largeBytes = 8192;

}  // namespace

TEST(AudioAllocation, SourceReportsFailureWhenTheEncoderCannotGetMemory)
{
    struct CNoSound : CPcmSource {
        int32_t ReadMusicPcm(uint8_t*, int32_t) override { return 0; }
    } timeline;
    timeline.compressAudio = true;
    CAudioSlide source(&timeline);
    testing::internal::CaptureStderr();
    testalloc::failFrom = largeBytes;
    const bool started = source.Start(1, 0, 0, 0);
    testalloc::failFrom = static_cast<std::size_t>(-1);
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(started);
    EXPECT_NE(messages.find("Unable to allocate"), std::string::npos) << messages;
    uint8_t buffer[1152];
    EXPECT_EQ(source.Read(buffer, 1152), 0);
    EXPECT_EQ(source.EndTime(), CAudio::endOfStreamTime);

    // With memory back, the same source starts normally.
    EXPECT_TRUE(source.Start(1, 0, 0, 0));
}
