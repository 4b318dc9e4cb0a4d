// One program chain as the IFO files hold it: the header (programs, cells, playback
// time, stream controls, colours), the command table, the program map, the cell
// playback table and the cell position table, in that order.
#pragma once

#include "dvd/VmCommand.h"

#include <array>
#include <cstdint>
#include <vector>

// One cell of a chain: where it lies and how long it plays.
struct SPgcCell {
    uint8_t category = 0;  // block, seamless and STC flags
    std::array<uint8_t, 4> playbackTime{};
    uint32_t firstSector = 0;
    uint32_t lastVobuStartSector = 0;
    uint32_t lastSector = 0;
    uint16_t vobId = 1;  // for the cell position table
    uint8_t cellNr = 1;
};

struct SProgramChain {
    std::array<uint8_t, 4> playbackTime{};  // BCD, see PutBcdTime
    std::array<uint16_t, 8> audioControl{};  // 0x8000: the stream is available
    std::array<uint32_t, 32> subpControl{};  // 0x80000000: the stream is available
    std::array<uint32_t, 16> palette{};  // 0x00YYCrCb
    std::vector<VmCommand> preCommands;
    std::vector<VmCommand> postCommands;
    std::vector<uint8_t> programMap;  // entry cell of each program
    std::vector<SPgcCell> cells;
};

// The bytes WritePgc writes for `chain`.
int PgcLength(const SProgramChain& chain);

// Clears PgcLength(chain) bytes at `out` and writes the chain there. A table that is
// empty gets offset 0; the command table follows the header, the program map the
// commands, and the cell tables start on an even offset. Returns the length written.
int WritePgc(uint8_t* out, const SProgramChain& chain);
