// SubRip cues: time lines, line counts, overlaps, a bad cue among good ones, and the
// forms real files come in (byte-order mark, Latin-1, CRLF, tags).
#include "dvd/SubText.h"

#include <gtest/gtest.h>

namespace {

CSubText Parsed(const std::string& content)
{
    CSubText t;
    EXPECT_TRUE(t.Parse(content, "test.srt")) << t.Error();
    return t;
}

}  // namespace

TEST(SubTextTime, CommaFullStopAndColonAreReadAlike)
{
    for (const char* line :
         {"00:00:01,500 --> 00:00:03,000", "00:00:01.500 --> 00:00:03.000", "00:00:01:500-->00:00:03:000"}) {
        auto t = Parsed(std::string("1\n") + line + "\nHello\n");
        ASSERT_EQ(t.Cues().size(), 1u) << line;
        EXPECT_EQ(t.Cues()[0].start, 135000u);
        EXPECT_EQ(t.Cues()[0].duration, 135000u);
    }
    int64_t s = 0, e = 0;
    EXPECT_TRUE(CSubText::ParseTimeLine("01:02:03,456 --> 01:02:04,000", s, e));
    EXPECT_EQ(s, (3600 + 120 + 3) * 100 + 45);
    EXPECT_FALSE(CSubText::ParseTimeLine("00:00:01 --> 00:00:02", s, e));
    EXPECT_FALSE(CSubText::ParseTimeLine("Hello --> there", s, e));
}

TEST(SubTextCues, FiveLinesKeepFour_AndTheFifthIsPassedOver)
{
    auto t = Parsed(
        "1\n00:00:01,000 --> 00:00:02,000\n one \ntwo\nthree\nfour\nfive\n\n2\n00:00:03,000 --> "
        "00:00:04,000\nsix\n");
    ASSERT_EQ(t.Cues().size(), 2u);
    EXPECT_EQ(t.Cues()[0].lines, (std::vector<std::string>{"one", "two", "three", "four"}));
    EXPECT_EQ(t.Cues()[1].lines, (std::vector<std::string>{"six"}));
}

TEST(SubTextCues, OverlapsAreCutAgainstThePreviousCue)
{
    auto t = Parsed(
        "1\n00:00:01,000 --> 00:00:04,000\na\n\n2\n00:00:03,000 --> 00:00:06,000\nb\n\n3\n00:00:05,000 --> "
        "00:00:05,500\nc\n");
    ASSERT_EQ(t.Cues().size(), 2u);  // the third lies inside the second's time
    EXPECT_EQ(t.Cues()[1].start, 4u * 90000);
    EXPECT_EQ(t.Cues()[1].duration, 2u * 90000);
}

TEST(SubTextCues, ABadCueIsSkipped_AndTheCuesAfterItAreKept)
{
    auto t = Parsed(
        "1\n00:00:01,000 --> 00:00:02,000\na\n\n2\n00:00:05,000 --> 00:00:04,000\nbackwards\n\n3\n"
        "00:00:0x,000 --> 00:00:07,000\nunreadable\n\n4\n00:00:08,000 --> 00:00:09,000\nd\n");
    ASSERT_EQ(t.Cues().size(), 2u);
    EXPECT_EQ(t.Cues()[1].lines[0], "d");
    EXPECT_EQ(t.Cues()[1].start, 8u * 90000);
}

TEST(SubTextFiles, BomUtf8Latin1CrlfAndTagsAreRead)
{
    auto utf8 = Parsed(
        "\xEF\xBB\xBF"
        "1\r\n00:00:01,000 --> 00:00:02,000\r\n<i>Caf\xC3\xA9</i> <font color=\"red\">cr\xC3\xA8me</font>\r\n"
        "\r\n");
    ASSERT_EQ(utf8.Cues().size(), 1u);
    EXPECT_EQ(utf8.Cues()[0].lines[0], "Caf\xC3\xA9 cr\xC3\xA8me");
    auto latin = Parsed("1\n00:00:01,000 --> 00:00:02,000\n<b>Caf\xE9</b>\n");
    EXPECT_EQ(latin.Cues()[0].lines[0], "Caf\xC3\xA9");
}

TEST(SubTextFiles, AFileWithoutTimeLinesOrCuesIsRefusedByName)
{
    CSubText t;
    std::string noTimes;
    for (int i = 0; i < 60; ++i) noTimes += "line\n";
    noTimes += "00:00:01,000 --> 00:00:02,000\ntoo late\n";
    EXPECT_FALSE(t.Parse(noTimes, "late.srt"));
    EXPECT_NE(t.Error().find("late.srt"), std::string::npos);
    EXPECT_FALSE(t.Parse("1\n00:00:01,000 --> 00:00:02,000\n\n", "empty.srt"));
    EXPECT_FALSE(t.Open("/nonexistent/x.srt"));
    EXPECT_NE(t.Error().find("/nonexistent/x.srt"), std::string::npos);
}

TEST(SubTextFormats, WebVttCuesLoseTheirTagsAndSettings)
{
    CSubText t;
    ASSERT_TRUE(
        t.ParseWebVtt("WEBVTT\n\nNOTE a comment\n\nintro\n00:01.500 --> 00:03.000 align:start\n<v Ann>Hello "
                      "&amp; <c.loud>welcome</c>\nsecond\n\n01:00:00.000 --> 01:00:01.000\nlate\n",
                      "a.vtt"))
        << t.Error();
    ASSERT_EQ(t.Cues().size(), 2u);
    EXPECT_EQ(t.Cues()[0].start, 135000u);
    EXPECT_EQ(t.Cues()[0].lines, (std::vector<std::string>{"Hello & welcome", "second"}));
    EXPECT_EQ(t.Cues()[1].start, 3600u * 90000);
    EXPECT_FALSE(t.ParseWebVtt("1\n00:00:01,000 --> 00:00:02,000\nsrt\n", "b.vtt"));
}

TEST(SubTextFormats, AssDialogueIsSortedSplitAtBreaks_AndLosesItsOverrides)
{
    CSubText t;
    ASSERT_TRUE(
        t.ParseAss("[Script Info]\nTitle: x\n\n[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, "
                   "MarginR, MarginV, Effect, Text\nDialogue: 0,0:00:05.00,0:00:06.50,Default,,0,0,0,,later, "
                   "with a comma\nComment: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,not shown\nDialogue: "
                   "0,0:00:01.00,0:00:02.00,Default,,0,0,0,,{\\i1}first{\\i0}\\Nsecond\\hline\n",
                   "a.ass"))
        << t.Error();
    ASSERT_EQ(t.Cues().size(), 2u);
    EXPECT_EQ(t.Cues()[0].start, 90000u);
    EXPECT_EQ(t.Cues()[0].lines, (std::vector<std::string>{"first", "second line"}));
    EXPECT_EQ(t.Cues()[1].lines, (std::vector<std::string>{"later, with a comma"}));
    EXPECT_EQ(t.Cues()[1].duration, 135000u);
    EXPECT_EQ(CSubText::FormatOfName("/a/B.SSA"), CSubText::EFormat::Ass);
    EXPECT_EQ(CSubText::FormatOfName("/a.vtt/b.srt"), CSubText::EFormat::SubRip);
}
