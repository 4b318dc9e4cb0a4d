#include "support/TestSupport.h"

#include <sys/wait.h>
#include <unistd.h>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir()
{
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = std::filesystem::temp_directory_path() /
            ("kestrova-test-" + std::to_string(getpid()) + "-" + std::to_string(rd() % 1000000));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string Quote(const std::string& word)
{
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

RunResult Run(const std::string& commandLine)
{
    TempDir dir;
    std::string outPath = dir.File("out");
    std::string errPath = dir.File("err");
    std::string full = "( " + commandLine + " ) >" + Quote(outPath) + " 2>" + Quote(errPath) + " </dev/null";
    int status = std::system(full.c_str());
    RunResult result;
    if (status != -1 && WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
    result.out = ReadText(outPath);
    result.err = ReadText(errPath);
    return result;
}

bool HaveProgram(const std::string& program) { return Run("command -v " + Quote(program)).exitCode == 0; }

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string ToolPath(const std::string& name) { return std::string(KESTROVA_TEST_BIN_DIR) + "/" + name; }

}  // namespace testsupport
