#include "MemoryFile.h"

#include <sys/mman.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

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

CScratchFolder::CScratchFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) FuzzCheckFailed("mkdtemp", __FILE__, __LINE__);
    path = pattern + "/";
}

CScratchFolder::~CScratchFolder()
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) FuzzCheckFailed("open for writing", __FILE__, __LINE__);
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) FuzzCheckFailed("write", __FILE__, __LINE__);
}

void FuzzCheckFailed(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, what);
    std::abort();
}
