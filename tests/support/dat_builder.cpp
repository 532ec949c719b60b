#include "support/dat_builder.hpp"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <unistd.h>

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

std::vector<item_desc> host_table(const std::vector<desc_row>& rows)
{
    std::vector<item_desc> table;
    for (const desc_row& row : rows)
        table.push_back({row.size, row.offset, row.id, row.next, row.flag, {0, 0, 0}});
    return table;
}

dat_layout worked_example()
{
    dat_layout layout;
    layout.descriptors = {
        variable(1, 2, 16),
        structure(2, 10, 16),
        member(10, 11, 1, 0),
        member(11, 12, 2, 2),
        typed_member(12, 3, 13, 4),
        typed_member(13, 4, 0, 8),
        array(4, 5, 4, 2),
        structure(3, 20, 4),
        member(20, 0, 4, 0),
        structure(5, 30, 4),
        member(30, 31, 2, 0),
        member(31, 0, 2, 2),
    };
    layout.data.assign(16, 0);
    return layout;
}

namespace {

std::string fresh_path(const std::string& suffix)
{
    static std::atomic<unsigned> counter{0};
    const auto name = "vantor-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + suffix;
    return (std::filesystem::temp_directory_path() / name).string();
}

}  // namespace

temp_file::temp_file(const std::vector<unsigned char>& bytes, const std::string& suffix) : path_(fresh_path(suffix))
{
    write_file(path_, bytes);
}

temp_file::~temp_file()
{
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all, ignored);
    std::filesystem::remove(path_, ignored);
}

std::vector<unsigned char> temp_file::bytes() const { return read_file(path_); }

file_image loaded_image(const std::string& path, bool converted)
{
    result<file_image> loaded = load_file_image(path.c_str());
    if (!loaded)
        throw std::runtime_error("cannot load " + path);
    if (converted) {
        normalize_header(*loaded);
        normalize_descriptors(*loaded);
    }
    return std::move(*loaded);
}

file_image loaded_image(const dat_layout& layout, bool converted)
{
    const temp_file file(build_dat(layout));
    return loaded_image(file.path(), converted);
}

std::vector<unsigned char> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void write_file(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace vantor::testing
