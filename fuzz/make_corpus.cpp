// Writes the seed corpora of the fuzz targets from the layouts the tests share:
//   make_corpus fuzz/corpus
// Each listing seed is a data file; each read or write seed is an item
// argument, a zero byte, then a data file.
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "support/layouts.hpp"

namespace {

using namespace vantor::testing;
using bytes = std::vector<unsigned char>;

// Flags with bit 7 set, a kind of no meaning, and links that name nothing.
dat_layout odd_flags()
{
    dat_layout layout = worked_example();
    layout.descriptors[0].flag = 0x85;
    layout.descriptors[6].flag = 0x83;
    layout.descriptors[8].flag = 4;
    layout.descriptors.push_back(member(40, 99, 2, 0));
    return layout;
}

std::vector<std::pair<std::string, bytes>> files()
{
    const bytes sample = build_dat(sample_layout());
    return {
        {"worked", example_file()},
        {"sample", sample},
        {"union", build_dat(union_example())},
        {"overlap", build_dat(overlap_example())},
        {"nested", build_dat(shape_named("nested").build(120))},
        {"loop", build_dat(looping_chain())},
        {"self", build_dat(self_containing())},
        {"dupids", build_dat(duplicate_ids())},
        {"flags", build_dat(odd_flags())},
        {"short-header", cut(sample, 20)},
        {"short-table", cut(sample, 100)},
        {"short-data", cut(sample, sample.size() - 10)},
        {"no-table", example_file(0, {}, 28)},
        {"huge-count", example_file(0x0FFFFFFF)},
        {"offset-mismatch", example_file({}, 221)},
        {"offset-inside", example_file({}, 100)},
    };
}

// Item arguments that reach every kind of item of the files above.
const char* const arguments[] = {
    "1.12.20",     "1.13[1].31",    "t1.10",          "1.2",      "1.3.33",           "t1.4.52",    "1.5[2].62",
    "1.6.72",      "1.10",          "1.11",           "1.10.10.11", "1.3.33=5",       "t1.4.52=ABC", "1.5[1].61=-1",
    "1.6.71=70000", "1.11=",        "1.13[0].30=x=y", "1.2=text", "t1.12.20=ABCDEFG",
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus CORPUS_FOLDER\n");
        return 2;
    }
    const std::filesystem::path root(argv[1]);
    for (const char* target : {"fuzz_listing", "fuzz_read", "fuzz_write"})
        std::filesystem::create_directories(root / target);
    int number = 0;
    for (const auto& [name, file] : files()) {
        write_file(root / "fuzz_listing" / name, file);
        for (const std::string argument : arguments) {
            bytes seed(argument.begin(), argument.end());
            seed.push_back(0);
            seed.insert(seed.end(), file.begin(), file.end());
            const bool writes = argument.find('=') != std::string::npos;
            const std::string seed_name = name + "-" + std::to_string(number++);
            write_file(root / (writes ? "fuzz_write" : "fuzz_read") / seed_name, seed);
            if (!writes)
                write_file(root / "fuzz_write" / seed_name, seed);
        }
    }
    return 0;
}
