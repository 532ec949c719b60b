#include "listing/listing.hpp"

#include <algorithm>

#include "datfile/table_reader.hpp"
#include "listing/text_writer.hpp"

namespace vantor {

namespace {

void print_header(text_writer& out, const dat_header& header)
{
    out << "/*\n";
    out << " * item_desc_size=" << decimal(header.item_desc_size) << '\n';
    out << " * item_numb     =" << decimal(header.item_numb) << '\n';
    out << " * header_size   =" << decimal(header.header_size) << '\n';
    out << " * desc_size     =" << decimal(header.desc_size) << '\n';
    out << " * data_offset   =" << decimal(header.data_offset) << '\n';
    out << " * data_len      =" << decimal(header.data_len) << '\n';
    out << " * flag          =" << decimal(header.flag) << '\n';
}

void print_row(text_writer& out, const item_desc& desc)
{
    if (kind_of(desc) != KIND_MEMBER)
        out << " *\n *  size   offset   id next flag\n";
    out << " *" << right(desc.size, 6) << right(desc.offset, 9) << right(desc.id, 5) << right(desc.next, 5)
        << right(desc.flag, 5) << '\n';
}

// Room for as many records as the stream can still deliver, a record cut
// short included: the count may promise far more than the file holds. A
// pipe's size is unknown; there the table grows with what arrives.
std::uint32_t records_to_expect(const table_reader& reader, std::uint32_t count)
{
    const auto size = reader.file_size();
    if (!size)
        return std::min(count, id_count);
    const std::uint64_t after_header = *size > header_bytes ? *size - header_bytes : 0;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(count, (after_header + desc_bytes - 1) / desc_bytes));
}

}  // namespace

listing_result print_listing(std::FILE* in, std::FILE* out)
{
    listing_result result;
    table_reader reader(in);
    const auto header = reader.read_header();
    if (!header) {
        result.failed = failure{failure_kind::read};
        return result;
    }
    text_writer text(out);
    print_header(text, *header);

    const std::uint32_t count = header->item_numb;
    if (count == 0 || count > max_item_numb) {
        result.failed = failure{failure_kind::alloc};
        return result;
    }
    result.has_table = true;
    result.table.reserve(records_to_expect(reader, count));
    while (const auto desc = reader.next(count)) {
        print_row(text, *desc);
        result.table.push_back(*desc);
    }
    if (reader.delivered() < count) {
        result.table.push_back(reader.cut_short());
        result.failed = failure{failure_kind::read, 0, reader.delivered()};
        return result;
    }
    text << " */\n\n\n";

    // Every read delivered its whole record, so the stream stands here.
    const auto position = static_cast<std::uint32_t>(table_end(count));
    if (position != header->data_offset)
        result.failed = failure{failure_kind::data_offset, position};
    return result;
}

}  // namespace vantor
