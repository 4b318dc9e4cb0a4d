// CMemoryFile: fuzz input handed to code that only takes file names. The bytes live in
// an anonymous memory file (memfd) whose name is "/proc/self/fd/N", so nothing touches
// the disc and nothing is left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"

class CMemoryFile {
public:
    // Creates the memory file holding `size` bytes of `data`; aborts when the system
    // refuses, since no input could be tried then.
    CMemoryFile(const uint8_t* data, size_t size);
    ~CMemoryFile();
    CMemoryFile(const CMemoryFile&) = delete;
    CMemoryFile& operator=(const CMemoryFile&) = delete;

    // The name under which the file can be opened for reading.
    const std::string& Path() const { return path; }

private:
    int fd = -1;
    std::string path;
};
