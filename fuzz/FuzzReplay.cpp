// Runs a fuzz target over files instead of under libFuzzer: every argument is a file or
// a folder whose files (sorted by name) are each handed to LLVMFuzzerTestOneInput once.
// The normal builds link each target with this driver so that the test suite replays
// the seed and regression inputs of fuzz/corpus/<target>/. Exits 1 when no input was
// found, so a test that lost its corpus cannot pass.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> inputs;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (std::filesystem::is_directory(argv[i], ec)) {
            for (const auto& item : std::filesystem::recursive_directory_iterator(argv[i], ec))
                if (item.is_regular_file(ec)) inputs.push_back(item.path());
        } else if (std::filesystem::is_regular_file(argv[i], ec)) {
            inputs.emplace_back(argv[i]);
        } else {
            std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
            return 1;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs to replay\n");
        return 1;
    }
    for (const auto& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) {
            std::fprintf(stderr, "%s: cannot read\n", path.c_str());
            return 1;
        }
        std::fprintf(stderr, "%s (%zu bytes)\n", path.c_str(), data.size());
        // libFuzzer hands an empty input as a valid pointer, never a null one.
        uint8_t none = 0;
        LLVMFuzzerTestOneInput(data.empty() ? &none : data.data(), data.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
