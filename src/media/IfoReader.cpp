#include "media/IfoReader.h"

#include "base/Bytes.h"
#include "media/IfoLayout.h"

#include <algorithm>
#include <cstring>

using namespace ifo;

namespace {

constexpr int kMaxTitleSets = 99;
constexpr int kMaxTitles = 99;
constexpr int kMaxAngles = 9;
constexpr int kMaxChapters = 999;
constexpr int kMaxAudioStreams = 8;
constexpr int kMaxSubpStreams = 32;
// The video manager's table must reach past its fixed fields (attributes of the menus
// included) before the first-play chain may follow.
constexpr uint32_t kMinVmgiLastByte = 0x154;
// The chapter table holds a 4-byte offset per title after its header.
constexpr int kPttOffsetLength = 4;

// The bytes of one information file; every read goes through Has first.
struct SIfoBytes {
    const uint8_t* data;
    size_t size;

    // True when the `length` bytes at `offset` lie inside the file.
    bool Has(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
    uint32_t Be16(uint64_t offset) const { return GetBe16(data + offset); }
    uint32_t Be32(uint64_t offset) const { return GetBe32(data + offset); }
};

// A table of the file: where it starts and the end of its last byte.
struct STableSpan {
    uint64_t start = 0;
    uint64_t end = 0;  // one past the last byte
    uint32_t count = 0;  // the 16-bit count of its header
};

std::string Number(uint64_t n) { return std::to_string(static_cast<unsigned long long>(n)); }

// Checks the part every information file shares: the identifier, and the size of the
// file against its last-sector field. Fills `ifoSectors`.
bool CheckFileHeader(const SIfoBytes& b, const char* identifier, int lastSectorField, uint32_t& ifoSectors,
                     std::string& error)
{
    if (b.size < size_t(kSectorBytes)) {
        error = "is " + Number(b.size) + " bytes, shorter than the 2048-byte header of an information file";
        return false;
    }
    if (std::memcmp(b.data, identifier, 12) != 0) {
        error = std::string("does not start with the identifier ") + identifier;
        return false;
    }
    const uint64_t sectors = uint64_t(b.Be32(uint64_t(lastSectorField))) + 1;
    if (b.size % kSectorBytes != 0 || b.size / kSectorBytes != sectors) {
        error = "is " + Number(b.size) + " bytes, but its header gives it " + Number(sectors) + " sectors (" +
            Number(sectors * kSectorBytes) + " bytes)";
        return false;
    }
    ifoSectors = uint32_t(sectors);
    return true;
}

// Checks that the table pointer at `field` names a sector inside the file (0 = no such
// table, allowed unless `required`).
bool CheckTableSector(const SIfoBytes& b, int field, const char* name, bool required, std::string& error)
{
    const uint32_t sector = b.Be32(uint64_t(field));
    if (sector == 0 && !required) return true;
    if (sector == 0) {
        error = std::string("has no ") + name;
        return false;
    }
    if (uint64_t(sector) >= b.size / kSectorBytes) {
        error = std::string("puts its ") + name + " at sector " + Number(sector) + ", past the end of the file";
        return false;
    }
    return true;
}

// Reads the header of the table at the sector in `field`: a 16-bit count and the offset
// of its last byte, which must lie inside the file and leave room for the header.
bool ReadTable(const SIfoBytes& b, int field, const char* name, STableSpan& span, std::string& error)
{
    span.start = uint64_t(b.Be32(uint64_t(field))) * kSectorBytes;
    if (!b.Has(span.start, table::kHeaderLength)) {
        error = std::string("puts its ") + name + " past the end of the file";
        return false;
    }
    span.count = b.Be16(span.start + table::kCount);
    const uint64_t lastByte = b.Be32(span.start + table::kLastByte);
    span.end = span.start + lastByte + 1;
    if (lastByte + 1 < uint64_t(table::kHeaderLength) || !b.Has(span.start, lastByte + 1)) {
        error = std::string("has a ") + name + " that ends outside the file (last byte " + Number(lastByte) + ")";
        return false;
    }
    return true;
}

// The sectors of a VOB set that the cell address table at `field` reaches: one past the
// last sector of its last-ending cell.
bool CellSectors(const SIfoBytes& b, int field, const char* name, uint32_t& sectors, std::string& error)
{
    STableSpan span;
    if (!CheckTableSector(b, field, name, true, error) || !ReadTable(b, field, name, span, error)) return false;
    const uint64_t cells = (span.end - span.start - table::kHeaderLength) / cAdt::kEntryLength;
    if (cells == 0) {
        error = std::string("has an empty ") + name;
        return false;
    }
    uint64_t reach = 0;
    for (uint64_t i = 0; i < cells; ++i) {
        const uint64_t e = span.start + table::kHeaderLength + i * cAdt::kEntryLength;
        const uint32_t first = b.Be32(e + cAdt::kStartSector);
        const uint32_t last = b.Be32(e + cAdt::kLastSector);
        if (last < first) {
            error = std::string("has a cell in its ") + name + " that ends (sector " + Number(last) +
                ") before it starts (sector " + Number(first) + ")";
            return false;
        }
        reach = std::max<uint64_t>(reach, uint64_t(last) + 1);
    }
    sectors = uint32_t(std::min<uint64_t>(reach, UINT32_MAX));
    return true;
}

// Checks that a VOB set starting at `vobSector` lies after the IFO and before `limit`
// (the BUP, or the title VOBs for the menu VOB).
bool CheckVobStart(uint32_t vobSector, uint32_t ifoSectors, uint32_t limit, const char* name, std::string& error)
{
    if (vobSector < ifoSectors || vobSector >= limit) {
        error = std::string("puts its ") + name + " at sector " + Number(vobSector) + ", outside sectors " +
            Number(ifoSectors) + " to " + Number(uint64_t(limit) - 1) + " that its set of files leaves for it";
        return false;
    }
    return true;
}

// Checks the last-sector field of the whole set: the IFO and its BUP must fit in it.
bool CheckSetSize(const SIfoBytes& b, uint32_t ifoSectors, uint32_t& lastSector, std::string& error)
{
    lastSector = b.Be32(vmgi::kVmgLastSector);  // the same field in both kinds of file
    if (uint64_t(lastSector) + 1 < 2 * uint64_t(ifoSectors)) {
        error = "gives its set of files " + Number(uint64_t(lastSector) + 1) +
            " sectors, too few for the IFO and its BUP (" + Number(ifoSectors) + " sectors each)";
        return false;
    }
    return true;
}

// The title table (TT_SRPT): 1 to 99 titles, each in one of the `titleSets` title sets.
bool ReadTitleTable(const SIfoBytes& b, int titleSets, std::vector<SIfoTitle>& titles, std::string& error)
{
    STableSpan span;
    if (!ReadTable(b, vmgi::kTtSrpt, "title table", span, error)) return false;
    if (span.count == 0 || span.count > kMaxTitles) {
        error = "lists " + Number(span.count) + " titles in its title table (1 to 99 allowed)";
        return false;
    }
    if (span.start + table::kHeaderLength + uint64_t(span.count) * ttSrpt::kEntryLength > span.end) {
        error = "lists " + Number(span.count) + " titles, more than its title table holds";
        return false;
    }
    titles.clear();
    for (uint32_t i = 0; i < span.count; ++i) {
        const uint64_t e = span.start + table::kHeaderLength + uint64_t(i) * ttSrpt::kEntryLength;
        SIfoTitle t;
        t.titleSet = b.data[e + ttSrpt::kTitleSetNr];
        t.vtsTitle = b.data[e + ttSrpt::kVtsTtn];
        t.chapters = int(b.Be16(e + ttSrpt::kNrOfPtts));
        t.titleSetSector = b.Be32(e + ttSrpt::kTitleSetSector);
        const int angles = b.data[e + ttSrpt::kNrOfAngles];
        const std::string which = "title " + Number(i + 1);
        if (t.titleSet < 1 || t.titleSet > titleSets) {
            error = "puts " + which + " in title set " + Number(uint64_t(t.titleSet)) + " of " +
                Number(uint64_t(titleSets));
            return false;
        }
        if (t.vtsTitle < 1 || t.vtsTitle > kMaxTitles || angles < 1 || angles > kMaxAngles || t.chapters < 1 ||
            t.chapters > kMaxChapters) {
            error = "gives " + which + " an impossible title number, angle count or chapter count";
            return false;
        }
        titles.push_back(t);
    }
    return true;
}

// The video manager's own fields: the end of its management table, the first-play
// chain, the volume and side of the disc, the number of title sets.
bool CheckVmgFields(const SIfoBytes& b, SVmgInfo& info, std::string& error)
{
    const uint32_t lastByte = b.Be32(vmgi::kVmgiLastByte);
    if (lastByte < kMinVmgiLastByte || lastByte >= b.size) {
        error = "gives the end of its management table as byte " + Number(lastByte) + ", not between byte " +
            Number(kMinVmgiLastByte) + " and the end of the file";
        return false;
    }
    const uint32_t firstPlay = b.Be32(vmgi::kFirstPlayPgc);
    if (firstPlay != 0 && (firstPlay >= lastByte || !b.Has(firstPlay, pgc::kHeaderLength))) {
        error = "puts its first-play program chain at byte " + Number(firstPlay) + ", outside its management table";
        return false;
    }
    const uint32_t volumes = b.Be16(vmgi::kVmgNrOfVolumes);
    const uint32_t volume = b.Be16(vmgi::kVmgThisVolumeNr);
    const uint8_t side = b.data[vmgi::kDiscSide];
    if (volumes == 0 || volume == 0 || volume > volumes || (side != 1 && side != 2)) {
        error = "gives an impossible volume number, volume count or disc side";
        return false;
    }
    info.titleSets = int(b.Be16(vmgi::kVmgNrOfTitleSets));
    if (info.titleSets < 1 || info.titleSets > kMaxTitleSets) {
        error = "lists " + Number(uint64_t(info.titleSets)) + " title sets (1 to 99 allowed)";
        return false;
    }
    return true;
}

// The chapter table (its titles) and the program chain table of a title set.
bool ReadVtsTitleTables(const SIfoBytes& b, SVtsInfo& info, std::string& error)
{
    STableSpan chapters;
    if (!ReadTable(b, vtsi::kVtsPttSrpt, "chapter table", chapters, error)) return false;
    if (chapters.count == 0 || chapters.count > kMaxTitles ||
        chapters.start + table::kHeaderLength + kPttOffsetLength * uint64_t(chapters.count) > chapters.end) {
        error = "lists " + Number(chapters.count) + " titles in a chapter table that cannot hold them";
        return false;
    }
    info.titles = int(chapters.count);
    STableSpan chains;
    if (!ReadTable(b, vtsi::kVtsPgcit, "program chain table", chains, error)) return false;
    if (chains.count == 0) {
        error = "has no program chain";
        return false;
    }
    return true;
}

// Where the title set's menu and title VOBs start, and the sectors their cells reach.
bool CheckVtsVobs(const SIfoBytes& b, SVtsInfo& info, std::string& error)
{
    const uint32_t bup = info.BupSector();
    info.menuVobSector = b.Be32(vtsi::kVtsmVobs);
    info.titleVobSector = b.Be32(vtsi::kVtsttVobs);
    if (info.titleVobSector == 0) {
        error = "lists no title VOBs";
        return false;
    }
    if (!CheckVobStart(info.titleVobSector, info.ifoSectors, bup, "title VOBs", error) ||
        !CellSectors(b, vtsi::kVtsCAdt, "cell address table", info.titleCellSectors, error))
        return false;
    if (info.menuVobSector != 0) {
        if (!CheckVobStart(info.menuVobSector, info.ifoSectors, info.titleVobSector, "menu VOB", error) ||
            !CellSectors(b, vtsi::kVtsmCAdt, "menu cell address table", info.menuCellSectors, error))
            return false;
    }
    return true;
}

}  // namespace

bool ParseVmgIfo(const uint8_t* data, size_t size, SVmgInfo& out, std::string& error)
{
    const SIfoBytes b{data, size};
    SVmgInfo info;
    if (!CheckFileHeader(b, "DVDVIDEO-VMG", vmgi::kVmgiLastSector, info.ifoSectors, error) ||
        !CheckSetSize(b, info.ifoSectors, info.lastSector, error))
        return false;
    if (!CheckVmgFields(b, info, error)) return false;
    if (!CheckTableSector(b, vmgi::kTtSrpt, "title table", true, error) ||
        !CheckTableSector(b, vmgi::kVmgmPgciUt, "menu table", false, error) ||
        !CheckTableSector(b, vmgi::kPtlMait, "parental management table", false, error) ||
        !CheckTableSector(b, vmgi::kVtsAtrt, "title set attribute table", true, error) ||
        !CheckTableSector(b, vmgi::kTxtdtMgi, "text data table", false, error) ||
        !CheckTableSector(b, vmgi::kVmgmCAdt, "menu cell address table", false, error) ||
        !CheckTableSector(b, vmgi::kVmgmVobuAdmap, "menu VOBU address map", false, error))
        return false;
    if (!ReadTitleTable(b, info.titleSets, info.titles, error)) return false;
    STableSpan attributes;
    if (!ReadTable(b, vmgi::kVtsAtrt, "title set attribute table", attributes, error)) return false;
    if (int(attributes.count) != info.titleSets) {
        error = "describes " + Number(attributes.count) + " title sets in its attribute table but lists " +
            Number(uint64_t(info.titleSets));
        return false;
    }
    info.menuVobSector = b.Be32(vmgi::kVmgmVobs);
    if (info.menuVobSector != 0) {
        const uint32_t bup = info.lastSector + 1 - info.ifoSectors;
        if (!CheckVobStart(info.menuVobSector, info.ifoSectors, bup, "menu VOB", error) ||
            !CellSectors(b, vmgi::kVmgmCAdt, "menu cell address table", info.menuCellSectors, error))
            return false;
    }
    out = std::move(info);
    return true;
}

bool ParseVtsIfo(const uint8_t* data, size_t size, SVtsInfo& out, std::string& error)
{
    const SIfoBytes b{data, size};
    SVtsInfo info;
    if (!CheckFileHeader(b, "DVDVIDEO-VTS", vtsi::kVtsiLastSector, info.ifoSectors, error) ||
        !CheckSetSize(b, info.ifoSectors, info.lastSector, error))
        return false;
    const uint32_t lastByte = b.Be32(vtsi::kVtsiLastByte);
    if (lastByte >= size) {
        error = "gives the end of its management table as byte " + Number(lastByte) + ", past the end of the file";
        return false;
    }
    if (b.data[vtsi::kNrOfVtsAudioStreams] > kMaxAudioStreams || b.data[vtsi::kNrOfVtsSubpStreams] > kMaxSubpStreams) {
        error = "announces more audio or sub-picture streams than a title set can hold";
        return false;
    }
    if (!CheckTableSector(b, vtsi::kVtsPttSrpt, "chapter table", true, error) ||
        !CheckTableSector(b, vtsi::kVtsPgcit, "program chain table", true, error) ||
        !CheckTableSector(b, vtsi::kVtsmPgciUt, "menu table", false, error) ||
        !CheckTableSector(b, vtsi::kVtsTmapt, "time map table", false, error) ||
        !CheckTableSector(b, vtsi::kVtsmCAdt, "menu cell address table", false, error) ||
        !CheckTableSector(b, vtsi::kVtsmVobuAdmap, "menu VOBU address map", false, error) ||
        !CheckTableSector(b, vtsi::kVtsCAdt, "cell address table", true, error) ||
        !CheckTableSector(b, vtsi::kVtsVobuAdmap, "VOBU address map", true, error))
        return false;
    if (!ReadVtsTitleTables(b, info, error)) return false;
    if (!CheckVtsVobs(b, info, error)) return false;
    out = info;
    return true;
}

namespace {

// The program chain table may hold up to this many chains; a reader needs the first.
constexpr int kMaxPrograms = 99;
constexpr int kMaxCells = 255;
// A cell stored above this sector with the next cell earlier holds the title's end
// (its lead-in was moved there); a reader starts at the next cell instead.
constexpr uint32_t kStoredAtEndSector = 2000007;

int BcdByte(uint8_t b) { return (b >> 4) * 10 + (b & 0x0F); }

// The program map and cell playback table of the chain at `start` with `programs`
// programs and `cells` cells: every entry inside the file, entry cells rising.
bool ReadChainTables(const SIfoBytes& b, uint64_t start, int programs, int cells, SIfoProgramChain& chain,
                     std::string& error)
{
    const uint64_t map = start + b.Be16(start + pgc::kProgramMapOffset);
    const uint64_t playback = start + b.Be16(start + pgc::kCellPlaybackOffset);
    if (map < start + pgc::kHeaderLength || !b.Has(map, uint64_t(programs)) || playback < start + pgc::kHeaderLength ||
        !b.Has(playback, uint64_t(cells) * cellPlayback::kEntryLength)) {
        error = "puts the program map or cell table of its first program chain outside the file";
        return false;
    }
    for (int p = 0; p < programs; ++p) {
        const int entry = b.data[map + uint64_t(p)];
        const int previous = chain.entryCells.empty() ? 0 : chain.entryCells.back();
        if (entry <= previous || entry > cells) {
            error = "gives program " + Number(uint64_t(p + 1)) + " the entry cell " + Number(uint64_t(entry)) + " of " +
                Number(uint64_t(cells));
            return false;
        }
        chain.entryCells.push_back(entry);
    }
    for (int c = 0; c < cells && c < kMaxCells; ++c) {
        const uint64_t e = playback + uint64_t(c) * cellPlayback::kEntryLength;
        SIfoCell cell;
        cell.playbackTime = b.Be32(e + cellPlayback::kPlaybackTime);
        cell.firstSector = b.Be32(e + cellPlayback::kFirstSector);
        cell.lastSector = b.Be32(e + cellPlayback::kLastSector);
        if (cell.lastSector < cell.firstSector) {
            error = "has cell " + Number(uint64_t(c + 1)) + " ending (sector " + Number(cell.lastSector) +
                ") before it starts (sector " + Number(cell.firstSector) + ")";
            return false;
        }
        chain.cells.push_back(cell);
    }
    return true;
}

// The first program chain of the table at the sector in 0xCC, with its programs and
// cells; none when the table is empty.
bool ReadFirstChain(const SIfoBytes& b, SIfoProgramChain& chain, std::string& error)
{
    STableSpan chains;
    if (!CheckTableSector(b, vtsi::kVtsPgcit, "program chain table", true, error) ||
        !ReadTable(b, vtsi::kVtsPgcit, "program chain table", chains, error))
        return false;
    if (chains.count == 0) return true;  // no chain: the title has no programs
    const uint64_t srp = chains.start + table::kHeaderLength;
    if (srp + pgcit::kSrpLength > chains.end) {
        error = "has a program chain table too short for its first entry";
        return false;
    }
    const uint64_t start = chains.start + b.Be32(srp + pgcit::kPgcStartByte);
    if (start < srp + pgcit::kSrpLength || !b.Has(start, pgc::kHeaderLength) ||
        start + pgc::kHeaderLength > chains.end) {
        error = "puts its first program chain outside its program chain table";
        return false;
    }
    const int programs = b.data[start + pgc::kNrOfPrograms];
    const int cells = b.data[start + pgc::kNrOfCells];
    chain.playbackTime = b.Be32(start + pgc::kPlaybackTime);
    if (programs > kMaxPrograms || programs > cells || (programs > 0) != (cells > 0)) {
        error = "gives its first program chain " + Number(uint64_t(programs)) + " programs and " +
            Number(uint64_t(cells)) + " cells";
        return false;
    }
    return programs == 0 || ReadChainTables(b, start, programs, cells, chain, error);
}

}  // namespace

bool ParseVtsSource(const uint8_t* data, size_t size, SVtsSource& out, std::string& error)
{
    const SIfoBytes b{data, size};
    if (size < size_t(kSectorBytes)) {
        error = "is " + Number(size) + " bytes, shorter than the 2048-byte header of an information file";
        return false;
    }
    if (std::memcmp(data, "DVDVIDEO-VTS", 12) != 0) {
        error = "does not start with the identifier DVDVIDEO-VTS";
        return false;
    }
    SVtsSource source;
    source.videoAttributes = data[vtsi::kVtsVideoAttr];
    source.wide = ((source.videoAttributes >> 2) & 3) == 3;
    source.pal = ((source.videoAttributes >> 4) & 3) != 0;
    if (!ReadFirstChain(b, source.chain, error)) return false;
    out = std::move(source);
    return true;
}

int PlaybackWholeSeconds(uint32_t bcdTime)
{
    return BcdByte(uint8_t(bcdTime >> 24)) * 3600 + BcdByte(uint8_t(bcdTime >> 16)) * 60 +
        BcdByte(uint8_t(bcdTime >> 8));
}

double PlaybackSeconds(uint32_t bcdTime)
{
    const uint8_t frames = uint8_t(bcdTime);
    const double period = frames < 0xC0 ? 0.04 : 1001.0 / 30000.0;
    return PlaybackWholeSeconds(bcdTime) + BcdByte(frames & 0x3F) * period;
}

int StartCellIndex(const SIfoProgramChain& chain, bool alternative)
{
    if (chain.entryCells.empty() || chain.cells.empty()) return -1;
    const int entry = chain.entryCells.front() - 1;
    if (entry + 1 >= int(chain.cells.size())) return entry;
    const uint32_t s = chain.cells[size_t(entry)].firstSector;
    const uint32_t t = chain.cells[size_t(entry) + 1].firstSector;
    // A sector with bit 31 set is no real address and never moves the start.
    const bool storedAtEnd = s <= uint32_t(INT32_MAX) && s > kStoredAtEndSector && t < s;
    return storedAtEnd || alternative ? entry + 1 : entry;
}

std::vector<double> ProgramStartSeconds(const SIfoProgramChain& chain, bool alternative)
{
    std::vector<double> starts;
    const int first = StartCellIndex(chain, alternative);
    if (first < 0) return starts;
    double previous = 0.0;
    for (size_t p = 1; p < chain.entryCells.size(); ++p) {
        double t = 0.0;
        for (int c = first; c < chain.entryCells[p] - 1 && c < int(chain.cells.size()); ++c)
            t += PlaybackSeconds(chain.cells[size_t(c)].playbackTime);
        if (t > previous) {
            starts.push_back(t);
            previous = t;
        }
    }
    return starts;
}
