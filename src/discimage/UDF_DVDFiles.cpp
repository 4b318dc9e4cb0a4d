#include "discimage/UDF_DVDFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kSectorSize = 2048;
// A placement read from an IFO file is only followed while the data area stays below
// this many sectors (16 GiB, twice a dual-layer disc); anything beyond is a damaged IFO.
constexpr uint64_t kMaxDataSectors = 8u * 1024 * 1024;

uint32_t Be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

uint16_t Be16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }

// Reads up to `length` bytes at `offset` of a file; the rest of `buffer` is zero.
// Returns false when the file cannot be opened or holds nothing at that offset.
bool ReadAt(const std::string& path, uint64_t offset, uint8_t* buffer, size_t length)
{
    std::memset(buffer, 0, length);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ssize_t got = ::pread(fd, buffer, length, static_cast<off_t>(offset));
    ::close(fd);
    return got > 0;
}

int SetOfSlot(int slot) { return (slot - 3) / 12 + 1; }
int SlotOf(int titleSet, int k) { return 3 + (titleSet - 1) * 12 + k; }

}  // namespace

CUDF_DVDFiles::~CUDF_DVDFiles() { CloseFile(); }

std::string CUDF_DVDFiles::SlotName(int slot)
{
    char name[32];
    if (slot == 0) return "VIDEO_TS.IFO";
    if (slot == 1) return "VIDEO_TS.VOB";
    if (slot == 2) return "VIDEO_TS.BUP";
    if (slot >= 3 && slot <= 1190) {
        int titleSet = SetOfSlot(slot);
        int k = (slot - 3) % 12;
        if (k == 0)
            std::snprintf(name, sizeof name, "VTS_%02d_0.IFO", titleSet);
        else if (k == 11)
            std::snprintf(name, sizeof name, "VTS_%02d_0.BUP", titleSet);
        else
            std::snprintf(name, sizeof name, "VTS_%02d_%d.VOB", titleSet, k - 1);
        return name;
    }
    return "ZZZZ.ZZZ";
}

uint32_t CUDF_DVDFiles::SlotSectors(int slot) const
{
    if (slot < 0 || slot >= kSlots) return 0;
    return slotSectors[static_cast<size_t>(slot)];
}

// Measures one slot's file. A missing file, or anything that is not a regular file,
// counts as absent. Fails only for a file too large for a short allocation descriptor.
bool CUDF_DVDFiles::ProbeSlot(int slot)
{
    std::string path = folder + SlotName(slot);
    slotSectors[static_cast<size_t>(slot)] = 0;
    struct stat st {};
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return true;
    bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular) return true;
    uint64_t sectors = (static_cast<uint64_t>(st.st_size) + kSectorSize - 1) / kSectorSize;
    if (sectors > kMaxFileSectors) {
        error = "The file " + path + " is too large for a DVD disc image (" +
                std::to_string(static_cast<unsigned long long>(st.st_size)) +
                " bytes; each file must be smaller than 1073741824 bytes).";
        return false;
    }
    slotSectors[static_cast<size_t>(slot)] = static_cast<uint32_t>(sectors);
    return true;
}

bool CUDF_DVDFiles::Scan(const std::string& path)
{
    std::string dir = path;
    if (dir.empty() || (dir.back() != '/' && dir.back() != '\\')) dir += '/';

    {
        int fd = ::open((dir + "VIDEO_TS.IFO").c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = "Cannot open " + dir + "VIDEO_TS.IFO: " + std::strerror(errno);
            return false;
        }
        ::close(fd);
    }

    CloseFile();
    std::string previousFolder = folder;
    std::vector<uint32_t> previousSlots = slotSectors;
    std::vector<Present> previousFiles = files;
    folder = dir;
    std::fill(slotSectors.begin(), slotSectors.end(), 0);
    files.clear();
    error.clear();

    bool ok = ProbeSlot(0);
    if (ok && slotSectors[0] == 0) {
        // Without its video manager the disc would not play; nothing to describe.
        error = folder + "VIDEO_TS.IFO is empty or not a file.";
        ok = false;
    }
    ok = ok && ProbeSlot(1) && ProbeSlot(2);
    for (int titleSet = 1; ok && titleSet <= 99; ++titleSet) {
        int ifo = SlotOf(titleSet, 0);
        ok = ProbeSlot(ifo);
        if (!ok || slotSectors[static_cast<size_t>(ifo)] == 0) {
            // An empty IFO ends the title sets just as a missing one does.
            slotSectors[static_cast<size_t>(ifo)] = 0;
            break;
        }
        for (int k = 1; ok && k < 12; ++k) ok = ProbeSlot(SlotOf(titleSet, k));
    }
    if (!ok) {
        folder = previousFolder;
        slotSectors = previousSlots;
        files = previousFiles;
        return false;
    }
    PlaceFiles();
    return true;
}

// Lays the present files out in slot order. Normally each follows the previous one
// directly; when the IFO files place a file later (another authoring program may pad
// the video manager, for instance), it starts there so that the sector addresses in
// the IFO files stay true on the disc.
void CUDF_DVDFiles::PlaceFiles()
{
    std::vector<int64_t> wanted(kSlots, -1);
    auto size = [this](int slot) { return slotSectors[static_cast<size_t>(slot)]; };

    uint8_t header[kSectorSize];
    if (ReadAt(folder + "VIDEO_TS.IFO", 0, header, sizeof header) &&
        std::memcmp(header, "DVDVIDEO-VMG", 12) == 0) {
        uint64_t vmgLast = Be32(header + 0x0C);
        uint64_t menuVobs = Be32(header + 0xC0);
        uint64_t titleTable = Be32(header + 0xC4);
        if (menuVobs != 0) wanted[1] = static_cast<int64_t>(menuVobs);
        if (size(2) != 0 && vmgLast + 1 >= size(2))
            wanted[2] = static_cast<int64_t>(vmgLast + 1 - size(2));

        // The title table gives the first sector of each title set, counted from the
        // start of VIDEO_TS.IFO.
        std::vector<int64_t> setStart(100, -1);
        uint8_t table[kSectorSize];
        if (titleTable != 0 &&
            ReadAt(folder + "VIDEO_TS.IFO", titleTable * kSectorSize, table, sizeof table)) {
            int titles = std::min<int>(Be16(table), 99);
            for (int t = 0; t < titles; ++t) {
                const uint8_t* entry = table + 8 + 12 * t;
                int vts = entry[6];
                if (vts >= 1 && vts <= 99 && setStart[static_cast<size_t>(vts)] < 0)
                    setStart[static_cast<size_t>(vts)] = Be32(entry + 8);
            }
        }
        for (int titleSet = 1; titleSet <= 99; ++titleSet) {
            int64_t base = setStart[static_cast<size_t>(titleSet)];
            int ifo = SlotOf(titleSet, 0);
            if (base < 0 || size(ifo) == 0) continue;
            uint8_t vtsHeader[kSectorSize];
            if (!ReadAt(folder + SlotName(ifo), 0, vtsHeader, sizeof vtsHeader) ||
                std::memcmp(vtsHeader, "DVDVIDEO-VTS", 12) != 0)
                continue;
            uint64_t last = Be32(vtsHeader + 0x0C);
            uint64_t menu = Be32(vtsHeader + 0xC0);
            uint64_t title = Be32(vtsHeader + 0xC4);
            wanted[static_cast<size_t>(ifo)] = base;
            if (menu != 0) wanted[static_cast<size_t>(ifo + 1)] = base + static_cast<int64_t>(menu);
            if (title != 0) {
                // The title VOB files form one run; only its first file has an address.
                for (int k = 2; k <= 10; ++k) {
                    if (size(ifo + k) == 0) continue;
                    wanted[static_cast<size_t>(ifo + k)] = base + static_cast<int64_t>(title);
                    break;
                }
            }
            int bup = ifo + 11;
            if (size(bup) != 0 && last + 1 >= size(bup))
                wanted[static_cast<size_t>(bup)] = base + static_cast<int64_t>(last + 1 - size(bup));
        }
    }

    files.clear();
    uint64_t position = 0;
    for (int slot = 0; slot < kSlots; ++slot) {
        uint32_t sectors = size(slot);
        if (sectors == 0) continue;
        int64_t want = wanted[static_cast<size_t>(slot)];
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
    if (openFd >= 0) ::close(openFd);
    openFd = -1;
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
    openFd = ::open((folder + SlotName(files[static_cast<size_t>(index)].slot)).c_str(), O_RDONLY | O_CLOEXEC);
    if (openFd < 0) return false;
    struct stat st {};
    openBytes = ::fstat(openFd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
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
    fd = openFd;
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
    if (!OpenFile(index)) {
        std::memset(buffer, 0, bytes);
        return count;
    }
    // One read for the whole run; whatever the file no longer holds reads as zeros.
    off_t offset = static_cast<off_t>(dataSector - file.start) * kSectorSize;
    size_t done = 0;
    while (done < bytes) {
        ssize_t got = ::pread(openFd, buffer + done, bytes - done, offset + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    if (done < bytes) std::memset(buffer + done, 0, bytes - done);
    return count;
}
