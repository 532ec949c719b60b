// Writes the example data file from the layout the tests also use:
//   make_sample examples/sample.dat
#include <cstdio>
#include <exception>

#include "support/layouts.hpp"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fputs("usage: make_sample OUTPUT.dat\n", stderr);
        return 2;
    }
    try {
        vantor::testing::write_file(argv[1], vantor::testing::build_dat(vantor::testing::sample_layout()));
    } catch (const std::exception& error) {
        std::fprintf(stderr, "make_sample: %s\n", error.what());
        return 1;
    }
    return 0;
}
