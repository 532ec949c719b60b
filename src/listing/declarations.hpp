// The second half of the listing mode: C declarations of every structure and
// union type that the first descriptor reaches, innermost first, then the
// extern line of the variable.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>

#include "datfile/format.hpp"

namespace vantor {

// What printing the declarations cost: `work` counts the steps of walks,
// look-ups, sort passes and searches, `entries` the entries printed, and
// `sorted` the entries of the walks sorted (the others are taken from a walk
// sorted before).
struct declarations_effort {
    std::uint64_t work = 0;
    std::uint64_t entries = 0;
    std::uint64_t sorted = 0;
};

// On every table, work stays within this many units per descriptor and per
// entry printed. The union test of a structure entry in a walk of mostly
// silent entries searches counts of offsets, which costs logarithms that the
// 16-bit ids bound: at most 17 steps, a few times over.
inline constexpr std::uint64_t work_per_unit = 256;

// `table` holds the descriptors in host order; its first entry is the root.
// Prints nothing when the table is empty.
declarations_effort print_declarations(std::FILE* out, std::span<const item_desc> table);

}  // namespace vantor
