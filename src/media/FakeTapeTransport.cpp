#include "media/FakeTapeTransport.h"

#include "base/File.h"

#include <cstdio>

int32_t CFakeTapeTransport::DeviceType()
{
    Note("type");
    return kind == EKind::Camera ? kDeviceCamera : kDeviceVcr;
}

bool CFakeTapeTransport::QueryStatus()
{
    Note("status");
    if (kind == EKind::VcrWithoutTape) {
        error = "the transport status query failed: no tape";
        return false;
    }
    return true;
}

bool CFakeTapeTransport::Command(int32_t mode)
{
    const std::string name = ModeName(mode);
    if (name == "?") {
        error = "unknown transport mode " + std::to_string(mode);
        Note("refused " + std::to_string(mode));
        return false;
    }
    if (kind != EKind::VcrWithTape) {
        error = "the device has no tape to move";
        Note("refused " + name);
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        last = mode;
    }
    Note(name);
    return true;
}

bool CFakeTapeTransport::SetLogFile(const std::string& path)
{
    FilePtr file(std::fopen(path.c_str(), "w"));
    if (!file) {
        error = path + ": cannot write the transport log";
        return false;
    }
    std::lock_guard<std::mutex> guard(lock);
    logFile = path;
    return true;
}

std::vector<std::string> CFakeTapeTransport::Log() const
{
    std::lock_guard<std::mutex> guard(lock);
    return log;
}

int32_t CFakeTapeTransport::LastCommand() const
{
    std::lock_guard<std::mutex> guard(lock);
    return last;
}

void CFakeTapeTransport::Note(const std::string& line)
{
    std::lock_guard<std::mutex> guard(lock);
    log.push_back(line);
    if (logFile.empty()) return;
    FilePtr file(std::fopen(logFile.c_str(), "a"));
    if (file) std::fprintf(file.get(), "%s\n", line.c_str());
}
