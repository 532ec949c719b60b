#include "datfile/file_image.hpp"

#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "datfile/byte_order.hpp"

namespace vantor {

namespace {

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// The size of an open stream, or -1.
long long measure(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0)
        return -1;
    const long size = std::ftell(file);
    if (std::fseek(file, 0, SEEK_SET) != 0)
        return -1;
    return size;
}

}  // namespace

dat_header file_image::header() const
{
    dat_header header;
    std::memcpy(&header, bytes.data(), header_bytes);
    return header;
}

std::vector<item_desc> file_image::descriptors() const
{
    std::vector<item_desc> table(item_numb());
    if (!table.empty())
        std::memcpy(table.data(), bytes.data() + header_bytes, table.size() * desc_bytes);
    return table;
}

std::variant<file_image, load_error> make_file_image(std::vector<unsigned char> bytes)
{
    if (bytes.size() < header_bytes)
        return load_error{load_failure::read};
    const std::uint32_t item_numb = load_be32(bytes.data() + header_field::item_numb);
    const std::uint64_t end = table_end(item_numb);
    if (bytes.size() < end)
        return load_error{load_failure::read};
    // A data area inside the table would send converted descriptor bytes back
    // into the file on the store.
    if (load_be32(bytes.data() + header_field::data_offset) < end)
        return load_error{load_failure::data_offset, static_cast<std::uint32_t>(end)};
    return file_image{std::move(bytes)};
}

std::variant<file_image, load_error> load_file_image(const char* path)
{
    file_handle file(std::fopen(path, "rb"));
    if (!file)
        return load_error{load_failure::open};
    const long long size = measure(file.get());
    if (size <= 0 || static_cast<unsigned long long>(size) > std::numeric_limits<std::size_t>::max())
        return load_error{load_failure::alloc};

    std::vector<unsigned char> bytes;
    try {
        bytes.resize(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        return load_error{load_failure::alloc};
    }
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return load_error{load_failure::read};
    return make_file_image(std::move(bytes));
}

void normalize_header(file_image& image)
{
    for (std::size_t field = 0; field < 6; ++field)
        swap32(image.bytes.data() + 4 * field);
}

void normalize_descriptors(file_image& image)
{
    const std::uint32_t count = image.item_numb();
    for (std::uint32_t i = 0; i < count; ++i) {
        unsigned char* desc = image.bytes.data() + header_bytes + std::size_t{desc_bytes} * i;
        swap32(desc);       // size
        swap32(desc + 4);   // offset
        swap16(desc + 8);   // id
        swap16(desc + 10);  // next
    }
}

store_result store_data_area(const char* path, const file_image& image)
{
    const std::uint32_t data_offset = image.data_offset();
    file_handle file(std::fopen(path, "r+b"));
    if (!file)
        return store_result::open_failed;
    if (data_offset < image.bytes.size()) {
        const std::size_t length = image.bytes.size() - data_offset;
        if (std::fseek(file.get(), static_cast<long>(data_offset), SEEK_SET) != 0 ||
            std::fwrite(image.bytes.data() + data_offset, 1, length, file.get()) != length)
            return store_result::write_failed;
    }
    // The close flushes the write; a failure there is a failed store too.
    if (std::fclose(file.release()) != 0)
        return store_result::write_failed;
    return store_result::stored;
}

}  // namespace vantor
