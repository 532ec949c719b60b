// Descriptor tables built against the declaration generator: each one makes
// a straightforward generator do work that grows with the square of the
// table, while the output grows only with the table. `descriptors` is the
// size wanted, at least 16 and at most 65,535; the tables come close to it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "support/dat_builder.hpp"

namespace vantor::testing {

struct hostile_layout {
    std::string_view name;
    std::string_view summary;
    dat_layout (*build)(std::uint32_t descriptors);
};

std::span<const hostile_layout> hostile_layouts();

}  // namespace vantor::testing
