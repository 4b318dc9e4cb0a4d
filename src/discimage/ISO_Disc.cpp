#include "discimage/ISO_Disc.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ISO_Disc::~ISO_Disc() { Close(); }

void ISO_Disc::Close()
{
    if (fd >= 0) ::close(fd);
    fd = -1;
    sectors = 0;
}

bool ISO_Disc::Open(const std::string& path)
{
    Close();
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        Close();
        return false;
    }
    sectors = (static_cast<int64_t>(st.st_size) + kSectorSize - 1) / kSectorSize;
    return true;
}

int ISO_Disc::ReadSector(int64_t index, uint8_t* buffer)
{
    if (fd < 0 || index < 0 || index >= sectors) return 0;
    size_t done = 0;
    off_t offset = static_cast<off_t>(index) * kSectorSize;
    while (done < kSectorSize) {
        ssize_t got = ::pread(fd, buffer + done, kSectorSize - done, offset + off_t(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    if (done < kSectorSize) std::memset(buffer + done, 0, kSectorSize - done);
    return kSectorSize;
}
