#include "base/DvdFileNames.h"

#include <gtest/gtest.h>
#include <set>

namespace {

TEST(DvdFileNames, TitleSetsTwoDigitsPartsOneAndEveryNameOfADiscDistinct)
{
    EXPECT_EQ(VtsFileName(1, 1, "VOB"), "VTS_01_1.VOB");
    EXPECT_EQ(VtsFileName(1, 0, "IFO"), "VTS_01_0.IFO");
    EXPECT_EQ(VtsFileName(1, 0, "BUP"), "VTS_01_0.BUP");
    EXPECT_EQ(VtsFileName(1, 0, "VOB"), "VTS_01_0.VOB");
    EXPECT_EQ(VtsFileName(12, 9, "VOB"), "VTS_12_9.VOB");
    EXPECT_EQ(VtsFileName(99, 0, "IFO"), "VTS_99_0.IFO");
    // Out of range: written out in full rather than cut to a wrong, valid-looking name.
    EXPECT_EQ(VtsFileName(100, 10, "VOB"), "VTS_100_10.VOB");

    // Every name of a disc fits the 8.3 form of ISO 9660 and none repeats.
    EXPECT_EQ(VmgFileName("IFO"), "VIDEO_TS.IFO");
    EXPECT_EQ(VmgFileName("BUP"), kVideoTsBup);
    std::set<std::string> names{VmgFileName("IFO"), kVideoTsVob, kVideoTsBup};
    for (int set = 1; set <= 99; ++set) {
        for (const char* extension : {"IFO", "BUP"}) names.insert(VtsFileName(set, 0, extension));
        for (int part = 0; part <= 9; ++part) names.insert(VtsFileName(set, part, "VOB"));
    }
    EXPECT_EQ(names.size(), 3u + 99u * 12u);
    for (const std::string& name : names) EXPECT_EQ(name.size(), 12u) << name;
}

}  // namespace
