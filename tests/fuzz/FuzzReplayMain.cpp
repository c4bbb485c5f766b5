// Replays fuzz inputs without libFuzzer, for the ordinary test build: every file
// named on the command line, and every file inside a named folder (in name order),
// goes once through the target's LLVMFuzzerTestOneInput. A sanitizer report aborts
// the run; an empty corpus fails it too, so that a lost corpus cannot pass.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& named)
{
    std::vector<std::filesystem::path> inputs;
    if (std::filesystem::is_directory(named)) {
        for (const auto& entry : std::filesystem::directory_iterator(named)) {
            if (entry.is_regular_file())
                inputs.push_back(entry.path());
        }
        std::sort(inputs.begin(), inputs.end());
    } else if (std::filesystem::is_regular_file(named)) {
        inputs.push_back(named);
    }
    return inputs;
}

bool Replay(const std::filesystem::path& input)
{
    std::ifstream file(input, std::ios::binary);
    if (!file)
        return false;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t replayed = 0;
    for (int at = 1; at < argc; ++at) {
        for (const auto& input : InputsOf(argv[at])) {
            if (!Replay(input)) {
                std::fprintf(stderr, "cannot read %s\n", input.c_str());
                return 1;
            }
            ++replayed;
        }
    }
    std::printf("%zu inputs replayed\n", replayed);
    return replayed > 0 ? 0 : 1;
}
