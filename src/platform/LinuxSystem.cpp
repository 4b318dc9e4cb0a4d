#include "platform/LinuxSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace {

CLinuxSystem& RunningSystem()
{
    static CLinuxSystem running;
    return running;
}

CSystemInfo* installed = nullptr;

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream in(path);
    std::string line;
    if (in) std::getline(in, line);
    return line;
}

std::string BaseName(const std::string& path)
{
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool AllDigits(const char* text)
{
    if (!*text) return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

}  // namespace

CSystemInfo& System() { return installed ? *installed : RunningSystem(); }

void SetSystem(CSystemInfo* system) { installed = system; }

std::string CLinuxSystem::KernelText()
{
    if (!root.empty()) {
        std::string type = ReadFirstLine(root + "/proc/sys/kernel/ostype");
        std::string release = ReadFirstLine(root + "/proc/sys/kernel/osrelease");
        return release.empty() ? type : type + " " + release;
    }
    utsname name;
    if (uname(&name) != 0) return "Linux";
    return std::string(name.sysname) + " " + name.release;
}

std::string CLinuxSystem::DistributionText()
{
    for (const char* file : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream in(root + file);
        std::string line;
        while (in && std::getline(in, line)) {
            if (line.rfind("PRETTY_NAME=", 0) != 0) continue;
            std::string value = line.substr(12);
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

bool CLinuxSystem::Memory(uint64_t& totalBytes, uint64_t& freeBytes)
{
    std::ifstream in(root + "/proc/meminfo");
    if (!in) return false;
    uint64_t total = 0, available = 0, memFree = 0;
    bool haveTotal = false, haveAvailable = false, haveFree = false;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        uint64_t kib = 0;
        if (!(fields >> key >> kib)) continue;
        if (key == "MemTotal:") {
            total = kib;
            haveTotal = true;
        } else if (key == "MemAvailable:") {
            available = kib;
            haveAvailable = true;
        } else if (key == "MemFree:") {
            memFree = kib;
            haveFree = true;
        }
    }
    if (!haveTotal) return false;
    totalBytes = total * 1024;
    // MemAvailable counts reclaimable caches too, which is what "free" means to a user;
    // old kernels lack it.
    freeBytes = (haveAvailable ? available : haveFree ? memFree : 0) * 1024;
    return true;
}

bool CLinuxSystem::FreeSpace(const std::string& path, uint64_t& freeBytes)
{
    struct statvfs fsInfo;
    if (statvfs(path.c_str(), &fsInfo) != 0) return false;
    freeBytes = static_cast<uint64_t>(fsInfo.f_bavail) * fsInfo.f_frsize;
    return true;
}

std::string CLinuxSystem::CpuVendor()
{
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(0, &eax, &ebx, &ecx, &edx)) return {};
    char vendor[13] = {};
    std::memcpy(vendor, &ebx, 4);
    std::memcpy(vendor + 4, &edx, 4);
    std::memcpy(vendor + 8, &ecx, 4);
    return vendor;
#else
    return {};
#endif
}

CCpuFeatures CLinuxSystem::CpuFeatures()
{
    CCpuFeatures features;
#if defined(__x86_64__) || defined(__i386__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx)) {
        features.mmx = (edx >> 23) & 1;
        features.sse = (edx >> 25) & 1;
        features.sse2 = (edx >> 26) & 1;
    }
#endif
    return features;
}

int CLinuxSystem::CoreCount()
{
    long online = sysconf(_SC_NPROCESSORS_ONLN);
    if (online < 1) online = static_cast<long>(std::thread::hardware_concurrency());
    return online < 1 ? 1 : static_cast<int>(online);
}

std::vector<std::string> CLinuxSystem::Processes()
{
    std::vector<std::pair<long, std::string>> found;
    const std::string proc = root + "/proc";
    DIR* folder = opendir(proc.c_str());
    if (!folder) return {};
    while (dirent* entry = readdir(folder)) {
        if (!AllDigits(entry->d_name)) continue;
        const std::string base = proc + "/" + entry->d_name;
        // The executable's own name when we may read the link; else the kernel's
        // (possibly shortened) command name.
        std::string name;
        char target[4096];
        ssize_t length = readlink((base + "/exe").c_str(), target, sizeof target - 1);
        if (length > 0) {
            target[length] = '\0';
            name = BaseName(target);
            const char deleted[] = " (deleted)";
            if (name.size() > sizeof deleted - 1 &&
                name.compare(name.size() - (sizeof deleted - 1), std::string::npos, deleted) == 0)
                name.resize(name.size() - (sizeof deleted - 1));
        }
        if (name.empty()) name = ReadFirstLine(base + "/comm");
        if (name.empty()) continue;  // the process ended while we looked
        found.emplace_back(std::strtol(entry->d_name, nullptr, 10), name);
    }
    closedir(folder);
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& process : found) names.push_back(std::move(process.second));
    return names;
}

std::vector<COpticalDrive> CLinuxSystem::OpticalDrives()
{
    std::vector<COpticalDrive> drives;
    const std::string blocks = root + "/sys/class/block";
    DIR* folder = opendir(blocks.c_str());
    if (!folder) return drives;
    std::vector<std::string> names;
    while (dirent* entry = readdir(folder)) {
        if (std::strncmp(entry->d_name, "sr", 2) == 0 && AllDigits(entry->d_name + 2))
            names.emplace_back(entry->d_name);
    }
    closedir(folder);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return std::atoi(a.c_str() + 2) < std::atoi(b.c_str() + 2);
    });
    for (const std::string& name : names) {
        COpticalDrive drive;
        drive.device = root + "/dev/" + name;
        struct stat st;
        if (stat(drive.device.c_str(), &st) != 0) continue;
        drive.readWrite = access(drive.device.c_str(), R_OK | W_OK) == 0;
        if (const group* owner = getgrgid(st.st_gid); owner && owner->gr_name) drive.group = owner->gr_name;
        drives.push_back(drive);
    }
    return drives;
}

namespace {

// A path field of /proc/mounts with its octal escapes ("\040" for a space) undone.
std::string UnescapeMountField(const std::string& field)
{
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
            field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
            text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// True for "/dev/sr<digits>", the kernel's name for an optical drive.
bool IsOpticalDevice(const std::string& device)
{
    return device.rfind("/dev/sr", 0) == 0 && AllDigits(device.c_str() + 7);
}

// True when the comma-separated mount options hold `option` as a whole word.
bool HasOption(const std::string& options, const std::string& option)
{
    std::istringstream words(options);
    std::string word;
    while (std::getline(words, word, ','))
        if (word == option) return true;
    return false;
}

}  // namespace

std::vector<SPacketWriter> CLinuxSystem::PacketWriters()
{
    std::vector<SPacketWriter> writers;
    auto find = [&writers](const std::string& device) {
        return std::find_if(writers.begin(), writers.end(),
                            [&device](const SPacketWriter& writer) { return writer.device == device; });
    };

    // The kernel's map of packet devices: "NAME PKT-MAJOR:MINOR BLOCK-MAJOR:MINOR" per
    // line; the block device numbers lead through /sys/dev/block to the drive's name.
    std::ifstream map(root + "/sys/class/pktcdvd/device_map");
    std::string line;
    while (map && std::getline(map, line)) {
        std::istringstream fields(line);
        std::string name, packetNumbers, blockNumbers;
        if (!(fields >> name >> packetNumbers >> blockNumbers) || name.find('/') != std::string::npos) continue;
        SPacketWriter writer;
        writer.device = "/dev/pktcdvd/" + name;
        std::error_code error;
        const std::string target =
            std::filesystem::read_symlink(root + "/sys/dev/block/" + blockNumbers, error).filename().string();
        if (!error && !target.empty()) writer.drive = "/dev/" + target;
        if (find(writer.device) == writers.end()) writers.push_back(writer);
    }

    // Device nodes made by pktsetup or udev; "control" is the interface, not a device.
    const std::string nodes = root + "/dev/pktcdvd";
    if (DIR* folder = opendir(nodes.c_str())) {
        std::vector<std::string> names;
        while (dirent* entry = readdir(folder)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && name != "control") names.push_back(name);
        }
        closedir(folder);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names)
            if (find("/dev/pktcdvd/" + name) == writers.end()) writers.push_back({"/dev/pktcdvd/" + name, "", ""});
    }

    // UDF mounted from a packet device, or read-write straight from an optical drive
    // (DVD-RAM, DVD+RW); a read-only UDF mount is just a disc being read.
    std::ifstream mounts(root + "/proc/mounts");
    while (mounts && std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source, mountPoint, type, options;
        if (!(fields >> source >> mountPoint >> type >> options) || type != "udf") continue;
        source = UnescapeMountField(source);
        const bool packetDevice = source.rfind("/dev/pktcdvd/", 0) == 0;
        if (!packetDevice && !(IsOpticalDevice(source) && HasOption(options, "rw"))) continue;
        auto known = find(source);
        if (known == writers.end()) {
            writers.push_back({source, "", ""});
            known = writers.end() - 1;
        }
        if (known->mountPoint.empty()) known->mountPoint = UnescapeMountField(mountPoint);
    }
    return writers;
}
