// Builds data file images from a readable description, so that every test
// file is written out in the test that uses it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datfile/file_image.hpp"
#include "datfile/format.hpp"
#include "support/files.hpp"

namespace vantor::testing {

// One descriptor, in the column order of the layout tables: flag, id, next,
// size, offset. Numbers are plain host values; the builder writes them
// big-endian.
struct desc_row {
    std::uint8_t flag;
    std::uint16_t id;
    std::uint16_t next;
    std::uint32_t size;
    std::uint32_t offset;
};

// One constructor per kind, so that a table reads as a layout rather than as
// five numbers whose meaning changes with the flag.
constexpr desc_row variable(std::uint16_t id, std::uint16_t type, std::uint32_t size)
{
    return {KIND_VARIABLE, id, type, size, 0};
}
constexpr desc_row structure(std::uint16_t id, std::uint16_t first_member, std::uint32_t size)
{
    return {KIND_STRUCT, id, first_member, size, 0};
}
// A scalar: `next` names its next sibling (0: the last).
constexpr desc_row member(std::uint16_t id, std::uint16_t next, std::uint32_t size, std::uint32_t offset)
{
    return {KIND_MEMBER, id, next, size, offset};
}
// A member whose `next` names its type, a structure or an array; the sibling
// moves into `size`.
constexpr desc_row typed_member(std::uint16_t id, std::uint16_t type, std::uint16_t next_sibling, std::uint32_t offset)
{
    return {KIND_MEMBER, id, type, next_sibling, offset};
}
constexpr desc_row array(std::uint16_t id, std::uint16_t element, std::uint32_t stride, std::uint32_t count)
{
    return {KIND_ARRAY, id, element, stride, count};
}

struct dat_layout {
    std::vector<desc_row> descriptors;
    std::vector<unsigned char> data;
    // Unset: the number of descriptors, and the end of the table.
    std::optional<std::uint32_t> item_numb;
    std::optional<std::uint32_t> data_offset;
    // Fields the tool only lists.
    std::uint32_t item_desc_size = 0;
    std::uint32_t header_size = 0;
    std::uint32_t desc_size = 0;
    std::uint32_t data_len = 0;
    std::uint8_t flag = 0;
};

std::vector<unsigned char> build_dat(const dat_layout& layout);

// The descriptors as the listing keeps them, in host order.
std::vector<item_desc> host_table(const std::vector<desc_row>& rows);

// At most the first `size` bytes of `bytes`.
std::vector<unsigned char> cut(std::vector<unsigned char> bytes, std::size_t size);

// Appends `value` big-endian in `width` bytes.
void put_be(std::vector<unsigned char>& bytes, std::uint32_t value, int width);

// The image of a file as the item modes hold it, loaded from `path` for a
// read, or from the file of `layout`. Throws when it cannot be loaded.
file_image loaded_image(const std::string& path);
file_image loaded_image(const dat_layout& layout);

}  // namespace vantor::testing
