// A title set's VOB files as one stream: the source IFO's first program chain, the main
// title search, the start cell, the hiding of secondary audio and reading across files.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>

#include "DvdTitleFiles.h"
#include "media/IfoReader.h"
#include "media/VobStream.h"

using dvdtest::SCell;
using dvdtest::VtsIfo;
using testsupport::TempDir;
using testsupport::WriteBytes;

namespace {

SIfoProgramChain Chain(const std::vector<uint8_t>& ifo)
{
    SVtsSource source;
    std::string error;
    EXPECT_TRUE(ParseVtsSource(ifo.data(), ifo.size(), source, error)) << error;
    return source.chain;
}

// Bytes 0, 1, 2 ... (mod 251) from `from`, so that any gap or repeat shows.
std::vector<uint8_t> Counting(size_t bytes, size_t from)
{
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i) v[i] = uint8_t((from + i) % 251);
    return v;
}

}  // namespace

TEST(SourceIfo, ProgramStartsAddTheCellsBeforeEachEntryCellAtTheCellsFrameRate)
{
    // 25 frames/s cells (frames byte 0x40 | BCD) and a 30000/1001 one (0xC0 | BCD).
    const auto ifo = VtsIfo({{0x00001012, 0, 9}, {0x00010000, 10, 19}, {0x000005C3, 20, 29}, {0x00000500, 30, 39}},
                            {1, 2, 4}, 0x00011500, 0x0D);
    SVtsSource source;
    std::string error;
    ASSERT_TRUE(ParseVtsSource(ifo.data(), ifo.size(), source, error)) << error;
    EXPECT_TRUE(source.wide);  // bits 3-2 = 11
    EXPECT_FALSE(source.pal);
    EXPECT_EQ(PlaybackWholeSeconds(source.chain.playbackTime), 75);
    const auto starts = ProgramStartSeconds(source.chain, false);
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_NEAR(starts[0], 10 + 12 * 0.04, 1e-9);
    EXPECT_NEAR(starts[1], 10.48 + 60 + 5 + 3 * 1001.0 / 30000, 1e-9);
    EXPECT_TRUE(ProgramStartSeconds(Chain(VtsIfo({{0x10, 0, 9}}, {1}, 0x10)), false).empty());
}

TEST(SourceIfo, TitleStoredAtTheEndStartsAtTheNextCellAndItsCellIsLeftOutOfTheStarts)
{
    const auto stored = Chain(
        VtsIfo({{0x00000200, 2000100, 2000200}, {0x00000300, 0, 99}, {0x00000400, 100, 199}}, {1, 2, 3}, 0x00000900));
    EXPECT_EQ(StartCellIndex(stored, false), 1);
    EXPECT_EQ(ProgramStartSeconds(stored, false), std::vector<double>({3.0}));
    // At sector 2,000,007 itself, or with the next cell later, the entry cell stays.
    EXPECT_EQ(StartCellIndex(Chain(VtsIfo({{0x200, 2000007, 2000100}, {0x300, 0, 9}}, {1}, 0x500)), false), 0);
    EXPECT_EQ(StartCellIndex(Chain(VtsIfo({{0x200, 2000100, 2000200}, {0x300, 2000300, 2000400}}, {1}, 0x500)), false),
              0);
    // Asked for, the alternative start is the next cell too, and the starts follow it.
    const auto plain = Chain(VtsIfo({{0x200, 0, 9}, {0x300, 10, 19}, {0x400, 20, 29}}, {1, 3}, 0x900));
    EXPECT_EQ(ProgramStartSeconds(plain, false), std::vector<double>({5.0}));
    EXPECT_EQ(StartCellIndex(plain, true), 1);
    EXPECT_EQ(ProgramStartSeconds(plain, true), std::vector<double>({3.0}));
}

TEST(SourceIfo, DamagedChainsAreRefusedWithAReason)
{
    auto ifo = VtsIfo({{0x200, 0, 9}, {0x300, 10, 19}}, {1, 2}, 0x500);
    SVtsSource source;
    std::string error;
    for (size_t cut : {size_t(0), size_t(100), size_t(2047), size_t(2048), size_t(2100)}) {
        error.clear();
        EXPECT_FALSE(ParseVtsSource(ifo.data(), cut, source, error)) << cut;
        EXPECT_FALSE(error.empty());
    }
    auto badEntry = ifo;
    badEntry[2048 + 16 + ifo::pgc::kHeaderLength + 1] = 1;  // program 2 enters at cell 1 again
    EXPECT_FALSE(ParseVtsSource(badEntry.data(), badEntry.size(), source, error));
    EXPECT_NE(error.find("entry cell"), std::string::npos) << error;
    auto badMap = ifo;
    PutBe16(&badMap[2048 + 16 + ifo::pgc::kCellPlaybackOffset], 0xFFF0);
    EXPECT_FALSE(ParseVtsSource(badMap.data(), badMap.size(), source, error));
    auto backwards = VtsIfo({{0x200, 50, 9}}, {1}, 0x200);
    EXPECT_FALSE(ParseVtsSource(backwards.data(), backwards.size(), source, error));
}

TEST(VobStream, FolderOpensItsLargestTitleSet)
{
    TempDir dir;
    const std::string f = dir.Path().string() + "/";
    WriteBytes(f + "VTS_01_0.IFO", VtsIfo({{0x100, 0, 9}}, {1}, 0x100));
    WriteBytes(f + "VTS_02_0.IFO", VtsIfo({{0x100, 0, 9}}, {1}, 0x100));
    ASSERT_TRUE(dvdtest::SparseFile(f + "VTS_01_1.VOB", 100000000));
    for (int m = 1; m <= 3; ++m) ASSERT_TRUE(dvdtest::SparseFile(f + "VTS_02_" + std::to_string(m) + ".VOB", 1 << 30));
    EXPECT_EQ(CVobStream::MainTitleVob(f), f + "VTS_02_1.VOB");
    for (const std::string& path : {dir.Path().string(), f + "VTS_01_0.IFO", f + "VTS_02_2.VOB"}) {
        CVobStream stream;
        ASSERT_TRUE(stream.Open(path)) << stream.Error();
        const bool first = path.find("VTS_01") != std::string::npos;
        EXPECT_EQ(stream.Length(), first ? 100000000 : int64_t(3) << 30) << path;
        EXPECT_EQ(stream.TitleSeconds(), 1);
    }
}

TEST(VobStream, TitleStoredAtTheEndStartsAtTheNextCell)
{
    TempDir dir;
    const std::string f = dir.Path().string() + "/";
    // Program 1 enters at a cell stored at sector 2,000,100; the next cell starts at 10.
    WriteBytes(f + "VTS_01_0.IFO", VtsIfo({{0x200, 2000100, 2000199}, {0x300, 10, 99}}, {1}, 0x500));
    const int64_t part = int64_t(1) << 30;
    for (int m = 2; m <= 4; ++m) ASSERT_TRUE(dvdtest::SparseFile(f + "VTS_01_" + std::to_string(m) + ".VOB", part));
    std::vector<uint8_t> head(10 * 2048, 0);
    const auto marker = Counting(4096, 7);
    head.insert(head.end(), marker.begin(), marker.end());
    WriteBytes(f + "VTS_01_1.VOB", head);
    ASSERT_TRUE(dvdtest::SparseFile(f + "VTS_01_1.VOB", part));
    CVobStream stream;
    ASSERT_TRUE(stream.Open(f + "VTS_01_1.VOB")) << stream.Error();
    EXPECT_EQ(stream.StartOffset(), 10 * 2048);
    EXPECT_EQ(stream.Length(), 4 * part - 10 * 2048);
    std::vector<uint8_t> got(4096);
    ASSERT_EQ(stream.Read(got.data(), 4096), 4096);
    EXPECT_EQ(got, marker);
}

TEST(VobStream, SecondaryAudioIsHiddenInTheFirst64KiBOnly)
{
    TempDir dir;
    const std::string f = dir.Path().string() + "/";
    std::vector<uint8_t> vob;
    for (uint8_t id : {0x80, 0x81, 0xA0, 0xA1, 0x88, 0x89}) {
        auto pack = dvdtest::AudioPack(id, 0x55);
        vob.insert(vob.end(), pack.begin(), pack.end());
    }
    vob.resize(65536, 0);
    auto late = dvdtest::AudioPack(0x81, 0x55);
    vob.insert(vob.end(), late.begin(), late.end());
    WriteBytes(f + "VTS_01_1.VOB", vob);
    CVobStream stream;
    ASSERT_TRUE(stream.Open(f + "VTS_01_1.VOB")) << stream.Error();
    EXPECT_FALSE(stream.HasIfo());
    EXPECT_EQ(stream.TitleSeconds(), -1);
    std::vector<uint8_t> got(vob.size());
    ASSERT_EQ(stream.Read(got.data(), int64_t(got.size())), int64_t(vob.size()));
    for (int pack : {0, 2, 5}) EXPECT_EQ(got[size_t(pack) * 2048 + 17], 0xBD) << pack;
    for (int pack : {1, 3, 4}) {
        const uint8_t* p = &got[size_t(pack) * 2048];
        EXPECT_EQ(p[17], 0xBE) << pack;
        EXPECT_TRUE(std::all_of(p + 20, p + 2048, [](uint8_t b) { return b == 0xFF; })) << pack;
        EXPECT_TRUE(std::equal(p, p + 17, &vob[size_t(pack) * 2048]));
    }
    EXPECT_TRUE(std::equal(got.begin() + 65536, got.end(), vob.begin() + 65536));  // past the cache: as stored
    EXPECT_EQ(testsupport::ReadBytes(f + "VTS_01_1.VOB"), vob);  // the file is never written
}

TEST(VobStream, TitleOverFiveFilesReadsWithoutGaps)
{
    TempDir dir;
    const std::string f = dir.Path().string() + "/";
    std::vector<uint8_t> all;
    const size_t sizes[] = {40960, 100000, 2048, 70001, 6144};
    for (int m = 1; m <= 5; ++m) {
        auto part = Counting(sizes[m - 1], all.size());
        WriteBytes(f + "VTS_01_" + std::to_string(m) + ".VOB", part);
        all.insert(all.end(), part.begin(), part.end());
    }
    WriteBytes(f + "VTS_01_7.VOB", Counting(4096, 0));  // after a missing file 6: not the title's
    CVobStream stream;
    ASSERT_TRUE(stream.Open(f + "VTS_01_3.VOB")) << stream.Error();
    ASSERT_EQ(stream.Length(), int64_t(all.size()));
    std::vector<uint8_t> got;
    std::vector<uint8_t> chunk(3001);
    for (int64_t n; (n = stream.Read(chunk.data(), int64_t(chunk.size()))) > 0;)
        got.insert(got.end(), chunk.begin(), chunk.begin() + n);
    EXPECT_EQ(got, all);
    // Any position, across a file end.
    ASSERT_TRUE(stream.SetPosition(140900));
    ASSERT_EQ(stream.Read(chunk.data(), 3001), 3001);
    EXPECT_TRUE(std::equal(chunk.begin(), chunk.end(), all.begin() + 140900));
    EXPECT_FALSE(stream.SetPosition(stream.Length() + 1));
    ASSERT_TRUE(stream.SetPosition(stream.Length()));
    EXPECT_EQ(stream.Read(chunk.data(), 10), 0);
}

TEST(VobStream, LooseVobFileIsReadAloneAndOnlyDvdExtensionsMakeDvdSources)
{
    TempDir dir;
    const std::string f = dir.Path().string() + "/";
    const auto bytes = Counting(10000, 3);
    WriteBytes(f + "camcorder.VOB", bytes);
    WriteBytes(f + "VTS_01_2.VOB", Counting(2048, 0));  // not part of a loose file's title
    CVobStream stream;
    ASSERT_TRUE(stream.Open(f + "camcorder.VOB")) << stream.Error();
    EXPECT_EQ(stream.Length(), 10000);
    std::vector<uint8_t> got(10000);
    EXPECT_EQ(stream.Read(got.data(), 20000), 10000);
    EXPECT_EQ(got, bytes);
    EXPECT_TRUE(CVobStream::IsDvdSource(f + "camcorder.VOB"));
    EXPECT_TRUE(CVobStream::IsDvdSource(f + "vts_01_0.ifo"));
    EXPECT_FALSE(CVobStream::IsDvdSource(f + "clip.vob.mp4"));
    EXPECT_FALSE(CVobStream::IsDvdSource(dir.Path().string()));  // a folder without VIDEO_TS
    std::filesystem::create_directories(f + "disc/video_ts");
    EXPECT_TRUE(CVobStream::IsDvdSource(f + "disc"));
    EXPECT_FALSE(stream.Open(f + "backup.ifo"));
}
