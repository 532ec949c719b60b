// The tool's three behaviours, chosen by the number of arguments.
#pragma once

#include <cstdio>

namespace vantor {

// The whole run: banner, then usage, listing or item mode. Returns the exit
// status (-1 for every failure).
int run(int argc, const char* const* argv, std::FILE* out);

// `file.dat`: header and descriptor listing, then the C declarations.
int run_listing_mode(const char* file_name, std::FILE* out);

// `file.dat path` reads an item, `file.dat path=value` writes one.
int run_item_mode(const char* file_name, const char* item_argument, std::FILE* out);

}  // namespace vantor
