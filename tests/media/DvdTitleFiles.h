// Title set files written by hand for the DVD source tests: a VTS_nn_0.IFO holding one
// program chain, VOB files of chosen sizes (sparse when large) and 2048-byte packs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Bytes.h"
#include "media/IfoLayout.h"
#include "support/TestSupport.h"

namespace dvdtest {

struct SCell {
    uint32_t time;  // BCD hh mm ss ff
    uint32_t first;
    uint32_t last;
};

// A title set IFO (sector 0: header, sector 1: program chain table with one chain).
inline std::vector<uint8_t> VtsIfo(const std::vector<SCell>& cells, const std::vector<uint8_t>& entryCells,
                                   uint32_t chainTime, uint8_t videoAttributes = 0x01)
{
    using namespace ifo;
    std::vector<uint8_t> b(2 * kSectorBytes, 0);
    std::copy_n("DVDVIDEO-VTS", 12, b.begin());
    PutBe32(&b[vtsi::kVtsiLastSector], 1);
    PutBe32(&b[vtsi::kVtsPgcit], 1);
    b[vtsi::kVtsVideoAttr] = videoAttributes;
    uint8_t* t = &b[kSectorBytes];
    PutBe16(t + table::kCount, 1);
    PutBe32(t + table::kLastByte, kSectorBytes - 1);
    t[table::kHeaderLength + pgcit::kEntryId] = pgcit::kEntryTitle1;
    PutBe32(t + table::kHeaderLength + pgcit::kPgcStartByte, 16);
    uint8_t* pgcStart = t + 16;
    pgcStart[pgc::kNrOfPrograms] = uint8_t(entryCells.size());
    pgcStart[pgc::kNrOfCells] = uint8_t(cells.size());
    PutBe32(pgcStart + pgc::kPlaybackTime, chainTime);
    const int map = pgc::kHeaderLength;
    const int playback = map + int((entryCells.size() + 1) & ~size_t(1));
    PutBe16(pgcStart + pgc::kProgramMapOffset, uint32_t(map));
    PutBe16(pgcStart + pgc::kCellPlaybackOffset, uint32_t(playback));
    std::copy(entryCells.begin(), entryCells.end(), pgcStart + map);
    for (size_t c = 0; c < cells.size(); ++c) {
        uint8_t* e = pgcStart + playback + c * cellPlayback::kEntryLength;
        PutBe32(e + cellPlayback::kPlaybackTime, cells[c].time);
        PutBe32(e + cellPlayback::kFirstSector, cells[c].first);
        PutBe32(e + cellPlayback::kLastSector, cells[c].last);
    }
    return b;
}

// A 2048-byte pack holding a private stream 1 packet of sub-stream `subStream`, the rest
// of the packet filled with `fill`.
inline std::vector<uint8_t> AudioPack(uint8_t subStream, uint8_t fill)
{
    std::vector<uint8_t> p(2048, fill);
    const uint8_t head[] = {0x00, 0x00, 0x01, 0xBA, 0x44, 0,    4,    0,    4,    1,    0x01, 0x89, 0xC3, 0xF8,
                            0x00, 0x00, 0x01, 0xBD, 0x07, 0xEC, 0x81, 0x80, 0x05, 0x21, 0,    1,    0,    1};
    std::copy(std::begin(head), std::end(head), p.begin());
    p[28] = subStream;
    return p;
}

// Creates `path` of `size` bytes without writing them (a sparse file of zeros).
inline bool SparseFile(const std::string& path, int64_t size)
{
    return testsupport::Run("truncate -s " + std::to_string(size) + " " + testsupport::Quote(path)).exitCode == 0;
}

}  // namespace dvdtest
