// The options beside the three modes: every value at once, many values
// changed at once, the help and the version. A run is one of them when its
// first argument is exactly the option; a file of that name is still
// reachable as ./--values.
#pragma once

#include <cstdio>
#include <optional>

namespace vantor {

// The option's run, or nothing when the first argument is no option.
std::optional<int> run_option(int argc, const char* const* argv, std::FILE* out);

}  // namespace vantor
