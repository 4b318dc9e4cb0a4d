// The UDF 1.02 / ISO 9660 bridge file system of a DVD-Video folder, described sector by
// sector without ever writing the image anywhere: Build (and SetLabel) compose the few
// sectors of metadata, and ReadSector then hands out any 2048-byte sector of the image,
// reading file data straight from the folder. The structures themselves are written by
// UDF_Descriptors.h and ISO9660_Descriptors.h; this class decides where each one goes.
//
// Layout: ISO 9660 descriptors at 16-20, the UDF volume descriptor sequences at 32 and
// 48, the integrity sequence at 64, ISO path tables and directories at 70-111, the
// anchor at 256, the UDF partition from 257 (file set, directories, one File Entry per
// file from 296), then the files' data in slot order, N = 296 + files + data sectors;
// 512 more sectors follow (zeros, then anchors up to the last one at N + 511).
#pragma once

#include "discimage/DiscTime.h"
#include "discimage/UDF_DVDFiles.h"

#include <cstdint>
#include <string>
#include <vector>

class UDF_Disc {
public:
    static constexpr int kSectorSize = 2048;
    static constexpr int kPartitionStart = 257;  // sector of LBN 0
    static constexpr int kFirstFileEntry = 296;  // sector of the first file's File Entry
    static constexpr int kTailSectors = 512;  // sectors after N in the image

    // Captures the creation time from the local clock.
    UDF_Disc();
    // As above with a given creation time (reproducible images).
    explicit UDF_Disc(const CDiscTime& created);
    virtual ~UDF_Disc();
    UDF_Disc(const UDF_Disc&) = delete;
    UDF_Disc& operator=(const UDF_Disc&) = delete;

    // Scans `folder` (a VIDEO_TS folder) and describes it with the disc label `label`.
    // Called once per object. Returns false with ErrorText set when the folder holds no
    // readable VIDEO_TS.IFO or a file too large for the image.
    bool Build(const std::string& label, const std::string& folder);
    // Writes a new disc label into every label field (replacing the old one entirely);
    // before Build it only stands until Build's own label replaces it.
    void SetLabel(const std::string& label);

    // N, the file-system sector count; the image is N + 512 sectors long.
    int SectorCount() const { return sectorCount; }
    // The whole image's length in sectors: N + 512.
    int64_t ImageSectors() const { return int64_t(sectorCount) + kTailSectors; }

    // Fills `buffer` (2048 bytes) with sector `index` of the image. Returns 2048, or 0
    // for an index below 0, for the zero padding N to N + 480 (buffer zeroed), and
    // beyond N + 511 (buffer untouched).
    int ReadSector(int64_t index, uint8_t* buffer);
    // Fills `buffer` with `count` consecutive sectors from `index` on, exactly as that
    // many ReadSector calls would, but reading each file's run of sectors at once.
    // Returns the number of sectors filled: fewer than `count` only past the image's
    // end (N + 512 sectors) or for an index below 0.
    int ReadSectors(int64_t index, int count, uint8_t* buffer);
    // When image sector `index` begins whole sectors of a file's data: the file's open
    // descriptor (owned by this object, valid until the next read), the byte offset of
    // that sector in the file, and the number of such sectors from `index` on, at most
    // `count` — the same bytes ReadSectors would give. Otherwise 0 and fd -1.
    int FileRun(int64_t index, int count, int& fd, int64_t& offset);

    // Why Build failed.
    const std::string& ErrorText() const { return error; }
    // The scanned files and the creation time.
    const CUDF_DVDFiles& Files() const { return files; }
    const CDiscTime& Created() const { return created; }

    // The creation time from the local clock, with the local zone's offset.
    static CDiscTime LocalNow();

private:
    uint8_t* Meta(int sector) { return meta.data() + static_cast<size_t>(sector) * kSectorSize; }
    // Writes sectors 0 to 295 from the scanned files, the label and the times.
    void ComposeMetadata();
    void ComposeIsoVolumeDescriptors(int pathTableBytes);
    void ComposeVolumeDescriptorSequence(int first);
    void ComposeIntegritySequence();
    int PutIsoPathTable(uint8_t* out, bool bigEndian) const;
    int ComposeIsoPathTables();
    void ComposeIsoDirectories();
    void ComposeFileSet();
    void PutDirectoryEntry(uint32_t block, uint16_t links, uint32_t length, uint64_t uniqueId, const CDiscTime& time);
    void ComposeUdfDirectories();
    uint32_t ComposeVideoTsIdentifiers();
    void MakeFileEntry(int index, uint8_t* out) const;
    // The sector where the files' data starts: after the last file's File Entry.
    int64_t FirstDataSector() const { return kFirstFileEntry + files.FileCount(); }

    CDiscTime created;
    CDiscTime fixedDescriptorTime;
    CDiscTime fixedDirectoryTime;
    int sectorCount = 0;
    bool built = false;
    std::string label;
    std::string volumeSetId;
    std::string error;
    // Sectors 0 to 295 as they appear in the image (the UDF VIDEO_TS directory and the
    // ISO VIDEO_TS directory live in it too).
    std::vector<uint8_t> meta;
    CUDF_DVDFiles files;
};
