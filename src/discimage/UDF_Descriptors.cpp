#include "discimage/UDF_Descriptors.h"

#include "base/Bytes.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr int kSectorBytes = 2048;
// Most descriptors fill 512 bytes: their CRC covers everything after the tag.
constexpr uint16_t kWholeDescriptorCrc = 512 - kDescriptorTagBytes;
// A File Entry with one short allocation descriptor.
constexpr int kFileEntryBytes = 184;

// Descriptor tag fields.
enum : int {
    kTagIdentifier = 0,
    kTagVersion = 2,
    kTagChecksum = 4,
    kTagCrc = 8,
    kTagCrcLength = 10,
    kTagLocation = 12
};

const std::array<uint16_t, 256>& CrcTable()
{
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            uint16_t crc = uint16_t(i << 8);
            for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
            t[size_t(i)] = crc;
        }
        return t;
    }();
    return table;
}

void PutText(uint8_t* field, const char* text) { std::memcpy(field, text, std::strlen(text)); }

}  // namespace

// ---- Tags and field types --------------------------------------------------------

uint16_t DescriptorCrc(const uint8_t* data, size_t length)
{
    const auto& table = CrcTable();
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i) crc = uint16_t((crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

uint8_t TagChecksum(const uint8_t* tag)
{
    uint8_t sum = 0;
    for (int i = 0; i < kDescriptorTagBytes; ++i)
        if (i != kTagChecksum) sum = uint8_t(sum + tag[i]);
    return sum;
}

void PutDescriptorTag(uint8_t* descriptor, uint16_t identifier, uint32_t location)
{
    std::memset(descriptor, 0, kDescriptorTagBytes);
    PutLe16(descriptor + kTagIdentifier, identifier);
    PutLe16(descriptor + kTagVersion, 2);
    PutLe32(descriptor + kTagLocation, location);
}

void SealDescriptorTag(uint8_t* descriptor, uint16_t crcLength)
{
    PutLe16(descriptor + kTagCrc, DescriptorCrc(descriptor + kDescriptorTagBytes, crcLength));
    PutLe16(descriptor + kTagCrcLength, crcLength);
    descriptor[kTagChecksum] = TagChecksum(descriptor);
}

void PutTimestamp(uint8_t* field, const CDiscTime& time)
{
    PutLe16(field, 0x1000u | (uint32_t(time.offsetMinutes) & 0x0FFFu));
    PutLe16(field + 2, uint32_t(time.year));
    field[4] = uint8_t(time.month);
    field[5] = uint8_t(time.day);
    field[6] = uint8_t(time.hour);
    field[7] = uint8_t(time.minute);
    field[8] = uint8_t(time.second);
    field[9] = field[10] = field[11] = 0;
}

void PutOstaCharSpec(uint8_t* field)
{
    field[0] = 0;
    PutText(field + 1, "OSTA Compressed Unicode");
}

void PutEntityId(uint8_t* field, uint8_t flags, const char* identifier, std::initializer_list<uint8_t> suffix)
{
    std::memset(field, 0, 32);
    field[0] = flags;
    std::memcpy(field + 1, identifier, std::min<size_t>(std::strlen(identifier), 23));
    std::copy(suffix.begin(), suffix.end(), field + 24);
}

void PutImplementationId(uint8_t* field) { PutEntityId(field, 0, kUdfImplementationId); }

// Domain "*OSTA UDF Compliant", UDF revision 1.02 (0x0102, little-endian), domain flags 3
// (hard and soft write protect).
void PutUdfDomainId(uint8_t* field) { PutEntityId(field, 0, "*OSTA UDF Compliant", {0x02, 0x01, 0x03}); }

void PutDString(uint8_t* field, size_t size, const std::string& text, size_t maxChars)
{
    std::memset(field, 0, size);
    const size_t n = std::min({text.size(), maxChars, size - 2});
    if (n == 0) return;
    field[0] = 8;
    std::memcpy(field + 1, text.data(), n);
    field[size - 1] = uint8_t(1 + n);
}

void PutLongAd(uint8_t* field, uint32_t length, uint32_t block, uint32_t uniqueId)
{
    PutLe32(field, length);
    PutLe32(field + 4, block);
    PutLe16(field + 8, 0);  // partition reference number
    std::memset(field + 10, 0, 2);  // implementation use: flags
    PutLe32(field + 12, uniqueId);
}

// ---- Volume recognition and volume descriptors -----------------------------------

void PutVolumeStructureDescriptor(uint8_t* sector, const char* identifier)
{
    std::memset(sector, 0, kSectorBytes);
    sector[0] = 0;  // structure type
    PutText(sector + 1, identifier);
    sector[6] = 1;  // structure version
}

void PutPrimaryVolumeDescriptor(uint8_t* d, uint32_t location, const CDiscTime& recorded, const std::string& volumeId,
                                const std::string& volumeSetId)
{
    enum : int {
        kSequenceNumber = 16,
        kPrimaryNumber = 20,
        kVolumeId = 24,
        kVolumeSequence = 56,
        kMaxVolumeSequence = 58,
        kInterchangeLevel = 60,
        kMaxInterchangeLevel = 62,
        kCharacterSetList = 64,
        kMaxCharacterSetList = 68,
        kVolumeSetId = 72,
        kDescriptorCharSet = 200,
        kExplanatoryCharSet = 264,
        kRecordingTime = 376,
        kImplementation = 388,
    };
    std::memset(d, 0, 512);
    PutDescriptorTag(d, kTagPrimaryVolume, location);
    PutLe32(d + kSequenceNumber, 0);
    PutLe32(d + kPrimaryNumber, 0);
    PutDString(d + kVolumeId, 32, volumeId, 30);
    PutLe16(d + kVolumeSequence, 1);
    PutLe16(d + kMaxVolumeSequence, 1);
    PutLe16(d + kInterchangeLevel, 2);
    PutLe16(d + kMaxInterchangeLevel, 2);
    PutLe32(d + kCharacterSetList, 1);
    PutLe32(d + kMaxCharacterSetList, 1);
    PutDString(d + kVolumeSetId, 128, volumeSetId, 16);
    PutOstaCharSpec(d + kDescriptorCharSet);
    PutOstaCharSpec(d + kExplanatoryCharSet);
    PutTimestamp(d + kRecordingTime, recorded);
    PutImplementationId(d + kImplementation);
    SealDescriptorTag(d, kWholeDescriptorCrc);
}

void PutImplementationUseVolumeDescriptor(uint8_t* d, uint32_t location, const std::string& volumeId)
{
    // The implementation use area (from byte 52) holds the UDF logical volume
    // information: its character set, the identifier, three free texts and the
    // implementation identifier.
    enum : int { kSequenceNumber = 16, kImplementationId = 20, kCharSet = 52, kVolumeId = 116, kImplementation = 352 };
    std::memset(d, 0, 512);
    PutDescriptorTag(d, kTagImplementationUseVolume, location);
    PutLe32(d + kSequenceNumber, 1);
    PutEntityId(d + kImplementationId, 0, "*UDF LV Info", {0x02, 0x01});
    PutOstaCharSpec(d + kCharSet);
    PutDString(d + kVolumeId, 128, volumeId, 30);
    PutImplementationId(d + kImplementation);
    SealDescriptorTag(d, kWholeDescriptorCrc);
}

void PutPartitionDescriptor(uint8_t* d, uint32_t location, uint32_t start, uint32_t length)
{
    enum : int {
        kSequenceNumber = 16,
        kFlags = 20,
        kNumber = 22,
        kContents = 24,
        kAccessType = 184,
        kStart = 188,
        kLength = 192,
        kImplementation = 196,
    };
    std::memset(d, 0, 512);
    PutDescriptorTag(d, kTagPartition, location);
    PutLe32(d + kSequenceNumber, 2);
    PutLe16(d + kFlags, 1);  // allocated
    PutLe16(d + kNumber, 0);
    PutEntityId(d + kContents, 2, "+NSR02");
    PutLe32(d + kAccessType, 1);  // read-only
    PutLe32(d + kStart, start);
    PutLe32(d + kLength, length);
    PutImplementationId(d + kImplementation);
    SealDescriptorTag(d, kWholeDescriptorCrc);
}

void PutLogicalVolumeDescriptor(uint8_t* d, uint32_t location, const std::string& volumeId, uint32_t integrityLocation)
{
    enum : int {
        kSequenceNumber = 16,
        kCharSet = 20,
        kVolumeId = 84,
        kBlockSize = 212,
        kDomain = 216,
        kFileSetLocation = 248,
        kMapTableLength = 264,
        kMapCount = 268,
        kImplementation = 272,
        kIntegrityExtent = 432,
        kPartitionMaps = 440,
    };
    constexpr uint16_t kType1MapBytes = 6;
    std::memset(d, 0, 512);
    PutDescriptorTag(d, kTagLogicalVolume, location);
    PutLe32(d + kSequenceNumber, 3);
    PutOstaCharSpec(d + kCharSet);
    PutDString(d + kVolumeId, 128, volumeId, 64);
    PutLe32(d + kBlockSize, kSectorBytes);
    PutUdfDomainId(d + kDomain);
    PutLongAd(d + kFileSetLocation, 2 * kSectorBytes, 0);  // the file set and its terminator
    PutLe32(d + kMapTableLength, kType1MapBytes);
    PutLe32(d + kMapCount, 1);
    PutImplementationId(d + kImplementation);
    PutLe32(d + kIntegrityExtent, 2 * kSectorBytes);
    PutLe32(d + kIntegrityExtent + 4, integrityLocation);
    uint8_t* map = d + kPartitionMaps;
    map[0] = 1;  // type 1: a partition on this volume
    map[1] = kType1MapBytes;
    PutLe16(map + 2, 1);  // volume sequence number
    PutLe16(map + 4, 0);  // partition number
    SealDescriptorTag(d, uint16_t(kPartitionMaps + kType1MapBytes - kDescriptorTagBytes));
}

void PutUnallocatedSpaceDescriptor(uint8_t* d, uint32_t location)
{
    enum : int { kSequenceNumber = 16, kExtentCount = 20, kEnd = 24 };
    std::memset(d, 0, kEnd);
    PutDescriptorTag(d, kTagUnallocatedSpace, location);
    PutLe32(d + kSequenceNumber, 4);
    PutLe32(d + kExtentCount, 0);
    SealDescriptorTag(d, kEnd - kDescriptorTagBytes);
}

void PutTerminatingDescriptor(uint8_t* d, uint32_t location)
{
    std::memset(d, 0, 512);
    PutDescriptorTag(d, kTagTerminating, location);
    SealDescriptorTag(d, kWholeDescriptorCrc);
}

void PutAnchorVolumeDescriptorPointer(uint8_t* d, uint32_t location, uint32_t mainSequence, uint32_t reserveSequence)
{
    enum : int { kMainExtent = 16, kReserveExtent = 24 };
    constexpr uint32_t kSequenceBytes = 16 * kSectorBytes;
    std::memset(d, 0, kSectorBytes);
    PutDescriptorTag(d, kTagAnchorVolumePointer, location);
    PutLe32(d + kMainExtent, kSequenceBytes);
    PutLe32(d + kMainExtent + 4, mainSequence);
    PutLe32(d + kReserveExtent, kSequenceBytes);
    PutLe32(d + kReserveExtent + 4, reserveSequence);
    SealDescriptorTag(d, kWholeDescriptorCrc);
}

void PutLogicalVolumeIntegrityDescriptor(uint8_t* d, uint32_t location, const SVolumeIntegrity& integrity)
{
    // One partition: the free space table and the size table hold one entry each, and
    // the implementation use that follows them is UDF's 46 bytes.
    enum : int {
        kRecordingTime = 16,
        kIntegrityType = 28,
        kContentsUse = 40,
        kPartitionCount = 72,
        kImplementationUseLength = 76,
        kFreeSpaceTable = 80,
        kSizeTable = 84,
        kImplementation = 88,
        kFiles = 120,
        kDirectories = 124,
        kMinReadRevision = 128,
        kMinWriteRevision = 130,
        kMaxWriteRevision = 132,
        kEnd = 134,
    };
    std::memset(d, 0, kEnd);
    PutDescriptorTag(d, kTagLogicalVolumeIntegrity, location);
    PutTimestamp(d + kRecordingTime, integrity.recorded);
    PutLe32(d + kIntegrityType, 1);  // close integrity
    PutLe64(d + kContentsUse, integrity.nextUniqueId);
    PutLe32(d + kPartitionCount, 1);
    PutLe32(d + kImplementationUseLength, kEnd - kImplementation);
    PutLe32(d + kFreeSpaceTable, 0);
    PutLe32(d + kSizeTable, integrity.partitionSize);
    PutImplementationId(d + kImplementation);
    PutLe32(d + kFiles, integrity.files);
    PutLe32(d + kDirectories, integrity.directories);
    PutLe16(d + kMinReadRevision, 0x0102);
    PutLe16(d + kMinWriteRevision, 0x0102);
    PutLe16(d + kMaxWriteRevision, 0x0102);
    SealDescriptorTag(d, kEnd - kDescriptorTagBytes);
}

// ---- File structure ---------------------------------------------------------------

void PutFileSetDescriptor(uint8_t* d, uint32_t location, const CDiscTime& recorded, const std::string& volumeId,
                          uint32_t rootBlock)
{
    enum : int {
        kRecordingTime = 16,
        kInterchangeLevel = 28,
        kMaxInterchangeLevel = 30,
        kCharacterSetList = 32,
        kMaxCharacterSetList = 36,
        kVolumeCharSet = 48,
        kVolumeId = 112,
        kFileSetCharSet = 240,
        kFileSetId = 304,
        kRootDirectory = 400,
        kDomain = 416,
    };
    std::memset(d, 0, 512);
    PutDescriptorTag(d, kTagFileSet, location);
    PutTimestamp(d + kRecordingTime, recorded);
    PutLe16(d + kInterchangeLevel, 3);
    PutLe16(d + kMaxInterchangeLevel, 3);
    PutLe32(d + kCharacterSetList, 1);
    PutLe32(d + kMaxCharacterSetList, 1);
    PutOstaCharSpec(d + kVolumeCharSet);
    PutDString(d + kVolumeId, 128, volumeId, 30);
    PutOstaCharSpec(d + kFileSetCharSet);
    PutDString(d + kFileSetId, 32, volumeId, 30);
    PutLongAd(d + kRootDirectory, kSectorBytes, rootBlock);
    PutUdfDomainId(d + kDomain);
    SealDescriptorTag(d, kWholeDescriptorCrc);
}

int FileIdentifierDescriptorLength(size_t nameLength)
{
    constexpr int kFixedPart = 38;
    const int identifierBytes = nameLength == 0 ? 0 : 1 + int(nameLength);
    return (kFixedPart + identifierBytes + 3) & ~3;
}

int PutFileIdentifierDescriptor(uint8_t* d, uint32_t location, uint8_t characteristics, const std::string& name,
                                uint32_t icbBlock, uint32_t uniqueId)
{
    enum : int {
        kVersion = 16,
        kCharacteristics = 18,
        kIdentifierLength = 19,
        kIcb = 20,
        kImplementationUseLength = 36,
        kIdentifier = 38
    };
    const int length = FileIdentifierDescriptorLength(name.size());
    std::memset(d, 0, size_t(length));
    PutDescriptorTag(d, kTagFileIdentifier, location);
    PutLe16(d + kVersion, 1);
    d[kCharacteristics] = characteristics;
    d[kIdentifierLength] = uint8_t(name.empty() ? 0 : 1 + name.size());
    PutLongAd(d + kIcb, kSectorBytes, icbBlock, uniqueId);
    PutLe16(d + kImplementationUseLength, 0);
    if (!name.empty()) {
        d[kIdentifier] = 8;  // 8-bit characters
        std::memcpy(d + kIdentifier + 1, name.data(), name.size());
    }
    SealDescriptorTag(d, uint16_t(length - kDescriptorTagBytes));
    return length;
}

void PutFileEntry(uint8_t* d, uint32_t location, const SFileEntry& entry)
{
    // The ICB tag (bytes 16-35): strategy 4, one entry, the file type and the flags.
    enum : int {
        kStrategy = 20,
        kMaxEntries = 24,
        kFileType = 27,
        kIcbFlags = 34,
        kUid = 36,
        kGid = 40,
        kPermissions = 44,
        kLinkCount = 48,
        kInformationLength = 56,
        kBlocksRecorded = 64,
        kAccessTime = 72,
        kModificationTime = 84,
        kAttributeTime = 96,
        kCheckpoint = 108,
        kImplementation = 128,
        kUniqueId = 160,
        kAllocationLength = 172,
        kAllocation = 176,
    };
    std::memset(d, 0, kFileEntryBytes);
    PutDescriptorTag(d, kTagFileEntry, location);
    PutLe16(d + kStrategy, 4);
    PutLe16(d + kMaxEntries, 1);
    d[kFileType] = entry.fileType;
    PutLe16(d + kIcbFlags, 0x0230);  // short descriptors, non-relocatable, archive, contiguous
    PutLe32(d + kUid, 0xFFFFFFFF);
    PutLe32(d + kGid, 0xFFFFFFFF);
    PutLe32(d + kPermissions, entry.permissions);
    PutLe16(d + kLinkCount, entry.linkCount);
    PutLe64(d + kInformationLength, entry.informationLength);
    PutLe64(d + kBlocksRecorded, entry.blocksRecorded);
    PutTimestamp(d + kAccessTime, entry.time);
    PutTimestamp(d + kModificationTime, entry.time);
    PutTimestamp(d + kAttributeTime, entry.time);
    PutLe32(d + kCheckpoint, 1);
    PutImplementationId(d + kImplementation);
    PutLe64(d + kUniqueId, entry.uniqueId);
    PutLe32(d + kAllocationLength, 8);
    PutLe32(d + kAllocation, entry.extentLength);
    PutLe32(d + kAllocation + 4, entry.extentPosition);
    SealDescriptorTag(d, kFileEntryBytes - kDescriptorTagBytes);
}
