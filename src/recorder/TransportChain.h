// Several transports seen as one device list: the machine's optical drives and the
// virtual recorder side by side, so that one recorder list offers both. Slots are
// numbered through the parts in order; each command goes to the part that holds the
// current device, and its sense data is kept here, where the driver reads it.
#pragma once

#include "recorder/ASPI.h"

#include <memory>
#include <utility>
#include <vector>

class CTransportChain : public CASPI {
public:
    CTransportChain() = default;
    ~CTransportChain() override;

    // Adds `part` (owned) after the parts already held.
    void Add(std::unique_ptr<CASPI> part);

    // Scans every part and lists their devices one after the other (at most 16 in all);
    // the parts' notes are gathered.
    int Scan() override;
    int DeviceCount() const override { return int(slots.size()); }
    std::string DevicePath(int slot) const override;
    bool SetCurrent(int slot) override;
    int Execute(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length) override;

private:
    std::vector<std::unique_ptr<CASPI>> parts;
    // Each listed device: its part and its slot in that part.
    std::vector<std::pair<int, int>> slots;
};
