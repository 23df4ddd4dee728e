// Runs a fuzz target's property checks over saved inputs, so that the seed corpus and every input
// a fuzz run failed on are checked by the normal suite, with any compiler and without libFuzzer.
//   replay [FOLDER...]   (default: the folders compiled in as TORVANE_FUZZ_INPUTS)

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv)
{
    std::vector<std::string> folders(argv + 1, argv + argc);
    if (folders.empty()) {
        std::istringstream compiled(TORVANE_FUZZ_INPUTS);
        for (std::string folder; std::getline(compiled, folder, '|');)
            folders.push_back(folder);
    }
    if (LLVMFuzzerInitialize)
        LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::filesystem::path> inputs;
    for (const std::string& folder : folders) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(folder, ec))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
    for (const auto& input : inputs) {
        std::ifstream file(input, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        std::printf("%s\n", input.c_str());
        std::fflush(stdout);
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    }
    std::printf("%zu inputs passed\n", inputs.size());
    // No inputs means the folders are wrong, not that all is well.
    return inputs.empty() ? 1 : 0;
}
