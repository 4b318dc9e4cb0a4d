// The IFO reader on the information files our own title builder writes (every kind of
// title set we make), and on damaged copies of them: cut short, overwritten with random
// bytes, with the wrong identifier, with counts and pointers past the end.
#include "TitleHelpers.h"

#include "base/Bytes.h"
#include "base/DvdFileNames.h"
#include "dvd/DvdFolderCheck.h"
#include "media/IfoLayout.h"
#include "media/IfoReader.h"
#include "support/ScriptedUi.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <random>

using testsupport::ReadBytes;
using namespace ifo;

namespace {

struct SOwnFolder {
    std::string name;
    std::string path;
    int titleSets = 0;
};

// Folders as the slide-show and video jobs write them: NTSC with three title sets
// (Layer II split over several VOB files, linear PCM, 16:9) and PAL 16:9 with linear PCM.
class OwnIfoFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        work = std::make_unique<testsupport::TempDir>();
        CScriptedUi ui;
        CUiScope scope(ui);
        auto build = [](const std::string& folder, std::vector<FakeTitle> titles) {
            std::filesystem::create_directories(folder);
            for (size_t i = 0; i < titles.size(); ++i)
                if (!CFakeTitleBuilder(titles[i]).Build(int(i), folder)) setupError += folder + "\n";
        };
        FakeTitle split, lpcm, wide, pal;
        split.video = fakestreams::Video(6, 720, 480);
        split.audio = fakestreams::Mp2(6);
        split.seconds = 6;
        split.splitBytes = 512 << 10;
        lpcm.video = fakestreams::Video(2, 352, 240);
        lpcm.resolutionCode = 3;
        lpcm.audio = fakestreams::Pcm(2);
        lpcm.audioKind = CAudio::kindLpcm;
        lpcm.seconds = 2;
        wide = lpcm;
        wide.wide = true;
        wide.audio = fakestreams::Mp2(2);
        wide.audioKind = CAudio::kindMp2;
        pal.video = fakestreams::Video(3, 720, 576, 12, true);
        pal.rate = 25;
        pal.wide = true;
        pal.audio = fakestreams::Pcm(3);
        pal.audioKind = CAudio::kindLpcm;
        pal.seconds = 3;
        folders = {{"ntsc", work->File("ntsc"), 3}, {"pal", work->File("pal"), 1}};
        build(folders[0].path, {split, lpcm, wide});
        build(folders[1].path, {pal});
    }
    static void TearDownTestSuite() { work.reset(); }
    void SetUp() override { ASSERT_TRUE(setupError.empty()) << setupError; }

    static std::vector<uint8_t> Vmg() { return ReadBytes(folders[0].path + "/VIDEO_TS.IFO"); }
    static std::vector<uint8_t> Vts(int n) { return ReadBytes(folders[0].path + "/" + VtsFileName(n, 0, "IFO")); }

    static inline std::unique_ptr<testsupport::TempDir> work;
    static inline std::vector<SOwnFolder> folders;
    static inline std::string setupError;
};

bool ParsesAsVmg(const std::vector<uint8_t>& b, std::string& error)
{
    SVmgInfo info;
    return ParseVmgIfo(b.data(), b.size(), info, error);
}

bool ParsesAsVts(const std::vector<uint8_t>& b, std::string& error)
{
    SVtsInfo info;
    return ParseVtsIfo(b.data(), b.size(), info, error);
}

TEST_F(OwnIfoFiles, EveryKindOfTitleSetWeWriteParsesAsWrittenAndPassesTheFolderCheck)
{
    for (const SOwnFolder& folder : folders) {
        SCOPED_TRACE(folder.name);
        std::string error;
        EXPECT_TRUE(CheckDvdFolder(folder.path, error)) << error;

        const auto vmgBytes = ReadBytes(folder.path + "/VIDEO_TS.IFO");
        SVmgInfo vmg;
        ASSERT_TRUE(ParseVmgIfo(vmgBytes.data(), vmgBytes.size(), vmg, error)) << error;
        EXPECT_EQ(vmg.titleSets, folder.titleSets);
        EXPECT_EQ(uint64_t(vmg.ifoSectors) * kSectorBytes, vmgBytes.size());
        EXPECT_EQ(vmg.menuVobSector, 0u);
        ASSERT_EQ(vmg.titles.size(), size_t(folder.titleSets));
        uint64_t setStart = uint64_t(vmg.lastSector) + 1;
        for (int n = 1; n <= folder.titleSets; ++n) {
            SCOPED_TRACE(n);
            const auto bytes = ReadBytes(folder.path + "/" + VtsFileName(n, 0, "IFO"));
            SVtsInfo vts;
            ASSERT_TRUE(ParseVtsIfo(bytes.data(), bytes.size(), vts, error)) << error;
            uint64_t vobBytes = 0;
            for (const std::string& vob : VobFiles(folder.path, n)) vobBytes += std::filesystem::file_size(vob);
            EXPECT_EQ(uint64_t(vts.ifoSectors) * kSectorBytes, bytes.size());
            EXPECT_EQ(vts.titleVobSector, vts.ifoSectors);
            EXPECT_EQ(uint64_t(vts.BupSector() - vts.titleVobSector) * kSectorBytes, vobBytes);
            EXPECT_GT(vts.titleCellSectors, 0u);
            EXPECT_LE(uint64_t(vts.titleCellSectors) * kSectorBytes, vobBytes);
            EXPECT_EQ(vts.titles, 1);
            EXPECT_EQ(vts.menuVobSector, 0u);
            const SIfoTitle& title = vmg.titles[size_t(n - 1)];
            EXPECT_EQ(title.titleSet, n);
            EXPECT_EQ(title.vtsTitle, 1);
            EXPECT_EQ(title.titleSetSector, setStart);
            setStart += uint64_t(vts.lastSector) + 1;
        }
    }
    EXPECT_GE(VobFiles(folders[0].path, 1).size(), 2u) << "the first title set should be split over VOB files";
}

TEST_F(OwnIfoFiles, CopiesCutShortAnywhereAreRefused)
{
    const std::vector<uint8_t> files[] = {Vmg(), Vts(1), Vts(2)};
    for (size_t f = 0; f < 3; ++f) {
        const std::vector<uint8_t>& whole = files[f];
        const size_t n = whole.size();
        for (size_t cut :
             {size_t(0), size_t(1), size_t(12), size_t(2047), size_t(2048), size_t(2049), n / 2, n - 2048, n - 1}) {
            SCOPED_TRACE("file " + std::to_string(f) + " cut to " + std::to_string(cut));
            // An exactly sized buffer, so that a read past the end shows under the
            // address sanitizer.
            const std::vector<uint8_t> part(whole.begin(), whole.begin() + long(cut));
            std::string error;
            EXPECT_FALSE(f == 0 ? ParsesAsVmg(part, error) : ParsesAsVts(part, error));
            EXPECT_NE(error.find("bytes"), std::string::npos) << error;
        }
    }
}

TEST_F(OwnIfoFiles, WrongIdentifierAndFilesOfTheOtherKindAreRefused)
{
    std::string error;
    EXPECT_FALSE(ParsesAsVts(Vmg(), error));
    EXPECT_EQ(error, "does not start with the identifier DVDVIDEO-VTS");
    EXPECT_FALSE(ParsesAsVmg(Vts(1), error));
    EXPECT_EQ(error, "does not start with the identifier DVDVIDEO-VMG");
    auto vmg = Vmg();
    vmg[11] = 'X';
    EXPECT_FALSE(ParsesAsVmg(vmg, error));
}

TEST_F(OwnIfoFiles, CountsAndPointersPastTheEndAreRefused)
{
    struct SCase {
        const char* what;
        bool vmg;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* expected;
    };
    const size_t tt = size_t(GetBe32(&Vmg()[vmgi::kTtSrpt])) * kSectorBytes;
    const size_t firstTitle = tt + table::kHeaderLength;
    const size_t cadt = size_t(GetBe32(&Vts(1)[vtsi::kVtsCAdt])) * kSectorBytes;
    const size_t ptt = size_t(GetBe32(&Vts(1)[vtsi::kVtsPttSrpt])) * kSectorBytes;
    const SCase cases[] = {
        {"no title sets", true, [](auto& b) { PutBe16(&b[vmgi::kVmgNrOfTitleSets], 0); }, "lists 0 title sets"},
        {"100 title sets", true, [](auto& b) { PutBe16(&b[vmgi::kVmgNrOfTitleSets], 100); }, "lists 100 title sets"},
        {"more titles than the table holds", true, [&](auto& b) { PutBe16(&b[tt], 99); }, "more than its title table"},
        {"title in a title set past the count", true, [&](auto& b) { b[firstTitle + ttSrpt::kTitleSetNr] = 4; },
         "in title set 4 of 3"},
        {"title number 0", true, [&](auto& b) { b[firstTitle + ttSrpt::kVtsTtn] = 0; }, "impossible title number"},
        {"title table past the end", true, [](auto& b) { PutBe32(&b[vmgi::kTtSrpt], 53); }, "past the end"},
        {"title table ending past the end", true, [&](auto& b) { PutBe32(&b[tt + table::kLastByte], 0xFFFFFFF0u); },
         "ends outside the file"},
        {"set smaller than IFO and BUP", true, [](auto& b) { PutBe32(&b[vmgi::kVmgLastSector], 60); }, "too few"},
        {"management table past the end", true, [](auto& b) { PutBe32(&b[vmgi::kVmgiLastByte], 53 * 2048); },
         "end of its management table"},
        {"attributes of too few title sets", true,
         [](auto& b) { PutBe16(&b[size_t(GetBe32(&b[vmgi::kVtsAtrt])) * kSectorBytes], 2); }, "describes 2"},
        {"menu VOB without its cells", true,
         [](auto& b) {
             PutBe32(&b[vmgi::kVmgLastSector], 200);
             PutBe32(&b[vmgi::kVmgmVobs], 53);
         },
         "has no menu cell address table"},
        {"no chapter table", false, [](auto& b) { PutBe32(&b[vtsi::kVtsPttSrpt], 0); }, "has no chapter table"},
        {"more titles than the chapter table holds", false, [&](auto& b) { PutBe16(&b[ptt], 90); }, "lists 90 titles"},
        {"no title VOBs", false, [](auto& b) { PutBe32(&b[vtsi::kVtsttVobs], 0); }, "lists no title VOBs"},
        {"title VOBs where the BUP is", false,
         [](auto& b) { PutBe32(&b[vtsi::kVtsttVobs], GetBe32(&b[vtsi::kVtsLastSector])); }, "outside sectors"},
        {"cell ending before it starts", false,
         [&](auto& b) { PutBe32(&b[cadt + table::kHeaderLength + cAdt::kStartSector], 0x7FFFFFFF); },
         "before it starts"},
        {"cell table past the end", false, [](auto& b) { PutBe32(&b[vtsi::kVtsCAdt], 0x10000); }, "past the end"},
        {"nine audio streams", false, [](auto& b) { b[vtsi::kNrOfVtsAudioStreams] = 9; }, "audio"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.what);
        auto bytes = c.vmg ? Vmg() : Vts(1);
        std::string error;
        ASSERT_TRUE(c.vmg ? ParsesAsVmg(bytes, error) : ParsesAsVts(bytes, error)) << error;
        c.damage(bytes);
        EXPECT_FALSE(c.vmg ? ParsesAsVmg(bytes, error) : ParsesAsVts(bytes, error));
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
    }
}

TEST_F(OwnIfoFiles, RandomBytesAreRefusedAndRandomDamageNeverGivesAnInconsistentResult)
{
    std::mt19937 random(20261208);
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> noise(random() % (8 * kSectorBytes));
        for (uint8_t& byte : noise) byte = uint8_t(random());
        std::string error;
        EXPECT_FALSE(ParsesAsVmg(noise, error));
        EXPECT_FALSE(ParsesAsVts(noise, error));
        EXPECT_FALSE(error.empty());
    }
    // Our own files with a few bytes of their tables' headers overwritten: whatever the
    // parser accepts must still describe a set of files that fits together.
    const std::vector<uint8_t> vmgBytes = Vmg(), vtsBytes = Vts(1);
    for (int i = 0; i < 3000; ++i) {
        const bool vmg = i % 2 == 0;
        std::vector<uint8_t> b = vmg ? vmgBytes : vtsBytes;
        const size_t region = size_t(random() % 3) * kSectorBytes;  // the header or a table after it
        for (int k = 0; k < 4; ++k) b[region + random() % 0x100] = uint8_t(random());
        std::string error;
        if (vmg) {
            SVmgInfo info;
            if (!ParseVmgIfo(b.data(), b.size(), info, error)) continue;
            EXPECT_EQ(uint64_t(info.ifoSectors) * kSectorBytes, b.size());
            EXPECT_GE(uint64_t(info.lastSector) + 1, 2 * uint64_t(info.ifoSectors));
            for (const SIfoTitle& t : info.titles) EXPECT_TRUE(t.titleSet >= 1 && t.titleSet <= info.titleSets);
        } else {
            SVtsInfo info;
            if (!ParseVtsIfo(b.data(), b.size(), info, error)) continue;
            EXPECT_EQ(uint64_t(info.ifoSectors) * kSectorBytes, b.size());
            EXPECT_TRUE(info.titleVobSector >= info.ifoSectors && info.titleVobSector < info.BupSector());
            EXPECT_GE(info.titles, 1);
        }
    }
}

}  // namespace
