// The DV capture source on a DV file made by FFmpeg: pictures handed over at the tape's
// pace, dropped (and paid back in the next picture's length) when the capture's ring is
// full, the sound kept in step, and the end codes of a stop and a pulled device.
#include "media/Avc1394Transport.h"
#include "media/DirectShowAV.h"
#include "media/DvCaptureSource.h"
#include "media/FakeTapeTransport.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

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

// Takes every picture and all sound out of `av`'s rings: the pictures' lengths (100 ns)
// and the bytes of sound.
void Drain(CDirectShowAV& av, std::vector<int64_t>& lengths, size_t& soundBytes)
{
    std::vector<uint8_t> picture(size_t(RawFrameBytes(av.videoCode, av.sourceWidth, av.sourceHeight)));
    int64_t length = 0;
    while (av.Dump().NextVideoSample(picture.data(), picture.size(), length)) lengths.push_back(length);
    std::vector<uint8_t> sound(65536);
    while (size_t got = av.Dump().ReadAudio(sound.data(), sound.size())) soundBytes += got;
}

}  // namespace

TEST(DvCaptureSource, FullRingDropsPicturesAndKeepsTheTime)
{
    TempDir dir;
    CDvCaptureSource source;
    ASSERT_TRUE(source.OpenFile(MakeTape(dir, 1.2)));
    EXPECT_TRUE(source.pal);
    CDirectShowAV av;
    ASSERT_TRUE(source.Connect(av, 60, true));
    // Room for three pictures; nobody reads until the tape has played.
    const size_t frame = size_t(RawFrameBytes(av.videoCode, av.sourceWidth, av.sourceHeight));
    ASSERT_TRUE(av.Dump().videoRing.Allocate(3 * (frame + sizeof(int64_t))));
    int32_t ended = 0;
    source.Start([&](int32_t code) { ended = code; });
    const auto start = std::chrono::steady_clock::now();
    while (source.EndCode() == 0 && std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    source.Stop();
    EXPECT_EQ(ended, kCaptureComplete);
    EXPECT_GE(took, 1.0);  // at the tape's pace, not at once
    EXPECT_EQ(source.FramesCaptured(), 3);
    EXPECT_EQ(source.FramesDropped(), 27);
    std::vector<int64_t> lengths;
    size_t soundBytes = 0;
    Drain(av, lengths, soundBytes);
    ASSERT_EQ(lengths.size(), 3u);
    // The pictures dropped after the third lengthen nothing handed over, but the sound of
    // the whole tape is there.
    EXPECT_EQ(lengths[0], 400000);
    EXPECT_NEAR(double(soundBytes), 1.2 * 48000 * 4, 48000 * 4 / 25.0);
}

TEST(DvCaptureSource, StopAndPulledDeviceEndTheTape)
{
    TempDir dir;
    const std::string tape = MakeTape(dir, 2);
    for (bool pull : {false, true}) {
        CDvCaptureSource source;
        ASSERT_TRUE(source.OpenFile(tape));
        source.fast = pull;  // the stop comes while the tape plays at its pace
        if (pull) source.pullAfterSeconds = 0.4;
        CDirectShowAV av;
        ASSERT_TRUE(source.Connect(av, 60, true));
        source.Start(nullptr);
        if (!pull) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            source.RequestStop();
        }
        std::vector<int64_t> lengths;
        size_t soundBytes = 0;
        Drain(av, lengths, soundBytes);
        source.Stop();
        EXPECT_EQ(source.EndCode(), pull ? kCaptureDeviceLost : kCaptureUserAbort);
        if (pull) {
            EXPECT_EQ(lengths.size(), 10u);
        } else {
            EXPECT_GE(lengths.size(), 5u);
            EXPECT_LE(lengths.size(), 15u);
        }
        // A stopped or pulled tape can be captured from again.
        EXPECT_TRUE(source.Connect(av, 60, true)) << source.Error();
    }
}

TEST(DvCaptureSource, ATapeShorterThanTheCaptureEndsItWhole)
{
    // The encoder stops the tape as soon as it has the title's pictures, which may come
    // before the decoder reports the file's end: the capture still counts as complete,
    // and the tape as played to its end.
    TempDir dir;
    CDvCaptureSource source;
    ASSERT_TRUE(source.OpenFile(MakeTape(dir, 1)));
    source.fast = true;
    CDirectShowAV av;
    ASSERT_TRUE(source.Connect(av, 60, true));
    const auto titleFrames = int64_t(double(av.duration) / 1e7 * source.frameRate);
    ASSERT_EQ(titleFrames, 25);
    source.Start(nullptr);
    std::vector<uint8_t> picture(size_t(RawFrameBytes(av.videoCode, av.sourceWidth, av.sourceHeight)));
    int64_t length = 0;
    for (int64_t n = 0; n < titleFrames; ++n)
        ASSERT_TRUE(av.Dump().NextVideoSample(picture.data(), picture.size(), length)) << n;
    source.Stop();
    EXPECT_EQ(source.EndCode(), kCaptureComplete);
    EXPECT_EQ(source.FramesCaptured(), titleFrames);
    EXPECT_FALSE(source.Connect(av, 60, true));
    EXPECT_NE(source.Error().find("the tape has ended"), std::string::npos) << source.Error();
}

TEST(FakeTapeTransport, AnswersAsTheChosenDeviceAndLogsEverything)
{
    CFakeTapeTransport vcr;
    EXPECT_EQ(vcr.DeviceType(), kDeviceVcr);
    EXPECT_TRUE(vcr.QueryStatus());
    for (int32_t mode : {kTransportPlay, kTransportPause, kTransportFastForward, kTransportRewind,
                         kTransportFastPlayForward, kTransportFastPlayReverse, kTransportStop})
        EXPECT_TRUE(vcr.Command(mode));
    EXPECT_FALSE(vcr.Command(4299));
    EXPECT_EQ(vcr.LastCommand(), kTransportStop);
    EXPECT_EQ(vcr.Log(),
              (std::vector<std::string>{"type", "status", "Play", "Pause", "Fast Forward", "Rewind", "Fast Play Fwd",
                                        "Fast Play Rev", "Stop", "refused 4299"}));
    CFakeTapeTransport camera(CFakeTapeTransport::EKind::Camera);
    EXPECT_EQ(camera.DeviceType(), kDeviceCamera);
    EXPECT_FALSE(camera.Command(kTransportPlay));
    CFakeTapeTransport empty(CFakeTapeTransport::EKind::VcrWithoutTape);
    EXPECT_EQ(empty.DeviceType(), kDeviceVcr);
    EXPECT_FALSE(empty.QueryStatus());
    EXPECT_FALSE(empty.Error().empty());
}

TEST(Avc1394Transport, GuidsAreHexAsTheListShowsThem)
{
    uint64_t guid = 0;
    ASSERT_TRUE(CAvc1394Transport::ParseGuid("0080880002c4a1f3", guid));
    EXPECT_EQ(guid, 0x0080880002c4a1f3ull);
    ASSERT_TRUE(CAvc1394Transport::ParseGuid("0xFFFFFFFFFFFFFFFF", guid));
    EXPECT_EQ(guid, ~0ull);
    for (const char* bad : {"", "0x", "12345678901234567", "tape.dv", "00-80-88"})
        EXPECT_FALSE(CAvc1394Transport::ParseGuid(bad, guid)) << bad;
    // Without a FireWire stack there is no device, and the reason is given.
    std::string why;
    const std::vector<std::string> devices = CAvc1394Transport::ListDevices(why);
    EXPECT_EQ(devices.empty(), !why.empty()) << why;
}
