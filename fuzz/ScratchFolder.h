// CScratchFolder: a folder of its own under the system's temporary folder, for fuzz
// targets whose code writes files or looks for them in folders.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CScratchFolder {
public:
    // Makes the folder; aborts when it cannot be made.
    CScratchFolder();
    // Removes the folder with its content.
    ~CScratchFolder();
    CScratchFolder(const CScratchFolder&) = delete;
    CScratchFolder& operator=(const CScratchFolder&) = delete;

    // The folder's path, ending with '/'.
    const std::string& Path() const { return path; }

    // Writes `size` bytes of `data` to `path`, replacing the file. Aborts on failure.
    static void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size);

private:
    std::string path;
};
