#include "discimage/UDF_Disc.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

namespace {

constexpr int kMetaSectors = UDF_Disc::kFirstFileEntry;  // sectors 0 to 295
constexpr int kIsoVideoDir = 82;       // first sector of the ISO VIDEO_TS directory
constexpr int kIsoVideoDirBytes = 30 * 2048;
constexpr int kVideoFidSector = 264;   // first sector of the UDF VIDEO_TS directory
constexpr int kVideoFidBytes = 32 * 2048;
constexpr int kFidParentBytes = 40;
constexpr int kFidFileBytes = 52;

// UDF descriptor tag identifiers.
enum : uint16_t {
    kTagPrimary = 1, kTagAnchor = 2, kTagImplUse = 4, kTagPartition = 5,
    kTagLogicalVolume = 6, kTagUnallocated = 7, kTagTerminating = 8, kTagIntegrity = 9,
    kTagFileSet = 256, kTagFileId = 257, kTagFileEntry = 261,
};

void Le16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
void Le32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i)); }
void Le64(uint8_t* p, uint64_t v) { for (int i = 0; i < 8; ++i) p[i] = uint8_t(v >> (8 * i)); }
void Be16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
void Be32(uint8_t* p, uint32_t v) { for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (24 - 8 * i)); }
// ISO 9660 both-byte-order fields: the little-endian value, then the big-endian one.
void Both16(uint8_t* p, uint32_t v) { Le16(p, v); Be16(p + 2, v); }
void Both32(uint8_t* p, uint32_t v) { Le32(p, v); Be32(p + 4, v); }

void Text(uint8_t* p, const char* text) { std::memcpy(p, text, std::strlen(text)); }
void Spaces(uint8_t* p, size_t n) { std::memset(p, ' ', n); }

const std::array<uint16_t, 256>& CrcTable()
{
    static const std::array<uint16_t, 256> table = [] {
        std::array<uint16_t, 256> t{};
        for (int i = 0; i < 256; ++i) {
            uint16_t crc = uint16_t(i << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
            t[size_t(i)] = crc;
        }
        return t;
    }();
    return table;
}

// Starts a descriptor tag: identifier, version 2, serial 0 and the tag location. The
// checksum and CRC are filled by Seal once the descriptor is complete.
void Tag(uint8_t* d, uint16_t id, uint32_t location)
{
    std::memset(d, 0, 16);
    Le16(d, id);
    Le16(d + 2, 2);
    Le32(d + 12, location);
}

// Stores the CRC of the `crcLength` bytes after the tag, then the tag checksum.
void Seal(uint8_t* d, uint16_t crcLength)
{
    Le16(d + 8, UDF_Disc::Crc(d + 16, crcLength));
    Le16(d + 10, crcLength);
    uint8_t sum = 0;
    for (int i = 0; i < 16; ++i)
        if (i != 4) sum = uint8_t(sum + d[i]);
    d[4] = sum;
}

void CharSpec(uint8_t* p)
{
    p[0] = 0;
    Text(p + 1, "OSTA Compressed Unicode");
}

void EntityId(uint8_t* p, uint8_t flags, const char* identifier,
              std::initializer_list<uint8_t> suffix = {})
{
    std::memset(p, 0, 32);
    p[0] = flags;
    std::memcpy(p + 1, identifier, std::min<size_t>(std::strlen(identifier), 23));
    size_t i = 0;
    for (uint8_t b : suffix) p[24 + i++] = b;
}

void Impl(uint8_t* p) { EntityId(p, 0, UDF_Disc::kImplementationId); }

void DomainId(uint8_t* p) { EntityId(p, 0, "*OSTA UDF Compliant", {0x02, 0x01, 0x03}); }

// A d-string of `size` bytes holding at most `maxChars` 8-bit characters. The whole
// field is rewritten, so a shorter text leaves nothing of a longer one behind; an empty
// text gives an all-zero field, as d-strings without characters must be.
void DString(uint8_t* p, size_t size, const std::string& text, size_t maxChars)
{
    std::memset(p, 0, size);
    size_t n = std::min({text.size(), maxChars, size - 2});
    if (n == 0) return;
    p[0] = 8;
    std::memcpy(p + 1, text.data(), n);
    p[size - 1] = uint8_t(1 + n);
}

// long_ad: extent length, logical block, partition 0; the two flag bytes of the
// implementation use stay zero and the next four hold `uniqueId` when given.
void LongAd(uint8_t* p, uint32_t length, uint32_t lbn, uint32_t uniqueId = 0)
{
    Le32(p, length);
    Le32(p + 4, lbn);
    Le16(p + 8, 0);
    std::memset(p + 10, 0, 6);
    Le32(p + 12, uniqueId);
}

// The label as 8-bit characters: UTF-8 is decoded to Latin-1, characters outside it
// become '_'; bytes that are not valid UTF-8 are taken as Latin-1 already.
std::string Latin1(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) { out += char(c); ++i; continue; }
        int extra = (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
        bool valid = extra > 0 && i + size_t(extra) < text.size();
        uint32_t cp = 0;
        if (valid) {
            cp = c & (0x3F >> extra);
            for (int k = 1; k <= extra; ++k) {
                unsigned char cc = static_cast<unsigned char>(text[i + size_t(k)]);
                if ((cc & 0xC0) != 0x80) { valid = false; break; }
                cp = (cp << 6) | (cc & 0x3F);
            }
        }
        if (!valid) { out += char(c); ++i; continue; }
        out += cp <= 0xFF ? char(cp) : '_';
        i += size_t(extra) + 1;
    }
    return out;
}

// One ISO 9660 directory record; returns its length.
int IsoRecord(uint8_t* p, uint32_t extent, uint32_t length, uint8_t flags,
              const uint8_t* date7, const char* name, int nameLength)
{
    int recordLength = 33 + nameLength + ((nameLength % 2 == 0) ? 1 : 0);
    std::memset(p, 0, size_t(recordLength));
    p[0] = uint8_t(recordLength);
    Both32(p + 2, extent);
    Both32(p + 10, length);
    std::memcpy(p + 18, date7, 7);
    p[25] = flags;
    Both16(p + 28, 1);
    p[32] = uint8_t(nameLength);
    std::memcpy(p + 33, name, size_t(nameLength));
    return recordLength;
}

}  // namespace

uint16_t UDF_Disc::Crc(const uint8_t* data, size_t length)
{
    const auto& table = CrcTable();
    uint16_t crc = 0;
    for (size_t i = 0; i < length; ++i)
        crc = uint16_t((crc << 8) ^ table[((crc >> 8) ^ data[i]) & 0xFF]);
    return crc;
}

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
    : created(createdAt), meta(size_t(kMetaSectors) * kSectorSize, 0)
{
    // The two fixed time stamps carry the same zone as the creation time, so that the
    // whole image agrees with itself.
    fixedDescriptorTime = {2004, 2, 10, 8, 21, 47, created.offsetMinutes};
    fixedDirectoryTime = {2004, 2, 8, 13, 41, 22, created.offsetMinutes};
    PrepareFixed();
}

UDF_Disc::~UDF_Disc() = default;

// ECMA-167 time stamp: type 1 (local time) with the zone offset in minutes, 12-bit
// two's complement; centiseconds and smaller units zero.
void UDF_Disc::WriteTime(uint8_t* field, const CDiscTime& t) const
{
    Le16(field, 0x1000u | (uint32_t(t.offsetMinutes) & 0x0FFFu));
    Le16(field + 2, uint32_t(t.year));
    field[4] = uint8_t(t.month);
    field[5] = uint8_t(t.day);
    field[6] = uint8_t(t.hour);
    field[7] = uint8_t(t.minute);
    field[8] = uint8_t(t.second);
    field[9] = field[10] = field[11] = 0;
}

// ISO 9660 directory record date: years since 1900, month, day, hour, minute, second,
// zone offset in quarter hours.
void UDF_Disc::WriteIsoDate(uint8_t* field) const
{
    field[0] = uint8_t(created.year - 1900);
    field[1] = uint8_t(created.month);
    field[2] = uint8_t(created.day);
    field[3] = uint8_t(created.hour);
    field[4] = uint8_t(created.minute);
    field[5] = uint8_t(created.second);
    field[6] = uint8_t(int8_t(created.offsetMinutes / 15));
}

void UDF_Disc::PrepareFixed()
{
    uint8_t date7[7];
    WriteIsoDate(date7);

    // ISO 9660 Primary Volume Descriptor; its volume space size is set by Build.
    uint8_t* pvd = Meta(16);
    pvd[0] = 1;
    Text(pvd + 1, "CD001");
    pvd[6] = 1;
    Spaces(pvd + 8, 32);
    Spaces(pvd + 40, 32);
    Text(pvd + 40, "KESTROVA");
    Both16(pvd + 120, 1);
    Both16(pvd + 124, 1);
    Both16(pvd + 128, 2048);
    Both32(pvd + 132, 42);
    Le32(pvd + 140, 70);
    Be32(pvd + 148, 71);
    IsoRecord(pvd + 156, 80, 2048, 2, date7, "\0", 1);
    Spaces(pvd + 190, 128 * 4 + 37 * 3);  // volume set .. bibliography identifiers
    Text(pvd + 574, "KESTROVA");
    char dateText[32];
    std::snprintf(dateText, sizeof dateText, "%04d%02d%02d%02d%02d%02d00",
                  created.year % 10000, created.month % 100, created.day % 100,
                  created.hour % 100, created.minute % 100, created.second % 100);
    for (int field : {813, 830, 864}) {
        std::memcpy(pvd + field, dateText, 16);
        pvd[field + 16] = uint8_t(int8_t(created.offsetMinutes / 15));
    }
    std::memset(pvd + 847, '0', 16);
    pvd[863] = 0;
    pvd[881] = 1;

    uint8_t* terminator = Meta(17);
    terminator[0] = 255;
    Text(terminator + 1, "CD001");
    terminator[6] = 1;
    const char* extended[3] = {"BEA01", "NSR02", "TEA01"};
    for (int i = 0; i < 3; ++i) {
        Text(Meta(18 + i) + 1, extended[i]);
        Meta(18 + i)[6] = 1;
    }

    // The main (32) and reserve (48) volume descriptor sequences.
    for (int base : {32, 48}) {
        uint8_t* d = Meta(base);
        Tag(d, kTagPrimary, uint32_t(base));
        Le32(d + 16, 0);
        Le32(d + 20, 0);
        Le16(d + 56, 1);
        Le16(d + 58, 1);
        Le16(d + 60, 2);
        Le16(d + 62, 2);
        Le32(d + 64, 1);
        Le32(d + 68, 1);
        CharSpec(d + 200);
        CharSpec(d + 264);
        WriteTime(d + 376, fixedDescriptorTime);
        Impl(d + 388);

        d = Meta(base + 1);
        Tag(d, kTagImplUse, uint32_t(base + 1));
        Le32(d + 16, 1);
        EntityId(d + 20, 0, "*UDF LV Info", {0x02, 0x01});
        CharSpec(d + 52);
        Impl(d + 352);

        d = Meta(base + 2);
        Tag(d, kTagPartition, uint32_t(base + 2));
        Le32(d + 16, 2);
        Le16(d + 20, 1);
        Le16(d + 22, 0);
        EntityId(d + 24, 2, "+NSR02");
        Le32(d + 184, 1);
        Le32(d + 188, kPartitionStart);
        Impl(d + 196);

        d = Meta(base + 3);
        Tag(d, kTagLogicalVolume, uint32_t(base + 3));
        Le32(d + 16, 3);
        CharSpec(d + 20);
        Le32(d + 212, 2048);
        DomainId(d + 216);
        LongAd(d + 248, 4096, 0);
        Le32(d + 264, 6);
        Le32(d + 268, 1);
        Impl(d + 272);
        Le32(d + 432, 4096);
        Le32(d + 436, 64);
        d[440] = 1;
        d[441] = 6;
        Le16(d + 442, 1);
        Le16(d + 444, 0);

        d = Meta(base + 4);
        Tag(d, kTagUnallocated, uint32_t(base + 4));
        Le32(d + 16, 4);

        Tag(Meta(base + 5), kTagTerminating, uint32_t(base + 5));
    }

    // Integrity sequence: the descriptor is completed by Build.
    Tag(Meta(64), kTagIntegrity, 64);
    Tag(Meta(65), kTagTerminating, 65);

    // ISO 9660 path tables, type L then type M.
    for (int sector : {70, 71}) {
        uint8_t* p = Meta(sector);
        bool big = sector == 71;
        auto put32 = [big](uint8_t* q, uint32_t v) { big ? Be32(q, v) : Le32(q, v); };
        auto put16 = [big](uint8_t* q, uint32_t v) { big ? Be16(q, v) : Le16(q, v); };
        p[0] = 1;
        put32(p + 2, 80);
        put16(p + 6, 1);
        p[10] = 8;
        put32(p + 12, 81);
        put16(p + 16, 1);
        Text(p + 18, "AUDIO_TS");
        p[26] = 8;
        put32(p + 28, 82);
        put16(p + 32, 1);
        Text(p + 34, "VIDEO_TS");
    }

    // ISO 9660 directories.
    uint8_t* root = Meta(80);
    int at = IsoRecord(root, 80, 2048, 2, date7, "\0", 1);
    at += IsoRecord(root + at, 80, 2048, 2, date7, "\1", 1);
    at += IsoRecord(root + at, 81, 2048, 2, date7, "AUDIO_TS", 8);
    IsoRecord(root + at, 82, kIsoVideoDirBytes, 2, date7, "VIDEO_TS", 8);
    uint8_t* audio = Meta(81);
    at = IsoRecord(audio, 81, 2048, 2, date7, "\0", 1);
    IsoRecord(audio + at, 80, 2048, 2, date7, "\1", 1);
    uint8_t* video = Meta(kIsoVideoDir);
    at = IsoRecord(video, kIsoVideoDir, kIsoVideoDirBytes, 2, date7, "\0", 1);
    at += IsoRecord(video + at, 80, 2048, 2, date7, "\1", 1);
    isoWritePos = at;

    MakeAnchor(256, Meta(256));

    // The file set, inside the partition (tag locations are logical block numbers).
    uint8_t* fsd = Meta(257);
    Tag(fsd, kTagFileSet, 0);
    WriteTime(fsd + 16, fixedDescriptorTime);
    Le16(fsd + 28, 3);
    Le16(fsd + 30, 3);
    Le32(fsd + 32, 1);
    Le32(fsd + 36, 1);
    CharSpec(fsd + 48);
    CharSpec(fsd + 240);
    LongAd(fsd + 400, 2048, 2);
    DomainId(fsd + 416);
    Tag(Meta(258), kTagTerminating, 1);

    // Directory File Entries: root (LBN 2), AUDIO_TS (LBN 4), VIDEO_TS (LBN 6).
    struct Dir { int sector; uint16_t links; uint32_t length; uint64_t uniqueId; };
    for (Dir dir : {Dir{259, 3, 136, 0}, Dir{261, 1, 40, 261}, Dir{263, 1, 40, 263}}) {
        uint8_t* fe = Meta(dir.sector);
        uint32_t lbn = uint32_t(dir.sector - kPartitionStart);
        Tag(fe, kTagFileEntry, lbn);
        Le16(fe + 20, 4);        // strategy 4
        Le16(fe + 24, 1);        // maximum entries
        fe[27] = 4;              // directory
        Le16(fe + 34, 0x0230);   // short descriptors, non-relocatable, archive, contiguous
        Le32(fe + 36, 0xFFFFFFFF);
        Le32(fe + 40, 0xFFFFFFFF);
        Le32(fe + 44, 0x14A5);
        Le16(fe + 48, dir.links);
        Le64(fe + 56, dir.length);
        Le64(fe + 64, 1);
        const CDiscTime& t = dir.sector == 263 ? created : fixedDirectoryTime;
        WriteTime(fe + 72, t);
        WriteTime(fe + 84, t);
        WriteTime(fe + 96, t);
        Le32(fe + 108, 1);
        Impl(fe + 128);
        Le64(fe + 160, dir.uniqueId);
        Le32(fe + 172, 8);
        Le32(fe + 176, dir.length);
        Le32(fe + 180, lbn + 1);
        Seal(fe, 168);
    }

    // Root directory: parent, AUDIO_TS, VIDEO_TS.
    uint8_t* fid = Meta(260);
    Tag(fid, kTagFileId, 3);
    Le16(fid + 16, 1);
    fid[18] = 0x0A;
    LongAd(fid + 20, 2048, 2);
    Seal(fid, 24);
    struct Sub { int offset; uint32_t lbn; uint32_t uniqueId; const char* name; };
    for (Sub sub : {Sub{40, 4, 261, "AUDIO_TS"}, Sub{88, 6, 263, "VIDEO_TS"}}) {
        uint8_t* f = fid + sub.offset;
        Tag(f, kTagFileId, 3);
        Le16(f + 16, 1);
        f[18] = 0x02;
        f[19] = 9;
        LongAd(f + 20, 2048, sub.lbn, sub.uniqueId);
        f[38] = 8;
        Text(f + 39, sub.name);
        Seal(f, 32);
    }
    // AUDIO_TS and VIDEO_TS directories begin with their parent entry.
    for (int sector : {262, kVideoFidSector}) {
        uint8_t* f = Meta(sector);
        Tag(f, kTagFileId, uint32_t(sector - kPartitionStart));
        Le16(f + 16, 1);
        f[18] = 0x0A;
        LongAd(f + 20, 2048, 2);
        Seal(f, 24);
    }

    for (int sector : {32, 33, 34, 35, 37, 48, 49, 50, 51, 53, 65, 257, 258}) Seal(Meta(sector), 496);
    Seal(Meta(36), 8);
    Seal(Meta(52), 8);
    // The labels start empty; the partition and integrity descriptors get their sizes
    // in Build.
    SetLabel("");
}

void UDF_Disc::MakeAnchor(uint32_t location, uint8_t* out) const
{
    std::memset(out, 0, kSectorSize);
    Tag(out, kTagAnchor, location);
    Le32(out + 16, 32768);
    Le32(out + 20, 32);
    Le32(out + 24, 32768);
    Le32(out + 28, 48);
    Seal(out, 496);
}

// Appends file `index` to the UDF VIDEO_TS directory and updates the directory's File
// Entry to the new length.
void UDF_Disc::EnterFile(int index)
{
    int offset = kFidParentBytes + kFidFileBytes * index;
    uint8_t* fid = Meta(kVideoFidSector) + offset;
    Tag(fid, kTagFileId, uint32_t(kVideoFidSector - kPartitionStart + offset / kSectorSize));
    Le16(fid + 16, 1);
    fid[18] = 0;
    fid[19] = 13;
    LongAd(fid + 20, 2048, uint32_t(kFirstFileEntry - kPartitionStart + index),
           uint32_t(kFirstFileEntry + index));
    Le16(fid + 36, 0);
    fid[38] = 8;
    std::string name = CUDF_DVDFiles::SlotName(files.File(index).slot);
    std::memcpy(fid + 39, name.data(), std::min<size_t>(name.size(), 12));
    Seal(fid, 36);

    filesEntered = index + 1;
    uint32_t length = uint32_t(kFidParentBytes + kFidFileBytes * filesEntered);
    uint8_t* fe = Meta(263);
    WriteTime(fe + 72, created);
    WriteTime(fe + 84, created);
    WriteTime(fe + 96, created);
    Le64(fe + 56, length);
    Le64(fe + 64, (length + kSectorSize - 1) / kSectorSize);
    Le32(fe + 176, length);  // the one allocation descriptor's extent length
    Seal(fe, 168);
}

// Appends file `fileIndex` to the ISO 9660 VIDEO_TS directory; a record that would
// cross into the next sector starts at that sector instead.
void UDF_Disc::WriteIsoRecord(int fileIndex)
{
    const CUDF_DVDFiles::Present& file = files.File(fileIndex);
    std::string name = CUDF_DVDFiles::SlotName(file.slot) + ";1";
    int recordLength = 33 + int(name.size()) + (name.size() % 2 == 0 ? 1 : 0);
    if (isoWritePos % kSectorSize + recordLength > kSectorSize)
        isoWritePos = (isoWritePos / kSectorSize + 1) * kSectorSize;
    if (isoWritePos + recordLength > kIsoVideoDirBytes) return;  // cannot happen: 1190 files fit
    uint8_t date7[7];
    WriteIsoDate(date7);
    uint32_t extent = uint32_t(kFirstFileEntry + files.FileCount()) + file.start;
    isoWritePos += IsoRecord(Meta(kIsoVideoDir) + isoWritePos, extent,
                             file.sectors * uint32_t(kSectorSize), 0, date7, name.data(),
                             int(name.size()));
}

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
    int count = files.FileCount();
    for (int i = 0; i < count; ++i) EnterFile(i);
    sectorCount = kFirstFileEntry + count + int(files.DataSectors());
    for (int i = 0; i < count; ++i) WriteIsoRecord(i);
    ComposeVariable();
    SetLabel(discLabel);
    return true;
}

void UDF_Disc::ComposeVariable()
{
    Both32(Meta(16) + 80, uint32_t(ImageSectors()));

    uint8_t* lvid = Meta(64);
    WriteTime(lvid + 16, created);
    Le32(lvid + 28, 1);
    Le64(lvid + 40, 270);
    Le32(lvid + 72, 1);
    Le32(lvid + 76, 46);
    Le32(lvid + 80, 0);
    Le32(lvid + 84, uint32_t(sectorCount));
    Impl(lvid + 88);
    Le32(lvid + 120, uint32_t(files.FileCount()));
    Le32(lvid + 124, 3);
    Le16(lvid + 128, 0x0102);
    Le16(lvid + 130, 0x0102);
    Le16(lvid + 132, 0x0102);
    Seal(lvid, 118);

    for (int sector : {34, 50}) {
        Le32(Meta(sector) + 192, uint32_t(sectorCount));
        Seal(Meta(sector), 496);
    }

    // Volume set identifier: six pseudo-random digits that differ between discs, then
    // a fixed tail.
    std::seed_seq seed{created.year, created.month, created.day, created.hour,
                       created.minute, created.second};
    std::mt19937 generator(seed);
    char volumeSet[24];
    std::snprintf(volumeSet, sizeof volumeSet, "%06u1B000000A0",
                  unsigned(generator() % 1000000u));
    for (int sector : {32, 48}) {
        DString(Meta(sector) + 72, 128, volumeSet, 16);
        Seal(Meta(sector), 496);
    }
}

void UDF_Disc::SetLabel(const std::string& text)
{
    label = Latin1(text);
    for (int sector : {32, 48}) {
        DString(Meta(sector) + 24, 32, label, 30);
        Seal(Meta(sector), 496);
    }
    for (int sector : {33, 49}) {
        DString(Meta(sector) + 116, 128, label, 30);
        Seal(Meta(sector), 496);
    }
    for (int sector : {35, 51}) {
        DString(Meta(sector) + 84, 128, label, 64);
        Seal(Meta(sector), 430);
    }
    DString(Meta(257) + 112, 128, label, 30);
    DString(Meta(257) + 304, 32, label, 30);
    Seal(Meta(257), 496);
}

void UDF_Disc::MakeFileEntry(int index, uint8_t* out) const
{
    const CUDF_DVDFiles::Present& file = files.File(index);
    uint32_t lbn = uint32_t(kFirstFileEntry - kPartitionStart + index);
    uint64_t bytes = uint64_t(file.sectors) * kSectorSize;
    std::memset(out, 0, kSectorSize);
    Tag(out, kTagFileEntry, lbn);
    Le16(out + 20, 4);
    Le16(out + 24, 1);
    out[27] = 5;  // file
    Le16(out + 34, 0x0230);
    Le32(out + 36, 0xFFFFFFFF);
    Le32(out + 40, 0xFFFFFFFF);
    Le32(out + 44, 0x1084);
    Le16(out + 48, 1);
    Le64(out + 56, bytes);
    Le64(out + 64, file.sectors);
    WriteTime(out + 72, created);
    WriteTime(out + 84, created);
    WriteTime(out + 96, created);
    Le32(out + 108, 1);
    Impl(out + 128);
    Le64(out + 160, 2u * lbn);
    Le32(out + 172, 8);
    Le32(out + 176, uint32_t(bytes));
    Le32(out + 180, uint32_t(kFirstFileEntry - kPartitionStart + files.FileCount()) + file.start);
    Seal(out, 168);
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
    int64_t firstData = kFirstFileEntry + files.FileCount();
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
        MakeAnchor(uint32_t(index), buffer);
        return kSectorSize;
    }
    return 0;
}

int UDF_Disc::ReadSectors(int64_t index, int count, uint8_t* buffer)
{
    if (!built || index < 0 || count <= 0) return 0;
    const int64_t firstData = kFirstFileEntry + files.FileCount();
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
    const int64_t firstData = kFirstFileEntry + files.FileCount();
    if (!built || count <= 0 || index < firstData || index >= sectorCount) return 0;
    const int64_t want = std::min<int64_t>(count, sectorCount - index);
    return int(files.FileRun(uint32_t(index - firstData), uint32_t(want), fd, offset));
}
