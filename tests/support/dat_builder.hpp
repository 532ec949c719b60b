// Builds data file images from a readable description, so that every test
// file is written out in the test that uses it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "datfile/file_image.hpp"
#include "datfile/format.hpp"

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

// Appends `value` big-endian in `width` bytes.
void put_be(std::vector<unsigned char>& bytes, std::uint32_t value, int width);

// Root variable 1 of structure type 2 (16 bytes): a byte, a gap, a word, a
// structure of one 4-byte member, and an array of two 4-byte structures.
dat_layout worked_example();

// A data file written to a fresh temporary path, removed with the object.
class temp_file {
public:
    explicit temp_file(const std::vector<unsigned char>& bytes, const std::string& suffix = ".dat");
    ~temp_file();
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;

    const std::string& path() const { return path_; }
    std::vector<unsigned char> bytes() const;

private:
    std::string path_;
};

std::vector<unsigned char> read_file(const std::string& path);

// The image of a file as the item modes hold it: loaded from `path`, and
// with `converted` brought to host order. Throws when it cannot be loaded.
file_image loaded_image(const std::string& path, bool converted = true);
file_image loaded_image(const dat_layout& layout, bool converted = true);
void write_file(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace vantor::testing
