#include "recorder/Burner.h"

CBurner::CBurner(std::unique_ptr<CASPI> transport_, CUiPort& ui_) : transport(std::move(transport_)), ui(ui_) {}

CBurner::~CBurner() = default;

int CBurner::Enumerate()
{
    driver.reset();
    driverIndex = -1;
    entries.clear();
    const int devices = transport->Scan();
    notes = transport->Notes();
    for (int slot = 0; slot < devices && slot < CASPI::kMaxDevices; ++slot) {
        const std::string path = transport->DevicePath(slot);
        if (!transport->SetCurrent(slot) || !transport->Inquiry()) {
            notes.push_back(path + ": does not answer INQUIRY");
            continue;
        }
        if (!transport->QueryCapabilities()) {
            notes.push_back(path + ": " + transport->vendor + " " + transport->product + " is not a DVD recorder");
            continue;
        }
        if (int(entries.size()) == kMaxEntries) break;
        SEntry entry;
        entry.vendor = transport->vendor.substr(0, 8);
        entry.product = transport->product.substr(0, 16);
        entry.name = (transport->vendor + " " + transport->product + " " + transport->revision).substr(0, 63);
        entry.valid = true;
        entry.slot = slot;
        entries.push_back(entry);
    }
    return int(entries.size());
}

int CBurner::Select(int index)
{
    if (index < 0 || index >= int(entries.size()) || !entries[size_t(index)].valid) return 0;
    driver.reset();
    driverIndex = -1;
    const SEntry& entry = entries[size_t(index)];
    if (!transport->SetCurrent(entry.slot)) return 0;
    transport->Inquiry();
    driver = std::make_unique<CCDRDRV>(*transport, ui);
    driverIndex = index;
    return 1;
}

std::vector<std::string> CBurner::Names() const
{
    std::vector<std::string> names;
    for (const SEntry& entry : entries) names.push_back(entry.name);
    return names;
}
