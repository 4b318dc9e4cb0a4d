// CTapeTransport: the tape transport of a DV camcorder or recorder (AV/C over IEEE
// 1394, or a stand-in for tests and DV files). The capture asks what kind of device it
// is and whether it holds a tape, and sends the transport commands by their mode values.
#pragma once

#include <cstdint>
#include <string>

// The device types the external-device query answers.
enum : int32_t {
    kDeviceUnknown = 0,
    kDeviceVcr = 4104,  // a tape recorder in VCR mode
    kDeviceCamera = 4996,  // a camera (recording mode)
};

// Transport modes (the commands a capture sends).
enum : int32_t {
    kTransportPlay = 4296,
    kTransportStop = 4297,
    kTransportPause = 4298,
    kTransportFastForward = 4300,
    kTransportRewind = 4301,
    kTransportFastPlayForward = 5029,
    kTransportFastPlayReverse = 5031,
};

class CTapeTransport {
public:
    virtual ~CTapeTransport() = default;

    // The device type: kDeviceVcr, kDeviceCamera or kDeviceUnknown.
    virtual int32_t DeviceType() = 0;
    // Asks the transport's status. False when the query fails (no tape).
    virtual bool QueryStatus() = 0;
    // Sends the transport mode `mode` (kTransport...). False when the device refused it
    // or the mode is unknown; Error() says why.
    virtual bool Command(int32_t mode) = 0;
    // Why the last call failed.
    virtual const std::string& Error() const = 0;

    // The name of a transport mode ("Play", "Stop", ...); "?" for an unknown value.
    static const char* ModeName(int32_t mode)
    {
        switch (mode) {
        case kTransportPlay:
            return "Play";
        case kTransportStop:
            return "Stop";
        case kTransportPause:
            return "Pause";
        case kTransportFastForward:
            return "Fast Forward";
        case kTransportRewind:
            return "Rewind";
        case kTransportFastPlayForward:
            return "Fast Play Fwd";
        case kTransportFastPlayReverse:
            return "Fast Play Rev";
        default:
            return "?";
        }
    }
};
