#include "media/DvdImage.h"

#include <algorithm>
#include <cstring>

#include "base/Bytes.h"
#include "base/InputFile.h"

namespace {

constexpr uint64_t kSector = 2048;
constexpr uint64_t kVolumeDescriptorSector = 16;
constexpr uint64_t kAnchorSector = 256;
// Bounds on what a DVD's file system can hold, so that damaged counts cannot make the
// reader loop or allocate without end.
constexpr uint64_t kMaxDescriptorSectors = 64;
constexpr uint64_t kMaxFolderBytes = uint64_t(1) << 20;
constexpr size_t kMaxFiles = 1000;
constexpr size_t kMaxExtents = 4096;
constexpr uint32_t kExtentLengthMask = 0x3FFFFFFF;

// UDF descriptor tags.
constexpr uint32_t kTagAnchor = 2;
constexpr uint32_t kTagPartition = 5;
constexpr uint32_t kTagLogicalVolume = 6;
constexpr uint32_t kTagTerminator = 8;
constexpr uint32_t kTagFileSet = 256;
constexpr uint32_t kTagFileId = 257;
constexpr uint32_t kTagFileEntry = 261;
constexpr uint32_t kTagExtendedFileEntry = 266;

std::string Upper(std::string s)
{
    for (auto& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

uint64_t GetLe64(const uint8_t* p) { return uint64_t(GetLe32(p)) | uint64_t(GetLe32(p + 4)) << 32; }

// A UDF file identifier (OSTA compressed unicode): 8 = one byte per character, 16 = two
// bytes, big-endian. Characters outside ASCII become '?'.
std::string UdfName(const uint8_t* p, size_t length)
{
    std::string name;
    if (length == 0) return name;
    if (p[0] == 8) {
        for (size_t i = 1; i < length; ++i) name.push_back(p[i] < 0x80 ? char(p[i]) : '?');
    } else if (p[0] == 16) {
        for (size_t i = 1; i + 1 < length; i += 2) {
            const uint32_t c = uint32_t(p[i]) << 8 | p[i + 1];
            name.push_back(c < 0x80 ? char(c) : '?');
        }
    }
    return name;
}

// An ISO 9660 file name without its version and a trailing dot.
std::string IsoName(const uint8_t* p, size_t length)
{
    std::string name(reinterpret_cast<const char*>(p), length);
    const size_t semicolon = name.find(';');
    if (semicolon != std::string::npos) name.resize(semicolon);
    if (!name.empty() && name.back() == '.') name.pop_back();
    return Upper(name);
}

}  // namespace

struct CDvdImage::SEntry {
    std::string name;  // upper case
    bool folder = false;
    uint32_t block = 0;  // UDF: the entry's file entry block
    SImageFile file;  // ISO 9660: the extents from the directory record
};

bool CDvdImage::LooksLikeImage(const std::string& file)
{
    int64_t bytes = 0;
    std::string reason;
    const CFileDescriptor in = OpenInputFileFor(file, reason, kAnyInputSize, &bytes);
    if (!in) return false;
    std::string lower = file;
    for (auto& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.size() > 4 && lower.compare(lower.size() - 4, 4, ".iso") == 0) return true;
    if (uint64_t(bytes) < (kVolumeDescriptorSector + 1) * kSector) return false;
    uint8_t head[6] = {};
    return ReadDescriptorAt(in.Get(), head, sizeof head, int64_t(kVolumeDescriptorSector * kSector)) == 6 &&
        std::memcmp(head + 1, "CD001", 5) == 0;
}

const SImageFile* CDvdImage::Find(const std::string& name) const
{
    for (const SImageFile& f : files)
        if (f.name == name) return &f;
    return nullptr;
}

bool CDvdImage::Fail(const std::string& what)
{
    error = path + ": " + what;
    files.clear();
    return false;
}

bool CDvdImage::ReadAt(uint64_t offset, void* buffer, size_t length)
{
    if (offset > imageSize || length > imageSize - offset) return false;
    return ReadDescriptorAt(fd.Get(), buffer, length, int64_t(offset)) == length;
}

bool CDvdImage::ReadSector(uint64_t sector, uint8_t* buffer)
{
    return sector < imageSize / kSector && ReadAt(sector * kSector, buffer, kSector);
}

bool CDvdImage::ReadExtents(const std::vector<SImageExtent>& extents, uint64_t size, std::vector<uint8_t>& out)
{
    out.clear();
    for (const SImageExtent& e : extents) {
        const size_t take = size_t(std::min<uint64_t>(e.length, size - out.size()));
        const size_t at = out.size();
        out.resize(at + take);
        if (!ReadAt(e.offset, out.data() + at, take)) return false;
        if (out.size() == size) break;
    }
    return out.size() == size;
}

bool CDvdImage::CheckExtents(const SImageFile& file)
{
    uint64_t total = 0;
    for (const SImageExtent& e : file.extents) {
        if (e.offset > imageSize || e.length > imageSize - e.offset)
            return Fail("is cut short or damaged: VIDEO_TS/" + file.name + " reaches past the end of the image");
        total += e.length;
    }
    if (total != file.size) return Fail("is damaged: the extents of VIDEO_TS/" + file.name + " do not match its size");
    return true;
}

bool CDvdImage::Open(const std::string& file)
{
    path = file;
    error.clear();
    files.clear();
    fileSystem.clear();
    std::string reason;
    int64_t bytes = 0;
    fd = OpenInputFile(file, reason, kAnyInputSize, &bytes);
    if (!fd) {
        error = reason;
        return false;
    }
    imageSize = uint64_t(bytes);
    if (imageSize < (kVolumeDescriptorSector + 1) * kSector)
        return Fail("is " + std::to_string(imageSize) + " bytes, too short for a disc image");
    std::string udfError;
    if (OpenUdf()) {
        fileSystem = "UDF";
        return true;
    }
    udfError = error;
    error.clear();
    if (OpenIso()) {
        fileSystem = "ISO 9660";
        return true;
    }
    // The UDF reason tells more when the image had UDF at all.
    if (!udfError.empty() && udfError.find("no UDF") == std::string::npos) error = udfError;
    return false;
}

// ---- UDF ----

bool CDvdImage::FindUdfPartition(uint32_t& fileSetBlock)
{
    uint8_t s[kSector];
    if (!ReadSector(kAnchorSector, s) || GetLe16(s) != kTagAnchor) return Fail("has no UDF anchor");
    const uint64_t length = GetLe32(s + 16) / kSector;
    const uint64_t location = GetLe32(s + 20);
    bool partition = false, volume = false;
    for (uint64_t i = 0; i < std::min(length, kMaxDescriptorSectors); ++i) {
        if (!ReadSector(location + i, s)) return Fail("is damaged: its UDF volume descriptors lie outside it");
        const uint32_t tag = GetLe16(s);
        if (tag == kTagTerminator) break;
        if (tag == kTagPartition && !partition) {
            partitionStart = GetLe32(s + 188);
            partitionBlocks = GetLe32(s + 192);
            partition = true;
        } else if (tag == kTagLogicalVolume && !volume) {
            if (GetLe32(s + 212) != kSector) return Fail("uses UDF blocks that are not 2048 bytes");
            fileSetBlock = GetLe32(s + 252);
            volume = true;
        }
    }
    if (!partition || !volume) return Fail("is damaged: its UDF partition or logical volume is missing");
    if (partitionStart >= imageSize / kSector) return Fail("is cut short: its UDF partition starts past its end");
    return true;
}

bool CDvdImage::OpenUdf()
{
    uint32_t fileSetBlock = 0;
    if (!FindUdfPartition(fileSetBlock)) return false;
    uint8_t s[kSector];
    if (!ReadSector(partitionStart + fileSetBlock, s) || GetLe16(s) != kTagFileSet)
        return Fail("is damaged: its UDF file set descriptor is missing");
    SImageFile root;
    bool folder = false;
    if (!ReadUdfEntry(GetLe32(s + 404), root, folder)) return false;
    std::vector<SEntry> entries;
    if (!folder || !ReadUdfFolder(root, entries)) return error.empty() ? Fail("is damaged: bad UDF root") : false;
    const auto videoTs =
        std::find_if(entries.begin(), entries.end(), [](const SEntry& e) { return e.folder && e.name == "VIDEO_TS"; });
    if (videoTs == entries.end()) return Fail("is not a DVD image: it holds no VIDEO_TS folder");
    SImageFile videoFolder;
    if (!ReadUdfEntry(videoTs->block, videoFolder, folder)) return false;
    if (!ReadUdfFolder(videoFolder, entries)) return false;
    for (const SEntry& e : entries) {
        if (e.folder) continue;
        SImageFile f;
        if (!ReadUdfEntry(e.block, f, folder)) return false;
        f.name = e.name;
        if (!CheckExtents(f)) return false;
        files.push_back(std::move(f));
    }
    return true;
}

// Reads the (extended) file entry at partition block `block`: its size and the image
// byte ranges its allocation descriptors give.
bool CDvdImage::ReadUdfEntry(uint32_t block, SImageFile& file, bool& folder)
{
    uint8_t s[kSector];
    if (block >= partitionBlocks || !ReadSector(partitionStart + block, s))
        return Fail("is damaged: a UDF file entry lies outside its partition");
    const uint32_t tag = GetLe16(s);
    if (tag != kTagFileEntry && tag != kTagExtendedFileEntry) return Fail("is damaged: a UDF file entry is missing");
    const bool extended = tag == kTagExtendedFileEntry;
    folder = s[16 + 11] == 4;
    const uint32_t adType = GetLe16(s + 16 + 18) & 7;
    file.size = GetLe64(s + 56);
    const uint64_t eaLength = GetLe32(s + (extended ? 208 : 168));
    const uint64_t adLength = GetLe32(s + (extended ? 212 : 172));
    const uint64_t adStart = (extended ? 216 : 176) + eaLength;
    if (eaLength > kSector || adLength > kSector || adStart + adLength > kSector)
        return Fail("is damaged: a UDF file entry overruns its block");
    file.extents.clear();
    if (adType == 3) {  // the data sits in the entry itself
        if (file.size > adLength) return Fail("is damaged: a UDF file entry holds less than its size");
        file.extents.push_back({(partitionStart + block) * kSector + adStart, file.size});
        return true;
    }
    if (adType != 0 && adType != 1) return Fail("uses UDF allocation descriptors this reader does not know");
    const uint64_t adSize = adType == 0 ? 8 : 16;
    uint64_t total = 0;
    for (uint64_t at = adStart; at + adSize <= adStart + adLength && total < file.size; at += adSize) {
        const uint32_t word = GetLe32(s + at);
        const uint64_t length = word & kExtentLengthMask;
        if (length == 0) break;
        if ((word >> 30) != 0) return Fail("is damaged: a UDF file has extents that hold no recorded data");
        const uint64_t position = GetLe32(s + at + 4);
        if (position >= partitionBlocks || file.extents.size() >= kMaxExtents)
            return Fail("is damaged: a UDF extent lies outside its partition");
        const uint64_t take = std::min(length, file.size - total);
        file.extents.push_back({(partitionStart + position) * kSector, take});
        total += take;
    }
    if (total != file.size) return Fail("is damaged: a UDF file's extents are shorter than its size");
    return true;
}

// Lists the entries of a UDF folder whose data `folder` gives.
bool CDvdImage::ReadUdfFolder(const SImageFile& folder, std::vector<SEntry>& entries)
{
    entries.clear();
    std::vector<uint8_t> data;
    if (folder.size > kMaxFolderBytes || !ReadExtents(folder.extents, folder.size, data))
        return Fail("is damaged: a UDF folder cannot be read");
    for (size_t at = 0; at + 38 <= data.size();) {
        const uint8_t* p = data.data() + at;
        if (GetLe16(p) != kTagFileId) return Fail("is damaged: a UDF folder holds a bad file identifier");
        const uint8_t characteristics = p[18];
        const size_t nameLength = p[19];
        const size_t useLength = GetLe16(p + 36);
        const size_t length = (38 + useLength + nameLength + 3) & ~size_t(3);
        if (at + 38 + useLength + nameLength > data.size())
            return Fail("is damaged: a UDF file identifier overruns its folder");
        const bool deleted = characteristics & 0x04, parent = characteristics & 0x08;
        if (!deleted && !parent && entries.size() < kMaxFiles) {
            SEntry e;
            e.name = Upper(UdfName(p + 38 + useLength, nameLength));
            e.folder = characteristics & 0x02;
            e.block = GetLe32(p + 24);
            entries.push_back(std::move(e));
        }
        at += length;
    }
    return true;
}

// ---- ISO 9660 ----

bool CDvdImage::OpenIso()
{
    uint8_t s[kSector];
    bool primary = false;
    for (uint64_t n = kVolumeDescriptorSector; n < kVolumeDescriptorSector + 32 && !primary; ++n) {
        if (!ReadSector(n, s) || std::memcmp(s + 1, "CD001", 5) != 0) break;
        if (s[0] == 255) break;
        primary = s[0] == 1;
    }
    if (!primary) return Fail("is no disc image: it has neither a UDF nor an ISO 9660 file system");
    SImageFile root;
    root.size = GetLe32(s + 156 + 10);
    root.extents.push_back({uint64_t(GetLe32(s + 156 + 2)) * kSector, root.size});
    std::vector<SEntry> entries;
    if (!ReadIsoFolder(root, entries)) return false;
    const auto videoTs =
        std::find_if(entries.begin(), entries.end(), [](const SEntry& e) { return e.folder && e.name == "VIDEO_TS"; });
    if (videoTs == entries.end()) return Fail("is not a DVD image: it holds no VIDEO_TS folder");
    const SImageFile folder = videoTs->file;
    if (!ReadIsoFolder(folder, entries)) return false;
    for (SEntry& e : entries) {
        if (e.folder) continue;
        e.file.name = e.name;
        if (!CheckExtents(e.file)) return false;
        files.push_back(std::move(e.file));
    }
    return true;
}

// Lists the records of an ISO 9660 folder; the parts of a file recorded in several
// extents (flag 0x80 on all but the last) are joined.
bool CDvdImage::ReadIsoFolder(const SImageFile& folder, std::vector<SEntry>& entries)
{
    entries.clear();
    std::vector<uint8_t> data;
    if (folder.size > kMaxFolderBytes || !ReadExtents(folder.extents, folder.size, data))
        return Fail("is damaged: an ISO 9660 folder cannot be read");
    bool continues = false;
    for (size_t at = 0; at < data.size();) {
        const uint8_t length = data[at];
        if (length == 0) {  // records do not cross sectors: the rest of this one is empty
            at = (at / kSector + 1) * kSector;
            continue;
        }
        if (length < 34 || at + length > data.size() || 33 + size_t(data[at + 32]) > length)
            return Fail("is damaged: an ISO 9660 folder holds a bad record");
        const uint8_t* p = data.data() + at;
        at += length;
        const size_t nameLength = p[32];
        if (nameLength == 1 && p[33] <= 1) continue;  // the folder itself and its parent
        SImageExtent extent{uint64_t(GetLe32(p + 2)) * kSector, GetLe32(p + 10)};
        const std::string name = IsoName(p + 33, nameLength);
        if (continues && !entries.empty() && entries.back().name == name) {
            if (entries.back().file.extents.size() >= kMaxExtents)
                return Fail("is damaged: an ISO 9660 file has too many extents");
            entries.back().file.extents.push_back(extent);
            entries.back().file.size += extent.length;
        } else if (entries.size() < kMaxFiles) {
            SEntry e;
            e.name = name;
            e.folder = p[25] & 0x02;
            e.file.size = extent.length;
            e.file.extents.push_back(extent);
            entries.push_back(std::move(e));
        }
        continues = p[25] & 0x80;
    }
    return true;
}
