// The recorder list: the devices of one transport that answered INQUIRY and whose
// capability page says they record, at most 16, each with its display name; and the
// driver of the selected one. Built once (Enumerate) and kept for the program's life.
#pragma once

#include "base/UiPort.h"
#include "recorder/ASPI.h"
#include "recorder/CDRDRV.h"

#include <memory>
#include <string>
#include <vector>

class CBurner {
public:
    static constexpr int kMaxEntries = 16;

    struct SEntry {
        std::string vendor;  // at most 8 characters
        std::string product;  // at most 16
        std::string name;  // "vendor product revision", at most 63
        bool valid = false;
        int slot = -1;  // the device's slot in the transport
    };

    // A list over `transport` (owned); drivers show their messages through `ui`, which
    // must outlive the list.
    explicit CBurner(std::unique_ptr<CASPI> transport, CUiPort& ui = Ui());
    ~CBurner();
    CBurner(const CBurner&) = delete;
    CBurner& operator=(const CBurner&) = delete;

    // Scans the transport and lists every device that passes INQUIRY and the capability
    // check. Returns the number of entries.
    int Enumerate();
    // Makes entry `index` current and gives it a fresh driver. Returns 1, or 0 for an
    // index outside the list or an invalid entry.
    int Select(int index);

    int EntryCount() const { return int(entries.size()); }
    const SEntry& Entry(int index) const { return entries[size_t(index)]; }
    // The entries' display names, in order.
    std::vector<std::string> Names() const;
    // The driver of the selected entry, nullptr before Select.
    CCDRDRV* Driver() { return driver.get(); }
    // The entry whose driver exists, -1 before Select.
    int DriverIndex() const { return driverIndex; }
    CASPI& Transport() { return *transport; }
    // Devices seen but not listed, one line each (busy, no permission, not a recorder).
    const std::vector<std::string>& Notes() const { return notes; }

private:
    std::unique_ptr<CASPI> transport;
    CUiPort& ui;
    std::vector<SEntry> entries;
    std::vector<std::string> notes;
    std::unique_ptr<CCDRDRV> driver;
    int driverIndex = -1;
};
