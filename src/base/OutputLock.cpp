#include "base/OutputLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// The process number written in a lock file, 0 when it holds none.
long LockOwner(int fd)
{
    char text[32] = {};
    const size_t got = ReadDescriptorAt(fd, text, sizeof text - 1, 0);
    text[got] = '\0';
    return std::strtol(text, nullptr, 10);
}

// " (process 1234, kestrova)", or "" when the owner is not known.
std::string OwnerText(long pid)
{
    if (pid <= 0) return "";
    std::string name;
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::getline(comm, name);
    return " (process " + std::to_string(pid) + (name.empty() ? "" : ", " + name) + ")";
}

}  // namespace

std::string COutputLock::LockFileFor(const std::string& output)
{
    std::string trimmed = output;
    while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
    std::error_code ec;
    fs::path path = fs::absolute(fs::path(trimmed), ec);
    const fs::path resolved = fs::weakly_canonical(path, ec);
    if (!ec) path = resolved;
    return (path.parent_path() / ("." + path.filename().string() + ".lock")).string();
}

COutputLock::EResult COutputLock::Acquire(const std::string& output, bool makeParent)
{
    Release();
    error.clear();
    reason.clear();
    const std::string file = LockFileFor(output);
    auto fail = [&](int number) {
        reason = std::strerror(number);
        error = output + ": cannot write (" + reason + ")";
        return EResult::Failed;
    };
    if (makeParent) {
        std::error_code ec;
        fs::create_directories(fs::path(file).parent_path(), ec);
        if (ec) return fail(ec.value());
    }
    // The previous owner removes the file when it lets go, so a file opened just before
    // that is checked to be the one still under the name, else opened again.
    for (int attempt = 0; attempt < 100; ++attempt) {
        CFileDescriptor held(::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
        if (!held && errno == EACCES) held.Reset(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (!held) return fail(errno);
        if (::flock(held.Get(), LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK) return fail(errno);
            error = output + " is being written by another Kestrova job" + OwnerText(LockOwner(held.Get())) +
                "; try again when it has finished";
            return EResult::Busy;
        }
        struct stat opened {
        }, named{};
        if (::fstat(held.Get(), &opened) != 0 || ::stat(file.c_str(), &named) != 0 || opened.st_ino != named.st_ino ||
            opened.st_dev != named.st_dev)
            continue;
        const std::string pid = std::to_string(::getpid()) + "\n";
        std::string ignored;
        if (::ftruncate(held.Get(), 0) == 0) WriteToDescriptor(held.Get(), pid.data(), pid.size(), ignored);
        fd = std::move(held);
        lockFile = file;
        return EResult::Locked;
    }
    return fail(EAGAIN);
}

void COutputLock::Release()
{
    if (!fd) return;
    // Removed while still locked, so that no other process can take a file that is
    // about to go away.
    ::unlink(lockFile.c_str());
    fd.Reset();
    lockFile.clear();
}
