// Reads a data file's header and descriptor table from a stream, strictly in
// sequence and no further than the table, and yields each record in host
// order. Records are read in slices, so a long table costs few reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "datfile/byte_order.hpp"
#include "datfile/format.hpp"

namespace vantor {

class table_reader {
public:
    explicit table_reader(std::FILE* in) : in_(in) {}
    table_reader(const table_reader&) = delete;
    table_reader& operator=(const table_reader&) = delete;

    // The header, or nothing when the stream ends within its 28 bytes.
    std::optional<dat_header> read_header();

    // The next of the `count` descriptors that follow the header, or nothing
    // when all were read or the stream ended inside one.
    std::optional<item_desc> next(std::uint32_t count);

    // Descriptors delivered whole so far.
    std::uint32_t delivered() const { return delivered_; }

    // The size of the file the stream reads, where it is a regular file.
    std::optional<std::uint64_t> file_size() const;

    // The record the stream ended in: the bytes it got, unconverted, then
    // zeros, read as little-endian numbers whatever the host. Only once
    // next() has given nothing before `count` records.
    item_desc cut_short() const;

private:
    static constexpr std::size_t slice = 4096;  // records per read

    bool refill(std::uint32_t count);

    std::FILE* in_;
    std::uint32_t delivered_ = 0;
    std::size_t at_ = 0;    // next byte of the slice
    std::size_t held_ = 0;  // bytes in the slice
    unsigned char bytes_[slice * desc_bytes];
};

// A record's fields read in `order`; flag and unread bytes stay as they
// are. Inline: a long table is read record by record.
template <std::endian order>
inline item_desc fields_in(const unsigned char* record)
{
    item_desc desc;
    std::memcpy(&desc, record, desc_bytes);
    desc.size = load_ordered<std::uint32_t, order>(record);
    desc.offset = load_ordered<std::uint32_t, order>(record + 4);
    desc.id = load_ordered<std::uint16_t, order>(record + 8);
    desc.next = load_ordered<std::uint16_t, order>(record + 10);
    return desc;
}

// A record as stored, in host order.
inline item_desc host_order(const unsigned char* record) { return fields_in<std::endian::big>(record); }

dat_header host_order_header(const unsigned char* header);

}  // namespace vantor
