// The show's sound as its own Layer II file (CShowStreams::WriteAudio): as long as the
// DVD title's pictures whether the music is longer, or there is none at all, and the
// encoder's model line kept in the diagnostic log instead of the program's output.
#include "app/ShowStreams.h"

#include "base/Ini.h"
#include "diag/Debugger.h"
#include "picture/FrameSource.h"
#include "slideshow/PhotoSlideSource.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using testsupport::TempDir;

namespace {

// Two sample photos of 1 s plus a 1 s transition each, low resolution.
CSlideShowJob ShortShow(bool withMusic)
{
    const std::string d = testsupport::DataDir() + "/sample/";
    CSlideShowJob job;
    for (const char* name : {"beach.jpg", "city.jpg"}) {
        job.album.AddPhoto(d + name);
        job.album.photos.back().showSeconds = 1;
        job.album.photos.back().transitionSeconds = 1;
    }
    if (withMusic) job.album.AddMusic(d + "music.mp3", 60);
    job.resolution = 2;
    return job;
}

// Layer II frames that hold the sound of the title's pictures (the show and its tail).
int64_t TitleSoundFrames(CSlideShowJob& job)
{
    job.PrepareParams();
    const int64_t pictures = job.BuildShow()->FrameCount() + kShowTailFrames;
    const int64_t samples = std::llround(double(pictures) * 48000.0 / job.params.frameRate);
    return (samples + 1151) / 1152;
}

}  // namespace

TEST(ShowAudio, MusicLongerThanTheShowIsCutToTheTitlesLength)
{
    CSlideShowJob job = ShortShow(true);
    const int64_t frames = TitleSoundFrames(job);
    TempDir dir;
    CShowStreams streams(job);
    CShowStreams::SWritten written;
    ASSERT_TRUE(streams.WriteAudio(dir.File("show.mp2"), written)) << streams.Error();
    // About four seconds of show and five pictures of tail, not the minute of music.
    EXPECT_EQ(written.units, frames);
    EXPECT_EQ(written.bytes, uint64_t(frames) * 1152u);
    EXPECT_LT(written.seconds, 4.5);
}

TEST(ShowAudio, ShowWithoutSoundGetsASilentTrackOfTheTitlesLength)
{
    CSlideShowJob job = ShortShow(false);
    const int64_t frames = TitleSoundFrames(job);
    TempDir dir;
    CShowStreams streams(job);
    CShowStreams::SWritten written;
    ASSERT_TRUE(streams.WriteAudio(dir.File("quiet.mp2"), written)) << streams.Error();
    EXPECT_EQ(written.units, frames);
    // It decodes to silence.
    auto decode = testsupport::Run("ffmpeg -nostdin -v error -i " + testsupport::Quote(dir.File("quiet.mp2")) +
                                   " -f s16le " + testsupport::Quote(dir.File("quiet.pcm")));
    ASSERT_EQ(decode.exitCode, 0) << decode.err;
    const std::vector<uint8_t> pcm = testsupport::ReadBytes(dir.File("quiet.pcm"));
    EXPECT_EQ(pcm.size(), size_t(frames) * 1152u * 4u);
    int peak = 0;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2)
        peak = std::max(peak, std::abs(int(int16_t(pcm[i] | pcm[i + 1] << 8))));
    EXPECT_LE(peak, 1);
}

TEST(ShowAudio, EncoderModelLineGoesToTheDiagnosticLogOnly)
{
    TempDir dir;
    CDebugger log(dir.File("state"));
    ASSERT_TRUE(log.enabled);
    CDebugger::SetActive(&log);
    CSlideShowJob job = ShortShow(false);
    CShowStreams streams(job);
    CShowStreams::SWritten written;
    testing::internal::CaptureStdout();
    const bool ok = streams.WriteAudio(dir.File("show.mp2"), written);
    const std::string out = testing::internal::GetCapturedStdout();
    CDebugger::SetActive(nullptr);
    ASSERT_TRUE(ok) << streams.Error();
    EXPECT_EQ(out.find("absthr"), std::string::npos) << out;
    EXPECT_EQ(IniRead("AUDIO", "model", "", log.logPath), "absthr[][] sampling frequency index: 2");
}
