// Descriptors are referred to by node: look-ups number the descriptors they
// can find, and the table's first entry, from 0 (see desc_index), so that what
// a reader keeps per node is bounded by the id space, not by the table.
#pragma once

#include <cstdint>

namespace vantor {

// No descriptor: a link that names nothing, or the end of a chain.
inline constexpr std::uint32_t no_node = UINT32_MAX;

}  // namespace vantor
