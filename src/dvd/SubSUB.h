// CSubSUB: VobSub subtitles, a .sub file of ready-made sub-picture packs with its .idx
// index (the same path ending .idx). The index gives the 16-colour palette and, for
// the first stream it lists, each unit's start time and byte position; a unit is read
// back from its packs and copied unchanged.
#pragma once

#include "base/File.h"

#include <cstdint>
#include <string>
#include <vector>

class CSubSUB {
public:
    static constexpr int maxEntries = 4096;
    static constexpr int maxUnitBytes = 63000;
    static constexpr int packBytes = 2048;

    struct SEntry {
        uint32_t start = 0;  // 90 kHz
        int64_t position = 0;  // byte position of the unit's first pack in the .sub file
    };

    // Opens `subPath` and reads its index. False, with Error() naming the file, when the
    // .idx or the .sub cannot be opened or the index lists no unit.
    bool Open(const std::string& subPath);
    // Reads the index text `idx` (the .idx file's content); `name` is used in Error().
    bool ParseIndex(const std::string& idx, const std::string& name);
    // Reads the unit of entry `index` into `out` (at most maxBytes); returns its size,
    // 0 when it cannot be read.
    int ReadUnit(int index, uint8_t* out, int maxBytes);
    // The same from the .sub bytes given (for tests and fuzzing): packs start at `position`.
    static int UnitFromPacks(const uint8_t* data, size_t size, int64_t position, uint8_t* out, int maxBytes);

    const std::vector<SEntry>& Entries() const { return entries; }
    // The palette as 0xRRGGBB, and as the PGC colour table's 0x00YYCrCb entries.
    const uint32_t* Palette() const { return palette; }
    bool HasPalette() const { return paletteRead; }
    void PgcColours(uint32_t* colours) const;
    // One 0xRRGGBB colour as the colour table holds it, (Y x 256 + Cr) x 256 + Cb.
    static uint32_t RgbToYCrCb(uint32_t rgb);
    const std::string& Error() const { return error; }

private:
    std::vector<SEntry> entries;
    uint32_t palette[16] = {};
    bool paletteRead = false;
    FilePtr sub;
    std::string subPath;
    std::string error;
};
