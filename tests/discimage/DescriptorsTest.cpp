#include "discimage/ISO9660_Descriptors.h"
#include "discimage/UDF_Descriptors.h"

#include "discimage/DiscTestUtil.h"

#include <gtest/gtest.h>
#include <vector>

using namespace disctest;

namespace {

TEST(UdfDescriptors, CrcMatchesTheStandardsCheckValues)
{
    // The example of the descriptor tag definition, and the usual CRC-16/XMODEM check.
    const uint8_t example[] = {0x70, 0x6A, 0x77};
    EXPECT_EQ(DescriptorCrc(example, 3), 0x3299);
    const char* digits = "123456789";
    EXPECT_EQ(DescriptorCrc(reinterpret_cast<const uint8_t*>(digits), 9), 0x31C3);
    std::vector<uint8_t> bytes(1000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 37 + i / 7);
    EXPECT_EQ(DescriptorCrc(bytes.data(), bytes.size()), BitwiseCrc(bytes.data(), bytes.size()));
}

TEST(UdfDescriptors, TerminatingDescriptorTagWorkedByHand)
{
    std::vector<uint8_t> d(512, 0xEE);
    PutTerminatingDescriptor(d.data(), 0x12345678);
    // Identifier 8, version 2, CRC of 496 zero bytes (0), CRC length 496 = 0x1F0, the
    // location; the checksum adds those bytes: 8 + 2 + 0xF0 + 0x01 + 0x78 + 0x56 + 0x34
    // + 0x12 = 527, 15 modulo 256.
    const std::vector<uint8_t> tag{8, 0, 2, 0, 15, 0, 0, 0, 0, 0, 0xF0, 0x01, 0x78, 0x56, 0x34, 0x12};
    EXPECT_EQ(std::vector<uint8_t>(d.begin(), d.begin() + 16), tag);
    EXPECT_EQ(std::count(d.begin() + 16, d.end(), 0), 496);
}

TEST(UdfDescriptors, TimestampsCarryTheZoneAsTwelveBitTwosComplement)
{
    uint8_t field[12];
    PutTimestamp(field, CDiscTime{2026, 12, 31, 23, 59, 58, -300});
    // Type 1 in the top nibble, -300 minutes = 0xED4 in 12 bits; year 2026 = 0x07EA.
    const uint8_t west[] = {0xD4, 0x1E, 0xEA, 0x07, 12, 31, 23, 59, 58, 0, 0, 0};
    EXPECT_TRUE(std::equal(field, field + 12, west));
    PutTimestamp(field, CDiscTime{2004, 2, 10, 8, 21, 47, 60});
    EXPECT_EQ(Le16(field), 0x103C);

    uint8_t iso[7];
    PutIsoRecordingTime(iso, CDiscTime{2026, 5, 6, 7, 8, 9, -90});
    const uint8_t isoExpected[] = {126, 5, 6, 7, 8, 9, 0xFA};  // -6 quarter hours
    EXPECT_TRUE(std::equal(iso, iso + 7, isoExpected));
    uint8_t text[17];
    PutIsoVolumeTime(text, CDiscTime{2026, 5, 6, 7, 8, 9, 330});
    EXPECT_EQ(std::string(reinterpret_cast<char*>(text), 16), "2026050607080900");
    EXPECT_EQ(text[16], 22);
}

TEST(UdfDescriptors, IdentifierDescriptorsArePaddedToFourBytesAndCoverWhatTheyName)
{
    // 38 fixed bytes, the identifier (compression id and characters), padding to 4.
    EXPECT_EQ(FileIdentifierDescriptorLength(0), 40);
    EXPECT_EQ(FileIdentifierDescriptorLength(8), 48);
    EXPECT_EQ(FileIdentifierDescriptorLength(12), 52);
    EXPECT_EQ(FileIdentifierDescriptorLength(9), 48);

    std::vector<uint8_t> d(64, 0xEE);
    const int length = PutFileIdentifierDescriptor(d.data(), 7, kFidDirectory, "AUDIO_TS", 4, 261);
    ASSERT_EQ(length, 48);
    EXPECT_EQ(Le16(d.data()), kTagFileIdentifier);
    EXPECT_EQ(Le16(d.data() + 10), 32);  // the CRC covers the descriptor after the tag
    EXPECT_EQ(Le16(d.data() + 8), BitwiseCrc(d.data() + 16, 32));
    EXPECT_EQ(d[18], kFidDirectory);
    EXPECT_EQ(d[19], 9);
    EXPECT_EQ(Le32(d.data() + 20), 2048u);  // the File Entry: one block at block 4
    EXPECT_EQ(Le32(d.data() + 24), 4u);
    EXPECT_EQ(Le32(d.data() + 32), 261u);
    EXPECT_EQ(d[38], 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(&d[39]), 8), "AUDIO_TS");
    EXPECT_EQ(d[47], 0);  // padding
    EXPECT_EQ(d[48], 0xEE);  // nothing written beyond
}

TEST(UdfDescriptors, DStringsAreCutPerFieldAndEmptyOnesAllZero)
{
    std::vector<uint8_t> field(32, 0xEE);
    PutDString(field.data(), 32, "", 30);
    EXPECT_EQ(std::count(field.begin(), field.end(), 0), 32);
    PutDString(field.data(), 32, std::string(40, 'x'), 30);
    EXPECT_EQ(field[0], 8);
    EXPECT_EQ(field[31], 31);  // compression id and 30 characters
    EXPECT_EQ(field[30], 'x');
    PutDString(field.data(), 32, "ab", 30);
    EXPECT_EQ(field[31], 3);
    EXPECT_EQ(field[3], 0);
}

TEST(UdfDescriptors, LogicalVolumeDescriptorEndsWithItsOnePartitionMap)
{
    std::vector<uint8_t> d(512, 0);
    PutLogicalVolumeDescriptor(d.data(), 35, "Label", 64);
    EXPECT_EQ(Le16(d.data() + 10), 446 - 16);  // 440 bytes and a 6-byte type 1 map
    EXPECT_EQ(Le16(d.data() + 8), BitwiseCrc(d.data() + 16, 430));
    EXPECT_EQ(Le32(d.data() + 264), 6u);
    EXPECT_EQ(d[440], 1);
    EXPECT_EQ(d[441], 6);
    EXPECT_EQ(Le32(d.data() + 432), 4096u);  // the integrity sequence
    EXPECT_EQ(Le32(d.data() + 436), 64u);
}

TEST(Iso9660Descriptors, RecordsPadToEvenLengthsInTheirByteOrders)
{
    uint8_t record[64] = {};
    const CDiscTime time{2026, 1, 2, 3, 4, 5, 0};
    EXPECT_EQ(PutIsoDirectoryRecord(record, 0x01020304, 2048, kIsoDirectory, time, "\0", 1), 34);
    EXPECT_EQ(PutIsoDirectoryRecord(record, 0x01020304, 6144, kIsoFile, time, "VTS_01_1.VOB;1", 14), 48);
    EXPECT_EQ(record[0], 48);
    EXPECT_EQ(Le32(record + 2), 0x01020304u);
    EXPECT_EQ(Be32(record + 6), 0x01020304u);
    EXPECT_EQ(Le32(record + 10), 6144u);
    EXPECT_EQ(Be32(record + 14), 6144u);
    EXPECT_EQ(record[32], 14);
    EXPECT_EQ(record[47], 0);

    uint8_t little[16] = {}, big[16] = {};
    EXPECT_EQ(PutIsoPathTableRecord(little, false, 82, 1, "VIDEO_TS", 8), 16);
    EXPECT_EQ(PutIsoPathTableRecord(big, true, 82, 1, "VIDEO_TS", 8), 16);
    EXPECT_EQ(Le32(little + 2), 82u);
    EXPECT_EQ(Be32(big + 2), 82u);
    EXPECT_EQ(little[6], 1);
    EXPECT_EQ(big[7], 1);
    EXPECT_EQ(PutIsoPathTableRecord(little, false, 80, 1, "\0", 1), 10);
}

}  // namespace
