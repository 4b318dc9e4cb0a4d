// CAvc1394Transport: the tape transport of a DV camcorder over IEEE 1394 (AV/C
// commands through libavc1394 on libraw1394). The libraries are loaded when a device
// is first looked for, so that the program runs on machines without them.
#pragma once

#include "media/TapeTransport.h"

#include <cstdint>
#include <string>
#include <vector>

class CAvc1394Transport : public CTapeTransport {
public:
    CAvc1394Transport() = default;
    ~CAvc1394Transport() override;
    CAvc1394Transport(const CAvc1394Transport&) = delete;
    CAvc1394Transport& operator=(const CAvc1394Transport&) = delete;

    // The AV/C devices on every IEEE 1394 port, one line each: the GUID (16 hex
    // digits, as --device takes it) and what the device is. Empty, with the reason in
    // `why`, when there is none or the FireWire stack (library, driver, card) is absent.
    static std::vector<std::string> ListDevices(std::string& why);

    // Reads a GUID as --list shows it (hex digits, "0x" allowed). False when it is not one.
    static bool ParseGuid(const std::string& text, uint64_t& guid);

    // Opens the AV/C device with `guid` (empty: the first one found). False when the
    // libraries, a port or the device cannot be had; Error() says which.
    bool Open(const std::string& guid);

    int32_t DeviceType() override;
    bool QueryStatus() override;
    bool Command(int32_t mode) override;
    const std::string& Error() const override { return error; }

private:
    void Close();

    void* handle = nullptr;  // raw1394handle_t
    int32_t node = -1;
    std::string error;
};
