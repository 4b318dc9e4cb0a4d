// The DVD-Video file set of one folder, as it is laid out on a disc image: the 1192
// possible file names in their fixed order, the files present, where each one's data
// starts in the image's data area, and sector-wise reading of that data through one
// cached open file.
#pragma once

#include "base/File.h"

#include <cstdint>
#include <string>
#include <vector>

class CUDF_DVDFiles {
public:
    // Number of possible file names: VIDEO_TS.IFO/VOB/BUP, 12 names for each of the 99
    // title sets, and one guard name that never exists.
    static constexpr int kSlots = 1192;
    // Largest file a short allocation descriptor can describe, in sectors: its 30-bit
    // length field holds at most 2^30 - 1 bytes.
    static constexpr uint32_t kMaxFileSectors = (1u << 30) / 2048 - 1;

    struct Present {
        int slot = 0;  // slot number, 0 to 1190
        uint32_t start = 0;  // first sector of the file in the data area
        uint32_t sectors = 0;  // length in sectors (bytes rounded up)
        uint32_t end = 0;  // start + sectors: where the data area has reached after it
    };

    CUDF_DVDFiles() = default;
    virtual ~CUDF_DVDFiles();
    CUDF_DVDFiles(const CUDF_DVDFiles&) = delete;
    CUDF_DVDFiles& operator=(const CUDF_DVDFiles&) = delete;

    // The file name of slot `slot` (0 to 1191), e.g. "VIDEO_TS.IFO", "VTS_01_1.VOB".
    static std::string SlotName(int slot);

    // Scans `folder` for the DVD-Video files, in slot order. Title sets count from 01
    // without gaps; empty files are left out. Each file is placed directly after the
    // previous one, or later when the folder's IFO files say it starts later (the
    // sectors between stay zero). Returns false with ErrorText set, and the previous
    // scan kept, when VIDEO_TS.IFO cannot be opened or is empty, or when a file is too
    // large for the image.
    bool Scan(const std::string& folder);

    // The scanned folder, ending in '/'.
    const std::string& Folder() const { return folder; }
    // Size in sectors of slot `slot`, 0 when the file is missing or empty.
    uint32_t SlotSectors(int slot) const;
    // Number of present files and the one at index `i` (slot order).
    int FileCount() const { return static_cast<int>(files.size()); }
    const Present& File(int i) const { return files[static_cast<size_t>(i)]; }
    // Sectors of the data area: from the first file's start to the last file's end,
    // including any zero sectors between files.
    uint32_t DataSectors() const { return files.empty() ? 0 : files.back().end; }
    // Why the last Scan failed.
    const std::string& ErrorText() const { return error; }

    // Fills `buffer` (2048 bytes) with sector `dataSector` of the data area: file data
    // zero-padded past the file's end, or zeros between files. A file that cannot be
    // opened or read gives zeros; the next read tries again. Returns false when the
    // sector lies beyond the data area.
    bool ReadDataSector(uint32_t dataSector, uint8_t* buffer);
    // As ReadDataSector for up to `count` consecutive sectors, stopping at the end of
    // the file (or of the gap) that holds `dataSector`, with one read of the file.
    // Returns the number of sectors filled (0 beyond the data area).
    uint32_t ReadDataSectors(uint32_t dataSector, uint32_t count, uint8_t* buffer);
    // For copying file data without reading it into memory: the open descriptor of the
    // file holding data sector `dataSector` (owned by this object, valid until the next
    // read) and that sector's byte offset in the file. Returns the number of whole
    // sectors, at most `count`, the file holds from there on; 0 (fd -1) for a sector
    // between files or past the data area, for the file's last partial sector, and when
    // the file cannot be opened.
    uint32_t FileRun(uint32_t dataSector, uint32_t count, int& fd, int64_t& offset);

private:
    bool ProbeSlot(int slot);
    bool ProbeSlots();
    std::vector<int64_t> TitleSetStarts(uint64_t titleTable) const;
    void WantTitleSet(int titleSet, int64_t base, std::vector<int64_t>& wanted) const;
    std::vector<int64_t> WantedStarts() const;
    void PlaceFiles();
    void CloseFile();
    // The index in `files` of the file holding `dataSector`, -1 when none does.
    int FileAt(uint32_t dataSector) const;
    // Makes files[index] the open file; false when it cannot be opened.
    bool OpenFile(int index);

    std::string folder;
    std::vector<uint32_t> slotSectors = std::vector<uint32_t>(kSlots, 0);
    std::vector<Present> files;
    std::string error;
    CFileDescriptor openFile;
    int64_t openBytes = 0;  // size of the open file when it was opened
    int openIndex = -1;
};
