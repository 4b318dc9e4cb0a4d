// The FFmpeg loader: the program's table resolves, and a library that is missing or
// lacks a function is named with the dynamic loader's reason and leaves no pointer.
#include <gtest/gtest.h>

#include <string>

#include "media/FfmpegLoader.h"

namespace {

// True when every pointer of the table is set (all) or none is (!all).
bool TableIs(const CFfmpegLoader& loader, bool all)
{
    bool every = true, none = true;
#define KESTROVA_TEST_CHECK(library, name)   \
    every = every && loader.name != nullptr; \
    none = none && loader.name == nullptr;
    KESTROVA_FFMPEG_FUNCTIONS(KESTROVA_TEST_CHECK)
#undef KESTROVA_TEST_CHECK
    return all ? every : none;
}

}  // namespace

TEST(FfmpegLoader, ProgramTableResolvesTheLibrariesOfTheHeaders)
{
    std::string error = "not cleared";
    ASSERT_TRUE(FfmpegAvailable(&error)) << error;
    EXPECT_EQ(error, "");
    EXPECT_TRUE(TableIs(ff(), true));
    // The sonames carry the headers' major versions, and each pointer reaches the
    // library it is listed under.
    EXPECT_EQ(CFfmpegLoader::DefaultSoname(FfmpegLibrary::avcodec),
              "libavcodec.so." + std::to_string(LIBAVCODEC_VERSION_MAJOR));
    EXPECT_EQ(ff().avcodec_version() >> 16, unsigned(LIBAVCODEC_VERSION_MAJOR));
    EXPECT_EQ(ff().avformat_version() >> 16, unsigned(LIBAVFORMAT_VERSION_MAJOR));
    EXPECT_EQ(ff().avutil_version() >> 16, unsigned(LIBAVUTIL_VERSION_MAJOR));
    EXPECT_EQ(ff().swscale_version() >> 16, unsigned(LIBSWSCALE_VERSION_MAJOR));
    EXPECT_EQ(ff().swresample_version() >> 16, unsigned(LIBSWRESAMPLE_VERSION_MAJOR));
    // A call with arguments goes through intact: 3 s at 1/1000 is 270,000 at 1/90,000.
    EXPECT_EQ(ff().av_rescale_q(3000, AVRational{1, 1000}, AVRational{1, 90000}), 270000);
    EXPECT_STREQ(ff().avcodec_get_name(AV_CODEC_ID_MP2), "mp2");
}

TEST(FfmpegLoader, MissingLibraryOrFunctionIsNamedAndLeavesAnEmptyTable)
{
    // A library that is not there: named, with dlopen's reason.
    CFfmpegLoader missing;
    missing.SetSoname(FfmpegLibrary::avcodec, "libavcodec-missing.so.0");
    EXPECT_FALSE(missing.Load());
    EXPECT_NE(missing.Error().find("libavcodec-missing.so.0"), std::string::npos) << missing.Error();
    EXPECT_NE(missing.Error().find("cannot open shared object file"), std::string::npos) << missing.Error();
    EXPECT_TRUE(TableIs(missing, false));

    // A real library under a wrong name: the first function it lacks is named with its
    // library, and the functions already found from the right libraries are dropped too.
    CFfmpegLoader wrong;
    wrong.SetSoname(FfmpegLibrary::swscale, "libz.so.1");
    EXPECT_FALSE(wrong.Load());
    EXPECT_NE(wrong.Error().find("libz.so.1 has no function swscale_version"), std::string::npos) << wrong.Error();
    EXPECT_TRUE(TableIs(wrong, false));

    // The same loader succeeds once pointed back at the real library, and its table is
    // independent of the program's.
    wrong.SetSoname(FfmpegLibrary::swscale, CFfmpegLoader::DefaultSoname(FfmpegLibrary::swscale));
    ASSERT_TRUE(wrong.Load()) << wrong.Error();
    EXPECT_EQ(wrong.Error(), "");
    EXPECT_TRUE(TableIs(wrong, true));
    EXPECT_EQ(wrong.swscale_version(), ff().swscale_version());
}
