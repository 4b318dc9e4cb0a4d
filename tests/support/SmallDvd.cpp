#include "support/SmallDvd.h"

#include "base/Bytes.h"
#include "media/IfoLayout.h"
#include "support/TestSupport.h"

#include <cstring>
#include <vector>

using namespace ifo;

namespace testsupport {

namespace {

constexpr size_t S = kSectorBytes;

// A table header at `p`: its count and the offset of its last byte.
void PutTableHeader(uint8_t* p, uint32_t count, uint32_t lastByte)
{
    PutBe16(p + table::kCount, count);
    PutBe32(p + table::kLastByte, lastByte);
}

// The video manager: its management table, the title table and the title set
// attributes, a sector each.
std::vector<uint8_t> SmallVmg()
{
    std::vector<uint8_t> b(kSmallVmgSectors * S, 0);
    std::memcpy(&b[0], "DVDVIDEO-VMG", 12);
    PutBe32(&b[vmgi::kVmgLastSector], uint32_t(2 * kSmallVmgSectors - 1));
    PutBe32(&b[vmgi::kVmgiLastSector], uint32_t(kSmallVmgSectors - 1));
    PutBe16(&b[vmgi::kVmgNrOfVolumes], 1);
    PutBe16(&b[vmgi::kVmgThisVolumeNr], 1);
    b[vmgi::kDiscSide] = 1;
    PutBe16(&b[vmgi::kVmgNrOfTitleSets], 1);
    PutBe32(&b[vmgi::kVmgiLastByte], 0x3FF);
    PutBe32(&b[vmgi::kTtSrpt], 1);
    PutBe32(&b[vmgi::kVtsAtrt], 2);
    uint8_t* titles = &b[1 * S];
    PutTableHeader(titles, 1, table::kHeaderLength + ttSrpt::kEntryLength - 1);
    uint8_t* title = titles + table::kHeaderLength;
    title[ttSrpt::kNrOfAngles] = 1;
    PutBe16(title + ttSrpt::kNrOfPtts, 1);
    title[ttSrpt::kTitleSetNr] = 1;
    title[ttSrpt::kVtsTtn] = 1;
    PutBe32(title + ttSrpt::kTitleSetSector, uint32_t(2 * kSmallVmgSectors));
    uint8_t* attributes = &b[2 * S];
    PutTableHeader(attributes, 1, vtsAtrt::kOffsets + 4 + vtsAtrt::kEntryLength - 1);
    PutBe32(attributes + vtsAtrt::kOffsets, vtsAtrt::kOffsets + 4);
    PutBe32(attributes + vtsAtrt::kOffsets + 4 + vtsAtrt::kLastByte, vtsAtrt::kEntryLength - 1);
    return b;
}

// The title set: its management table, then the chapter table, the program chain
// table, the cell address table and the VOBU address map, a sector each.
std::vector<uint8_t> SmallVts(size_t vobSectors)
{
    std::vector<uint8_t> b(kSmallVtsSectors * S, 0);
    std::memcpy(&b[0], "DVDVIDEO-VTS", 12);
    PutBe32(&b[vtsi::kVtsLastSector], uint32_t(2 * kSmallVtsSectors + vobSectors - 1));
    PutBe32(&b[vtsi::kVtsiLastSector], uint32_t(kSmallVtsSectors - 1));
    PutBe32(&b[vtsi::kVtsiLastByte], 0x7FF);
    PutBe32(&b[vtsi::kVtsttVobs], uint32_t(kSmallVtsSectors));
    const int tables[] = {vtsi::kVtsPttSrpt, vtsi::kVtsPgcit, vtsi::kVtsCAdt, vtsi::kVtsVobuAdmap};
    for (int i = 0; i < 4; ++i) PutBe32(&b[size_t(tables[i])], uint32_t(i + 1));
    uint8_t* chapters = &b[1 * S];
    PutTableHeader(chapters, 1, 15);
    PutBe32(chapters + pttSrpt::kTtuOffset, 12);
    PutBe16(chapters + 12 + pttSrpt::kPgcn, 1);
    PutBe16(chapters + 12 + pttSrpt::kPgn, 1);
    uint8_t* chains = &b[2 * S];
    PutTableHeader(chains, 1, uint32_t(kTitlePgcInPgcit + pgc::kHeaderLength - 1));
    chains[table::kHeaderLength + pgcit::kEntryId] = pgcit::kEntryTitle1;
    PutBe32(chains + table::kHeaderLength + pgcit::kPgcStartByte, uint32_t(kTitlePgcInPgcit));
    uint8_t* cells = &b[3 * S];
    PutTableHeader(cells, 1, uint32_t(table::kHeaderLength + cAdt::kEntryLength - 1));
    PutBe16(cells + table::kHeaderLength + cAdt::kVobId, 1);
    cells[table::kHeaderLength + cAdt::kCellId] = 1;
    PutBe32(cells + table::kHeaderLength + cAdt::kLastSector, uint32_t(vobSectors - 1));
    PutBe32(&b[4 * S + vobuAdmap::kLastByte], 7);
    return b;
}

}  // namespace

void WriteSmallDvdIfoFiles(const std::string& videoTs, size_t vobSectors)
{
    const std::vector<uint8_t> vmg = SmallVmg();
    const std::vector<uint8_t> vts = SmallVts(vobSectors);
    WriteBytes(videoTs + "/VIDEO_TS.IFO", vmg);
    WriteBytes(videoTs + "/VIDEO_TS.BUP", vmg);
    WriteBytes(videoTs + "/VTS_01_0.IFO", vts);
    WriteBytes(videoTs + "/VTS_01_0.BUP", vts);
}

}  // namespace testsupport
