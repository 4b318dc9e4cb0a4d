#include "discimage/UDF_Disc.h"

#include "discimage/DiscTestUtil.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <filesystem>
#include <random>

using namespace disctest;

namespace {

constexpr size_t S = 2048;

class UDFDiscTest : public ::testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directory(folder); }
    std::string Path(const std::string& name) const { return folder + "/" + name; }
    void Make(const std::string& name, size_t bytes) { MakeFile(Path(name), bytes); }

    // Every file of title sets 1..sets (IFO, VOB 0-9, BUP) plus the three VIDEO_TS files,
    // one byte each.
    void MakeFullTitleSets(int sets)
    {
        for (const char* n : {"VIDEO_TS.IFO", "VIDEO_TS.VOB", "VIDEO_TS.BUP"}) Make(n, 1);
        for (int slot = 3; slot < 3 + 12 * sets; ++slot) Make(CUDF_DVDFiles::SlotName(slot), 1);
    }

    testsupport::TempDir dir;
    std::string folder = dir.File("VIDEO_TS");
    CDiscTime time{2026, 3, 4, 5, 6, 7, 60};
};

const uint8_t* At(const std::vector<uint8_t>& image, size_t sector, size_t offset = 0)
{
    return image.data() + sector * S + offset;
}

// Name, extent and length of the ISO 9660 records in the VIDEO_TS directory.
struct IsoEntry {
    std::string name;
    uint32_t extent;
    uint32_t length;
    size_t position;
};
std::vector<IsoEntry> IsoVideoRecords(const std::vector<uint8_t>& image)
{
    std::vector<IsoEntry> entries;
    size_t pos = 82 * S, end = 112 * S;
    while (pos < end) {
        uint8_t len = image[pos];
        if (len == 0) {
            pos = (pos / S + 1) * S;
            continue;
        }
        const uint8_t* r = &image[pos];
        std::string name(reinterpret_cast<const char*>(r + 33), r[32]);
        if (r[32] > 1) entries.push_back({name, Le32(r + 2), Le32(r + 10), pos});
        pos += len;
    }
    return entries;
}

TEST_F(UDFDiscTest, FiveFileFolder_EntriesAt296To300AndDataFrom301)
{
    Make("VIDEO_TS.IFO", 3 * S);
    Make("VIDEO_TS.BUP", 3 * S);
    Make("VTS_01_0.IFO", 2 * S);
    Make("VTS_01_1.VOB", 10 * S);
    Make("VTS_01_0.BUP", 2 * S);
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("Label", folder));
    EXPECT_EQ(disc.SectorCount(), 301 + 20);
    auto image = ImageOf(disc);
    ASSERT_EQ(image.size(), size_t(321 + 512) * S);

    const char* names[5] = {"VIDEO_TS.IFO", "VIDEO_TS.BUP", "VTS_01_0.IFO", "VTS_01_1.VOB", "VTS_01_0.BUP"};
    const uint32_t starts[5] = {0, 3, 6, 8, 18};
    const uint32_t sizes[5] = {3, 3, 2, 10, 2};
    auto iso = IsoVideoRecords(image);
    ASSERT_EQ(iso.size(), 5u);
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(names[i]);
        const uint8_t* fe = At(image, 296 + size_t(i));
        EXPECT_EQ(Le16(fe), 261);
        EXPECT_EQ(Le32(fe + 12), uint32_t(39 + i));
        EXPECT_EQ(fe[27], 5);
        EXPECT_EQ(Le32(fe + 56), sizes[i] * S);
        EXPECT_EQ(Le32(fe + 172), 8u);  // one short descriptor
        EXPECT_EQ(Le32(fe + 176), sizes[i] * S);  // its extent length
        EXPECT_EQ(Le32(fe + 180), 39 + 5 + starts[i]);  // LBN of the data
        EXPECT_EQ(iso[size_t(i)].name, std::string(names[i]) + ";1");
        EXPECT_EQ(iso[size_t(i)].extent, 301 + starts[i]);
        EXPECT_EQ(iso[size_t(i)].length, sizes[i] * S);
        auto bytes = FileBytes(Path(names[i]));
        EXPECT_EQ(0, std::memcmp(At(image, 301 + starts[i]), bytes.data(), bytes.size()));
        // The UDF directory names the same files in the same order.
        const uint8_t* fid = At(image, 264, 40 + 52 * size_t(i));
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(fid + 39), 12), names[i]);
        EXPECT_EQ(Le32(fid + 24), uint32_t(39 + i));
    }
    // Volume sizes: ISO 9660 the whole image, the UDF partition N sectors.
    EXPECT_EQ(Le32(At(image, 16, 80)), 321u + 512u);
    EXPECT_EQ(Be32(At(image, 16, 84)), 321u + 512u);
    EXPECT_EQ(Le32(At(image, 34, 192)), 321u);
    EXPECT_EQ(Le32(At(image, 64, 84)), 321u);
    EXPECT_EQ(Le32(At(image, 64, 120)), 5u);
}

TEST_F(UDFDiscTest, TitleSetsStopAtFirstMissingIfoAndEmptyFilesAreLeftOut)
{
    Make("VIDEO_TS.IFO", S);
    Make("VIDEO_TS.VOB", 0);
    Make("VTS_01_0.IFO", S);
    Make("VTS_01_1.VOB", S);
    Make("VTS_03_0.IFO", S);
    Make("VTS_03_1.VOB", S);
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("x", folder));
    const CUDF_DVDFiles& files = disc.Files();
    ASSERT_EQ(files.FileCount(), 3);
    EXPECT_EQ(CUDF_DVDFiles::SlotName(files.File(0).slot), "VIDEO_TS.IFO");
    EXPECT_EQ(CUDF_DVDFiles::SlotName(files.File(1).slot), "VTS_01_0.IFO");
    EXPECT_EQ(CUDF_DVDFiles::SlotName(files.File(2).slot), "VTS_01_1.VOB");
    EXPECT_EQ(disc.SectorCount(), 296 + 3 + 3);
}

TEST_F(UDFDiscTest, OddLengthFileIsZeroPaddedAndRecordedRoundedUp)
{
    Make("VIDEO_TS.IFO", S);
    Make("VTS_01_0.IFO", S);
    Make("VTS_01_1.VOB", 5000);
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("x", folder));
    auto image = ImageOf(disc);
    auto vob = FileBytes(Path("VTS_01_1.VOB"));
    const uint8_t* data = At(image, 296 + 3 + 2);
    EXPECT_EQ(0, std::memcmp(data, vob.data(), 5000));
    EXPECT_TRUE(std::all_of(data + 5000, data + 3 * S, [](uint8_t b) { return b == 0; }));
    EXPECT_EQ(Le32(At(image, 298, 56)), 3 * S);
    EXPECT_EQ(IsoVideoRecords(image)[2].length, 3 * S);
}

TEST_F(UDFDiscTest, DirectoriesCrossSectorsWhereTheLayoutSays)
{
    MakeFullTitleSets(7);  // 87 files
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("x", folder));
    ASSERT_EQ(disc.Files().FileCount(), 87);
    auto image = ImageOf(disc);
    // The 79th identifier descriptor begins at byte 4096 of the VIDEO_TS directory.
    const uint8_t* fid79 = At(image, 264 + 2);
    EXPECT_EQ(Le16(fid79), 257);
    EXPECT_EQ(Le32(fid79 + 12), 9u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fid79 + 39), 12),
              CUDF_DVDFiles::SlotName(disc.Files().File(78).slot));
    const uint8_t* dirFe = At(image, 263);
    EXPECT_EQ(Le32(dirFe + 56), 40u + 52u * 87u);
    EXPECT_EQ(Le32(dirFe + 64), 3u);
    EXPECT_EQ(Le32(dirFe + 176), 40u + 52u * 87u);
    // The 42nd ISO record does not fit after 41 in sector 82: it starts sector 83.
    auto iso = IsoVideoRecords(image);
    ASSERT_EQ(iso.size(), 87u);
    EXPECT_EQ(iso[40].position, 82 * S + 68 + 40 * 48);
    EXPECT_EQ(iso[41].position, 83 * S);
    EXPECT_TRUE(std::all_of(At(image, 82, 2036), At(image, 83), [](uint8_t b) { return b == 0; }));
}

std::string DString(const uint8_t* p, size_t size)
{
    return p[size - 1] == 0 ? "" : std::string(reinterpret_cast<const char*>(p + 1), p[size - 1] - 1u);
}

TEST_F(UDFDiscTest, LabelsAreCutPerFieldAndReplacedCompletely)
{
    Make("VIDEO_TS.IFO", S);
    UDF_Disc disc(time);
    std::string thirty(30, 'A'), seventy;
    for (int i = 0; i < 70; ++i) seventy += char('a' + i % 26);
    ASSERT_TRUE(disc.Build(thirty, folder));
    auto image = ImageOf(disc);
    EXPECT_EQ(At(image, 32, 24)[0], 8);
    EXPECT_EQ(At(image, 32, 24)[31], 31);
    EXPECT_EQ(DString(At(image, 32, 24), 32), thirty);

    disc.SetLabel(seventy);
    image = ImageOf(disc);
    for (size_t sector : {32, 48}) EXPECT_EQ(DString(At(image, sector, 24), 32), seventy.substr(0, 30));
    for (size_t sector : {33, 49}) EXPECT_EQ(DString(At(image, sector, 116), 128), seventy.substr(0, 30));
    for (size_t sector : {35, 51}) EXPECT_EQ(DString(At(image, sector, 84), 128), seventy.substr(0, 64));
    EXPECT_EQ(DString(At(image, 257, 112), 128), seventy.substr(0, 30));
    EXPECT_EQ(DString(At(image, 257, 304), 32), seventy.substr(0, 30));

    // A shorter label leaves no trace of the longer one.
    disc.SetLabel("DVD");
    image = ImageOf(disc);
    const uint8_t* lv = At(image, 35, 84);
    EXPECT_EQ(DString(lv, 128), "DVD");
    EXPECT_TRUE(std::all_of(lv + 4, lv + 127, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(At(image, 257, 304 + 4), At(image, 257, 304 + 31), [](uint8_t b) { return b == 0; }));
    // UTF-8 is written as 8-bit characters.
    disc.SetLabel("Caf\xc3\xa9");
    image = ImageOf(disc);
    EXPECT_EQ(DString(At(image, 32, 24), 32), "Caf\xe9");
}

TEST_F(UDFDiscTest, ImageEndsWithPaddingAndAnchors)
{
    Make("VIDEO_TS.IFO", S);
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("x", folder));
    const int64_t n = disc.SectorCount();
    ASSERT_EQ(n, 298);
    EXPECT_EQ(disc.ImageSectors(), n + 512);
    std::vector<uint8_t> buffer(S, 0xAA);
    for (int64_t i = n; i <= n + 480; ++i) {
        EXPECT_EQ(disc.ReadSector(i, buffer.data()), 0);
        ASSERT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; }));
    }
    for (int64_t i = n + 481; i <= n + 511; ++i) {
        ASSERT_EQ(disc.ReadSector(i, buffer.data()), 2048);
        EXPECT_EQ(Le16(buffer.data()), 2);
        EXPECT_EQ(Le32(buffer.data() + 12), uint32_t(i));
        EXPECT_EQ(Le32(buffer.data() + 16), 32768u);
        EXPECT_EQ(Le32(buffer.data() + 20), 32u);
        EXPECT_EQ(Le32(buffer.data() + 28), 48u);
    }
    std::fill(buffer.begin(), buffer.end(), 0xAA);
    EXPECT_EQ(disc.ReadSector(n + 512, buffer.data()), 0);
    EXPECT_EQ(disc.ReadSector(-1, buffer.data()), 0);
    EXPECT_EQ(buffer[0], 0xAA);
}

// Checks one descriptor's tag against its own bytes.
void ExpectSound(const uint8_t* d, uint32_t location, const std::string& what)
{
    SCOPED_TRACE(what);
    EXPECT_NE(Le16(d), 0);
    EXPECT_EQ(Le16(d + 2), 2);
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4) sum = uint8_t(sum + d[i]);
    EXPECT_EQ(d[4], sum);
    uint16_t length = Le16(d + 10);
    EXPECT_GT(length, 0);
    EXPECT_EQ(Le16(d + 8), BitwiseCrc(d + 16, length));
    EXPECT_EQ(Le32(d + 12), location);
}

TEST_F(UDFDiscTest, EveryDescriptorCarriesCrcAndChecksumOfItsBytes)
{
    MakeFullTitleSets(4);  // 51 files: identifier descriptors cross a sector boundary
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("Checked", folder));
    auto image = ImageOf(disc);
    const uint32_t n = uint32_t(disc.SectorCount());
    const int files = disc.Files().FileCount();

    for (uint32_t s : {32u, 33u, 34u, 35u, 36u, 37u, 48u, 49u, 50u, 51u, 52u, 53u, 64u, 65u, 256u})
        ExpectSound(At(image, s), s, std::string("sector ") + std::to_string(s));
    for (uint32_t s = n + 481; s < n + 512; ++s) ExpectSound(At(image, s), s, "anchor");
    for (uint32_t s = 257; s < 264; s += (s >= 259 ? 2 : 1))
        ExpectSound(At(image, s), s - 257, std::string("partition sector ") + std::to_string(s));

    // Every File Entry: one short descriptor whose length is the information length.
    for (uint32_t s : {259u, 261u, 263u}) {
        const uint8_t* fe = At(image, s);
        EXPECT_EQ(Le32(fe + 172), 8u);
        EXPECT_EQ(Le32(fe + 176), Le32(fe + 56));
    }
    for (int i = 0; i < files; ++i) {
        const uint8_t* fe = At(image, 296 + size_t(i));
        ExpectSound(fe, uint32_t(39 + i), std::string("file entry ") + std::to_string(i));
        EXPECT_EQ(Le32(fe + 176), Le32(fe + 56));
    }

    // Walk each directory's identifier descriptors by their own lengths.
    struct Dir {
        size_t sector;
        uint32_t length;
        int entries;
    };
    for (Dir dir : {Dir{260, 136, 3}, Dir{262, 40, 1}, Dir{264, Le32(At(image, 263, 56)), files + 1}}) {
        size_t pos = 0;
        int count = 0;
        while (pos < dir.length) {
            const uint8_t* fid = At(image, dir.sector, pos);
            ExpectSound(fid, uint32_t(dir.sector - 257 + pos / S), std::string("identifier at ") + std::to_string(pos));
            size_t size = (38 + Le16(fid + 36) + fid[19] + 3) & ~size_t(3);
            EXPECT_EQ(Le16(fid + 10), size - 16);
            pos += size;
            ++count;
        }
        EXPECT_EQ(pos, dir.length);
        EXPECT_EQ(count, dir.entries);
    }
}

TEST_F(UDFDiscTest, FilesTooLargeForAShortDescriptorAreRefusedByName)
{
    Make("VIDEO_TS.IFO", S);
    Make("VTS_01_0.IFO", S);
    Make("VTS_01_1.VOB", 0);
    ASSERT_EQ(0, truncate(Path("VTS_01_1.VOB").c_str(), off_t(1) << 30));
    UDF_Disc refused(time);
    EXPECT_FALSE(refused.Build("x", folder));
    EXPECT_NE(refused.ErrorText().find("VTS_01_1.VOB"), std::string::npos) << refused.ErrorText();

    // The largest whole-sector size below 2^30 still fits.
    ASSERT_EQ(0, truncate(Path("VTS_01_1.VOB").c_str(), (off_t(1) << 30) - 2048));
    UDF_Disc accepted(time);
    ASSERT_TRUE(accepted.Build("x", folder));
    std::vector<uint8_t> fe(S);
    accepted.ReadSector(298, fe.data());
    EXPECT_EQ(Le32(fe.data() + 176), (1u << 30) - 2048);
}

TEST_F(UDFDiscTest, TimeStampsCarryTheZoneOfTheCreationTimeInBothViews)
{
    Make("VIDEO_TS.IFO", S);
    for (int offset : {330, -300}) {
        SCOPED_TRACE(offset);
        UDF_Disc disc(CDiscTime{2026, 3, 4, 5, 6, 7, offset});
        ASSERT_TRUE(disc.Build("x", folder));
        auto image = ImageOf(disc);
        uint16_t zone = uint16_t(0x1000 | (offset & 0xFFF));
        EXPECT_EQ(Le16(At(image, 263, 72)), zone);  // VIDEO_TS File Entry (now)
        EXPECT_EQ(Le16(At(image, 263, 74)), 2026);
        EXPECT_EQ(At(image, 263, 78)[0], 5);  // hour
        EXPECT_EQ(At(image, 263, 79)[0], 6);  // minute
        EXPECT_EQ(Le16(At(image, 296, 84)), zone);  // a file's modification time
        EXPECT_EQ(Le16(At(image, 64, 16)), zone);  // integrity descriptor
        EXPECT_EQ(Le16(At(image, 32, 376)), zone);  // fixed recording time, same zone
        int8_t quarters = int8_t(offset / 15);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(At(image, 16, 813)), 16), "2026030405060700");
        EXPECT_EQ(int8_t(At(image, 16, 829)[0]), quarters);
        auto iso = IsoVideoRecords(image);
        const uint8_t* date = &image[iso[0].position + 18];
        EXPECT_EQ(date[0], 126);
        EXPECT_EQ(int8_t(date[6]), quarters);
    }
}

TEST_F(UDFDiscTest, VanishedFileReadsAsZerosUntilItReturns)
{
    Make("VIDEO_TS.IFO", S);
    Make("VTS_01_0.IFO", S);
    Make("VTS_01_1.VOB", 2 * S);
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("x", folder));
    auto vob = FileBytes(Path("VTS_01_1.VOB"));
    std::vector<uint8_t> buffer(S, 0xAA);
    std::filesystem::rename(Path("VTS_01_1.VOB"), Path("moved"));
    EXPECT_EQ(disc.ReadSector(296 + 3 + 2, buffer.data()), 2048);
    EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](uint8_t b) { return b == 0; }));
    std::filesystem::rename(Path("moved"), Path("VTS_01_1.VOB"));
    disc.ReadSector(296 + 3 + 3, buffer.data());
    EXPECT_EQ(0, std::memcmp(buffer.data(), vob.data() + S, S));
}

// A VIDEO_TS.IFO / VTS_nn_0.IFO header with the sector fields the layout reads.
void WriteIfo(const std::string& path, bool vmg, uint32_t sectors, uint32_t last, uint32_t menu, uint32_t c4,
              const std::vector<std::pair<int, uint32_t>>& titles = {})
{
    std::vector<uint8_t> data(sectors * S, 0);
    std::memcpy(data.data(), vmg ? "DVDVIDEO-VMG" : "DVDVIDEO-VTS", 12);
    PutBe32(&data[0x0C], last);
    PutBe32(&data[0xC0], menu);
    PutBe32(&data[0xC4], c4);
    if (vmg) {
        uint8_t* table = &data[c4 * S];
        table[0] = 0;
        table[1] = uint8_t(titles.size());
        for (size_t t = 0; t < titles.size(); ++t) {
            table[8 + 12 * t + 6] = uint8_t(titles[t].first);
            PutBe32(table + 8 + 12 * t + 8, titles[t].second);
        }
    }
    testsupport::WriteBytes(path, data);
}

TEST_F(UDFDiscTest, FilesStartWhereTheIfoFilesPlaceThem)
{
    // A padded video manager (IFO 3 sectors, BUP at 29, title sets at 32 and 50), and a
    // second title set whose title VOBs start one sector after its 2-sector IFO.
    WriteIfo(Path("VIDEO_TS.IFO"), true, 3, 31, 0, 1, {{1, 32}, {2, 50}});
    Make("VIDEO_TS.BUP", 3 * S);
    WriteIfo(Path("VTS_01_0.IFO"), false, 2, 13, 0, 2);
    Make("VTS_01_1.VOB", 10 * S);
    Make("VTS_01_0.BUP", 2 * S);
    WriteIfo(Path("VTS_02_0.IFO"), false, 2, 9, 0, 3);
    Make("VTS_02_1.VOB", 5 * S);
    Make("VTS_02_0.BUP", 2 * S);
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("x", folder));
    const CUDF_DVDFiles& files = disc.Files();
    const uint32_t expected[8] = {0, 29, 32, 34, 44, 50, 53, 58};
    ASSERT_EQ(files.FileCount(), 8);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(files.File(i).start, expected[i]) << i;
    EXPECT_EQ(disc.SectorCount(), 296 + 8 + 60);
    auto image = ImageOf(disc);
    const size_t data = 296 + 8;
    EXPECT_TRUE(std::all_of(At(image, data + 3), At(image, data + 29), [](uint8_t b) { return b == 0; }));
    auto vob = FileBytes(Path("VTS_02_1.VOB"));
    EXPECT_EQ(0, std::memcmp(At(image, data + 53), vob.data(), vob.size()));
    EXPECT_EQ(IsoVideoRecords(image)[6].extent, data + 53);

    // Addresses that agree with back-to-back files change nothing; one that would
    // overlap the previous file is not followed.
    WriteIfo(Path("VIDEO_TS.IFO"), true, 3, 5, 0, 1, {{1, 6}, {2, 20}});
    WriteIfo(Path("VTS_01_0.IFO"), false, 2, 13, 0, 1);
    WriteIfo(Path("VTS_02_0.IFO"), false, 2, 8, 0, 2);
    UDF_Disc packed(time);
    ASSERT_TRUE(packed.Build("x", folder));
    const uint32_t back[8] = {0, 3, 6, 8, 18, 20, 22, 27};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(packed.Files().File(i).start, back[i]) << i;
}

TEST_F(UDFDiscTest, ReadingRunsOfSectorsGivesTheSameBytesAsSectorBySector)
{
    // Files with gaps between them, an odd-length file and every region of the image.
    WriteIfo(Path("VIDEO_TS.IFO"), true, 3, 31, 0, 1, {{1, 32}});
    Make("VIDEO_TS.BUP", 3 * S);
    WriteIfo(Path("VTS_01_0.IFO"), false, 2, 40, 0, 3);
    Make("VTS_01_1.VOB", 20 * S + 100);
    Make("VTS_01_2.VOB", 9 * S);
    Make("VTS_01_0.BUP", 2 * S);
    UDF_Disc disc(time);
    ASSERT_TRUE(disc.Build("x", folder));
    auto expected = ImageOf(disc);
    std::vector<uint8_t> image(expected.size() + 64 * S, 0xAA);
    std::mt19937 random(7);
    int64_t at = 0;
    while (at < disc.ImageSectors()) {
        int count = int(random() % 40) + 1;
        int got = disc.ReadSectors(at, count, &image[size_t(at) * S]);
        ASSERT_EQ(got, int(std::min<int64_t>(count, disc.ImageSectors() - at))) << at;
        at += got;
    }
    image.resize(expected.size());
    EXPECT_TRUE(image == expected);
    EXPECT_EQ(disc.ReadSectors(disc.ImageSectors(), 4, image.data()), 0);
}

TEST_F(UDFDiscTest, FolderWithoutVideoManagerIsRefused)
{
    Make("VTS_01_0.IFO", S);
    UDF_Disc disc(time);
    EXPECT_FALSE(disc.Build("x", folder));
    EXPECT_NE(disc.ErrorText().find("VIDEO_TS.IFO"), std::string::npos);
    EXPECT_EQ(disc.SectorCount(), 0);

    Make("VIDEO_TS.IFO", 0);
    UDF_Disc empty(time);
    EXPECT_FALSE(empty.Build("x", folder));
    EXPECT_NE(empty.ErrorText().find("VIDEO_TS.IFO is empty"), std::string::npos);
}

}  // namespace

namespace {

// Sets an environment variable for one scope and restores the old value after it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name(name)
    {
        if (const char* old = std::getenv(name)) saved = old, hadValue = true;
        setenv(name, value, 1);
    }
    ~ScopedEnv() { hadValue ? setenv(name, saved.c_str(), 1) : unsetenv(name); }

private:
    const char* name;
    std::string saved;
    bool hadValue = false;
};

}  // namespace

TEST(UDFDiscTime, SourceDateEpochPinsTheCreationTimeInUtcAndBadValuesAreIgnored)
{
    {
        ScopedEnv epoch("SOURCE_DATE_EPOCH", "1700000000");
        const CDiscTime t = UDF_Disc::LocalNow();
        EXPECT_EQ(t.year, 2023);
        EXPECT_EQ(t.month, 11);
        EXPECT_EQ(t.day, 14);
        EXPECT_EQ(t.hour, 22);
        EXPECT_EQ(t.minute, 13);
        EXPECT_EQ(t.second, 20);
        EXPECT_EQ(t.offsetMinutes, 0);
    }
    for (const char* bad : {"12abc", "-5", "99999999999999"}) {
        ScopedEnv epoch("SOURCE_DATE_EPOCH", bad);
        EXPECT_GE(UDF_Disc::LocalNow().year, 2024) << bad;  // the clock, not the value
    }
}
