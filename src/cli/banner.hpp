#pragma once

#include <cstdio>

namespace vantor {

// The comment block that opens every run's output.
void print_banner(std::FILE* out);

// How to call the tool, printed when no data file is named.
void print_usage(std::FILE* out);

}  // namespace vantor
