// Descriptor tables of any size up to the largest the format allows, for
// the tests that hold the tool's work to the size of table and output, and
// for the benchmark. Some are built against the declaration generator: a
// straightforward generator does work on them that grows with the square of
// the table, while the output grows only with the table.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "support/dat_builder.hpp"

namespace vantor::testing {

struct table_shape {
    std::string_view name;
    std::string_view summary;
    // At about `descriptors` descriptors, from 64 to 65,535.
    dat_layout (*build)(std::uint32_t descriptors);
    // The path of an item to read and write; none for the hostile shapes.
    std::string (*item_path)(std::uint32_t descriptors) = nullptr;
    // Not 0: the one size the shape is built at.
    std::uint32_t own_size = 0;
    bool hostile = false;
};

std::span<const table_shape> table_shapes();

}  // namespace vantor::testing
