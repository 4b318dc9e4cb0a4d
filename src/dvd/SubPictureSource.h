// CSubPictureSource: what the multiplexer needs from a subtitle source — the start time
// of the next sub-picture unit and the unit itself. The subtitle readers implement it;
// the multiplexer does not own it.
#pragma once

#include <cstdint>

class CSubPictureSource {
public:
    virtual ~CSubPictureSource() = default;
    // 90 kHz start time of the next unit, relative to the title; 0x9A7EC800 when no
    // unit is left.
    virtual uint32_t NextUnitTime() = 0;
    // Copies the next encoded sub-picture unit (at most maxBytes) into `buffer` and
    // moves on to the following one; returns its size, 0 when none is left.
    virtual int ReadUnit(uint8_t* buffer, int maxBytes) = 0;
};
