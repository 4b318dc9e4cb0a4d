// The slide show's pictures coded by the encoder, rendered on the encoder's thread or
// ahead of it on a thread of their own.
#include "base/DVDParams.h"
#include "mpeg2enc/VideoSlide.h"
#include "slideshow/PhotoSlideSource.h"
#include "slideshow/SlideFrameSource.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

// The slide show of two sample photos coded to an MPEG-2 stream, with the thread count
// the chain is allowed.
std::vector<uint8_t> CodeSampleShow(const char* threads)
{
    setenv("KESTROVA_THREADS", threads, 1);
    CPhotoSlideSource show;
    EXPECT_TRUE(show.Init(720, 480, 30000.0 / 1001.0));
    const std::string dir = testsupport::DataDir() + "/sample/";
    EXPECT_TRUE(show.AddPhoto(1, dir + "beach.jpg", 1500, 700, 1));
    EXPECT_TRUE(show.AddPhoto(1, dir + "harbour.png", 1200, 500, 2));
    CVideoSlide video(std::make_unique<CSlideFrameSource>(show));
    CDVDParams params;
    params.aspectCode = 2;
    params.videoBitRate = 6000000.0;
    params.jobName = "render-ahead";
    EXPECT_EQ(video.InitFromSettings(params), 1);
    EXPECT_EQ(video.Start(nullptr, 0, 0), 1);
    std::vector<uint8_t> stream, buffer(2048);
    for (int32_t n; (n = video.Read(buffer.data(), 2048)) > 0;)
        stream.insert(stream.end(), buffer.begin(), buffer.begin() + n);
    unsetenv("KESTROVA_THREADS");
    return stream;
}

}  // namespace

TEST(RenderAhead, SlideShowVideoIsCodedToTheSameBytesWithTheRenderingThread)
{
    CScriptedUi ui;
    CUiScope scope(ui);
    const std::vector<uint8_t> serial = CodeSampleShow("1");
    const std::vector<uint8_t> threaded = CodeSampleShow("2");
    ASSERT_GT(serial.size(), 10000u);
    EXPECT_TRUE(serial == threaded) << serial.size() << " bytes serial, " << threaded.size() << " threaded";
}
