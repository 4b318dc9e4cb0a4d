// The one small interface every way of reaching a recorder sits behind: a list of
// devices, one of them current, and Execute, which carries one SCSI command block with
// its data to the current device and brings back the status and the sense data. The
// Linux SG_IO transport (CScsiif) and the virtual recorder (CVirtualRecorder) each
// supply the device list and Execute; the INQUIRY and capability questions that decide
// whether a device is a recorder are asked here, once, for both.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CASPI {
public:
    static constexpr int kMaxDevices = 16;
    static constexpr int kMaxTransfer = 65536;
    static constexpr int kSenseBytes = 64;

    // Results of Execute.
    static constexpr int kGood = 0;
    static constexpr int kFailed = 1;
    static constexpr int kCheckCondition = 2;

    enum class Direction { None, In, Out };

    CASPI() = default;
    virtual ~CASPI() = default;
    CASPI(const CASPI&) = delete;
    CASPI& operator=(const CASPI&) = delete;

    // Finds the devices (at most 16) and returns how many there are. Devices that were
    // seen but could not be opened (busy, mounted, no permission) are left out and
    // described in Notes.
    virtual int Scan() = 0;
    // The number of devices found by the last Scan.
    virtual int DeviceCount() const = 0;
    // The path or name of device `slot` ("/dev/sr0"), "" outside the list.
    virtual std::string DevicePath(int slot) const = 0;
    // Makes device `slot` the current one and reads its largest transfer. False outside
    // the list or when the device cannot be reached (Error says why).
    virtual bool SetCurrent(int slot) = 0;

    // Sends one command block (6, 10 or 12 bytes) to the current device, with `length`
    // bytes of data read into `data` (In), sent from it (Out) or none. Returns kGood,
    // kCheckCondition when the device answered with sense data whose key byte is not
    // zero (kept in Sense), or kFailed for anything else.
    virtual int Execute(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length) = 0;

    // INQUIRY of the current device: fills the four strings. False when it failed.
    bool Inquiry();
    // MODE SENSE(10) of the capability page 2Ah: fills the underrun ability and the write
    // speeds. Returns true when the device reads DVD-ROM and writes recordable media.
    bool QueryCapabilities();

    // The sense data of the last check condition (64 bytes) and its parts.
    const uint8_t* Sense() const { return sense; }
    int SenseKey() const { return sense[2] & 0x0F; }
    int Asc() const { return sense[12]; }
    int Ascq() const { return sense[13]; }
    // "key/ASC/ASCQ" in hex, for messages: "2/04/08".
    std::string SenseText() const;

    // The largest number of bytes one command may move on the current device.
    int MaxTransfer() const { return maxTransfer; }
    // The current device's slot, -1 before SetCurrent.
    int CurrentSlot() const { return current; }

    // Why the last Scan or SetCurrent failed (names the device).
    const std::string& Error() const { return error; }
    // One line per device seen but left out by Scan ("/dev/sr1: busy or mounted").
    const std::vector<std::string>& Notes() const { return notes; }

    // The current device's inquiry strings, trailing spaces removed.
    std::string vendor;
    std::string product;
    std::string revision;
    std::string vendorSpecific;
    // From the capability page: buffer-underrun protection, the current write speed and
    // the supported write speeds (kB/s, at most 256).
    bool underrunSupported = false;
    int currentWriteSpeed = 0;
    std::vector<int> writeSpeeds;

protected:
    // Keeps `length` bytes of sense data (at most 64) as the last sense.
    void StoreSense(const uint8_t* data, int length);
    void ClearSense();

    uint8_t sense[kSenseBytes] = {};
    int maxTransfer = kMaxTransfer;
    int current = -1;
    std::string error;
    std::vector<std::string> notes;
};
