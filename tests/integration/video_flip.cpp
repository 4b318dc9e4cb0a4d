// A file whose name holds "9876" is not turned upside down; `--flip` turns any file.
// The source is white above and black below, and the decoded title says which way up
// it came out.
#include "integration/video_checks.h"
#include "support/MediaFixtures.h"

#include <gtest/gtest.h>

using namespace testsupport;
using namespace videochecks;

namespace {

// Mean brightness of the upper and the lower quarter of the picture 1 s into the title.
std::pair<double, double> UpperAndLower(const std::string& vob)
{
    auto r = testsupport::Run("ffmpeg -nostdin -v error -ss 1 -i " + Quote(vob) +
                              " -frames:v 1 -vf scale=64:48 -pix_fmt gray -f rawvideo -");
    EXPECT_EQ(r.out.size(), 64u * 48u) << r.err;
    if (r.out.size() != 64u * 48u) return {0, 0};
    double upper = 0, lower = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 64; ++x) {
            upper += uint8_t(r.out[size_t(y * 64 + x)]);
            lower += uint8_t(r.out[size_t((47 - y) * 64 + x)]);
        }
    return {upper / (12 * 64), lower / (12 * 64)};
}

}  // namespace

TEST(VideoFlip, OnlyAnExplicitRequestTurnsThePicture)
{
    TempDir dir;
    std::string error;
    auto source = MakeMediaFixture(EMediaFixture::Named9876, dir.Path().string(), &error);
    ASSERT_FALSE(source.path.empty()) << error;
    ASSERT_NE(source.path.find("9876"), std::string::npos);

    const std::string plain = dir.File("plain"), flipped = dir.File("flipped");
    auto run = MakeVideoDvd({source.path}, plain, "--ntsc --resolution low");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    run = MakeVideoDvd({source.path}, flipped, "--ntsc --resolution low --flip");
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    ExpectGoodDvd(plain, {kFixtureSeconds}, SStandard{false});

    auto [upper, lower] = UpperAndLower(TitleVobs(plain + "/VIDEO_TS", 1)[0]);
    EXPECT_GT(upper, 200) << "holiday_9876.mp4 came out upside down";
    EXPECT_LT(lower, 40) << "holiday_9876.mp4 came out upside down";
    auto [flippedUpper, flippedLower] = UpperAndLower(TitleVobs(flipped + "/VIDEO_TS", 1)[0]);
    EXPECT_LT(flippedUpper, 40) << "--flip did not turn the picture";
    EXPECT_GT(flippedLower, 200) << "--flip did not turn the picture";
}
