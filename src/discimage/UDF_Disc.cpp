#include "discimage/UDF_Disc.h"

#include "base/DvdFileNames.h"
#include "discimage/ISO9660_Descriptors.h"
#include "discimage/UDF_Descriptors.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

namespace {

constexpr int kMetaSectors = UDF_Disc::kFirstFileEntry;  // sectors 0 to 295

// Where the structures lie, in sectors of the image.
enum : int {
    kIsoPrimarySector = 16,
    kIsoTerminatorSector = 17,
    kVolumeStructureSector = 18,  // BEA01, NSR02, TEA01
    kMainSequence = 32,  // the two volume descriptor sequences
    kReserveSequence = 48,
    kIntegritySequence = 64,
    kIsoPathTableL = 70,
    kIsoPathTableM = 71,
    kIsoRootDir = 80,
    kIsoAudioDir = 81,
    kIsoVideoDir = 82,
    kAnchorSector = 256,
};
// The ISO VIDEO_TS directory reserves 30 sectors: room for every possible file.
constexpr int kIsoVideoDirBytes = 30 * 2048;

// The file structure, in logical blocks of the partition. Each directory's identifier
// descriptors follow its File Entry in the next block; the VIDEO_TS ones run on to the
// first file's File Entry.
enum : uint32_t {
    kFileSetBlock = 0,
    kRootEntryBlock = 2,
    kAudioEntryBlock = 4,
    kVideoEntryBlock = 6,
};
// Permissions: read and execute for directories, read for files, for owner, group and
// others alike.
constexpr uint32_t kDirectoryPermissions = 0x14A5;
constexpr uint32_t kFilePermissions = 0x1084;
// The volume's next unique id, as its integrity descriptor records it.
constexpr uint64_t kNextUniqueId = 270;

// The sector of logical block `block`.
constexpr uint32_t SectorOfBlock(uint32_t block) { return block + uint32_t(UDF_Disc::kPartitionStart); }

// The label as 8-bit characters: UTF-8 is decoded to Latin-1, characters outside it
// become '_'; bytes that are not valid UTF-8 are taken as Latin-1 already.
std::string Latin1(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += char(c);
            ++i;
            continue;
        }
        int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        bool valid = extra > 0 && i + size_t(extra) < text.size();
        uint32_t cp = 0;
        if (valid) {
            cp = c & (0x3F >> extra);
            for (int k = 1; k <= extra; ++k) {
                unsigned char cc = static_cast<unsigned char>(text[i + size_t(k)]);
                if ((cc & 0xC0) != 0x80) {
                    valid = false;
                    break;
                }
                cp = (cp << 6) | (cc & 0x3F);
            }
        }
        if (!valid) {
            out += char(c);
            ++i;
            continue;
        }
        out += cp <= 0xFF ? char(cp) : '_';
        i += size_t(extra) + 1;
    }
    return out;
}

// Volume set identifier: six pseudo-random digits that differ between discs (they follow
// from the creation time), then a fixed tail.
std::string VolumeSetIdentifier(const CDiscTime& created)
{
    std::seed_seq seed{created.year, created.month, created.day, created.hour, created.minute, created.second};
    std::mt19937 generator(seed);
    char text[24];
    std::snprintf(text, sizeof text, "%06u1B000000A0", unsigned(generator() % 1000000u));
    return text;
}

}  // namespace

CDiscTime UDF_Disc::LocalNow()
{
    // SOURCE_DATE_EPOCH (the reproducible-builds convention) pins the creation time, in
    // UTC, so that the same folder always gives the same image.
    std::time_t now = std::time(nullptr);
    bool pinned = false;
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch && *epoch) {
        char* end = nullptr;
        const long long value = std::strtoll(epoch, &end, 10);
        if (*end == '\0' && value >= 0 && value < 4102444800LL) {
            now = static_cast<std::time_t>(value);
            pinned = true;
        }
    }
    std::tm local{};
    if (pinned)
        gmtime_r(&now, &local);
    else
        localtime_r(&now, &local);
    CDiscTime t;
    t.year = local.tm_year + 1900;
    t.month = local.tm_mon + 1;
    t.day = local.tm_mday;
    t.hour = local.tm_hour;
    t.minute = local.tm_min;
    t.second = local.tm_sec;
    t.offsetMinutes = static_cast<int>(local.tm_gmtoff / 60);
    return t;
}

UDF_Disc::UDF_Disc() : UDF_Disc(LocalNow()) {}

UDF_Disc::UDF_Disc(const CDiscTime& createdAt)
    : created(createdAt), volumeSetId(VolumeSetIdentifier(createdAt)), meta(size_t(kMetaSectors) * kSectorSize, 0)
{
    // The two fixed time stamps carry the same zone as the creation time, so that the
    // whole image agrees with itself.
    fixedDescriptorTime = {2004, 2, 10, 8, 21, 47, created.offsetMinutes};
    fixedDirectoryTime = {2004, 2, 8, 13, 41, 22, created.offsetMinutes};
}

UDF_Disc::~UDF_Disc() = default;

bool UDF_Disc::Build(const std::string& discLabel, const std::string& folder)
{
    if (built) {
        error = "This disc image already describes " + files.Folder();
        return false;
    }
    if (!files.Scan(folder)) {
        error = files.ErrorText();
        return false;
    }
    built = true;
    sectorCount = kFirstFileEntry + files.FileCount() + int(files.DataSectors());
    SetLabel(discLabel);
    return true;
}

void UDF_Disc::SetLabel(const std::string& text)
{
    label = Latin1(text);
    if (built) ComposeMetadata();
}

void UDF_Disc::ComposeMetadata()
{
    std::fill(meta.begin(), meta.end(), 0);
    const int pathTableBytes = ComposeIsoPathTables();
    ComposeIsoVolumeDescriptors(pathTableBytes);
    ComposeVolumeDescriptorSequence(kMainSequence);
    ComposeVolumeDescriptorSequence(kReserveSequence);
    ComposeIntegritySequence();
    ComposeIsoDirectories();
    PutAnchorVolumeDescriptorPointer(Meta(kAnchorSector), kAnchorSector, kMainSequence, kReserveSequence);
    ComposeFileSet();
    ComposeUdfDirectories();
}

// The ISO 9660 volume descriptors, then the UDF volume recognition sequence.
void UDF_Disc::ComposeIsoVolumeDescriptors(int pathTableBytes)
{
    SIsoPrimaryVolume volume;
    volume.volumeId = "KESTROVA";
    volume.applicationId = "KESTROVA";
    volume.volumeSpaceSize = uint32_t(ImageSectors());
    volume.typeLPathTable = kIsoPathTableL;
    volume.typeMPathTable = kIsoPathTableM;
    volume.rootExtent = kIsoRootDir;
    volume.rootLength = kSectorSize;
    volume.created = created;
    volume.pathTableSize = uint32_t(pathTableBytes);
    PutIsoPrimaryVolumeDescriptor(Meta(kIsoPrimarySector), volume);
    PutIsoVolumeDescriptorSetTerminator(Meta(kIsoTerminatorSector));
    int sector = kVolumeStructureSector;
    for (const char* identifier : {"BEA01", "NSR02", "TEA01"}) PutVolumeStructureDescriptor(Meta(sector++), identifier);
}

void UDF_Disc::ComposeVolumeDescriptorSequence(int first)
{
    const uint32_t at = uint32_t(first);
    PutPrimaryVolumeDescriptor(Meta(first), at, fixedDescriptorTime, label, volumeSetId);
    PutImplementationUseVolumeDescriptor(Meta(first + 1), at + 1, label);
    PutPartitionDescriptor(Meta(first + 2), at + 2, kPartitionStart, uint32_t(sectorCount));
    PutLogicalVolumeDescriptor(Meta(first + 3), at + 3, label, kIntegritySequence);
    PutUnallocatedSpaceDescriptor(Meta(first + 4), at + 4);
    PutTerminatingDescriptor(Meta(first + 5), at + 5);
}

void UDF_Disc::ComposeIntegritySequence()
{
    SVolumeIntegrity integrity;
    integrity.recorded = created;
    integrity.nextUniqueId = kNextUniqueId;
    integrity.partitionSize = uint32_t(sectorCount);
    integrity.files = uint32_t(files.FileCount());
    integrity.directories = 3;
    PutLogicalVolumeIntegrityDescriptor(Meta(kIntegritySequence), kIntegritySequence, integrity);
    PutTerminatingDescriptor(Meta(kIntegritySequence + 1), kIntegritySequence + 1);
}

// The path table in one byte order: the root, then its two folders. Returns its length.
int UDF_Disc::PutIsoPathTable(uint8_t* out, bool bigEndian) const
{
    int at = PutIsoPathTableRecord(out, bigEndian, kIsoRootDir, 1, "\0", 1);
    at += PutIsoPathTableRecord(out + at, bigEndian, kIsoAudioDir, 1, kAudioTsFolder, 8);
    at += PutIsoPathTableRecord(out + at, bigEndian, kIsoVideoDir, 1, kVideoTsFolder, 8);
    return at;
}

// Both path tables; returns the length of one.
int UDF_Disc::ComposeIsoPathTables()
{
    PutIsoPathTable(Meta(kIsoPathTableM), true);
    return PutIsoPathTable(Meta(kIsoPathTableL), false);
}

void UDF_Disc::ComposeIsoDirectories()
{
    uint8_t* root = Meta(kIsoRootDir);
    int at = PutIsoDirectoryRecord(root, kIsoRootDir, kSectorSize, kIsoDirectory, created, "\0", 1);
    at += PutIsoDirectoryRecord(root + at, kIsoRootDir, kSectorSize, kIsoDirectory, created, "\1", 1);
    at += PutIsoDirectoryRecord(root + at, kIsoAudioDir, kSectorSize, kIsoDirectory, created, kAudioTsFolder, 8);
    PutIsoDirectoryRecord(root + at, kIsoVideoDir, kIsoVideoDirBytes, kIsoDirectory, created, kVideoTsFolder, 8);

    uint8_t* audio = Meta(kIsoAudioDir);
    at = PutIsoDirectoryRecord(audio, kIsoAudioDir, kSectorSize, kIsoDirectory, created, "\0", 1);
    PutIsoDirectoryRecord(audio + at, kIsoRootDir, kSectorSize, kIsoDirectory, created, "\1", 1);

    uint8_t* video = Meta(kIsoVideoDir);
    at = PutIsoDirectoryRecord(video, kIsoVideoDir, kIsoVideoDirBytes, kIsoDirectory, created, "\0", 1);
    at += PutIsoDirectoryRecord(video + at, kIsoRootDir, kSectorSize, kIsoDirectory, created, "\1", 1);
    for (int i = 0; i < files.FileCount(); ++i) {
        const CUDF_DVDFiles::Present& file = files.File(i);
        const std::string name = CUDF_DVDFiles::SlotName(file.slot) + ";1";
        // A record never crosses into the next sector: it starts there instead.
        const int recordLength = IsoDirectoryRecordLength(int(name.size()));
        if (at % kSectorSize + recordLength > kSectorSize) at = (at / kSectorSize + 1) * kSectorSize;
        if (at + recordLength > kIsoVideoDirBytes) break;  // cannot happen: 1190 files fit
        at += PutIsoDirectoryRecord(video + at, uint32_t(FirstDataSector() + file.start),
                                    file.sectors * uint32_t(kSectorSize), kIsoFile, created, name.data(),
                                    int(name.size()));
    }
}

void UDF_Disc::ComposeFileSet()
{
    PutFileSetDescriptor(Meta(SectorOfBlock(kFileSetBlock)), kFileSetBlock, fixedDescriptorTime, label,
                         kRootEntryBlock);
    PutTerminatingDescriptor(Meta(SectorOfBlock(kFileSetBlock + 1)), kFileSetBlock + 1);
}

// A directory's File Entry at `block`; its identifiers, `length` bytes, follow it.
void UDF_Disc::PutDirectoryEntry(uint32_t block, uint16_t links, uint32_t length, uint64_t uniqueId,
                                 const CDiscTime& time)
{
    SFileEntry entry;
    entry.fileType = kFileTypeDirectory;
    entry.permissions = kDirectoryPermissions;
    entry.linkCount = links;
    entry.informationLength = length;
    entry.blocksRecorded = (length + kSectorSize - 1) / kSectorSize;
    entry.time = time;
    entry.uniqueId = uniqueId;
    entry.extentLength = length;
    entry.extentPosition = block + 1;
    PutFileEntry(Meta(SectorOfBlock(block)), block, entry);
}

// The root (its parent entry, AUDIO_TS, VIDEO_TS), AUDIO_TS (empty) and VIDEO_TS. An
// identifier descriptor carries the unique id of the File Entry it points to: the
// entry's sector number.
void UDF_Disc::ComposeUdfDirectories()
{
    constexpr uint8_t kParent = kFidDirectory | kFidParent;
    uint8_t* ids = Meta(SectorOfBlock(kRootEntryBlock + 1));
    uint32_t length = PutFileIdentifierDescriptor(ids, kRootEntryBlock + 1, kParent, "", kRootEntryBlock);
    length += PutFileIdentifierDescriptor(ids + length, kRootEntryBlock + 1, kFidDirectory, kAudioTsFolder,
                                          kAudioEntryBlock, SectorOfBlock(kAudioEntryBlock));
    length += PutFileIdentifierDescriptor(ids + length, kRootEntryBlock + 1, kFidDirectory, kVideoTsFolder,
                                          kVideoEntryBlock, SectorOfBlock(kVideoEntryBlock));
    PutDirectoryEntry(kRootEntryBlock, 3, length, 0, fixedDirectoryTime);

    ids = Meta(SectorOfBlock(kAudioEntryBlock + 1));
    length = PutFileIdentifierDescriptor(ids, kAudioEntryBlock + 1, kParent, "", kRootEntryBlock);
    PutDirectoryEntry(kAudioEntryBlock, 1, length, SectorOfBlock(kAudioEntryBlock), fixedDirectoryTime);

    PutDirectoryEntry(kVideoEntryBlock, 1, ComposeVideoTsIdentifiers(), SectorOfBlock(kVideoEntryBlock), created);
}

// The VIDEO_TS directory's identifiers: its parent entry, then one per file pointing at
// the file's File Entry. Returns the directory's length.
uint32_t UDF_Disc::ComposeVideoTsIdentifiers()
{
    const uint32_t block = kVideoEntryBlock + 1;
    uint8_t* ids = Meta(SectorOfBlock(block));
    uint32_t length = PutFileIdentifierDescriptor(ids, block, kFidDirectory | kFidParent, "", kRootEntryBlock);
    for (int i = 0; i < files.FileCount(); ++i) {
        const uint32_t entrySector = uint32_t(kFirstFileEntry + i);
        length += PutFileIdentifierDescriptor(ids + length, block + length / kSectorSize, 0,
                                              CUDF_DVDFiles::SlotName(files.File(i).slot),
                                              entrySector - kPartitionStart, entrySector);
    }
    return length;
}

void UDF_Disc::MakeFileEntry(int index, uint8_t* out) const
{
    const CUDF_DVDFiles::Present& file = files.File(index);
    const uint32_t block = uint32_t(kFirstFileEntry - kPartitionStart + index);
    const uint64_t bytes = uint64_t(file.sectors) * kSectorSize;
    SFileEntry entry;
    entry.fileType = kFileTypeFile;
    entry.permissions = kFilePermissions;
    entry.linkCount = 1;
    entry.informationLength = bytes;
    entry.blocksRecorded = file.sectors;
    entry.time = created;
    entry.uniqueId = 2u * block;
    entry.extentLength = uint32_t(bytes);
    entry.extentPosition = uint32_t(FirstDataSector() - kPartitionStart) + file.start;
    std::memset(out, 0, kSectorSize);
    PutFileEntry(out, block, entry);
}

int UDF_Disc::ReadSector(int64_t index, uint8_t* buffer)
{
    if (index < 0) return 0;
    int64_t n = sectorCount;
    if (!built) return 0;
    if (index < kMetaSectors) {
        std::memcpy(buffer, meta.data() + index * kSectorSize, kSectorSize);
        return kSectorSize;
    }
    int64_t firstData = FirstDataSector();
    if (index < firstData) {
        MakeFileEntry(int(index - kFirstFileEntry), buffer);
        return kSectorSize;
    }
    if (index < n) {
        files.ReadDataSector(uint32_t(index - firstData), buffer);
        return kSectorSize;
    }
    if (index <= n + 480) {
        std::memset(buffer, 0, kSectorSize);
        return 0;
    }
    if (index <= n + 511) {
        PutAnchorVolumeDescriptorPointer(buffer, uint32_t(index), kMainSequence, kReserveSequence);
        return kSectorSize;
    }
    return 0;
}

int UDF_Disc::ReadSectors(int64_t index, int count, uint8_t* buffer)
{
    if (!built || index < 0 || count <= 0) return 0;
    const int64_t firstData = FirstDataSector();
    int done = 0;
    while (done < count && index + done < ImageSectors()) {
        const int64_t at = index + done;
        uint8_t* out = buffer + size_t(done) * kSectorSize;
        if (at >= firstData && at < sectorCount) {
            int64_t want = std::min<int64_t>(count - done, sectorCount - at);
            done += int(files.ReadDataSectors(uint32_t(at - firstData), uint32_t(want), out));
        } else {
            ReadSector(at, out);
            ++done;
        }
    }
    return done;
}

int UDF_Disc::FileRun(int64_t index, int count, int& fd, int64_t& offset)
{
    fd = -1;
    offset = 0;
    const int64_t firstData = FirstDataSector();
    if (!built || count <= 0 || index < firstData || index >= sectorCount) return 0;
    const int64_t want = std::min<int64_t>(count, sectorCount - index);
    return int(files.FileRun(uint32_t(index - firstData), uint32_t(want), fd, offset));
}
