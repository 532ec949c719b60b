// Texts that every command-line run shows, and the file most runs use.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor::testing {

inline const std::string banner = "/*\n"
                                  " * Vantor v03.00 - layout lister and item editor for unit data files\n"
                                  " * Create C structure, read/write item from command line,\n"
                                  " * for RT4/RT5 *.dat files\n"
                                  " */\n";

using bytes = std::vector<unsigned char>;

// The example file, and where its data area begins.
inline const bytes sample = build_dat(sample_layout());
inline constexpr std::size_t sample_data = 28 + 24 * 16;

}  // namespace vantor::testing
