#include "recorder/Scsiif.h"

#include "base/InputFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The command time-out: long enough for a full format or the closing of a disc.
constexpr unsigned kTimeoutMs = 108000u * 1000u;
constexpr int kSgSenseBytes = 64;

bool AllDigits(const char* text)
{
    if (*text == '\0') return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

// The first line of a small sysfs file, "" when it cannot be read.
std::string ReadSysfsLine(const std::string& path)
{
    std::string content;
    std::string error;
    if (!ReadInputFile(path, 4096, content, error)) return "";
    if (size_t end = content.find_first_of("\r\n"); end != std::string::npos) content.resize(end);
    return content;
}

}  // namespace

CScsiif::CScsiif(const std::string& root_) : root(root_) {}

CScsiif::~CScsiif() = default;

std::vector<CScsiif::SNode> CScsiif::FindNodes(const std::string& root)
{
    std::vector<SNode> nodes;
    const std::string blocks = root + "/sys/class/block";
    DIR* folder = ::opendir(blocks.c_str());
    if (!folder) return nodes;
    while (dirent* entry = ::readdir(folder)) {
        if (std::strncmp(entry->d_name, "sr", 2) != 0 || !AllDigits(entry->d_name + 2)) continue;
        const std::string name = entry->d_name;
        if (ReadSysfsLine(blocks + "/" + name + "/device/type") != "5") continue;
        SNode node;
        node.name = name;
        node.device = root + "/dev/" + name;
        const std::string kb = ReadSysfsLine(blocks + "/" + name + "/queue/max_hw_sectors_kb");
        if (!kb.empty() && AllDigits(kb.c_str())) {
            const long long bytes = std::atoll(kb.c_str()) * 1024;
            if (bytes >= 2048) node.maxTransfer = int(std::min<long long>(bytes, kMaxTransfer));
        }
        nodes.push_back(node);
    }
    ::closedir(folder);
    std::sort(nodes.begin(), nodes.end(), [](const SNode& a, const SNode& b) {
        return std::atoi(a.name.c_str() + 2) < std::atoi(b.name.c_str() + 2);
    });
    return nodes;
}

int CScsiif::Scan()
{
    devices.clear();
    notes.clear();
    current = -1;
    for (const SNode& node : FindNodes(root)) {
        if (int(devices.size()) == kMaxDevices) break;
        struct stat st {};
        if (::stat(node.device.c_str(), &st) != 0) {
            notes.push_back(node.device + ": " + std::strerror(errno));
            continue;
        }
        if (!S_ISBLK(st.st_mode)) {
            notes.push_back(node.device + ": not a block device");
            continue;
        }
        const int fd = ::open(node.device.c_str(), O_RDWR | O_NONBLOCK | O_EXCL | O_CLOEXEC);
        if (fd < 0) {
            const int code = errno;
            notes.push_back(node.device + ": " +
                            (code == EBUSY ? std::string("busy or mounted")
                                 : code == EACCES || code == EPERM
                                 ? std::string("no permission to open it for reading and writing")
                                 : std::string(std::strerror(code))));
            continue;
        }
        SDevice device;
        device.node = node;
        device.fd.Reset(fd);
        devices.push_back(std::move(device));
    }
    return int(devices.size());
}

std::string CScsiif::DevicePath(int slot) const
{
    return slot >= 0 && slot < int(devices.size()) ? devices[size_t(slot)].node.device : "";
}

bool CScsiif::SetCurrent(int slot)
{
    if (slot < 0 || slot >= int(devices.size())) {
        error = "no optical drive number " + std::to_string(slot);
        return false;
    }
    current = slot;
    maxTransfer = devices[size_t(slot)].node.maxTransfer;
    return true;
}

int CScsiif::Execute(const uint8_t* cdb, int cdbLength, Direction direction, uint8_t* data, int length)
{
    if (current < 0 || !cdb || cdbLength < 6 || cdbLength > 16) return kFailed;
    uint8_t command[16] = {};
    std::memcpy(command, cdb, size_t(cdbLength));
    uint8_t senseBytes[kSgSenseBytes] = {};
    sg_io_hdr_t request{};
    request.interface_id = 'S';
    request.cmd_len = uint8_t(cdbLength);
    request.cmdp = command;
    request.mx_sb_len = kSgSenseBytes;
    request.sbp = senseBytes;
    request.timeout = kTimeoutMs;
    if (direction == Direction::None || !data || length <= 0) {
        request.dxfer_direction = SG_DXFER_NONE;
    } else {
        request.dxfer_direction = direction == Direction::In ? SG_DXFER_FROM_DEV : SG_DXFER_TO_DEV;
        request.dxferp = data;
        request.dxfer_len = unsigned(length);
    }
    int done;
    do {
        done = ::ioctl(devices[size_t(current)].fd.Get(), SG_IO, &request);
    } while (done < 0 && errno == EINTR);
    if (done < 0) return kFailed;
    if (request.status == 0 && request.host_status == 0 && (request.driver_status & ~0x08) == 0) return kGood;
    if (request.status != 0x02 && (request.driver_status & 0x08) == 0) return kFailed;
    if (request.sb_len_wr == 0) return kFailed;
    // Descriptor-format sense (72h/73h) is kept in the fixed format the rest reads.
    uint8_t fixed[kSenseBytes] = {};
    if ((senseBytes[0] & 0x7F) == 0x72 || (senseBytes[0] & 0x7F) == 0x73) {
        fixed[0] = 0x70;
        fixed[2] = senseBytes[1] & 0x0F;
        fixed[7] = 10;
        fixed[12] = senseBytes[2];
        fixed[13] = senseBytes[3];
        StoreSense(fixed, 18);
    } else {
        StoreSense(senseBytes, request.sb_len_wr);
    }
    return sense[2] != 0 ? kCheckCondition : kFailed;
}
