#include <csignal>
#include <cstdio>
#include <new>

#include "cli/modes.hpp"

int main(int argc, char** argv)
{
#ifdef SIGXFSZ
    // A write past a file-size limit then fails and is reported, instead of
    // killing the tool in the middle of a store.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    try {
        return vantor::run(argc, argv, stdout);
    } catch (const std::bad_alloc&) {
        // Memory stays proportional to the file, so this takes a machine
        // that is already short of it.
        std::fputs("malloc() error!\n", stdout);
        return -1;
    }
}
