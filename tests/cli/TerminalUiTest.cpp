#include "base/Progress.h"
#include "cli/TerminalUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

// Progress time stands still until the test moves it.
struct ManualClock {
    int64_t now = 1000;
    ManualClock()
    {
        CProgress::SetClock([this] { return now; });
    }
    ~ManualClock() { CProgress::SetClock(nullptr); }
};

}  // namespace

TEST(TerminalUi, PrintsTheCaptionAndAnswersFromItsSetting)
{
    char* buffer = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buffer, &size);
    ASSERT_NE(out, nullptr);
    {
        CTerminalUi yes(CTerminalUi::Answers::Yes, out, nullptr);
        EXPECT_EQ(yes.MessageBox("A DVD Video already exists under\n\r/x\n\r", "Kestrova", MsgButtons::YesNo,
                                 MsgIcon::Question),
                  MsgAnswer::Yes);
        CTerminalUi safe(CTerminalUi::Answers::Safe, out, nullptr);
        EXPECT_EQ(safe.MessageBox("Burn now?", "Kestrova", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::No);
    }
    std::fclose(out);
    std::string text(buffer, size);
    std::free(buffer);
    EXPECT_NE(text.find("Kestrova: A DVD Video already exists under\n/x\n"), std::string::npos);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_NE(text.find("-> No"), std::string::npos);
}

TEST(TerminalProgress, PrintsALineEveryTenPercentWhenNotATerminal)
{
    testsupport::TempDir dir;
    std::FILE* out = std::fopen(dir.File("err.txt").c_str(), "w+");
    ASSERT_NE(out, nullptr);
    {
        CTerminalUi terminal(CTerminalUi::Answers::Safe, out, nullptr);
        CUiScope scope(terminal);
        CProgress progress;
        progress.OpenHidden("Encoding", "clip");
        for (int p = -3; p <= 104; ++p) progress.SetPercent(p);
    }
    std::fclose(out);
    std::string text = testsupport::ReadText(dir.File("err.txt"));
    std::string expected = "Encoding: clip\n";
    for (int p = 0; p <= 100; p += 10) expected += "Encoding: " + std::to_string(p) + "%\n";
    EXPECT_EQ(text, expected);
}

TEST(TerminalProgress, FirstInterruptBecomesACancelAtTheNextPump)
{
    testsupport::TempDir dir;
    std::FILE* out = std::fopen(dir.File("err.txt").c_str(), "w+");
    ASSERT_NE(out, nullptr);
    CTerminalUi terminal(CTerminalUi::Answers::Safe, out, nullptr);
    CUiScope scope(terminal);
    CTerminalUi::InstallInterruptHandler();
    CProgress progress;
    progress.Open("Encoding", "clip");
    progress.Pump();
    EXPECT_FALSE(progress.IsCancelled());
    std::raise(SIGINT);
    EXPECT_TRUE(CTerminalUi::InterruptPending());
    progress.Pump();
    EXPECT_TRUE(progress.IsCancelled());
    EXPECT_FALSE(CTerminalUi::InterruptPending());
    progress.Pump();
    EXPECT_TRUE(progress.IsCancelled());
    std::signal(SIGINT, SIG_DFL);
    std::fclose(out);
}

TEST(TerminalProgress, TermAndHangUpCancelThenStopAndAThirdQuits)
{
    testsupport::TempDir dir;
    std::FILE* out = std::fopen(dir.File("err.txt").c_str(), "w+");
    ASSERT_NE(out, nullptr);
    {
        CTerminalUi terminal(CTerminalUi::Answers::Safe, out, nullptr);
        CUiScope scope(terminal);
        CTerminalUi::InstallInterruptHandler();
        CProgress progress;
        progress.Open("Encoding", "clip");
        // The first asks to cancel (the work so far is finished), not to stop.
        std::raise(SIGTERM);
        progress.Pump();
        EXPECT_TRUE(progress.IsCancelled());
        EXPECT_FALSE(progress.IsStopped());
        EXPECT_FALSE(terminal.StopRequested());
        // The second asks to stop; the progress sees it without pumping.
        std::raise(SIGHUP);
        EXPECT_TRUE(progress.IsStopped());
        EXPECT_TRUE(terminal.StopRequested());
        EXPECT_TRUE(CTerminalUi::StopWasRequested());
        // A third ends the program at once with the interrupt's status.
        EXPECT_EXIT(std::raise(SIGINT), testing::ExitedWithCode(130), "");
    }
    for (int s : {SIGINT, SIGTERM, SIGHUP}) std::signal(s, SIG_DFL);
    std::fclose(out);
}

TEST(TerminalProgress, LinesCarryTheRemainingTime)
{
    testsupport::TempDir dir;
    std::FILE* out = std::fopen(dir.File("err.txt").c_str(), "w+");
    ASSERT_NE(out, nullptr);
    {
        ManualClock clock;
        CTerminalUi terminal(CTerminalUi::Answers::Safe, out, nullptr);
        CUiScope scope(terminal);
        CProgress progress;
        progress.Open("Encoding", "clip");
        clock.now += 60;
        progress.SetPercentAndTime(10, 20);
        progress.SetPercentAndTime(11, 25);  // not a new tenth: no line
    }
    std::fclose(out);
    EXPECT_EQ(testsupport::ReadText(dir.File("err.txt")), "Encoding: clip\nEncoding: 20% (00:04:00 left)\n");
}
