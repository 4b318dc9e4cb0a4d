// The ISO 9660 structures of a disc image: the Primary Volume Descriptor, the Volume
// Descriptor Set Terminator, directory records and path table records. Numbers are in
// the byte order ISO 9660 gives each field: both-byte-order in descriptors and records,
// one order per path table.
#pragma once

#include "discimage/DiscTime.h"

#include <cstdint>

// What the Primary Volume Descriptor records; identifiers are d-characters, padded with
// spaces.
struct SIsoPrimaryVolume {
    const char* volumeId = "";
    const char* applicationId = "";
    uint32_t volumeSpaceSize = 0;  // sectors
    uint32_t pathTableSize = 0;  // bytes
    uint32_t typeLPathTable = 0;  // sector of the little-endian path table
    uint32_t typeMPathTable = 0;  // sector of the big-endian one
    uint32_t rootExtent = 0;  // sector and length of the root directory
    uint32_t rootLength = 0;
    CDiscTime created;  // creation, modification and effective time
};

// The Primary Volume Descriptor (2048 bytes): the volume `volume`, 2048-byte blocks, a
// set of one volume, no expiration time.
void PutIsoPrimaryVolumeDescriptor(uint8_t* sector, const SIsoPrimaryVolume& volume);
// The Volume Descriptor Set Terminator (2048 bytes).
void PutIsoVolumeDescriptorSetTerminator(uint8_t* sector);

// The 7-byte recording date and time of a directory record: years since 1900, month,
// day, hour, minute, second and the zone offset in quarter hours.
void PutIsoRecordingTime(uint8_t* field, const CDiscTime& time);
// The 17-byte date and time of a volume descriptor: "YYYYMMDDhhmmss00" in digits and
// the zone offset in quarter hours.
void PutIsoVolumeTime(uint8_t* field, const CDiscTime& time);

// Directory record flags.
enum : uint8_t { kIsoFile = 0, kIsoDirectory = 2 };
// The length of a directory record with a `nameLength`-byte identifier: 33 bytes and
// the identifier, padded to an even length.
int IsoDirectoryRecordLength(int nameLength);
// A directory record for the extent at `extent`, `length` bytes long, recorded at
// `recorded`, named by the first `nameLength` bytes of `name` ("\0" is the directory
// itself, "\1" its parent). Returns its length.
int PutIsoDirectoryRecord(uint8_t* record, uint32_t extent, uint32_t length, uint8_t flags, const CDiscTime& recorded,
                          const char* name, int nameLength);
// A path table record for the directory at `extent` whose parent is directory number
// `parent` (1 for the root), in the order of a type M (`bigEndian`) or type L table.
// Returns its length: 8 bytes and the identifier, padded to an even length.
int PutIsoPathTableRecord(uint8_t* record, bool bigEndian, uint32_t extent, uint16_t parent, const char* name,
                          int nameLength);
