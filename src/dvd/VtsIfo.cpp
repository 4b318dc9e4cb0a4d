#include "dvd/VtsIfo.h"

#include "base/Bytes.h"
#include "dvd/DvdTime.h"
#include "dvd/PgcWriter.h"
#include "media/IfoLayout.h"

#include <algorithm>
#include <cstring>

using namespace ifo;

namespace {

// The longest title the time map can hold: 35,990 seconds (its room is 36,000 entries).
constexpr uint32_t kMaxMappedSeconds = 35990;

std::vector<uint8_t> Sectors(size_t bytes)
{
    return std::vector<uint8_t>((bytes + kSectorBytes - 1) / kSectorBytes * kSectorBytes, 0);
}

// The title's program chain: one program and one cell per planned cell, the colours,
// and the end-of-title commands (register 0 = title set, renumbered by the VMG writer;
// then the title menu).
SProgramChain TitlePgc(const SVtsTitle& t)
{
    const int rate = t.streams.frameRate;
    SProgramChain chain;
    PutBcdTime(chain.playbackTime.data(), t.cells.back().endTime - t.cells.front().startTime, rate);
    chain.audioControl[0] = 0x8000;
    if (t.streams.subPictures) chain.subpControl[0] = 0x80000000u;
    for (int i = 0; i < pgc::kPaletteEntries; ++i) chain.palette[size_t(i)] = t.colours[i] & 0xFFFFFF;
    chain.postCommands = {vmcmd::SetRegister(0, 1), vmcmd::CallTitleMenu(1)};
    for (size_t k = 0; k < t.cells.size(); ++k) {
        const CCELL& c = t.cells[k];
        chain.programMap.push_back(uint8_t(k + 1));
        SPgcCell cell;
        cell.category = k == 0 ? cellPlayback::kStcDiscontinuity : cellPlayback::kSeamlessPlay;
        PutBcdTime(cell.playbackTime.data(), c.endTime - c.startTime, rate);
        cell.firstSector = uint32_t(c.firstSector);
        int lastVobu = std::clamp(c.lastVobu, 0, int(t.vobus.size()) - 1);
        cell.lastVobuStartSector = t.vobus[size_t(lastVobu)]->Lbn();
        cell.lastSector = uint32_t(c.lastSector);
        cell.cellNr = uint8_t(k + 1);
        chain.cells.push_back(cell);
    }
    return chain;
}

std::vector<uint8_t> Pgcit(const SVtsTitle& t)
{
    const SProgramChain chain = TitlePgc(t);
    const int length = kTitlePgcInPgcit + PgcLength(chain);
    std::vector<uint8_t> out = Sectors(size_t(length));
    PutBe16(&out[table::kCount], 1);
    PutBe32(&out[table::kLastByte], uint32_t(length - 1));
    out[table::kHeaderLength + pgcit::kEntryId] = pgcit::kEntryTitle1;
    PutBe32(&out[table::kHeaderLength + pgcit::kPgcStartByte], uint32_t(kTitlePgcInPgcit));
    WritePgc(&out[kTitlePgcInPgcit], chain);
    return out;
}

// One entry per whole second of the title but the first and the last: the last VOBU
// that starts before that second; bit 31 of an entry marks the last one of a cell.
std::vector<uint8_t> Tmapt(const SVtsTitle& t)
{
    uint32_t first = t.cells.front().startTime;
    uint32_t s = std::clamp<uint32_t>((t.cells.back().endTime - first) / 90000, 1, kMaxMappedSeconds);
    std::vector<uint8_t> out = Sectors(4 * s + 8);
    PutBe16(&out[table::kCount], 1);
    PutBe32(&out[tmapt::kTmapOffset], tmapt::kFirstMap);
    if (s == 1) {
        PutBe32(&out[table::kLastByte], 15);
        return out;
    }
    PutBe32(&out[table::kLastByte], 4 * s + 7);
    out[tmapt::kTmu] = 1;
    PutBe16(&out[tmapt::kNrOfEntries], s - 2);
    size_t v = 0;
    int previousCell = -1;
    for (uint32_t i = 1; i <= s - 2; ++i) {
        while (v + 1 < t.vobus.size() && t.vobus[v + 1]->StartPtm() - first < i * 90000u) ++v;
        uint8_t* entry = &out[tmapt::kMapEntries + 4 * (i - 1)];
        PutBe32(entry, t.vobus[v]->Lbn());
        int cell = t.vobus[v]->cellIndex;
        if (i > 1 && cell != previousCell) entry[-4] |= 0x80;
        previousCell = cell;
    }
    return out;
}

std::vector<uint8_t> Cadt(const std::vector<CCELL>& cells)
{
    const int n = int(cells.size());
    std::vector<uint8_t> out = Sectors(size_t(cAdt::kEntryLength * n + table::kHeaderLength));
    PutBe16(&out[table::kCount], 1);
    PutBe32(&out[table::kLastByte], uint32_t(cAdt::kEntryLength * n + 7));
    for (int k = 0; k < n; ++k) {
        uint8_t* e = &out[size_t(table::kHeaderLength + cAdt::kEntryLength * k)];
        PutBe16(e + cAdt::kVobId, 1);
        e[cAdt::kCellId] = uint8_t(k + 1);
        PutBe32(e + cAdt::kStartSector, uint32_t(cells[size_t(k)].firstSector));
        PutBe32(e + cAdt::kLastSector, uint32_t(cells[size_t(k)].lastSector));
    }
    return out;
}

std::vector<uint8_t> VobuAdmap(const std::vector<CVOBU*>& vobus)
{
    std::vector<uint8_t> out = Sectors(4 * vobus.size() + 4);
    PutBe32(&out[vobuAdmap::kLastByte], uint32_t(4 * vobus.size() + 3));
    for (size_t i = 0; i < vobus.size(); ++i) PutBe32(&out[vobuAdmap::kStartSectors + 4 * i], vobus[i]->Lbn());
    return out;
}

// One chapter per cell, each the program of the same number in chain 1.
void WritePttSrpt(uint8_t* ptt, int chapters)
{
    PutBe16(ptt + table::kCount, 1);
    PutBe32(ptt + table::kLastByte, uint32_t(pttSrpt::kEntryLength * chapters + 11));
    PutBe32(ptt + pttSrpt::kTtuOffset, 0x0C);
    for (int k = 1; k <= chapters; ++k) {
        uint8_t* e = ptt + 0x0C + pttSrpt::kEntryLength * (k - 1);
        PutBe16(e + pttSrpt::kPgcn, 1);
        PutBe16(e + pttSrpt::kPgn, uint32_t(k));
    }
}

void WriteAttributes(uint8_t* mat, const SVtsStreams& s)
{
    mat[vtsi::kVtsVideoAttr] = uint8_t((s.frameRate == 30 ? 0x40 : 0x50) | (s.wideScreen ? 0x0C : 0x03));
    mat[vtsi::kVtsVideoAttr + 1] = uint8_t(s.resolutionCode * 8);
    mat[vtsi::kNrOfVtsAudioStreams] = 1;
    uint8_t* audio = mat + vtsi::kVtsAudioAttr;
    if (s.hasAudio) {
        // Coding mode by stream kind (AC-3, LPCM, MPEG-2 extended, ... MPEG-1).
        static const uint8_t codingModes[5] = {0x00, 0x80, 0xC0, 0x60, 0x40};
        uint8_t mode = s.audioKind >= 0 && s.audioKind < 5 ? codingModes[s.audioKind] : 0x40;
        if (s.surround) {
            mode |= 0x02;
            audio[vtsi::kAudioAttrLength - 1] = 0x08;
        }
        audio[0] = mode;
        audio[1] = uint8_t((s.quantisationCode * 4 + s.sampleRateCode) * 16 + (s.channels - 1));
    } else {
        audio[0] = 0x40;  // an MPEG-1 stream that is never sent
        audio[1] = 0x01;
    }
    mat[vtsi::kNrOfVtsSubpStreams] = s.subPictures ? 1 : 0;
}

// The management table, for tables of a, b, c and d sectors after the chapter table.
void WriteMat(uint8_t* mat, const SVtsTitle& t, int a, int b, int c, int total)
{
    std::memcpy(mat + vtsi::kVtsIdentifier, "DVDVIDEO-VTS", 12);
    PutBe32(mat + vtsi::kVtsLastSector, uint32_t(2 * total + t.packsWritten - 1));
    PutBe32(mat + vtsi::kVtsiLastSector, uint32_t(total - 1));
    PutBe16(mat + vtsi::kFormatVersion, 0x0011);
    PutBe32(mat + vtsi::kVtsiLastByte, 0x7FF);
    PutBe32(mat + vtsi::kVtsttVobs, uint32_t(total));
    PutBe32(mat + vtsi::kVtsPttSrpt, kVtsPttSrptSector);
    PutBe32(mat + vtsi::kVtsPgcit, kVtsPgcitSector);
    PutBe32(mat + vtsi::kVtsTmapt, uint32_t(kVtsPgcitSector + a));
    PutBe32(mat + vtsi::kVtsCAdt, uint32_t(kVtsPgcitSector + a + b));
    PutBe32(mat + vtsi::kVtsVobuAdmap, uint32_t(kVtsPgcitSector + a + b + c));
    WriteAttributes(mat, t.streams);
}

}  // namespace

std::vector<uint8_t> BuildVtsIfo(const SVtsTitle& t)
{
    const std::vector<uint8_t> tables[] = {Pgcit(t), Tmapt(t), Cadt(t.cells), VobuAdmap(t.vobus)};
    int sectors[4];
    for (int i = 0; i < 4; ++i) sectors[i] = int(tables[i].size() / kSectorBytes);
    const int total = kVtsPgcitSector + sectors[0] + sectors[1] + sectors[2] + sectors[3];

    std::vector<uint8_t> ifo(size_t(total) * kSectorBytes, 0);
    WriteMat(ifo.data(), t, sectors[0], sectors[1], sectors[2], total);
    WritePttSrpt(ifo.data() + kVtsPttSrptSector * kSectorBytes, int(t.cells.size()));
    uint8_t* at = ifo.data() + kVtsPgcitSector * kSectorBytes;
    for (const std::vector<uint8_t>& table : tables) at = std::copy(table.begin(), table.end(), at);
    return ifo;
}
