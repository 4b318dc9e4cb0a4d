// Facts about the machine for the start-up checks and the diagnostic log. The running
// system answers through CLinuxSystem; tests install their own answers with SetSystem.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One optical drive device and whether this process may open it for reading and writing.
struct COpticalDrive {
    std::string device;  // "/dev/sr0"
    bool readWrite = false;  // open(O_RDWR) would be allowed
    std::string group;  // the group that owns the device ("cdrom"), or ""
};

// A drive in packet-writing use: a pktcdvd device, or a UDF file system mounted for
// writing straight from an optical drive. Such use keeps the drive busy and disturbs a
// burn.
struct SPacketWriter {
    std::string device;  // "/dev/pktcdvd/dvd0" or, for a UDF mount, "/dev/sr0"
    std::string drive;  // the optical drive behind a pktcdvd device ("/dev/sr0"), or ""
    std::string mountPoint;  // where it is mounted, or "" when it is not
};

struct CCpuFeatures {
    bool mmx = false;
    bool sse = false;
    bool sse2 = false;
};

class CSystemInfo {
public:
    virtual ~CSystemInfo() = default;
    // Kernel name and release, e.g. "Linux 6.1.0-18-amd64".
    virtual std::string KernelText() = 0;
    // The distribution's name, e.g. "Debian GNU/Linux 12 (bookworm)", or "".
    virtual std::string DistributionText() = 0;
    // Physical memory in bytes, total and available; false when unknown.
    virtual bool Memory(uint64_t& totalBytes, uint64_t& freeBytes) = 0;
    // Bytes free for this user on the file system holding `path`; false when unknown.
    virtual bool FreeSpace(const std::string& path, uint64_t& freeBytes) = 0;
    // The 12-character processor vendor text ("GenuineIntel"), or "" off x86.
    virtual std::string CpuVendor() = 0;
    // MMX, SSE and SSE2 from the processor identification (function 1, EDX bits 23/25/26).
    virtual CCpuFeatures CpuFeatures() = 0;
    // Processors available to the program (at least 1).
    virtual int CoreCount() = 0;
    // Executable names of the running processes, in ascending process-id order.
    virtual std::vector<std::string> Processes() = 0;
    // The optical drives of the machine.
    virtual std::vector<COpticalDrive> OpticalDrives() = 0;
    // The drives in packet-writing use: every pktcdvd device, then every UDF file system
    // mounted read-write from an optical drive, each device once.
    virtual std::vector<SPacketWriter> PacketWriters() = 0;
};

// The system in force: CLinuxSystem unless a test installed another one.
CSystemInfo& System();
// Installs `system` (not owned); nullptr restores the running system.
void SetSystem(CSystemInfo* system);
