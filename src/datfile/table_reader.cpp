#include "datfile/table_reader.hpp"

#include <algorithm>
#include <cstring>

#include "datfile/byte_order.hpp"
#include "platform/platform.hpp"

namespace vantor {

dat_header host_order_header(const unsigned char* bytes)
{
    dat_header header;
    std::memcpy(&header, bytes, header_bytes);
    for (std::uint32_t* word : {&header.item_desc_size, &header.item_numb, &header.header_size, &header.desc_size,
                                &header.data_offset, &header.data_len})
        swap32(word);
    return header;
}

std::optional<std::uint64_t> table_reader::file_size() const
{
    const auto file = platform::status(in_);
    if (!file || !file->regular)
        return std::nullopt;
    return file->size;
}

std::optional<dat_header> table_reader::read_header()
{
    unsigned char bytes[header_bytes];
    if (std::fread(bytes, 1, header_bytes, in_) != header_bytes)
        return std::nullopt;
    return host_order_header(bytes);
}

// Reads the next slice, never beyond the last of `count` records.
bool table_reader::refill(std::uint32_t count)
{
    const std::size_t wanted = std::min<std::size_t>(slice, count - delivered_) * desc_bytes;
    held_ = std::fread(bytes_, 1, wanted, in_);
    at_ = 0;
    return held_ >= desc_bytes;
}

std::optional<item_desc> table_reader::next(std::uint32_t count)
{
    if (delivered_ >= count)
        return std::nullopt;
    if (held_ - at_ < desc_bytes && (held_ - at_ != 0 || !refill(count)))
        return std::nullopt;
    const item_desc desc = host_order(bytes_ + at_);
    at_ += desc_bytes;
    ++delivered_;
    return desc;
}

item_desc table_reader::cut_short() const
{
    unsigned char bytes[desc_bytes] = {};
    std::memcpy(bytes, bytes_ + at_, held_ - at_);
    return fields_in<std::endian::little>(bytes);
}

}  // namespace vantor
