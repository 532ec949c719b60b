// The second half of the listing mode: C declarations of every structure and
// union type that the first descriptor reaches, innermost first, then the
// extern line of the variable.
#pragma once

#include <cstdio>
#include <span>

#include "datfile/format.hpp"

namespace vantor {

// `table` holds the descriptors in host order; its first entry is the root.
// Prints nothing when the table is empty.
void print_declarations(std::FILE* out, std::span<const item_desc> table);

}  // namespace vantor
