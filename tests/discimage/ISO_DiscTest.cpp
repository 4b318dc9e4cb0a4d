#include "discimage/ISO_Disc.h"

#include "discimage/DiscTestUtil.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace disctest;

TEST(ISODisc, SectorsOfAnImageFileWithTheLastOneZeroPadded)
{
    testsupport::TempDir dir;
    std::string path = dir.File("x.iso");
    MakeFile(path, 5000);
    auto bytes = FileBytes(path);
    ISO_Disc disc;
    ASSERT_TRUE(disc.Open(path));
    EXPECT_EQ(disc.SectorCount(), 3);
    std::vector<uint8_t> buffer(2048, 0xAA);
    EXPECT_EQ(disc.ReadSector(1, buffer.data()), 2048);
    EXPECT_EQ(0, std::memcmp(buffer.data(), bytes.data() + 2048, 2048));
    EXPECT_EQ(disc.ReadSector(2, buffer.data()), 2048);
    EXPECT_EQ(0, std::memcmp(buffer.data(), bytes.data() + 4096, 5000 - 4096));
    EXPECT_TRUE(std::all_of(buffer.begin() + (5000 - 4096), buffer.end(), [](uint8_t b) { return b == 0; }));

    std::fill(buffer.begin(), buffer.end(), 0xAA);
    EXPECT_EQ(disc.ReadSector(3, buffer.data()), 0);
    EXPECT_EQ(disc.ReadSector(-1, buffer.data()), 0);
    EXPECT_EQ(buffer[0], 0xAA);

    // Opening a file that does not exist drops the previous one.
    EXPECT_FALSE(disc.Open(dir.File("missing.iso")));
    EXPECT_EQ(disc.SectorCount(), 0);
    EXPECT_EQ(disc.ReadSector(0, buffer.data()), 0);
}
