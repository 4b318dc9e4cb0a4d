#include "base/DVDParams.h"

#include <gtest/gtest.h>

namespace {

CDVDParams OneTitle(const char* disc, int seconds, int audioType)
{
    CDVDParams p;
    p.discSizeText = disc;
    p.titleCount = 1;
    p.titleSeconds[0] = seconds;
    p.titleAudioType[0] = audioType;
    FitBitRate(p);
    return p;
}

TEST(FitBitRate, CapsAtCeilingForOneHourOfLayerII)
{
    CDVDParams p = OneTitle("4700000000", 3600, 1);
    EXPECT_EQ(p.discBytes, 4529000000LL);
    EXPECT_NEAR(p.videoBitRate, 6484226.0, 1.0);
    // The ceiling: 7.2 Mbit/s less audio with pack overhead and navigation.
    EXPECT_NEAR(p.videoBitRate, 7200000.0 - 671000.0 * 2048.0 / 2012.0 - 32768.0, 1e-6);
}

TEST(FitBitRate, LinearPcmLeavesLessForVideo)
{
    EXPECT_NEAR(OneTitle("4700000000", 3600, 2).videoBitRate, 5603749.0, 1.0);
    // Any kind other than 0 and 1 counts as LPCM.
    EXPECT_DOUBLE_EQ(OneTitle("4700000000", 3600, 7).videoBitRate, OneTitle("4700000000", 3600, 2).videoBitRate);
}

TEST(FitBitRate, TwoHoursFallBelowTheCeiling)
{
    EXPECT_NEAR(OneTitle("4700000000", 7200, 1).videoBitRate, 4134559.0, 1.0);
    // Two titles of an hour each are the same programme as one of two hours.
    CDVDParams p;
    p.titleCount = 2;
    p.titleSeconds[0] = p.titleSeconds[1] = 3600;
    p.titleAudioType[0] = p.titleAudioType[1] = 1;
    FitBitRate(p);
    EXPECT_NEAR(p.videoBitRate, 4134559.0, 1.0);
}

TEST(FitBitRate, DiscSizeChoosesTheFactor)
{
    CDVDParams cd = OneTitle("681984000", 1800, 1);
    EXPECT_EQ(cd.discBytes, 617884800LL);
    EXPECT_NEAR(cd.videoBitRate, 1944823.0, 1.0);

    EXPECT_EQ(OneTitle("1470000000", 600, 1).discBytes, 1425900000LL - 30000000LL);
    EXPECT_EQ(OneTitle("4700000001", 600, 1).discBytes, 4465000000LL - 30000000LL);
}

TEST(FitBitRate, DegenerateInputsNeverFail)
{
    CDVDParams none;
    none.videoBitRate = 1.0;
    FitBitRate(none);
    EXPECT_EQ(none.videoBitRate, 4800000.0);

    // Not a number: disc size 0, budget negative, video clamped to nothing.
    CDVDParams junk = OneTitle("lots", 600, 1);
    EXPECT_EQ(junk.discBytes, -30000000LL);
    EXPECT_EQ(junk.videoBitRate, 0.0);
    // Leading digits count.
    EXPECT_EQ(OneTitle("681984000 bytes", 1800, 1).discBytes, 617884800LL);

    // A title count beyond the arrays reads only the 99 entries that exist.
    CDVDParams many;
    many.titleCount = 1000;
    for (int i = 0; i < CDVDParams::maxTitles; ++i) {
        many.titleSeconds[i] = 60;
        many.titleAudioType[i] = 1;
    }
    FitBitRate(many);
    CDVDParams same = OneTitle("4700000000", 99 * 60, 1);
    EXPECT_DOUBLE_EQ(many.videoBitRate, same.videoBitRate);
}

TEST(ApplyVideoFormat, SetsTheSixFormats)
{
    struct Case {
        int resolution;
        bool pal;
        int width, height;
    };
    const Case cases[] = {
        {0, false, 720, 480}, {1, false, 352, 480}, {2, false, 352, 240}, {0, true, 720, 576},
        {1, true, 352, 576},  {2, true, 352, 288},  {5, false, 352, 240}, {-1, true, 352, 288},
    };
    for (const Case& c : cases) {
        for (bool wide : {false, true}) {
            CDVDParams p;
            ApplyVideoFormat(c.resolution, wide, c.pal, p);
            SCOPED_TRACE(testing::Message() << "resolution " << c.resolution << " pal " << c.pal);
            EXPECT_EQ(p.width, c.width);
            EXPECT_EQ(p.height, c.height);
            EXPECT_EQ(p.videoStandard, c.pal ? 1 : 2);
            EXPECT_EQ(p.frameRateCode, c.pal ? 3 : 4);
            EXPECT_DOUBLE_EQ(p.frameRate, c.pal ? 25.0 : 30000.0 / 1001.0);
            EXPECT_EQ(p.aspectCode, wide ? 3 : 2);
        }
    }
}

TEST(ParseMatrixText, StopsAtTheFirstForeignCharacter)
{
    uint8_t out[64] = {};
    CMatrixParse r = ParseMatrixText("0820zz10", out);
    EXPECT_EQ(r.byteCount, 2);
    EXPECT_TRUE(r.wholePairs);
    EXPECT_EQ(out[0], 8);
    EXPECT_EQ(out[1], 32);
    EXPECT_EQ(out[2], 0);

    // White space between and inside pairs is skipped; both letter cases count.
    r = ParseMatrixText(" 1\t0\r\nfF aB", out);
    EXPECT_EQ(r.byteCount, 3);
    EXPECT_EQ(out[0], 0x10);
    EXPECT_EQ(out[1], 0xFF);
    EXPECT_EQ(out[2], 0xAB);

    // A zero byte ends the text.
    r = ParseMatrixText(std::string("12\0"
                                    "34",
                                    5),
                        out);
    EXPECT_EQ(r.byteCount, 1);
}

TEST(ParseMatrixText, LoneDigitAndFullLength)
{
    uint8_t out[64] = {};
    CMatrixParse r = ParseMatrixText("123", out);
    EXPECT_EQ(r.byteCount, 2);
    EXPECT_FALSE(r.wholePairs);
    EXPECT_EQ(out[1], 0x30);

    // 129 digits: exactly 64 bytes, the surplus digit ignored and nothing written past.
    uint8_t guarded[65];
    guarded[64] = 0xEE;
    std::string digits;
    for (int i = 0; i < 64; ++i) digits += "A5";
    r = ParseMatrixText(digits + "7", guarded);
    EXPECT_EQ(r.byteCount, 64);
    EXPECT_TRUE(r.wholePairs);
    EXPECT_EQ(guarded[63], 0xA5);
    EXPECT_EQ(guarded[64], 0xEE);
}

}  // namespace
