#include "cli/banner.hpp"

namespace vantor {

void print_banner(std::FILE* out)
{
    std::fputs("/*\n"
               " * Vantor v03.00 - layout lister and item editor for unit data files\n"
               " * Create C structure, read/write item from command line,\n"
               " * for RT4/RT5 *.dat files\n"
               " */\n",
               out);
}

void print_usage(std::FILE* out)
{
    std::fputs("USE:\n"
               "  to create C data structure: Vantor file.dat\n"
               "  to read an item value:      Vantor file.dat [t]a.b...z\n"
               "  to write an item value:     Vantor file.dat [t]a.b...z=val\n"
               "t=[optional] item is a text (ex: t1.4.52 is VIN in user_com.dat)\n"
               "a.b...z= item identified (ex: 1.3.33 is video speed limit in user_com.dat)\n"
               "val= new value\n",
               out);
}

}  // namespace vantor
