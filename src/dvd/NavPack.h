// The navigation pack at the head of every VOBU: its presentation control (PCI) and
// data search (DSI) information. A NAV pack is filled when its VOBU starts, linked to
// the previous one, completed once the title is finished, and finally written back
// over its place in the VOB files.
#pragma once

#include "dvd/CELL.h"
#include "dvd/VOBU.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CUiPort;

// What a new VOBU's NAV pack says about itself.
struct SNavStart {
    uint32_t lbn = 0;  // the NAV pack's sector in the title set
    uint32_t startPts = 0;  // presentation start of the VOBU (90 kHz)
    uint32_t scr = 0;  // system clock at the pack (90 kHz)
    uint32_t cellElapsed = 0;  // time since the cell started (90 kHz)
    uint32_t titleStartPts = 0;  // presentation start of the first VOBU
    int frameRate = 30;  // 30 or 25
    int cellNumber = 1;  // 1-based
    bool subPictures = false;  // a sub-picture stream is present
};

namespace nav {

// Builds the NAV pack of `v` from its pack and system headers (14 and 24 bytes) and
// `s`, and links it with `previous` (null for the title's first VOBU): backward links
// always, forward links only within a cell (`v.startsCell` must be set).
void StartNavPack(CVOBU& v, CVOBU* previous, const uint8_t* packHeader, const uint8_t* systemHeader,
                  const SNavStart& s);
// The presentation start of the title as `v` records it.
uint32_t TitleStartPts(const CVOBU& v);
// Records the end of reference picture `index` (0..2) at `endLbn`.
void SetReferenceEnd(CVOBU& v, int index, int32_t endLbn);
// Records the first audio pack of the VOBU at `packLbn`.
void SetAudioSync(CVOBU& v, int32_t packLbn);
// Marks the sub-picture stream's entry as present.
void SetSubPictureSync(CVOBU& v);
// Completes the NAV packs of a finished title: forward links end at every cell's last
// VOBU, the last VOBU ends at `lastVideoPts` and the title's end time goes into all.
void CompleteTitle(const std::vector<CVOBU*>& vobus, const std::vector<CCELL>& cells, uint32_t lastVideoPts,
                   int32_t packsWritten);

// Writes every NAV pack over its place in the VOB files, showing progress through `ui`. `vobSectors[j]` is the size
// of VOB file j (index 0 is the menu file, usually 0; 10 entries); `vobPath(j)` names
// it. Returns false when a pack lies beyond the files or a file could not be opened
// or written.
bool WriteNavPacks(CUiPort& ui, const std::vector<CVOBU*>& vobus, const int32_t* vobSectors,
                   const std::function<std::string(int)>& vobPath);

}  // namespace nav
