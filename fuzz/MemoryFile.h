// CMemoryFile: fuzz input handed to code that only takes file names. The bytes live in
// an anonymous memory file (memfd) whose name is "/proc/self/fd/N", so nothing touches
// the disc and nothing is left behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// A folder of its own under the system's temporary folder, removed with its content
// when the object goes. Aborts when it cannot be made.
class CScratchFolder {
public:
    CScratchFolder();
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    // The folder's path, ending with '/'.
    const std::string& Path() const { return path; }

private:
    std::string path;
};

// Writes `size` bytes of `data` to `path`, replacing the file. Aborts on failure.
void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);

// Stops the run with `what` on stderr: a fuzz target's own check failed. Under the
// fuzzer the abort is reported as a crash and its input saved.
[[noreturn]] void FuzzCheckFailed(const char* what, const char* file, int line);

// Checks a condition that must hold for every input.
#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : FuzzCheckFailed(#condition, __FILE__, __LINE__))
