// An existing disc image file handed out sector by sector, so that a burn can take an
// image file the same way it takes a described folder.
#pragma once

#include "base/File.h"

#include <cstdint>
#include <string>

class ISO_Disc {
public:
    static constexpr int kSectorSize = 2048;

    ISO_Disc() = default;
    virtual ~ISO_Disc();
    ISO_Disc(const ISO_Disc&) = delete;
    ISO_Disc& operator=(const ISO_Disc&) = delete;

    // Closes any previous file and opens `path` for reading. Returns true when it
    // opened; the length is then the file size in sectors, rounded up (0 otherwise).
    bool Open(const std::string& path);
    // The image's length in sectors (0 when no file is open).
    int64_t SectorCount() const { return sectors; }
    // Fills `buffer` (2048 bytes) with sector `index`, zero-padded past the end of the
    // file, and returns 2048; returns 0 and leaves the buffer alone for an index
    // outside the image.
    int ReadSector(int64_t index, uint8_t* buffer);

private:
    void Close();

    CFileDescriptor file;
    int64_t sectors = 0;
};
