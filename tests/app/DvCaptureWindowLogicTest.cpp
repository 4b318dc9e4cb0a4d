// What the camcorder window asks of the capture job, on a DV file standing in for the
// tape: the idle preview (the file's first picture, playing on Play, still on Stop),
// the preview fed while capturing, and Create DVD's burn question only over a DVD.
#include "app/DvCaptureJob.h"
#include "base/Texts.h"
#include "media/DvCaptureSource.h"
#include "media/FakeTapeTransport.h"
#include "media/PreviewPicture.h"

#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <thread>

using namespace testsupport;

namespace {

std::string MakeTape(const TempDir& dir, double seconds)
{
    const std::string path = dir.File("tape.dv");
    auto r = testsupport::Run(
        "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=720x576:rate=25 -f lavfi -i sine=sample_rate=48000 -t " +
        std::to_string(seconds) + " -target pal-dv -ac 2 " + Quote(path));
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return path;
}

// Waits up to five seconds for `done`.
bool WaitFor(const std::function<bool()>& done)
{
    const auto start = std::chrono::steady_clock::now();
    while (!done()) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

struct SStandIn {
    CScriptedUi ui;
    CUiScope scope{ui};
    CDvCaptureJob job{ui};
    CDvCaptureSource* source = nullptr;  // owned by the job
    CFakeTapeTransport* transport = nullptr;  // owned by the job

    bool Open(const std::string& dv)
    {
        auto opened = std::make_unique<CDvCaptureSource>();
        if (!opened->OpenFile(dv)) return false;
        source = opened.get();
        auto fake = std::make_unique<CFakeTapeTransport>();
        transport = fake.get();
        job.pal = opened->pal;
        return job.OpenDevice(std::move(opened), std::move(fake));
    }
};

}  // namespace

TEST(DvCaptureWindowLogic, StandInPreviewShowsTheTapeWhenItPlaysAndWhileItIsCaptured)
{
    TempDir dir;
    SStandIn standIn;
    ASSERT_TRUE(standIn.Open(MakeTape(dir, 4)));
    CPreviewPicture& preview = standIn.job.Preview();
    EXPECT_EQ(preview.Serial(), 0u);  // opening alone shows nothing and keeps the tape

    // The idle stand-in shows its first picture and stays there.
    standIn.job.StartPreview();
    ASSERT_TRUE(WaitFor([&] { return preview.Serial() >= 1 && !standIn.source->Monitoring(); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(preview.Serial(), 1u);

    // Play runs the tape into the preview at its pace; Stop holds it.
    ASSERT_TRUE(standIn.job.SendTransport(kTransportPlay));
    EXPECT_TRUE(standIn.source->Monitoring());
    ASSERT_TRUE(WaitFor([&] { return preview.Serial() >= 4; }));
    ASSERT_TRUE(standIn.job.SendTransport(kTransportStop));
    EXPECT_FALSE(standIn.source->Monitoring());
    const uint64_t held = preview.Serial();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(preview.Serial(), held);

    // A capture takes the tape from the preview, which shows what is captured.
    standIn.source->fast = true;
    ASSERT_TRUE(standIn.job.SendTransport(kTransportPlay));
    standIn.job.dvdFolder = dir.File("DVD") + "/VIDEO_TS/";
    standIn.job.lengthSeconds = 1;
    standIn.job.resolution = 2;
    EXPECT_EQ(standIn.job.Capture(), CDvCaptureJob::Result::Done) << standIn.job.Error();
    EXPECT_EQ(standIn.job.footage, 2);
    EXPECT_GT(preview.Serial(), held);
    // The capture's end stopped the tape: the stand-in does not play on by itself.
    EXPECT_FALSE(standIn.source->Monitoring());
    const auto log = standIn.transport->Log();
    EXPECT_EQ(log.back(), "Stop");
}

TEST(DvCaptureWindowLogic, CreateDvdStopsTheTapeAndOffersToBurnOnlyADvd)
{
    TempDir dir;
    SStandIn standIn;
    ASSERT_TRUE(standIn.Open(MakeTape(dir, 1)));
    const std::string folder = dir.File("DVD") + "/VIDEO_TS/";
    standIn.job.dvdFolder = folder;
    std::vector<std::string> burned;
    const auto burn = [&](const std::string& f) { burned.push_back(f); };

    // No footage yet: named in a message, no question, no burn window.
    EXPECT_FALSE(standIn.job.FinishDvd(burn));
    ASSERT_EQ(standIn.ui.boxes.size(), 1u);
    EXPECT_NE(standIn.ui.boxes[0].text.find(folder), std::string::npos) << standIn.ui.boxes[0].text;
    EXPECT_EQ(standIn.ui.boxes[0].buttons, MsgButtons::Ok);
    EXPECT_TRUE(burned.empty());
    EXPECT_EQ(standIn.transport->Log().back(), "Stop");

    // A DVD there: the ready-to-burn question; No keeps the window, Yes opens the burn
    // window on the folder.
    std::filesystem::create_directories(folder);
    WriteText(folder + "VIDEO_TS.IFO", "DVDVIDEO-VMG");
    standIn.ui.boxes.clear();
    EXPECT_FALSE(standIn.job.FinishDvd(burn));
    standIn.ui.QueueAnswer(MsgAnswer::Yes);
    EXPECT_TRUE(standIn.job.FinishDvd(burn));
    ASSERT_EQ(standIn.ui.boxes.size(), 2u);
    for (const auto& box : standIn.ui.boxes) {
        EXPECT_EQ(box.caption, Text(423));
        EXPECT_EQ(box.text, Text(424) + Text(425) + Text(426) + Text(427));
        EXPECT_EQ(box.buttons, MsgButtons::YesNo);
    }
    ASSERT_EQ(burned.size(), 1u);
    EXPECT_EQ(burned[0], folder);
}
