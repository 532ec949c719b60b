// The records of a data file: a 28-byte header, a table of 16-byte item
// descriptors, then the data area. Every multi-byte number is big-endian on
// disk; the structures below hold host-order values once converted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vantor {

inline constexpr std::size_t header_bytes = 28;
inline constexpr std::size_t desc_bytes = 16;

struct dat_header {
    std::uint32_t item_desc_size;
    std::uint32_t item_numb;
    std::uint32_t header_size;
    std::uint32_t desc_size;
    std::uint32_t data_offset;
    std::uint32_t data_len;
    std::uint8_t flag, unused[3];
};

struct item_desc {
    std::uint32_t size;
    std::uint32_t offset;
    std::uint16_t id;
    std::uint16_t next;
    std::uint8_t flag, unused[3];
};
// Both are read and written as raw bytes: no padding.
static_assert(sizeof(dat_header) == header_bytes && sizeof(item_desc) == desc_bytes);
// Readers find the id at this place in a record, in the file and in a table.
static_assert(offsetof(item_desc, id) == 8);

// Where the header's fields stand in the file, for readers of raw bytes.
namespace header_field {
inline constexpr std::size_t item_numb = offsetof(dat_header, item_numb);
inline constexpr std::size_t data_offset = offsetof(dat_header, data_offset);
}  // namespace header_field

// Ids are 16-bit, and 0 names nothing.
inline constexpr std::uint32_t id_count = 65536;

// The largest item_numb whose table's size in bytes fits in 32 bits.
inline constexpr std::uint32_t max_item_numb = (1u << 28) - 1;

enum item_kind : std::uint8_t {
    KIND_MEMBER = 1,
    KIND_STRUCT = 2,
    KIND_ARRAY = 3,
    KIND_VARIABLE = 5,
};

// Bit 7 of the flag byte is outside the kind.
constexpr std::uint8_t kind_of(const item_desc& desc) { return desc.flag & 0x7f; }

// Three tests read the flag byte otherwise, each exactly as here.
// Path resolution takes a descriptor that a member's `next` names as the
// member's type by bit 1 alone: set for structures and arrays, whatever bit 7
// holds, clear for members and variables.
constexpr bool is_type_by_bit(std::uint8_t flag) { return (flag & 0x02) != 0; }
constexpr bool is_type_by_bit(const item_desc& desc) { return is_type_by_bit(desc.flag); }
// A variable ends its chain at its type. The whole byte is compared: with
// bit 7 set, a variable walks on to its `size` like a member.
constexpr bool ends_chain_at_type(const item_desc& desc) { return desc.flag == KIND_VARIABLE; }
// Only a flag byte of exactly 3 is an array that a path indexes.
constexpr bool is_indexed_array(const item_desc& desc) { return desc.flag == KIND_ARRAY; }

// Where the table of item_numb descriptors ends, which is where a well-formed
// data area begins; 64-bit so that no count can overflow it.
constexpr std::uint64_t table_end(std::uint32_t item_numb)
{
    return header_bytes + std::uint64_t{desc_bytes} * item_numb;
}

}  // namespace vantor
