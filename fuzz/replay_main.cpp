// Runs a fuzz target over files and folders of inputs without libFuzzer, so
// that every build, whatever its compiler, replays the seed corpus and every
// input that once found a fault.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void replay(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const std::vector<std::uint8_t> input{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(input.data(), input.size());
}

}  // namespace

int main(int argc, char** argv)
{
    std::size_t count = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path place(argv[i]);
        if (std::filesystem::is_directory(place)) {
            for (const auto& entry : std::filesystem::recursive_directory_iterator(place))
                if (entry.is_regular_file()) {
                    replay(entry.path());
                    ++count;
                }
        } else if (std::filesystem::is_regular_file(place)) {
            replay(place);
            ++count;
        }
    }
    std::printf("%zu inputs replayed\n", count);
    // A corpus that went missing must not pass as replayed.
    return count > 0 ? 0 : 1;
}
