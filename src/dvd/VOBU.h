// CVOBU: one video object unit of a title set, i.e. one GOP of the video with the
// navigation pack in front of it. The record keeps the only complete copy of the
// NAV pack: it is filled while multiplexing, completed once the following unit and the
// end of the title are known, and finally written back into the VOB file.
#pragma once

#include <cstdint>

class CVOBU {
public:
    static constexpr int packSize = 2048;
    // Pack offsets of the two halves of a NAV pack.
    static constexpr int pciOffset = 45;  // PCI data (after its sub-stream byte 0x00)
    static constexpr int dsiOffset = 1031;  // DSI data (after its sub-stream byte 0x01)

    // A zeroed image with the PCI and DSI sub-stream bytes in place.
    CVOBU();

    // Big-endian fields of the image, addressed by pack offset.
    void Put32(int offset, uint32_t value);
    void Put16(int offset, uint16_t value);
    uint32_t Get32(int offset) const;
    // Fields addressed relative to the PCI or DSI data.
    void PutPci32(int offset, uint32_t value) { Put32(pciOffset + offset, value); }
    void PutDsi32(int offset, uint32_t value) { Put32(dsiOffset + offset, value); }
    uint32_t GetPci32(int offset) const { return Get32(pciOffset + offset); }
    uint32_t GetDsi32(int offset) const { return Get32(dsiOffset + offset); }

    // The logical block number of the NAV pack (PCI NV_PCK_LBN).
    uint32_t Lbn() const { return GetPci32(0); }
    // The presentation start time of the unit (PCI VOBU_S_PTM).
    uint32_t StartPtm() const { return GetPci32(12); }

    uint8_t image[packSize];
    int cellIndex = 0;  // index of the cell the unit belongs to
    bool startsCell = false;  // first unit of a cell
};
