// The layouts that the tests, the fuzz seeds, the example file and the
// benchmark share, each written out once.
#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "support/dat_builder.hpp"

namespace vantor::testing {

// Root variable 1 of structure type 2 (16 bytes): a byte, a gap, a word, a
// structure of one 4-byte member, and an array of two 4-byte structures.
dat_layout worked_example();

// Its file, with `item_numb` and `data_offset` in the header where they are
// set, and cut to `size` bytes where it is longer.
std::vector<unsigned char> example_file(std::optional<std::uint32_t> item_numb = {},
                                        std::optional<std::uint32_t> data_offset = {}, std::size_t size = SIZE_MAX);

// The layout of examples/sample.dat: variable 1 holds a version word, video
// settings (3, with the speed limit 33), vehicle data (4, with the 17-byte
// VIN 52), an array of three trip records (5) and a union (6), with gaps.
dat_layout sample_layout();

// Variable 1 of type 10, whose members 11 (4 bytes), 12 (2) and 13 (1) all
// lie at offset 0: a union.
dat_layout union_example();

// Variable 1 of type 20 (5 bytes): members 21 (4 bytes at 0), 22 (2 at 2)
// and 23 (1 at 4), so that 22 overlaps 21.
dat_layout overlap_example();

// Variable 1 of type 2, whose member 10 is of type 2 again, and whose member
// 11 holds 42: a path may name 10 any number of times.
dat_layout self_containing();

// Variable 1 of type 2, whose members 10 and 11 name each other as `next`.
dat_layout looping_chain();

// Variable 1 of type 2 with members 10 and 11, then a second member 10 and a
// second structure 2 of other sizes.
dat_layout duplicate_ids();

// Structures, arrays (some of flag 0x83) and members linked among few ids,
// over a data area of every kind of byte, so that paths loop, share chains,
// reach past the file and overlap.
dat_layout random_layout(std::mt19937& random);

// Descriptor tables of any size up to the largest the format allows, for
// the tests that hold the tool's work to the size of table and output, and
// for the benchmark. Some are built against the declaration generator: a
// straightforward generator does work on them that grows with the square of
// the table, while the output grows only with the table.
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
const table_shape& shape_named(std::string_view name);

}  // namespace vantor::testing
