#include <cstdio>
#include <new>

#include "cli/modes.hpp"

int main(int argc, char** argv)
{
    try {
        return vantor::run(argc, argv, stdout);
    } catch (const std::bad_alloc&) {
        // Memory stays proportional to the file, so this takes a machine
        // that is already short of it.
        std::fputs("malloc() error!\n", stdout);
        return -1;
    }
}
