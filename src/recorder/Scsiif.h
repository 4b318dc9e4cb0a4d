// The Linux transport: optical drives found through sysfs (/sys/class/block/srN whose
// device type is 5), opened as /dev/srN (read and write, non-blocking, exclusive, so a
// drive that is mounted or used by another program is reported rather than disturbed)
// and commanded with the SG_IO ioctl. The largest transfer is the smaller of 64 KiB
// and the queue's max_hw_sectors_kb.
#pragma once

#include "base/File.h"
#include "recorder/ASPI.h"

#include <string>
#include <vector>

class CScsiif : public CASPI {
public:
    // `root` is put before every sysfs and /dev path ("" for the running system; a
    // temporary folder holding a fake tree in tests).
    explicit CScsiif(const std::string& root = "");
    ~CScsiif() override;

    // One optical drive sysfs lists.
    struct SNode {
        std::string name;  // "sr0"
        std::string device;  // root + "/dev/sr0"
        int maxTransfer = kMaxTransfer;  // bytes
    };
    // The nodes under root's /sys/class/block named srN with device type 5, in the
    // order of N, with their largest transfer.
    static std::vector<SNode> FindNodes(const std::string& root);

    int Scan() override;
    int DeviceCount() const override { return int(devices.size()); }
    std::string DevicePath(int slot) const override;
    bool SetCurrent(int slot) override;
    int Execute(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length) override;

private:
    struct SDevice {
        SNode node;
        CFileDescriptor fd;
    };

    std::string root;
    std::vector<SDevice> devices;
};
