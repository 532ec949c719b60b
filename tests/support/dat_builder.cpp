#include "support/dat_builder.hpp"

#include <algorithm>
#include <stdexcept>

namespace vantor::testing {

void put_be(std::vector<unsigned char>& bytes, std::uint32_t value, int width)
{
    for (int shift = 8 * (width - 1); shift >= 0; shift -= 8)
        bytes.push_back(static_cast<unsigned char>(value >> shift));
}

std::vector<unsigned char> build_dat(const dat_layout& layout)
{
    const auto count = static_cast<std::uint32_t>(layout.descriptors.size());
    std::vector<unsigned char> bytes;
    put_be(bytes, layout.item_desc_size, 4);
    put_be(bytes, layout.item_numb.value_or(count), 4);
    put_be(bytes, layout.header_size, 4);
    put_be(bytes, layout.desc_size, 4);
    put_be(bytes, layout.data_offset.value_or(28 + 16 * count), 4);
    put_be(bytes, layout.data_len, 4);
    bytes.insert(bytes.end(), {layout.flag, 0, 0, 0});
    for (const desc_row& row : layout.descriptors) {
        put_be(bytes, row.size, 4);
        put_be(bytes, row.offset, 4);
        put_be(bytes, row.id, 2);
        put_be(bytes, row.next, 2);
        bytes.insert(bytes.end(), {row.flag, 0, 0, 0});
    }
    bytes.insert(bytes.end(), layout.data.begin(), layout.data.end());
    return bytes;
}

std::vector<unsigned char> cut(std::vector<unsigned char> bytes, std::size_t size)
{
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
}

std::vector<item_desc> host_table(const std::vector<desc_row>& rows)
{
    std::vector<item_desc> table;
    for (const desc_row& row : rows)
        table.push_back({row.size, row.offset, row.id, row.next, row.flag, {0, 0, 0}});
    return table;
}

file_image loaded_image(const std::string& path)
{
    result<file_image> loaded = load_file_image(path.c_str(), image_use::read);
    if (!loaded)
        throw std::runtime_error("cannot load " + path);
    return std::move(*loaded);
}

file_image loaded_image(const dat_layout& layout)
{
    result<file_image> loaded = make_file_image(build_dat(layout));
    if (!loaded)
        throw std::runtime_error("cannot load a layout");
    return std::move(*loaded);
}

}  // namespace vantor::testing
