#include "discimage/ISO9660_Descriptors.h"

#include "base/Bytes.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int kSectorBytes = 2048;
constexpr const char* kStandardId = "CD001";

// The zone offset in 15-minute steps, as a signed byte.
uint8_t QuarterHours(const CDiscTime& time) { return uint8_t(int8_t(time.offsetMinutes / 15)); }

// Fills `size` bytes with spaces and puts `text` at their start.
void PutPadded(uint8_t* field, size_t size, const char* text)
{
    std::memset(field, ' ', size);
    std::memcpy(field, text, std::strlen(text));
}

// Volume descriptor type, standard identifier and version.
void PutVolumeDescriptorHeader(uint8_t* sector, uint8_t type)
{
    std::memset(sector, 0, kSectorBytes);
    sector[0] = type;
    std::memcpy(sector + 1, kStandardId, 5);
    sector[6] = 1;
}

}  // namespace

void PutIsoRecordingTime(uint8_t* field, const CDiscTime& time)
{
    field[0] = uint8_t(time.year - 1900);
    field[1] = uint8_t(time.month);
    field[2] = uint8_t(time.day);
    field[3] = uint8_t(time.hour);
    field[4] = uint8_t(time.minute);
    field[5] = uint8_t(time.second);
    field[6] = QuarterHours(time);
}

void PutIsoVolumeTime(uint8_t* field, const CDiscTime& time)
{
    char digits[32];
    std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d00", time.year % 10000, time.month % 100,
                  time.day % 100, time.hour % 100, time.minute % 100, time.second % 100);
    std::memcpy(field, digits, 16);
    field[16] = QuarterHours(time);
}

void PutIsoPrimaryVolumeDescriptor(uint8_t* sector, const SIsoPrimaryVolume& volume)
{
    enum : int {
        kSystemId = 8,
        kVolumeId = 40,
        kVolumeSpaceSize = 80,
        kVolumeSetSize = 120,
        kVolumeSequenceNumber = 124,
        kLogicalBlockSize = 128,
        kPathTableSize = 132,
        kTypeLPathTable = 140,
        kTypeMPathTable = 148,
        kRootDirectoryRecord = 156,
        kVolumeSetId = 190,
        kApplicationId = 574,
        kBibliographicFileIdEnd = 813,
        kCreationTime = 813,
        kModificationTime = 830,
        kExpirationTime = 847,
        kEffectiveTime = 864,
        kFileStructureVersion = 881,
    };
    PutVolumeDescriptorHeader(sector, 1);
    PutPadded(sector + kSystemId, 32, "");
    PutPadded(sector + kVolumeId, 32, volume.volumeId);
    PutBoth32(sector + kVolumeSpaceSize, volume.volumeSpaceSize);
    PutBoth16(sector + kVolumeSetSize, 1);
    PutBoth16(sector + kVolumeSequenceNumber, 1);
    PutBoth16(sector + kLogicalBlockSize, kSectorBytes);
    PutBoth32(sector + kPathTableSize, volume.pathTableSize);
    PutLe32(sector + kTypeLPathTable, volume.typeLPathTable);
    PutBe32(sector + kTypeMPathTable, volume.typeMPathTable);
    PutIsoDirectoryRecord(sector + kRootDirectoryRecord, volume.rootExtent, volume.rootLength, kIsoDirectory,
                          volume.created, "\0", 1);
    // The volume set, publisher, data preparer, application, copyright, abstract and
    // bibliographic identifiers: all spaces but the application's.
    PutPadded(sector + kVolumeSetId, kBibliographicFileIdEnd - kVolumeSetId, "");
    std::memcpy(sector + kApplicationId, volume.applicationId, std::strlen(volume.applicationId));
    PutIsoVolumeTime(sector + kCreationTime, volume.created);
    PutIsoVolumeTime(sector + kModificationTime, volume.created);
    std::memset(sector + kExpirationTime, '0', 16);  // never expires
    sector[kExpirationTime + 16] = 0;
    PutIsoVolumeTime(sector + kEffectiveTime, volume.created);
    sector[kFileStructureVersion] = 1;
}

void PutIsoVolumeDescriptorSetTerminator(uint8_t* sector) { PutVolumeDescriptorHeader(sector, 255); }

int IsoDirectoryRecordLength(int nameLength) { return 33 + nameLength + (nameLength % 2 == 0 ? 1 : 0); }

int PutIsoDirectoryRecord(uint8_t* record, uint32_t extent, uint32_t length, uint8_t flags, const CDiscTime& recorded,
                          const char* name, int nameLength)
{
    enum : int {
        kLength = 0,
        kExtent = 2,
        kDataLength = 10,
        kRecordingTime = 18,
        kFlags = 25,
        kVolumeSequenceNumber = 28,
        kNameLength = 32,
        kName = 33
    };
    const int recordLength = IsoDirectoryRecordLength(nameLength);
    std::memset(record, 0, size_t(recordLength));
    record[kLength] = uint8_t(recordLength);
    PutBoth32(record + kExtent, extent);
    PutBoth32(record + kDataLength, length);
    PutIsoRecordingTime(record + kRecordingTime, recorded);
    record[kFlags] = flags;
    PutBoth16(record + kVolumeSequenceNumber, 1);
    record[kNameLength] = uint8_t(nameLength);
    std::memcpy(record + kName, name, size_t(nameLength));
    return recordLength;
}

int PutIsoPathTableRecord(uint8_t* record, bool bigEndian, uint32_t extent, uint16_t parent, const char* name,
                          int nameLength)
{
    enum : int { kNameLength = 0, kExtent = 2, kParent = 6, kName = 8 };
    const int recordLength = kName + nameLength + nameLength % 2;
    std::memset(record, 0, size_t(recordLength));
    record[kNameLength] = uint8_t(nameLength);
    if (bigEndian) {
        PutBe32(record + kExtent, extent);
        PutBe16(record + kParent, parent);
    } else {
        PutLe32(record + kExtent, extent);
        PutLe16(record + kParent, parent);
    }
    std::memcpy(record + kName, name, size_t(nameLength));
    return recordLength;
}
