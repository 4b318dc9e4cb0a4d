// Cell plans, the multiplexer's cap on cells, and the BCD times of the navigation data.
#include "dvd/CellPlan.h"
#include "dvd/DVDMplex.h"
#include "dvd/DvdTime.h"
#include "support/ScriptedUi.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

using Plan = std::vector<std::pair<double, double>>;

Plan Spans(const std::vector<SCellSpan>& plan)
{
    Plan out;
    for (const SCellSpan& s : plan) out.push_back({s.start, s.end});
    return out;
}

}  // namespace

TEST(CellPlan, VideoFilePlansOf10_100_190_390Seconds)
{
    EXPECT_EQ(Spans(VideoFileCellPlan(0, 10)), (Plan{{0, -1}}));
    EXPECT_EQ(Spans(VideoFileCellPlan(0, 100)), (Plan{{0, 90}, {90, -1}}));
    EXPECT_EQ(Spans(VideoFileCellPlan(0, 190)), (Plan{{0, 180}, {180, -1}}));
    EXPECT_EQ(Spans(VideoFileCellPlan(0, 390)), (Plan{{0, 180}, {180, 360}, {360, 380}, {380, -1}}));
    // A range that does not start at 0 is planned relative to its start.
    EXPECT_EQ(Spans(VideoFileCellPlan(20, 410)), (Plan{{0, 180}, {180, 360}, {360, 380}, {380, -1}}));
}

TEST(CellPlan, SlideShowCellsEvery120SecondsThenAnOpenCell)
{
    EXPECT_EQ(Spans(SlideshowCellPlan(0)), (Plan{{0, -1}}));
    EXPECT_EQ(Spans(SlideshowCellPlan(70)), (Plan{{0, 120}, {120, -1}}));
    EXPECT_EQ(Spans(SlideshowCellPlan(240)), (Plan{{0, 120}, {120, 240}, {240, -1}}));
    EXPECT_EQ(Spans(SlideshowCellPlan(250)), (Plan{{0, 120}, {120, 240}, {240, 360}, {360, -1}}));
    // A show that ends within a second still gets the cell that covers its end.
    EXPECT_EQ(Spans(SlideshowCellPlan(240.5)), (Plan{{0, 120}, {120, 240}, {240, 360}, {360, -1}}));
    // Ten hours: 254 cells of 120 s, then the open 255th.
    const std::vector<SCellSpan> tenHours = SlideshowCellPlan(10 * 3600);
    ASSERT_EQ(tenHours.size(), size_t(kMaxPlannedCells));
    for (size_t i = 0; i + 1 < tenHours.size(); ++i)
        ASSERT_EQ(Spans({tenHours[i]}), (Plan{{120.0 * double(i), 120.0 * double(i + 1)}})) << i;
    EXPECT_EQ(Spans({tenHours.back()}), (Plan{{254 * 120, -1}}));
}

TEST(CellPlan, MultiplexerTakesThePlanInNinetyKilohertzAndAtMost255Cells)
{
    CScriptedUi ui;
    SMuxRunContext run;
    CDVDMplex m(ui, run);
    m.AddCells(SlideshowCellPlan(250));
    ASSERT_EQ(m.Cells().size(), 4u);
    EXPECT_EQ(m.Cells()[1].startTime, 120u * 90000);
    EXPECT_EQ(m.Cells()[1].endTime, 240u * 90000);
    EXPECT_EQ(m.Cells()[3].endTime, uint32_t(-90000));  // open
    for (int i = 0; i < 300; ++i) m.AddCell(i, i + 1);
    EXPECT_EQ(m.Cells().size(), 255u);
}

TEST(BcdTime, HoursMinutesSecondsAndFramesWithRateFlag)
{
    uint8_t t[4];
    PutBcdTime(t, 3723 * 90000 + 45000, 30);  // 1:02:03 and half a second
    EXPECT_EQ(t[0], 0x01);
    EXPECT_EQ(t[1], 0x02);
    EXPECT_EQ(t[2], 0x03);
    EXPECT_EQ(t[3], 0xC0 | 0x15);
    EXPECT_NEAR(BcdSeconds(t), 3723 + 15 / 29.97, 1e-9);  // frames of 1/29.97 s
    PutBcdTime(t, 59 * 60 * 90000 + 59 * 90000 + 89999, 25);
    EXPECT_EQ(t[1], 0x59);
    EXPECT_EQ(t[2], 0x59);
    EXPECT_EQ(t[3], 0x40 | 0x24);
    EXPECT_NEAR(BcdSeconds(t), 59 * 60 + 59 + 24 * 0.04, 1e-9);
}
