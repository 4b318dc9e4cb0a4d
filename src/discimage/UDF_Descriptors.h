// The ECMA-167 / UDF 1.02 structures of a disc image, one function per descriptor. Each
// writes its whole descriptor into a zeroed buffer (the caller's sector) and, for the
// tagged ones, finishes it with the tag's CRC and checksum. Multi-byte fields are
// little-endian; "location" is the sector (or, inside the partition, the logical block)
// the descriptor is written to, as its tag records.
#pragma once

#include "discimage/DiscTime.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

// Descriptor tag identifiers.
enum : uint16_t {
    kTagPrimaryVolume = 1,
    kTagAnchorVolumePointer = 2,
    kTagImplementationUseVolume = 4,
    kTagPartition = 5,
    kTagLogicalVolume = 6,
    kTagUnallocatedSpace = 7,
    kTagTerminating = 8,
    kTagLogicalVolumeIntegrity = 9,
    kTagFileSet = 256,
    kTagFileIdentifier = 257,
    kTagFileEntry = 261,
};

constexpr int kDescriptorTagBytes = 16;

// The identifier every implementation entity identifier of our images carries (UDF asks
// for a leading '*').
constexpr const char* kUdfImplementationId = "*Kestrova DVD";

// ---- Tags and field types --------------------------------------------------------

// The CRC of descriptor tags (ITU-T V.41: polynomial 0x1021, initial value 0).
uint16_t DescriptorCrc(const uint8_t* data, size_t length);
// The tag checksum: the sum modulo 256 of the tag's bytes 0-3 and 5-15.
uint8_t TagChecksum(const uint8_t* tag);
// Starts a descriptor tag: identifier, version 2, serial number 0 and the location;
// CRC and checksum stay zero until SealDescriptorTag.
void PutDescriptorTag(uint8_t* descriptor, uint16_t identifier, uint32_t location);
// Records the CRC of the `crcLength` bytes after the tag, then the tag checksum.
void SealDescriptorTag(uint8_t* descriptor, uint16_t crcLength);

// A timestamp (12 bytes): type 1 (local time) with the zone offset in minutes as 12-bit
// two's complement, then year to second; the fractions of a second are zero.
void PutTimestamp(uint8_t* field, const CDiscTime& time);
// A charspec (64 bytes): character set type 0, "OSTA Compressed Unicode".
void PutOstaCharSpec(uint8_t* field);
// An entity identifier (32 bytes): flags, identifier (at most 23 characters) and the
// identifier suffix bytes.
void PutEntityId(uint8_t* field, uint8_t flags, const char* identifier, std::initializer_list<uint8_t> suffix = {});
// Our implementation identifier and the UDF 1.02 domain identifier.
void PutImplementationId(uint8_t* field);
void PutUdfDomainId(uint8_t* field);
// A d-string of `size` bytes holding at most `maxChars` 8-bit characters (compression
// id 8, the characters, the length in the last byte). The whole field is rewritten; an
// empty text gives an all-zero field, as d-strings without characters must be.
void PutDString(uint8_t* field, size_t size, const std::string& text, size_t maxChars);
// A long_ad (16 bytes): extent length, logical block in partition 0, and in the
// implementation use the UDF unique id (`uniqueId`, 0 when not given).
void PutLongAd(uint8_t* field, uint32_t length, uint32_t block, uint32_t uniqueId = 0);

// ---- Volume recognition and volume descriptors -----------------------------------

// A volume structure descriptor (2048 bytes): type 0, `identifier` ("BEA01", "NSR02",
// "TEA01"), version 1.
void PutVolumeStructureDescriptor(uint8_t* sector, const char* identifier);

// The Primary Volume Descriptor: volume identifier `volumeId` (30 characters kept) in
// volume set `volumeSetId` (16 kept), one volume, interchange level 2, recorded at
// `recorded`.
void PutPrimaryVolumeDescriptor(uint8_t* d, uint32_t location, const CDiscTime& recorded, const std::string& volumeId,
                                const std::string& volumeSetId);
// The Implementation Use Volume Descriptor with the UDF logical volume information:
// the logical volume identifier `volumeId` (30 characters kept) and our implementation.
void PutImplementationUseVolumeDescriptor(uint8_t* d, uint32_t location, const std::string& volumeId);
// The Partition Descriptor of partition 0: read-only NSR02 contents from sector
// `start`, `length` sectors long.
void PutPartitionDescriptor(uint8_t* d, uint32_t location, uint32_t start, uint32_t length);
// The Logical Volume Descriptor: 2048-byte blocks over partition 0 (one type 1 map),
// logical volume identifier `volumeId` (64 characters kept), the file set at block 0
// and the integrity sequence at sector `integrityLocation` (4096 bytes).
void PutLogicalVolumeDescriptor(uint8_t* d, uint32_t location, const std::string& volumeId, uint32_t integrityLocation);
// The Unallocated Space Descriptor of a volume without free space.
void PutUnallocatedSpaceDescriptor(uint8_t* d, uint32_t location);
// The Terminating Descriptor that ends a descriptor sequence.
void PutTerminatingDescriptor(uint8_t* d, uint32_t location);
// The Anchor Volume Descriptor Pointer to the main and reserve volume descriptor
// sequences (16 sectors each, from the sectors given).
void PutAnchorVolumeDescriptorPointer(uint8_t* d, uint32_t location, uint32_t mainSequence, uint32_t reserveSequence);

// What the Logical Volume Integrity Descriptor of a closed volume records.
struct SVolumeIntegrity {
    CDiscTime recorded;
    uint64_t nextUniqueId = 0;
    uint32_t partitionSize = 0;  // the size table's one entry; the free space is 0
    uint32_t files = 0;
    uint32_t directories = 0;
};
// The Logical Volume Integrity Descriptor (closed, UDF 1.02 read and write revisions).
void PutLogicalVolumeIntegrityDescriptor(uint8_t* d, uint32_t location, const SVolumeIntegrity& integrity);

// ---- File structure ---------------------------------------------------------------

// The File Set Descriptor: recorded at `recorded`, logical volume and file set
// identifier `volumeId` (30 characters kept each), root directory at `rootBlock`.
void PutFileSetDescriptor(uint8_t* d, uint32_t location, const CDiscTime& recorded, const std::string& volumeId,
                          uint32_t rootBlock);

// File characteristics of a File Identifier Descriptor.
enum : uint8_t { kFidDirectory = 0x02, kFidParent = 0x08 };
// A File Identifier Descriptor naming `name` (8-bit characters; empty for the parent
// entry), whose File Entry is at `icbBlock` and carries `uniqueId`. Returns its length,
// padded to a multiple of 4 as the next descriptor must start there.
int PutFileIdentifierDescriptor(uint8_t* d, uint32_t location, uint8_t characteristics, const std::string& name,
                                uint32_t icbBlock, uint32_t uniqueId = 0);
// The length PutFileIdentifierDescriptor gives for a name of `nameLength` characters.
int FileIdentifierDescriptorLength(size_t nameLength);

// What a File Entry says of its file or directory.
struct SFileEntry {
    uint8_t fileType = 5;  // 4 directory, 5 file
    uint32_t permissions = 0;
    uint16_t linkCount = 1;
    uint64_t informationLength = 0;
    uint64_t blocksRecorded = 0;
    CDiscTime time;  // access, modification and attribute time
    uint64_t uniqueId = 0;
    uint32_t extentLength = 0;  // its one short allocation descriptor
    uint32_t extentPosition = 0;
};
enum : uint8_t { kFileTypeDirectory = 4, kFileTypeFile = 5 };
// A File Entry (strategy 4, contiguous, short allocation descriptors, no owner).
void PutFileEntry(uint8_t* d, uint32_t location, const SFileEntry& entry);
