// The declaration generator written the straightforward way: one look-up is
// a scan of the table, a walk collects entry by entry, a declaration sorts
// all it collected. Slow, and small enough to check by reading; the real
// generator must print what it prints.
#pragma once

#include <span>
#include <string>

#include "datfile/format.hpp"

namespace vantor::testing {

std::string reference_declarations(std::span<const item_desc> table);

}  // namespace vantor::testing
