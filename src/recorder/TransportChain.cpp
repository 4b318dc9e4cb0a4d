#include "recorder/TransportChain.h"

CTransportChain::~CTransportChain() = default;

void CTransportChain::Add(std::unique_ptr<CASPI> part) { parts.push_back(std::move(part)); }

int CTransportChain::Scan()
{
    slots.clear();
    notes.clear();
    current = -1;
    for (int p = 0; p < int(parts.size()); ++p) {
        const int found = parts[size_t(p)]->Scan();
        for (const std::string& note : parts[size_t(p)]->Notes()) notes.push_back(note);
        for (int s = 0; s < found && int(slots.size()) < kMaxDevices; ++s) slots.emplace_back(p, s);
    }
    return int(slots.size());
}

std::string CTransportChain::DevicePath(int slot) const
{
    if (slot < 0 || slot >= int(slots.size())) return "";
    return parts[size_t(slots[size_t(slot)].first)]->DevicePath(slots[size_t(slot)].second);
}

bool CTransportChain::SetCurrent(int slot)
{
    current = -1;
    if (slot < 0 || slot >= int(slots.size())) {
        error = "recorder slot " + std::to_string(slot) + " is not in the list";
        return false;
    }
    CASPI& part = *parts[size_t(slots[size_t(slot)].first)];
    if (!part.SetCurrent(slots[size_t(slot)].second)) {
        error = part.Error();
        return false;
    }
    maxTransfer = part.MaxTransfer();
    current = slot;
    ClearSense();
    return true;
}

int CTransportChain::Execute(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length)
{
    if (current < 0) return kFailed;
    CASPI& part = *parts[size_t(slots[size_t(current)].first)];
    const int result = part.Execute(cdb, cdbLength, direction, data, length);
    // The driver reads the sense of the transport it was given: this one.
    if (result == kCheckCondition)
        StoreSense(part.Sense(), kSenseBytes);
    else
        ClearSense();
    return result;
}
