// CSystemInfo answered by the running Linux system: uname, /etc/os-release,
// /proc/meminfo, statvfs, cpuid, /proc (processes, mounts) and sysfs.
#pragma once

#include "platform/SystemInfo.h"

class CLinuxSystem : public CSystemInfo {
public:
    // `root` prefixes every /proc, /sys, /etc and /dev path read (tests point it at a
    // prepared tree); "" reads the real system.
    explicit CLinuxSystem(std::string root = "") : root(std::move(root)) {}

    std::string KernelText() override;
    std::string DistributionText() override;
    bool Memory(uint64_t& totalBytes, uint64_t& freeBytes) override;
    bool FreeSpace(const std::string& path, uint64_t& freeBytes) override;
    std::string CpuVendor() override;
    CCpuFeatures CpuFeatures() override;
    int CoreCount() override;
    std::vector<std::string> Processes() override;
    std::vector<COpticalDrive> OpticalDrives() override;
    // From /sys/class/pktcdvd/device_map, /dev/pktcdvd/ and /proc/mounts.
    std::vector<SPacketWriter> PacketWriters() override;

private:
    std::string root;
};
