// Running out of memory while an audio source starts must make it report failure (and
// deliver nothing) instead of ending the program. Large allocations are made to fail
// on request through replaced global allocation functions.
#include "audio/AudioSlide.h"
#include "slideshow/SlideAudioTimeline.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace {

bool failLargeAllocations = false;
constexpr std::size_t largeBytes = 8192;

void* Allocate(std::size_t n, std::size_t alignment)
{
    if (failLargeAllocations && n >= largeBytes) throw std::bad_alloc();
    void* p = alignment > alignof(std::max_align_t)
                  ? std::aligned_alloc(alignment, (n + alignment - 1) / alignment * alignment)
                  : std::malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}

}  // namespace

// Kept out of line so that the compiler does not pair an inlined free() with a new
// expression elsewhere and warn about a mismatch.
#define KEEP_OUT_OF_LINE __attribute__((noinline))
KEEP_OUT_OF_LINE void* operator new(std::size_t n) { return Allocate(n, 0); }
KEEP_OUT_OF_LINE void* operator new[](std::size_t n) { return Allocate(n, 0); }
KEEP_OUT_OF_LINE void* operator new(std::size_t n, std::align_val_t a) { return Allocate(n, std::size_t(a)); }
KEEP_OUT_OF_LINE void* operator new[](std::size_t n, std::align_val_t a) { return Allocate(n, std::size_t(a)); }
KEEP_OUT_OF_LINE void operator delete(void* p) noexcept { std::free(p); }
KEEP_OUT_OF_LINE void operator delete[](void* p) noexcept { std::free(p); }
KEEP_OUT_OF_LINE void operator delete(void* p, std::size_t) noexcept { std::free(p); }
KEEP_OUT_OF_LINE void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
KEEP_OUT_OF_LINE void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
KEEP_OUT_OF_LINE void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
KEEP_OUT_OF_LINE void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
KEEP_OUT_OF_LINE void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

TEST(AudioAllocation, SourceReportsFailureWhenTheEncoderCannotGetMemory)
{
    CSlideAudioTimeline timeline;
    timeline.compressAudio = true;
    CAudioSlide source(&timeline);
    testing::internal::CaptureStderr();
    failLargeAllocations = true;
    const bool started = source.Start(1, 0, 0, 0);
    failLargeAllocations = false;
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(started);
    EXPECT_NE(messages.find("Unable to allocate"), std::string::npos) << messages;
    uint8_t buffer[1152];
    EXPECT_EQ(source.Read(buffer, 1152), 0);
    EXPECT_EQ(source.EndTime(), CAudio::endOfStreamTime);

    // With memory back, the same source starts normally.
    EXPECT_TRUE(source.Start(1, 0, 0, 0));
}
