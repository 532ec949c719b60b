// The command line, read once into what the run does: the three
// modes by the number of arguments, or an option when the first argument
// is exactly one (a file of that name is still reachable as ./--values).
#pragma once

#include <span>

namespace vantor {

struct command {
    enum class mode {
        usage,     // no argument
        listing,   // file.dat
        item,      // file.dat path or path=value; later arguments unread
        values,    // --values file.dat [path...]
        set,       // --set file.dat assignment...
        set_input, // --set file.dat -
        diff,      // --diff a.dat b.dat [path...]
        help,      // --help
        version,   // --version
        misused,   // an option with the wrong arguments: the help, and a failure
    };
    mode what = mode::usage;
    const char* file = nullptr;
    const char* other = nullptr;             // --diff's second file
    const char* item = nullptr;              // the item mode's argument
    std::span<const char* const> rest = {};  // paths, or assignments
};

command read_command_line(int argc, const char* const* argv);

}  // namespace vantor
