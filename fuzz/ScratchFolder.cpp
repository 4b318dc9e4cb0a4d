#include "ScratchFolder.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "FuzzCheck.h"

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

void CScratchFolder::WriteWholeFile(const std::string& path, const uint8_t* data, size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) FuzzCheckFailed("open for writing", __FILE__, __LINE__);
    const bool written = size == 0 || std::fwrite(data, 1, size, f) == size;
    if (std::fclose(f) != 0 || !written) FuzzCheckFailed("write", __FILE__, __LINE__);
}
