#include "base/Ini.h"
#include "base/Progress.h"
#include "support/ScriptedUi.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A clock the test moves by hand.
struct ManualClock {
    int64_t now = 1000;
    ManualClock()
    {
        CProgress::SetClock([this] { return now; });
    }
    ~ManualClock() { CProgress::SetClock(nullptr); }
};

std::vector<std::string> Events(const CScriptedUi& ui, const std::string& what)
{
    std::vector<std::string> values;
    for (const auto& event : ui.progress)
        if (event.what == what) values.push_back(event.value);
    return values;
}

std::string LastText(const CScriptedUi& ui)
{
    auto texts = Events(ui, "text");
    return texts.empty() ? std::string() : texts.back();
}

// A port whose window asks to cancel at one chosen pump only, as a person pressing
// Escape once would; it also reports a screen position when told to.
class COnceUi : public CScriptedUi {
public:
    int cancelAt = 0;
    bool hasPosition = false;
    int pumps = 0;

    std::unique_ptr<CProgressWindow> OpenProgress(const std::string&, const std::string&, bool) override
    {
        return std::make_unique<Window>(*this);
    }

private:
    struct Window : CProgressWindow {
        explicit Window(COnceUi& owner) : owner(owner) {}
        void Show() override {}
        void SetTitle(const std::string&) override {}
        void SetText(const std::string&) override {}
        void SetBar(int) override {}
        bool Pump() override { return ++owner.pumps == owner.cancelAt; }
        bool GetPosition(int& x, int& y) const override
        {
            x = 120;
            y = -40;
            return owner.hasPosition;
        }
        COnceUi& owner;
    };
};

}  // namespace

TEST(Progress, RemainingTimeFollowsTheShareDone)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    ManualClock clock;
    CProgress progress;
    progress.Open("Encoding", "Encoding a.osh...");
    progress.SetPositionOffset(3600);
    clock.now += 60;
    progress.SetPercentAndTime(90, 25);
    EXPECT_EQ(LastText(ui),
              "Encoding a.osh...\n\rSource Position: 01:01:30\n\r"
              "Elapsed Time: 00:01:00 Remaining Time: 00:03:00");
    EXPECT_EQ(Events(ui, "bar").back(), "25");

    // At 0 % the estimate is made as for 1 %: 99 x 60 s.
    progress.SetPercentAndTime(91, 0);
    EXPECT_NE(LastText(ui).find("Remaining Time: 01:39:00"), std::string::npos) << LastText(ui);

    // The same position again changes nothing.
    size_t before = ui.progress.size();
    clock.now += 30;
    progress.SetPercentAndTime(91, 1);
    EXPECT_EQ(ui.progress.size(), before);
}

TEST(Progress, RemainingTimeAndClockTextAtTheLimits)
{
    EXPECT_EQ(CProgress::RemainingSeconds(60, -5), 5940);
    EXPECT_EQ(CProgress::RemainingSeconds(60, 130), 0);
    // A job longer than a day keeps counting hours instead of wrapping to 00.
    EXPECT_EQ(CProgress::FormatHms(25 * 3600 + 61), "25:01:01");
}

TEST(Progress, PercentRedrawsOnlyWhenTheValueChanges)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CProgress progress;
    progress.Open("", "Writing VOB");
    // An empty title falls back to the "Progress" text.
    EXPECT_EQ(ui.progress.front().value, "Progress\nWriting VOB");
    progress.SetPercent(42);
    EXPECT_EQ(LastText(ui), "Writing VOB\n 42%");
    size_t before = ui.progress.size();
    progress.SetPercent(42);
    EXPECT_EQ(ui.progress.size(), before);
    progress.SetText("Finishing");
    progress.SetPercent(43);
    EXPECT_EQ(LastText(ui), "Finishing\n 43%");
    EXPECT_EQ(progress.LastPercent(), 43);
}

TEST(Progress, HiddenWindowAppearsAtTheFirstUpdate)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    CProgress progress;
    progress.OpenHidden("Loading", "a.osh");
    progress.SetText("still loading");
    EXPECT_TRUE(Events(ui, "show").empty());
    progress.SetPercent(0);
    EXPECT_EQ(Events(ui, "show").size(), 1u);
    progress.SetPercent(5);
    EXPECT_EQ(Events(ui, "show").size(), 1u);
}

TEST(Progress, CancelIsSeenAtTheNextPumpAndSticks)
{
    COnceUi ui;
    ui.cancelAt = 3;
    CUiScope scope(ui);
    CProgress progress;
    progress.Open("Burning", "Writing DVD...");
    progress.Pump();
    progress.Pump();
    EXPECT_FALSE(progress.IsCancelled());
    progress.Pump();
    EXPECT_TRUE(progress.IsCancelled());
    // The window no longer reports the request; the flag stays.
    progress.Pump();
    progress.SetPercent(50);
    EXPECT_TRUE(progress.IsCancelled());
    EXPECT_EQ(ui.pumps, 4);
}

TEST(Progress, WindowPositionIsStoredOnlyWhenThePortHasOne)
{
    testsupport::TempDir dir;
    const std::string ini = dir.File("Kestrova.ini");
    CProgress::SetSettingsFile(ini);
    COnceUi ui;
    CUiScope scope(ui);
    {
        CProgress terminalLike;
        terminalLike.Open("A", "a");
    }
    EXPECT_FALSE(std::filesystem::exists(ini));
    ui.hasPosition = true;
    {
        CProgress windowed;
        windowed.Open("A", "a");
    }
    CProgress::SetSettingsFile("");
    EXPECT_EQ(IniRead("Settings", "X", "", ini), "120");
    EXPECT_EQ(IniRead("Settings", "Y", "", ini), "-40");
}
