// The lines the listing prints around the rows, as the listing and the
// command-line tests expect them.
#pragma once

#include <string>

namespace vantor::testing {

// The header of a file whose only nonzero fields are these two.
inline std::string header_lines(int item_numb, int data_offset)
{
    return "/*\n * item_desc_size=0\n * item_numb     =" + std::to_string(item_numb) +
           "\n * header_size   =0\n * desc_size     =0\n * data_offset   =" + std::to_string(data_offset) +
           "\n * data_len      =0\n * flag          =0\n";
}

// Before every row that is not a member's.
inline const std::string heading = " *\n *  size   offset   id next flag\n";

}  // namespace vantor::testing
