#include "base/File.h"

#include "base/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace {

// The permission bits a new file gets: 0666 less the process's file-creation mask. The
// mask is read from /proc so that it need not be changed (umask is process-wide).
mode_t NewFileMode()
{
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "Umask:") == 0) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

}  // namespace

FilePtr OpenFile(const std::string& path, const char* mode) { return FilePtr(std::fopen(path.c_str(), mode)); }

CFileDescriptor& CFileDescriptor::operator=(CFileDescriptor&& other) noexcept
{
    if (this != &other) Reset(other.Release());
    return *this;
}

int CFileDescriptor::Release()
{
    const int held = fd;
    fd = -1;
    return held;
}

void CFileDescriptor::Reset(int newFd)
{
    if (fd >= 0 && fd != newFd) ::close(fd);
    fd = newFd;
}

int CFileDescriptor::Close()
{
    if (fd < 0) return 0;
    const int result = ::close(Release());
    return result == 0 ? 0 : errno;
}

CFileDescriptor OpenForReading(const std::string& path)
{
    return CFileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

bool IsReadableRegularFile(const std::string& path, int64_t* bytes)
{
    std::string reason;
    return bool(OpenInputFileFor(path, reason, kAnyInputSize, bytes));
}

size_t ReadDescriptorAt(int fd, void* buffer, size_t length, int64_t offset)
{
    uint8_t* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < length) {
        const ssize_t got =
            ::pread(fd, out + done, length - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

bool WriteToDescriptor(int fd, const void* data, size_t length, std::string& reason)
{
    const uint8_t* in = static_cast<const uint8_t*>(data);
    while (length > 0) {
        const ssize_t put = ::write(fd, in, length);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            reason = put < 0 ? std::strerror(errno) : "nothing written";
            return false;
        }
        in += put;
        length -= static_cast<size_t>(put);
    }
    return true;
}

CReplaceFile::CReplaceFile(std::string path_, SReplaceOptions options_)
    : path(std::move(path_)), partial(path + ".part"), options(options_)
{}

CReplaceFile::~CReplaceFile() { Abandon(); }

// Creates the partial file under its fixed or unique name; -1 (errno set) when it
// cannot be made.
int CReplaceFile::CreatePartial()
{
    if (!options.uniquePartial) {
        partial = path + ".part";
        return ::open(partial.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    }
    std::string pattern = path + ".part-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) partial = name.data();
    return fd;
}

// Gives the partial file the mode the options ask for. A fixed name was created with
// the new-file mode already; a unique one starts private (0600).
bool CReplaceFile::SetMode(int fd)
{
    struct stat st {};
    if (options.keepMode && ::stat(path.c_str(), &st) == 0) return ::fchmod(fd, st.st_mode & 07777) == 0;
    if (options.uniquePartial) return ::fchmod(fd, NewFileMode()) == 0;
    return true;
}

bool CReplaceFile::Open(std::string& error)
{
    Abandon();
    CFileDescriptor fd(CreatePartial());
    bool ok = fd && SetMode(fd.Get());
    if (ok) {
        file.reset(::fdopen(fd.Get(), "wb"));
        ok = file != nullptr;
        if (ok) fd.Release();
    }
    if (!ok) {
        const int reason = errno;
        if (fd) {
            fd.Reset();
            ::unlink(partial.c_str());
        }
        error = path + ": cannot create (" + std::strerror(reason) + ")";
    }
    return ok;
}

bool CReplaceFile::Commit(std::string& error)
{
    if (!file) {
        error = path + ": cannot write (not open)";
        return false;
    }
    // A write error sticks to the stream; flushing and closing report the last ones.
    bool ok = !std::ferror(file.get()) && std::fflush(file.get()) == 0;
    int reason = ok ? 0 : errno;
    std::FILE* raw = file.release();
    if (std::fclose(raw) != 0 && ok) {
        ok = false;
        reason = errno;
    }
    if (ok && std::rename(partial.c_str(), path.c_str()) != 0) {
        ok = false;
        reason = errno;
    }
    if (!ok) {
        ::unlink(partial.c_str());
        error = path + ": cannot write (" + std::strerror(reason ? reason : EIO) + ")";
    }
    return ok;
}

void CReplaceFile::Abandon()
{
    if (!file) return;
    file.reset();
    ::unlink(partial.c_str());
}

bool ReplaceFileContent(const std::string& path, const void* data, size_t size, std::string& error,
                        SReplaceOptions options)
{
    CReplaceFile out(path, options);
    if (!out.Open(error)) return false;
    if (size && std::fwrite(data, 1, size, out.File()) != size) {
        const int reason = errno;
        out.Abandon();
        error = path + ": cannot write (" + std::strerror(reason) + ")";
        return false;
    }
    return out.Commit(error);
}
