#include "listing/listing.hpp"

#include <cstring>

#include "datfile/byte_order.hpp"

namespace vantor {

namespace {

// No table at all for a count whose byte size does not fit in 32 bits.
constexpr std::uint32_t max_item_numb = (1u << 28) - 1;

void print_header(std::FILE* out, dat_header& header)
{
    std::fprintf(out, "/*\n");
    std::fprintf(out, " * item_desc_size=%d\n", static_cast<std::int32_t>(swap32(&header.item_desc_size)));
    std::fprintf(out, " * item_numb     =%d\n", static_cast<std::int32_t>(swap32(&header.item_numb)));
    std::fprintf(out, " * header_size   =%d\n", static_cast<std::int32_t>(swap32(&header.header_size)));
    std::fprintf(out, " * desc_size     =%d\n", static_cast<std::int32_t>(swap32(&header.desc_size)));
    std::fprintf(out, " * data_offset   =%d\n", static_cast<std::int32_t>(swap32(&header.data_offset)));
    std::fprintf(out, " * data_len      =%d\n", static_cast<std::int32_t>(swap32(&header.data_len)));
    std::fprintf(out, " * flag          =%d\n", header.flag);
}

void print_row(std::FILE* out, item_desc& desc)
{
    if (kind_of(desc) != KIND_MEMBER)
        std::fprintf(out, " *\n *  size   offset   id next flag\n");
    std::fprintf(out, " *%6d", static_cast<std::int32_t>(swap32(&desc.size)));
    std::fprintf(out, "%9d", static_cast<std::int32_t>(swap32(&desc.offset)));
    std::fprintf(out, "%5d", swap16(&desc.id));
    std::fprintf(out, "%5d", swap16(&desc.next));
    std::fprintf(out, "%5d\n", desc.flag);
}

// A record cut short keeps the bytes it got, unconverted, and the
// declarations read its fields as little-endian numbers, whatever the host.
item_desc as_little_endian(const item_desc& raw)
{
    unsigned char bytes[desc_bytes];
    std::memcpy(bytes, &raw, desc_bytes);
    item_desc desc = raw;
    desc.size = load_le32(bytes);
    desc.offset = load_le32(bytes + 4);
    desc.id = load_le16(bytes + 8);
    desc.next = load_le16(bytes + 10);
    return desc;
}

}  // namespace

listing_result print_listing(std::FILE* in, std::FILE* out)
{
    listing_result result;
    dat_header header{};
    if (std::fread(&header, 1, header_bytes, in) != header_bytes) {
        result.failure = listing_failure::header_read;
        return result;
    }
    print_header(out, header);

    if (header.item_numb == 0 || header.item_numb > max_item_numb) {
        result.failure = listing_failure::table_alloc;
        return result;
    }
    result.has_table = true;
    for (std::uint32_t i = 0; i < header.item_numb; ++i) {
        item_desc desc{};
        if (std::fread(&desc, 1, desc_bytes, in) != desc_bytes) {
            result.table.push_back(as_little_endian(desc));
            result.failure = listing_failure::record_read;
            result.failed_record = i;
            return result;
        }
        print_row(out, desc);
        result.table.push_back(desc);
    }
    std::fprintf(out, " */\n\n\n");

    // Every read delivered its whole record, so the stream stands here.
    const auto position = static_cast<std::uint32_t>(table_end(header.item_numb));
    if (position != header.data_offset) {
        result.failure = listing_failure::data_offset;
        result.table_end = position;
    }
    return result;
}

}  // namespace vantor
