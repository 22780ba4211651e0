// Runs a fuzz target over its corpus without libFuzzer, so that every build
// (g++ included) checks the inputs kept in the repository: each argument is
// a file or a folder of files. Fails when nothing was found to replay.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> Inputs(const std::filesystem::path& argument)
{
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(argument)) {
        for (const auto& entry : std::filesystem::directory_iterator(argument))
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
    } else if (std::filesystem::is_regular_file(argument)) {
        inputs.push_back(argument);
    }
    return inputs;
}

} // namespace

int main(int argc, char** argv)
{
    size_t replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::filesystem::path& input : Inputs(argv[i])) {
            std::ifstream file(input, std::ios::binary);
            const std::vector<char> bytes { std::istreambuf_iterator<char>(file), {} };
            if (!file.eof() && file.fail()) {
                std::fprintf(stderr, "cannot read %s\n", input.c_str());
                return 1;
            }
            std::printf("%s\n", input.filename().c_str());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    if (replayed == 0) {
        std::fprintf(stderr, "no inputs to replay in the given paths\n");
        return 1;
    }
    std::printf("replayed %zu inputs\n", replayed);
    return 0;
}
