// CCELL: one cell of the title's program chain. Cells are planned in seconds before
// multiplexing; their boundaries then move to the first GOP whose presentation time
// reaches the planned time, and their sectors and VOBU range are filled in on the way.
// Each cell becomes one program and one chapter.
#pragma once

#include <cstdint>

class CCELL {
public:
    uint32_t startTime = 0;  // 90 kHz, offset PTS of the first VOBU once known
    uint32_t endTime = 0x9A7EC800u;  // 90 kHz; planned end, later the real end
    int32_t firstVobu = 0;  // index into the VOBU list
    int32_t lastVobu = -1;
    int32_t firstSector = 0;  // LBN of the cell's first NAV pack
    int32_t lastSector = -1;  // LBN of the cell's last pack
};
