#include <csignal>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "cli/modes.hpp"
#include "platform/platform.hpp"

namespace {

int run_guarded(int argc, const char* const* argv)
{
    // Nothing can be said then, and a file opened in place of standard
    // output would receive the result line.
    if (!vantor::platform::hold_closed_standard_streams())
        return -1;
    try {
        return vantor::run(argc, argv, stdout);
    } catch (const std::bad_alloc&) {
        // Memory stays proportional to the table and the item, so this takes
        // a machine that is already short of it.
        std::fputs("malloc() error!\n", stdout);
        return -1;
    }
}

}  // namespace

#ifdef _WIN32

// The command line as typed, in Unicode: the narrow one would come through
// the ANSI code page, which turns every character outside it into '?'.
int wmain(int argc, wchar_t** argv)
{
    const vantor::platform::utf8_console console;
    const std::vector<std::string> arguments = vantor::platform::utf8_arguments(argc, argv);
    std::vector<const char*> pointers;
    for (const std::string& argument : arguments)
        pointers.push_back(argument.c_str());
    pointers.push_back(nullptr);
    return run_guarded(argc, pointers.data());
}

#else

int main(int argc, char** argv)
{

#ifdef SIGXFSZ
    // A write past a file-size limit then fails and is reported, instead of
    // killing the tool in the middle of a store.
    std::signal(SIGXFSZ, SIG_IGN);
#endif
    return run_guarded(argc, argv);
}

#endif
