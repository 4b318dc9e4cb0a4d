// The multiplexer's steady state makes no allocation per pack or per VOBU: a title three
// times as long allocates (almost) nothing more while it is multiplexed. Allocations are
// counted through replaced global allocation functions, which otherwise pass straight
// on to malloc and free.
#include "FakeSources.h"
#include "base/UiPort.h"
#include "dvd/CellPlan.h"
#include "dvd/DVDMplex.h"
#include "support/ReplacedAllocation.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

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
    SMuxRunContext run;  // a new run, as the job starts each title set
    CDVDMplex mplex(Ui(), run);
    mplex.SetSources(std::make_unique<CFakeVideo>(fakestreams::Video(seconds, 352, 240, 6), 30, 3),
                     std::make_unique<CFakeAudio>(fakestreams::Mp2(seconds, 192), CAudio::kindMp2));
    mplex.AddCells(SlideshowCellPlan(seconds));
    mplex.SetAudioBufferCapacity(CDVDMplex::mpegAudioBufferBytes);
    EXPECT_TRUE(mplex.OpenTitle(1, dir.Path().string()));
    testalloc::count = 0;
    testalloc::counting = true;
    const bool ran = mplex.Run();
    testalloc::counting = false;
    EXPECT_TRUE(ran);
    EXPECT_TRUE(mplex.PatchNavPacks());
    return {testalloc::count.load(), mplex.Vobus().size(), mplex.PacksWritten()};
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
    // The counter sees the run's own allocations (its first block of VOBU records at least).
    ASSERT_GT(shorter.allocations, 0);
    // One more block of VOBU records (every 256 VOBUs) is allowed; nothing per unit.
    const long blocks = long(longer.vobus / 256) - long(shorter.vobus / 256);
    EXPECT_LE(longer.allocations - shorter.allocations, blocks)
        << shorter.allocations << " allocations for " << shorter.vobus << " VOBUs, " << longer.allocations << " for "
        << longer.vobus;
}
