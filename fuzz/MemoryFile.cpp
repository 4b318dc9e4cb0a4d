#include "MemoryFile.h"

#include <sys/mman.h>
#include <unistd.h>

CMemoryFile::CMemoryFile(const uint8_t* data, size_t size)
{
    fd = memfd_create("kestrova-fuzz", MFD_CLOEXEC);
    if (fd < 0) FuzzCheckFailed("memfd_create", __FILE__, __LINE__);
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) FuzzCheckFailed("write to the memory file", __FILE__, __LINE__);
        done += size_t(n);
    }
    path = "/proc/self/fd/" + std::to_string(fd);
}

CMemoryFile::~CMemoryFile()
{
    if (fd >= 0) close(fd);
}
