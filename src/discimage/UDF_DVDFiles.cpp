#include "discimage/UDF_DVDFiles.h"

#include "base/Bytes.h"
#include "base/DvdFileNames.h"
#include "base/File.h"
#include "base/InputFile.h"

#include <sys/stat.h>
#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kSectorSize = 2048;
// A placement read from an IFO file is only followed while the data area stays below
// this many sectors (16 GiB, twice a dual-layer disc); anything beyond is a damaged IFO.
constexpr uint64_t kMaxDataSectors = 8u * 1024 * 1024;
// Each title set has 12 slots: its IFO, its VOB files 0 (menu) to 9, its BUP.
constexpr int kSlotsPerTitleSet = 12;
constexpr int kFirstTitleSetSlot = 3;
constexpr int kGuardSlot = CUDF_DVDFiles::kSlots - 1;

// IFO header fields (sector numbers, most significant byte first): the last sector of
// the IFO's own set of files, and where its menu VOB and its title VOBs start.
constexpr int kIfoLastSector = 0x0C;
constexpr int kIfoMenuVobStart = 0xC0;
constexpr int kIfoTitleVobStart = 0xC4;
// In VIDEO_TS.IFO the field at 0xC4 is the sector of the title search table instead.
constexpr int kVmgTitleTable = 0xC4;

// Reads up to `length` bytes at `offset` of a file; the rest of `buffer` is zero.
// Returns false when the file cannot be opened or holds nothing at that offset.
bool ReadFilePart(const std::string& path, uint64_t offset, uint8_t* buffer, size_t length)
{
    std::memset(buffer, 0, length);
    std::string unreadable;
    const CFileDescriptor fd = OpenInputFile(path, unreadable);
    return fd && ReadDescriptorAt(fd.Get(), buffer, length, int64_t(offset)) > 0;
}

int SetOfSlot(int slot) { return (slot - kFirstTitleSetSlot) / kSlotsPerTitleSet + 1; }
int SlotOf(int titleSet, int k) { return kFirstTitleSetSlot + (titleSet - 1) * kSlotsPerTitleSet + k; }

}  // namespace

CUDF_DVDFiles::~CUDF_DVDFiles() { CloseFile(); }

std::string CUDF_DVDFiles::SlotName(int slot)
{
    if (slot == 0) return kVideoTsIfo;
    if (slot == 1) return kVideoTsVob;
    if (slot == 2) return kVideoTsBup;
    if (slot >= kFirstTitleSetSlot && slot < kGuardSlot) {
        const int titleSet = SetOfSlot(slot);
        const int k = (slot - kFirstTitleSetSlot) % kSlotsPerTitleSet;
        if (k == 0) return VtsFileName(titleSet, 0, "IFO");
        if (k == kSlotsPerTitleSet - 1) return VtsFileName(titleSet, 0, "BUP");
        return VtsFileName(titleSet, k - 1, "VOB");
    }
    return "ZZZZ.ZZZ";
}

uint32_t CUDF_DVDFiles::SlotSectors(int slot) const
{
    if (slot < 0 || slot >= kSlots) return 0;
    return slotSectors[static_cast<size_t>(slot)];
}

// Measures one slot's file. A missing file counts as absent. Fails for a name that is
// not a readable regular file (a FIFO would block the image, a device never end) and
// for a file too large for a short allocation descriptor.
bool CUDF_DVDFiles::ProbeSlot(int slot)
{
    const std::string path = folder + SlotName(slot);
    slotSectors[static_cast<size_t>(slot)] = 0;
    int64_t bytes = 0;
    if (!OpenInputFile(path, error, kAnyInputSize, &bytes)) {
        if (errno != ENOENT) return false;
        error.clear();
        return true;
    }
    const uint64_t sectors = (static_cast<uint64_t>(bytes) + kSectorSize - 1) / kSectorSize;
    if (sectors > kMaxFileSectors) {
        error = "The file " + path + " is too large for a DVD disc image (" +
            std::to_string(static_cast<unsigned long long>(bytes)) +
            " bytes; each file must be smaller than 1073741824 bytes).";
        return false;
    }
    slotSectors[static_cast<size_t>(slot)] = static_cast<uint32_t>(sectors);
    return true;
}

// Measures every slot of the current folder, title sets from 01 up to the first without
// an IFO. False (with ErrorText) when VIDEO_TS.IFO is empty or a file is too large.
bool CUDF_DVDFiles::ProbeSlots()
{
    bool ok = ProbeSlot(0);
    if (ok && slotSectors[0] == 0) {
        // Without its video manager the disc would not play; nothing to describe.
        error = folder + kVideoTsIfo + " is empty or not a file.";
        ok = false;
    }
    ok = ok && ProbeSlot(1) && ProbeSlot(2);
    for (int titleSet = 1; ok && titleSet <= 99; ++titleSet) {
        const int ifo = SlotOf(titleSet, 0);
        ok = ProbeSlot(ifo);
        if (!ok || slotSectors[static_cast<size_t>(ifo)] == 0) {
            // An empty IFO ends the title sets just as a missing one does.
            slotSectors[static_cast<size_t>(ifo)] = 0;
            break;
        }
        for (int k = 1; ok && k < kSlotsPerTitleSet; ++k) ok = ProbeSlot(SlotOf(titleSet, k));
    }
    return ok;
}

bool CUDF_DVDFiles::Scan(const std::string& path)
{
    std::string dir = path;
    if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) dir += '/';
    std::string unreadable;
    if (!OpenInputFile(dir + kVideoTsIfo, unreadable)) {
        error = "Cannot open " + unreadable;
        return false;
    }

    CloseFile();
    const std::string previousFolder = folder;
    const std::vector<uint32_t> previousSlots = slotSectors;
    const std::vector<Present> previousFiles = files;
    folder = dir;
    std::fill(slotSectors.begin(), slotSectors.end(), 0);
    files.clear();
    error.clear();
    if (!ProbeSlots()) {
        folder = previousFolder;
        slotSectors = previousSlots;
        files = previousFiles;
        return false;
    }
    PlaceFiles();
    return true;
}

// The first sector of each title set (1-99, counted from the start of VIDEO_TS.IFO) as
// the title search table at sector `titleTable` of VIDEO_TS.IFO gives it; -1 for a set
// it does not name.
std::vector<int64_t> CUDF_DVDFiles::TitleSetStarts(uint64_t titleTable) const
{
    // The table: the number of titles, then 12 bytes per title with its title set
    // number at byte 6 and the set's first sector at byte 8.
    std::vector<int64_t> setStart(100, -1);
    uint8_t table[kSectorSize];
    if (titleTable == 0 || !ReadFilePart(folder + kVideoTsIfo, titleTable * kSectorSize, table, sizeof table))
        return setStart;
    const int titles = std::min<int>(int(GetBe16(table)), 99);
    for (int t = 0; t < titles; ++t) {
        const uint8_t* entry = table + 8 + 12 * t;
        const int vts = entry[6];
        if (vts >= 1 && vts <= 99 && setStart[static_cast<size_t>(vts)] < 0)
            setStart[static_cast<size_t>(vts)] = GetBe32(entry + 8);
    }
    return setStart;
}

// Enters in `wanted` where the IFO of title set `titleSet`, starting at sector `base`,
// places its files.
void CUDF_DVDFiles::WantTitleSet(int titleSet, int64_t base, std::vector<int64_t>& wanted) const
{
    const int ifo = SlotOf(titleSet, 0);
    uint8_t header[kSectorSize];
    if (base < 0 || SlotSectors(ifo) == 0 || !ReadFilePart(folder + SlotName(ifo), 0, header, sizeof header) ||
        std::memcmp(header, "DVDVIDEO-VTS", 12) != 0)
        return;
    const uint64_t last = GetBe32(header + kIfoLastSector);
    const uint64_t menu = GetBe32(header + kIfoMenuVobStart);
    const uint64_t title = GetBe32(header + kIfoTitleVobStart);
    wanted[static_cast<size_t>(ifo)] = base;
    if (menu != 0) wanted[static_cast<size_t>(ifo + 1)] = base + static_cast<int64_t>(menu);
    if (title != 0) {
        // The title VOB files form one run; only its first file has an address.
        for (int k = 2; k <= 10; ++k) {
            if (SlotSectors(ifo + k) == 0) continue;
            wanted[static_cast<size_t>(ifo + k)] = base + static_cast<int64_t>(title);
            break;
        }
    }
    const int bup = ifo + kSlotsPerTitleSet - 1;
    if (SlotSectors(bup) != 0 && last + 1 >= SlotSectors(bup))
        wanted[static_cast<size_t>(bup)] = base + static_cast<int64_t>(last + 1 - SlotSectors(bup));
}

// Where the folder's IFO files place each slot's file; -1 where they say nothing.
std::vector<int64_t> CUDF_DVDFiles::WantedStarts() const
{
    std::vector<int64_t> wanted(kSlots, -1);
    uint8_t header[kSectorSize];
    if (!ReadFilePart(folder + kVideoTsIfo, 0, header, sizeof header) || std::memcmp(header, "DVDVIDEO-VMG", 12) != 0)
        return wanted;
    const uint64_t vmgLast = GetBe32(header + kIfoLastSector);
    const uint64_t menuVobs = GetBe32(header + kIfoMenuVobStart);
    if (menuVobs != 0) wanted[1] = static_cast<int64_t>(menuVobs);
    if (SlotSectors(2) != 0 && vmgLast + 1 >= SlotSectors(2))
        wanted[2] = static_cast<int64_t>(vmgLast + 1 - SlotSectors(2));
    const std::vector<int64_t> setStart = TitleSetStarts(GetBe32(header + kVmgTitleTable));
    for (int titleSet = 1; titleSet <= 99; ++titleSet)
        WantTitleSet(titleSet, setStart[static_cast<size_t>(titleSet)], wanted);
    return wanted;
}

// Lays the present files out in slot order. Normally each follows the previous one
// directly; when the IFO files place a file later (another authoring program may pad
// the video manager, for instance), it starts there so that the sector addresses in
// the IFO files stay true on the disc.
void CUDF_DVDFiles::PlaceFiles()
{
    const std::vector<int64_t> wanted = WantedStarts();
    files.clear();
    uint64_t position = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        const uint32_t sectors = SlotSectors(slot);
        if (sectors == 0) continue;
        const int64_t want = wanted[static_cast<size_t>(slot)];
        if (want >= 0 && static_cast<uint64_t>(want) > position &&
            static_cast<uint64_t>(want) + sectors <= kMaxDataSectors)
            position = static_cast<uint64_t>(want);
        Present file;
        file.slot = slot;
        file.start = static_cast<uint32_t>(position);
        file.sectors = sectors;
        position += sectors;
        file.end = static_cast<uint32_t>(position);
        files.push_back(file);
    }
}

void CUDF_DVDFiles::CloseFile()
{
    openFile.Reset();
    openIndex = -1;
}

bool CUDF_DVDFiles::ReadDataSector(uint32_t dataSector, uint8_t* buffer)
{
    return ReadDataSectors(dataSector, 1, buffer) == 1;
}

int CUDF_DVDFiles::FileAt(uint32_t dataSector) const
{
    if (openIndex >= 0 && dataSector >= files[static_cast<size_t>(openIndex)].start &&
        dataSector < files[static_cast<size_t>(openIndex)].end)
        return openIndex;
    auto it = std::upper_bound(files.begin(), files.end(), dataSector,
                               [](uint32_t s, const Present& f) { return s < f.end; });
    if (it != files.end() && dataSector >= it->start) return static_cast<int>(it - files.begin());
    return -1;
}

bool CUDF_DVDFiles::OpenFile(int index)
{
    if (index == openIndex) return true;
    CloseFile();
    std::string unreadable;
    openFile = OpenInputFile(folder + SlotName(files[static_cast<size_t>(index)].slot), unreadable);
    if (!openFile) return false;
    struct stat st {};
    openBytes = ::fstat(openFile.Get(), &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    openIndex = index;
    return true;
}

uint32_t CUDF_DVDFiles::FileRun(uint32_t dataSector, uint32_t count, int& fd, int64_t& offset)
{
    fd = -1;
    offset = 0;
    if (dataSector >= DataSectors() || count == 0) return 0;
    const int index = FileAt(dataSector);
    if (index < 0 || !OpenFile(index)) return 0;
    const Present& file = files[static_cast<size_t>(index)];
    const int64_t at = int64_t(dataSector - file.start) * kSectorSize;
    const int64_t whole = (openBytes - at) / kSectorSize;
    if (whole <= 0) return 0;
    fd = openFile.Get();
    offset = at;
    return uint32_t(std::min<int64_t>({whole, int64_t(count), int64_t(file.end - dataSector)}));
}

uint32_t CUDF_DVDFiles::ReadDataSectors(uint32_t dataSector, uint32_t count, uint8_t* buffer)
{
    if (dataSector >= DataSectors() || count == 0) return 0;

    // Sequential reads stay in the open file; otherwise find the file by its range.
    const int index = FileAt(dataSector);
    if (index < 0) {
        // The gap before the next file reads as zeros.
        auto next = std::upper_bound(files.begin(), files.end(), dataSector,
                                     [](uint32_t s, const Present& f) { return s < f.end; });
        if (next != files.end()) count = std::min(count, next->start - dataSector);
        std::memset(buffer, 0, size_t(count) * kSectorSize);
        return count;
    }

    const Present& file = files[static_cast<size_t>(index)];
    count = std::min(count, file.end - dataSector);
    const size_t bytes = size_t(count) * kSectorSize;
    // One read for the whole run; whatever the file no longer holds reads as zeros.
    const size_t done = OpenFile(index)
        ? ReadDescriptorAt(openFile.Get(), buffer, bytes, int64_t(dataSector - file.start) * kSectorSize)
        : 0;
    if (done < bytes) std::memset(buffer + done, 0, bytes - done);
    return count;
}
