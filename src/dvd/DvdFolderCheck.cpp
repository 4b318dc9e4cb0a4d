#include "dvd/DvdFolderCheck.h"

#include "base/DvdFileNames.h"
#include "base/File.h"
#include "media/IfoLayout.h"
#include "media/IfoReader.h"

#include <sys/stat.h>
#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr int kMaxTitleVobs = 9;
// No real information file comes near this; a larger one is not read into memory.
constexpr int64_t kMaxIfoBytes = int64_t(64) << 20;
// A file on the disc must stay below 1 GiB (the image's allocation descriptors).
constexpr int64_t kMaxFileBytes = int64_t(1) << 30;
// The image honours the sector addresses of the IFO files up to here (16 GiB).
constexpr uint64_t kMaxDiscSectors = uint64_t(8) << 20;

std::string Number(uint64_t n) { return std::to_string(static_cast<unsigned long long>(n)); }

// Looks at `path` through any links. `present` false when nothing has that name.
// False with `error` when something has it but it is no regular file (a folder, a link
// loop, a link to nothing, a device or pipe) or cannot be looked at.
bool LookAt(const std::string& path, bool& present, int64_t& bytes, std::string& error)
{
    struct stat st {};
    present = false;
    bytes = 0;
    if (::stat(path.c_str(), &st) != 0) {
        const int reason = errno;
        struct stat link {};
        if (reason == ENOENT && ::lstat(path.c_str(), &link) != 0) return true;
        if (reason == ENOENT)
            error = path + " is a link to a file that does not exist";
        else if (reason == ELOOP)
            error = path + " is a link loop (" + std::strerror(reason) + ")";
        else
            error = path + " cannot be read: " + std::strerror(reason);
        return false;
    }
    present = true;
    if (S_ISDIR(st.st_mode)) {
        error = path + " is a folder, not a file";
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = path + " is not a regular file";
        return false;
    }
    bytes = int64_t(st.st_size);
    return true;
}

// As LookAt for a file that must be there.
bool LookAtRequired(const std::string& path, int64_t& bytes, std::string& error, const std::string& why)
{
    bool present = false;
    if (!LookAt(path, present, bytes, error)) return false;
    if (!present) error = path + " is missing" + why;
    return present;
}

// Reads the whole of the information (or backup) file `path`.
bool ReadIfoFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& error, const std::string& why)
{
    int64_t size = 0;
    if (!LookAtRequired(path, size, error, why)) return false;
    if (size > kMaxIfoBytes) {
        error = path + " is " + Number(uint64_t(size)) + " bytes, far too large for an information file";
        return false;
    }
    bytes.assign(size_t(size), 0);
    const CFileDescriptor fd = OpenForReading(path);
    if (!fd || ReadDescriptorAt(fd.Get(), bytes.data(), bytes.size(), 0) != bytes.size()) {
        error = path + " cannot be read: " + (fd ? "it shrank while being read" : std::strerror(errno));
        return false;
    }
    return true;
}

// Reads an IFO file's backup and compares it with the IFO.
bool CheckBackup(const std::string& bup, const std::string& ifoName, const std::vector<uint8_t>& ifo,
                 std::string& error)
{
    std::vector<uint8_t> copy;
    if (!ReadIfoFile(bup, copy, error, " (the backup of " + ifoName + ")")) return false;
    if (copy != ifo) {
        error = bup + " differs from " + ifoName + ", of which it must be a copy";
        return false;
    }
    return true;
}

// Checks a VOB file's size: not empty, whole sectors, below 1 GiB. Gives its sectors.
bool CheckVobSize(const std::string& path, int64_t bytes, uint64_t& sectors, std::string& error)
{
    if (bytes == 0)
        error = path + " is empty (0 bytes)";
    else if (bytes % ifo::kSectorBytes != 0)
        error = path + " is " + Number(uint64_t(bytes)) + " bytes, not a whole number of 2048-byte sectors";
    else if (bytes >= kMaxFileBytes)
        error = path + " is " + Number(uint64_t(bytes)) + " bytes; a DVD file must be smaller than 1 GiB";
    else {
        sectors = uint64_t(bytes) / ifo::kSectorBytes;
        return true;
    }
    return false;
}

// Checks the menu VOB `path`: when `start` is 0 the IFO names none and the file must not
// exist; otherwise it must fit below `limit` and hold the `cells` sectors its cells reach.
bool CheckMenuVob(const std::string& path, const std::string& ifoName, uint32_t start, uint32_t limit, uint32_t cells,
                  std::string& error)
{
    bool present = false;
    int64_t bytes = 0;
    if (!LookAt(path, present, bytes, error)) return false;
    if (start == 0) {
        if (present) error = path + " is not used: " + ifoName + " names no menu VOB";
        return !present;
    }
    uint64_t sectors = 0;
    if (!present) {
        error = path + " is missing (" + ifoName + " has menus in it)";
        return false;
    }
    if (!CheckVobSize(path, bytes, sectors, error)) return false;
    if (start + sectors > limit) {
        error = path + " is " + Number(sectors) + " sectors, more than the " + Number(limit - start) + " " + ifoName +
            " leaves for it";
        return false;
    }
    if (sectors < cells) {
        error = path + " is " + Number(sectors) + " sectors, but the menu cells of " + ifoName + " reach sector " +
            Number(cells - 1);
        return false;
    }
    return true;
}

// Checks the title VOBs of title set `set`: numbered from 1 without gaps, each a usable
// VOB file, together exactly the sectors its IFO gives them.
bool CheckTitleVobs(const std::string& dir, int set, const SVtsInfo& info, std::string& error)
{
    const std::string ifoName = VtsFileName(set, 0, "IFO");
    uint64_t total = 0;
    int count = 0;
    std::string gap;
    for (int k = 1; k <= kMaxTitleVobs; ++k) {
        const std::string path = dir + VtsFileName(set, k, "VOB");
        bool present = false;
        int64_t bytes = 0;
        uint64_t sectors = 0;
        if (!LookAt(path, present, bytes, error)) return false;
        if (!present) {
            if (gap.empty()) gap = path;
            continue;
        }
        if (!gap.empty()) {
            error = gap + " is missing, but " + VtsFileName(set, k, "VOB") + " follows it";
            return false;
        }
        if (!CheckVobSize(path, bytes, sectors, error)) return false;
        total += sectors;
        ++count;
    }
    if (count == 0) {
        error = dir + VtsFileName(set, 1, "VOB") + " is missing (" + ifoName + " has titles in it)";
        return false;
    }
    const uint64_t expected = info.BupSector() - info.titleVobSector;
    if (total != expected) {
        error = dir + ifoName + " gives its title VOBs " + Number(expected) + " sectors, but " +
            VtsFileName(set, 1, "VOB") + (count > 1 ? " to " + VtsFileName(set, count, "VOB") + " hold " : " holds ") +
            Number(total);
        return false;
    }
    if (info.titleCellSectors > total) {
        error = dir + ifoName + " has cells up to sector " + Number(info.titleCellSectors - 1) +
            ", past the end of its title VOBs";
        return false;
    }
    return true;
}

// Checks title set `set`'s IFO, BUP and VOB files; fills `info`.
bool CheckTitleSet(const std::string& dir, int set, int sets, SVtsInfo& info, std::string& error)
{
    const std::string ifoName = VtsFileName(set, 0, "IFO");
    std::vector<uint8_t> ifo;
    if (!ReadIfoFile(dir + ifoName, ifo, error,
                     " (" + std::string(kVideoTsIfo) + " lists " + Number(uint64_t(sets)) + " title sets)"))
        return false;
    std::string problem;
    if (!ParseVtsIfo(ifo.data(), ifo.size(), info, problem)) {
        error = dir + ifoName + " " + problem;
        return false;
    }
    return CheckBackup(dir + VtsFileName(set, 0, "BUP"), ifoName, ifo, error) &&
        CheckMenuVob(dir + VtsFileName(set, 0, "VOB"), ifoName, info.menuVobSector, info.titleVobSector,
                     info.menuCellSectors, error) &&
        CheckTitleVobs(dir, set, info, error);
}

// Checks the title table against the title sets: every title exists in its title set,
// and each title set starts after the files before it on the disc.
bool CheckTitlePlacement(const std::string& vmgPath, const SVmgInfo& vmg, const std::vector<SVtsInfo>& sets,
                         std::string& error)
{
    std::vector<int64_t> start(sets.size(), -1);
    for (size_t i = 0; i < vmg.titles.size(); ++i) {
        const SIfoTitle& t = vmg.titles[i];
        const SVtsInfo& set = sets[size_t(t.titleSet - 1)];
        const std::string which = "title " + Number(i + 1);
        if (t.vtsTitle > set.titles) {
            error = vmgPath + " makes " + which + " title " + Number(uint64_t(t.vtsTitle)) + " of title set " +
                Number(uint64_t(t.titleSet)) + ", which has " + Number(uint64_t(set.titles));
            return false;
        }
        int64_t& known = start[size_t(t.titleSet - 1)];
        if (known >= 0 && known != int64_t(t.titleSetSector)) {
            error = vmgPath + " gives title set " + Number(uint64_t(t.titleSet)) + " two start sectors (" +
                Number(uint64_t(known)) + " and " + Number(t.titleSetSector) + ")";
            return false;
        }
        known = int64_t(t.titleSetSector);
    }
    uint64_t end = uint64_t(vmg.lastSector) + 1;
    for (size_t s = 0; s < sets.size(); ++s) {
        const uint64_t at = start[s] >= 0 ? uint64_t(start[s]) : end;
        if (at < end || at + sets[s].lastSector + 1 > kMaxDiscSectors) {
            error = vmgPath + " starts title set " + Number(s + 1) + " at sector " + Number(at) +
                (at < end ? ", inside the files before it (they end at sector " + Number(end - 1) + ")"
                          : ", past the end of any disc");
            return false;
        }
        end = at + sets[s].lastSector + 1;
    }
    return true;
}

}  // namespace

bool CheckDvdFolder(const std::string& folder, std::string& error)
{
    std::string dir = folder;
    if (dir.empty() || dir.back() != '/') dir += '/';
    const std::string vmgPath = dir + kVideoTsIfo;
    std::vector<uint8_t> ifo;
    if (!ReadIfoFile(vmgPath, ifo, error, "")) return false;
    SVmgInfo vmg;
    std::string problem;
    if (!ParseVmgIfo(ifo.data(), ifo.size(), vmg, problem)) {
        error = vmgPath + " " + problem;
        return false;
    }
    if (!CheckBackup(dir + kVideoTsBup, kVideoTsIfo, ifo, error) ||
        !CheckMenuVob(dir + kVideoTsVob, kVideoTsIfo, vmg.menuVobSector, vmg.lastSector + 1 - vmg.ifoSectors,
                      vmg.menuCellSectors, error))
        return false;
    std::vector<SVtsInfo> sets(size_t(vmg.titleSets));
    for (int n = 1; n <= vmg.titleSets; ++n)
        if (!CheckTitleSet(dir, n, vmg.titleSets, sets[size_t(n - 1)], error)) return false;
    return CheckTitlePlacement(vmgPath, vmg, sets, error);
}
