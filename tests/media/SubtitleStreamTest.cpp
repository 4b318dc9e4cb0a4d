// The text of decoded subtitle events: the ninth field, with its breaks and without its
// override blocks.
#include "media/SubtitleStream.h"

#include <gtest/gtest.h>

TEST(SubtitleStreamText, EventTextIsTheNinthField_SplitAtBreaks_WithoutOverrides)
{
    EXPECT_EQ(CSubtitleStream::EventLines("0,0,Default,,0,0,0,,{\\i1}Hello{\\i0}, world\\Nsecond\\hline"),
              (std::vector<std::string>{"Hello, world", "second line"}));
    EXPECT_EQ(CSubtitleStream::EventLines("1,0,Default,,0,0,0,,a\\Nb\\Nc\\Nd\\Ne"),
              (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_TRUE(CSubtitleStream::EventLines("1,0,Default,,0,0,0,,{\\pos(1,2)}\\N ").empty());
}
