// A read-only look into the image file of a DVD: finds the VIDEO_TS folder through the
// image's UDF file system (anchor at sector 256, partition, file set, root folder,
// file entries with their allocation extents), or through its ISO 9660 directory
// records when the image has no readable UDF, and lists each file of that folder as the
// byte ranges of the image that hold it. Nothing is mounted; every structure is checked
// against the image's size before it is trusted, so a damaged or cut image is refused
// with a line naming it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/File.h"

// A run of bytes of the image that belongs to one file.
struct SImageExtent {
    uint64_t offset = 0;  // byte offset in the image
    uint64_t length = 0;
};

// One file of the image's VIDEO_TS folder.
struct SImageFile {
    std::string name;  // upper-cased, without an ISO 9660 version (";1")
    uint64_t size = 0;
    std::vector<SImageExtent> extents;  // in file order, together exactly `size` bytes
};

class CDvdImage {
public:
    // True when `path` names a regular file that is a disc image: its name ends in
    // ".iso" (any case) or its sector 16 starts an ISO 9660 volume descriptor.
    static bool LooksLikeImage(const std::string& path);

    // Opens the image at `path` and lists its VIDEO_TS folder. Returns false when the
    // file is no image, is damaged or holds no VIDEO_TS folder; Error() says why.
    bool Open(const std::string& path);

    // The files of the VIDEO_TS folder (folders inside it left out).
    const std::vector<SImageFile>& Files() const { return files; }

    // The file called `name` (upper case) in VIDEO_TS; null when there is none.
    const SImageFile* Find(const std::string& name) const;

    // Why the last Open failed, naming the image; empty after a successful one.
    const std::string& Error() const { return error; }

    // Which file system gave the listing: "UDF" or "ISO 9660".
    const std::string& FileSystem() const { return fileSystem; }

private:
    struct SEntry;

    bool Fail(const std::string& what);
    bool ReadAt(uint64_t offset, void* buffer, size_t length);
    bool ReadSector(uint64_t sector, uint8_t* buffer);
    bool ReadExtents(const std::vector<SImageExtent>& extents, uint64_t size, std::vector<uint8_t>& out);
    bool CheckExtents(const SImageFile& file);

    bool OpenUdf();
    bool FindUdfPartition(uint32_t& fileSetBlock);
    bool ReadUdfEntry(uint32_t block, SImageFile& file, bool& folder);
    bool ReadUdfFolder(const SImageFile& folder, std::vector<SEntry>& entries);

    bool OpenIso();
    bool ReadIsoFolder(const SImageFile& folder, std::vector<SEntry>& entries);

    CFileDescriptor fd;
    uint64_t imageSize = 0;
    uint64_t partitionStart = 0;  // sector of UDF partition block 0
    uint64_t partitionBlocks = 0;
    std::string path;
    std::string error;
    std::string fileSystem;
    std::vector<SImageFile> files;
};
