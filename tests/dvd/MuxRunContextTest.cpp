// The multiplexer's run state lives in the context it is given and its messages go to
// the port it is given: titles made at the same time with contexts of their own come
// out exactly as one made alone, and nothing reaches the process-wide port.
#include "TitleHelpers.h"

#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using testsupport::ReadBytes;
using testsupport::TempDir;

namespace {

FakeTitle ShortTitle()
{
    FakeTitle t;
    t.video = fakestreams::Video(6, 352, 240);
    t.audio = fakestreams::Mp2(6);
    t.seconds = 6;
    return t;
}

std::vector<std::vector<uint8_t>> TitleFiles(const TempDir& dir)
{
    std::vector<std::vector<uint8_t>> files;
    for (const char* name : {"VTS_01_1.VOB", "VTS_01_0.IFO", "VTS_01_0.BUP", "VIDEO_TS.IFO", "VIDEO_TS.BUP"})
        files.push_back(ReadBytes(dir.File(name)));
    return files;
}

}  // namespace

TEST(MuxRunContext, TitlesMadeAtOnceWithOwnContextsMatchOneMadeAlone)
{
    const FakeTitle t = ShortTitle();
    TempDir alone, first, second;
    CScriptedUi uiAlone;
    SMuxRunContext runAlone;
    ASSERT_TRUE(CFakeTitleBuilder(t, uiAlone, runAlone).Build(0, alone.Path().string()));
    const auto expected = TitleFiles(alone);
    ASSERT_GT(expected[0].size(), 100000u);

    CScriptedUi global, uiA, uiB;
    CUiScope scope(global);
    SMuxRunContext runA, runB;
    bool okA = false, okB = false;
    std::thread a([&] { okA = CFakeTitleBuilder(t, uiA, runA).Build(0, first.Path().string()); });
    std::thread b([&] { okB = CFakeTitleBuilder(t, uiB, runB).Build(0, second.Path().string()); });
    a.join();
    b.join();
    ASSERT_TRUE(okA);
    ASSERT_TRUE(okB);
    EXPECT_TRUE(uiA.boxes.empty()) << uiA.boxes.front().text;
    EXPECT_TRUE(uiB.boxes.empty()) << uiB.boxes.front().text;
    EXPECT_TRUE(global.boxes.empty());
    // Progress windows too go to each title's own port, none to the shared one.
    EXPECT_TRUE(global.progress.empty());
    const auto opened = [](const CScriptedUi& ui, const std::string& body) {
        for (const auto& e : ui.progress)
            if (e.what == "open" && e.value.find(body) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(opened(uiA, "Creating DVD video data"));
    EXPECT_TRUE(opened(uiB, "Creating DVD video data"));
    EXPECT_TRUE(TitleFiles(first) == expected);
    EXPECT_TRUE(TitleFiles(second) == expected);
    // Each run left its state in its own context.
    EXPECT_EQ(runA.lastScrWritten, runAlone.lastScrWritten);
    EXPECT_EQ(runB.lastScrWritten, runAlone.lastScrWritten);
    EXPECT_GT(runAlone.lastScrWritten, 0);
    EXPECT_EQ(runA.lastVideoPtsSent, runAlone.lastVideoPtsSent);
    EXPECT_GT(runAlone.lastVideoPtsSent, 18418u);
}

TEST(MuxRunContext, PackStampedBeforeTheContextsLastClockIsReportedOnTheGivenPort)
{
    const FakeTitle t = ShortTitle();
    TempDir dir;
    CScriptedUi global, ui;
    CUiScope scope(global);
    SMuxRunContext run;
    CDVDMplex mplex(ui, run);
    mplex.SetSources(std::make_unique<CFakeVideo>(t.video, 30), std::make_unique<CFakeAudio>(t.audio, CAudio::kindMp2));
    mplex.AddCells(SlideshowCellPlan(t.seconds));
    mplex.SetAudioBufferCapacity(CDVDMplex::mpegAudioBufferBytes);
    ASSERT_TRUE(mplex.OpenTitle(1, dir.Path().string()));
    run.lastScrWritten = int64_t(1) << 40;  // a clock the title's first pack lies before
    EXPECT_TRUE(mplex.Run());
    ASSERT_FALSE(ui.boxes.empty());
    EXPECT_EQ(ui.boxes.front().text, "Error 1173!");
    EXPECT_EQ(ui.boxes.front().icon, MsgIcon::Warning);
    EXPECT_TRUE(global.boxes.empty());
    EXPECT_TRUE(mplex.Error().empty());  // a warning, not a failure
}

TEST(MuxRunContext, BuilderFailuresGoToItsPortAndIntoError)
{
    FakeTitle t = ShortTitle();
    t.shortBy = 3;  // a source that leaves no room for a padding packet
    TempDir dir;
    CScriptedUi global, ui;
    CUiScope scope(global);
    SMuxRunContext run;
    CFakeTitleBuilder builder(t, ui, run);
    EXPECT_FALSE(builder.Build(0, dir.Path().string()));
    ASSERT_EQ(ui.boxes.size(), 1u);
    EXPECT_EQ(ui.boxes[0].text, "Error Padding!");
    EXPECT_NE(builder.Error().find("could not be finished"), std::string::npos) << builder.Error();
    EXPECT_TRUE(global.boxes.empty());

    EXPECT_FALSE(CFakeTitleBuilder(t, ui, run).Build(0, dir.File("missing/folder")));
    ASSERT_EQ(ui.boxes.size(), 2u);
    EXPECT_NE(ui.boxes[1].text.find("missing/folder/VTS_01_1.VOB"), std::string::npos) << ui.boxes[1].text;
    EXPECT_TRUE(global.boxes.empty());
}
