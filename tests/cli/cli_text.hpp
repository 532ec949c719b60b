// Texts that every command-line run shows.
#pragma once

#include <string>

namespace vantor::testing {

inline const std::string banner = "/*\n"
                                  " * Vantor v03.00 - layout lister and item editor for unit data files\n"
                                  " * Create C structure, read/write item from command line,\n"
                                  " * for RT4/RT5 *.dat files\n"
                                  " */\n";

}  // namespace vantor::testing
