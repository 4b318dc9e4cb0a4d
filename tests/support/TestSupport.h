// Helpers shared by the tests: temporary folders, files, and running programs.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temporary folder, removed with everything in it
// when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path; }
    // The path of `name` inside the folder, as a string.
    std::string File(const std::string& name) const { return (path / name).string(); }

private:
    std::filesystem::path path;
};

struct RunResult {
    int exitCode = -1;  // the program's exit status, or -1 when it did not exit normally
    std::string out;  // what it wrote to stdout
    std::string err;  // what it wrote to stderr
};

// Runs a shell command line and collects its output and exit status.
RunResult Run(const std::string& commandLine);

// Quotes one word for the shell.
std::string Quote(const std::string& word);

// True when `program` is found on PATH.
bool HaveProgram(const std::string& program);

std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);

// The built command-line program and the source tree's data folder.
inline std::string CliPath() { return KESTROVA_CLI_PATH; }
inline std::string DataDir() { return KESTROVA_TEST_DATA_DIR; }
// A program built beside the tests (tests/integration/tools/NAME.cpp).
std::string ToolPath(const std::string& name);

}  // namespace testsupport
