// The data files the benchmark times the tool on. Each shape is built from
// the tests' layout builder at a chosen number of descriptors, or at the one
// size it has.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "support/dat_builder.hpp"

namespace vantor::bench {

struct shape {
    std::string_view name;
    std::string_view summary;
    // 0: built at every table size the run asks for; else its only size.
    std::uint32_t own_size;
    // Whether the benchmark counts the lines of its listing.
    bool counts_lines;
    testing::dat_layout (*layout)(std::uint32_t descriptors);
    // The item path that the read and the write name.
    std::string (*last_member)(std::uint32_t descriptors);
};

std::span<const shape> all_shapes();

}  // namespace vantor::bench
