// The show's sound as its own Layer II file (CShowStreams::WriteAudio): the encoder's
// model line is kept in the diagnostic log instead of the program's output.
#include "app/ShowStreams.h"

#include "base/Ini.h"
#include "diag/Debugger.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testsupport::TempDir;

namespace {

// Two sample photos of 1 s plus a 1 s transition each, low resolution, no music.
CSlideShowJob ShortShow()
{
    const std::string d = testsupport::DataDir() + "/sample/";
    CSlideShowJob job;
    for (const char* name : {"beach.jpg", "city.jpg"}) {
        job.album.AddPhoto(d + name);
        job.album.photos.back().showSeconds = 1;
        job.album.photos.back().transitionSeconds = 1;
    }
    job.resolution = 2;
    return job;
}

}  // namespace

TEST(ShowAudio, EncoderModelLineGoesToTheDiagnosticLogOnly)
{
    TempDir dir;
    CDebugger log(dir.File("state"));
    ASSERT_TRUE(log.enabled);
    CDebugger::SetActive(&log);
    CSlideShowJob job = ShortShow();
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
