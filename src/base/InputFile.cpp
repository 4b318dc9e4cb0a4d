#include "base/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace {

// What a file that is not a regular one is, for the refusal.
std::string KindReason(mode_t mode)
{
    if (S_ISDIR(mode)) return "is a folder, not a file";
    if (S_ISFIFO(mode)) return "is a FIFO, not a regular file";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "is a device, not a regular file";
    if (S_ISSOCK(mode)) return "is a socket, not a regular file";
    return "is not a regular file";
}

std::string TooLargeReason(int64_t bytes, int64_t maxBytes)
{
    return "is too large (" + std::to_string(bytes) + " bytes; at most " + SizeLimitText(maxBytes) + ")";
}

}  // namespace

std::string SizeLimitText(int64_t bytes)
{
    constexpr int64_t kMb = int64_t(1) << 20;
    constexpr int64_t kGb = int64_t(1) << 30;
    if (bytes >= kGb && bytes % kGb == 0) return std::to_string(bytes / kGb) + " GB";
    if (bytes >= kMb && bytes % kMb == 0) return std::to_string(bytes / kMb) + " MB";
    return std::to_string(bytes) + " bytes";
}

CFileDescriptor OpenInputFileFor(const std::string& path, std::string& reason, int64_t maxBytes, int64_t* bytes)
{
    reason.clear();
    if (path.empty()) {
        errno = ENOENT;
        reason = "no file named";
        return {};
    }
    // O_NONBLOCK keeps the open of a FIFO without a writer from waiting; the flag is
    // cleared again once the file is known to be a regular one.
    CFileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd) {
        const int why = errno;
        reason = why == ENOENT ? "no such file" : std::string("cannot open (") + std::strerror(why) + ")";
        errno = why;
        return {};
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        const int why = errno;
        reason = std::string("cannot open (") + std::strerror(why) + ")";
        errno = why;
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        reason = KindReason(st.st_mode);
        errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
        return {};
    }
    if (maxBytes >= 0 && int64_t(st.st_size) > maxBytes) {
        reason = TooLargeReason(int64_t(st.st_size), maxBytes);
        errno = EFBIG;
        return {};
    }
    const int flags = ::fcntl(fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int why = errno;
        reason = std::string("cannot open (") + std::strerror(why) + ")";
        errno = why;
        return {};
    }
    if (bytes) *bytes = int64_t(st.st_size);
    return fd;
}

CFileDescriptor OpenInputFile(const std::string& path, std::string& error, int64_t maxBytes, int64_t* bytes)
{
    std::string reason;
    CFileDescriptor fd = OpenInputFileFor(path, reason, maxBytes, bytes);
    if (!fd) {
        const int why = errno;
        error = path + ": " + reason;
        errno = why;
    }
    return fd;
}

FilePtr OpenInputStream(const std::string& path, std::string& error, int64_t maxBytes, int64_t* bytes)
{
    CFileDescriptor fd = OpenInputFile(path, error, maxBytes, bytes);
    if (!fd) return nullptr;
    FilePtr file(::fdopen(fd.Get(), "rb"));
    if (!file) {
        error = path + ": cannot open (" + std::strerror(errno) + ")";
        return nullptr;
    }
    fd.Release();
    return file;
}

bool ReadInputFile(const std::string& path, int64_t maxBytes, std::string& content, std::string& error)
{
    content.clear();
    int64_t size = 0;
    const CFileDescriptor fd = OpenInputFile(path, error, maxBytes, &size);
    if (!fd) return false;
    content.reserve(size_t(size));
    char block[65536];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = path + ": cannot read (" + std::strerror(errno) + ")";
            content.clear();
            return false;
        }
        if (got == 0) return true;
        // A file that grows while it is read stops at the limit all the same.
        if (maxBytes >= 0 && int64_t(content.size()) + got > maxBytes) {
            error = path + ": " + TooLargeReason(int64_t(content.size()) + got, maxBytes);
            content.clear();
            return false;
        }
        content.append(block, size_t(got));
    }
}
