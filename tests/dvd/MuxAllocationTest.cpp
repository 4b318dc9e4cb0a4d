// The multiplexer's steady state makes no allocation per pack or per VOBU: a title three
// times as long allocates (almost) nothing more while it is multiplexed. Allocations are
// counted through replaced global allocation functions, which otherwise pass straight
// on to malloc and free.
#include "FakeSources.h"
#include "base/ScriptedUi.h"
#include "dvd/DVDMplex.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<bool> counting{false};
std::atomic<long> allocations{0};

void* Allocate(std::size_t n, std::size_t alignment)
{
    if (counting.load(std::memory_order_relaxed)) allocations.fetch_add(1, std::memory_order_relaxed);
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

namespace {

struct SMuxRun {
    long allocations = 0;
    size_t vobus = 0;
    int32_t packs = 0;
};

// Multiplexes `seconds` of video in GOPs of 6 pictures (a VOBU every 0.2 s) with Layer
// II sound, counting the allocations made by Run.
SMuxRun Multiplex(double seconds)
{
    testsupport::TempDir dir;
    CDVDMplex mplex;
    mplex.SetSources(new CFakeVideo(fakestreams::Video(seconds, 352, 240, 6), 30, 3),
                     new CFakeAudio(fakestreams::Mp2(seconds, 192), CAudio::kindMp2));
    mplex.PlanSlideshowCells(seconds);
    mplex.SetAudioBufferCapacity(CDVDMplex::mpegAudioBufferBytes);
    EXPECT_TRUE(mplex.OpenTitle(1, dir.Path().string()));
    CDVDMplex::lastScrWritten = -1;  // a new run, as the job starts each title set
    allocations = 0;
    counting = true;
    const bool ran = mplex.Run();
    counting = false;
    EXPECT_TRUE(ran);
    EXPECT_TRUE(mplex.PatchNavPacks());
    return {allocations.load(), mplex.Vobus().size(), mplex.PacksWritten()};
}

}  // namespace

TEST(MuxAllocation, ALongerTitleAllocatesNothingMorePerPackOrVobu)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    const SMuxRun shorter = Multiplex(20);
    const SMuxRun longer = Multiplex(60);
    EXPECT_TRUE(ui.boxes.empty()) << ui.boxes.front().text;
    // The longer title crosses the record blocks' size (256 VOBUs) at least once.
    ASSERT_GT(longer.vobus, 256u);
    ASSERT_GT(longer.vobus, 2 * shorter.vobus);
    ASSERT_GT(longer.packs, 2 * shorter.packs);
    // One more block of VOBU records (every 256 VOBUs) is allowed; nothing per unit.
    const long blocks = long(longer.vobus / 256) - long(shorter.vobus / 256);
    EXPECT_LE(longer.allocations - shorter.allocations, blocks)
        << shorter.allocations << " allocations for " << shorter.vobus << " VOBUs, " << longer.allocations
        << " for " << longer.vobus;
}
