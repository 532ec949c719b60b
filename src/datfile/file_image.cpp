#include "datfile/file_image.hpp"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

#include "datfile/byte_order.hpp"
#include "datfile/table_reader.hpp"

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

// Symbolic links count as what they name.
bool is_regular_file(const char* path)
{
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::status(path, error)) && !error;
}

// In place, through the same conversion the listing's reader uses.
void normalize_header_bytes(unsigned char* header)
{
    const dat_header converted = host_order_header(header);
    std::memcpy(header, &converted, header_bytes);
}

void normalize_descriptor_bytes(unsigned char* table, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        const item_desc converted = host_order(table + desc_bytes * i);
        std::memcpy(table + desc_bytes * i, &converted, desc_bytes);
    }
}

// Whether the stream, at its start, holds the header and descriptor table
// that `image` was loaded with: read in slices, brought to host order as the
// image was, and compared.
bool holds_loaded_layout(std::FILE* file, const file_image& image)
{
    unsigned char header[header_bytes];
    if (std::fread(header, 1, header_bytes, file) != header_bytes)
        return false;
    normalize_header_bytes(header);
    if (std::memcmp(header, image.bytes.data(), header_bytes) != 0)
        return false;

    constexpr std::size_t slice = 4096;
    std::vector<unsigned char> table(slice * desc_bytes);
    for (std::size_t done = 0, count = image.item_numb(); done < count;) {
        const std::size_t now = std::min(slice, count - done);
        if (std::fread(table.data(), desc_bytes, now, file) != now)
            return false;
        normalize_descriptor_bytes(table.data(), now);
        if (std::memcmp(table.data(), image.bytes.data() + header_bytes + desc_bytes * done, desc_bytes * now) != 0)
            return false;
        done += now;
    }
    return true;
}

// Whether the item lies within the file as it is now.
bool holds_item(std::FILE* file, region item)
{
    const long long size = measure(file);
    return size >= 0 && checked_region(static_cast<unsigned long long>(size), item.start, item.size);
}

}  // namespace

dat_header file_image::header() const
{
    dat_header header;
    std::memcpy(&header, bytes.data(), header_bytes);
    return header;
}

namespace {

std::variant<file_image, load_error> checked_image(std::unique_ptr<unsigned char[]> storage, std::size_t size)
{
    const std::span<unsigned char> bytes(storage.get(), size);
    if (!checked_region(bytes.size(), 0, header_bytes))
        return load_error{load_failure::read};
    const std::uint32_t item_numb = load_be32(bytes.data() + header_field::item_numb);
    const auto table = checked_region(bytes.size(), header_bytes, std::uint64_t{desc_bytes} * item_numb);
    if (!table)
        return load_error{load_failure::read};
    // A data area inside the table would let an item overlap converted
    // descriptor bytes.
    if (load_be32(bytes.data() + header_field::data_offset) < table->end())
        return load_error{load_failure::data_offset, static_cast<std::uint32_t>(table->end())};
    return file_image{std::move(storage), bytes};
}

}  // namespace

std::variant<file_image, load_error> make_file_image(std::span<const unsigned char> bytes)
{
    auto storage = std::make_unique_for_overwrite<unsigned char[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), storage.get());
    return checked_image(std::move(storage), bytes.size());
}

std::variant<file_image, load_error> load_file_image(const char* path)
{
    if (!is_regular_file(path))
        return load_error{load_failure::open};
    file_handle file(std::fopen(path, "rb"));
    if (!file)
        return load_error{load_failure::open};
    const long long size = measure(file.get());
    if (size <= 0 || static_cast<unsigned long long>(size) > std::numeric_limits<std::size_t>::max())
        return load_error{load_failure::alloc};

    const auto length = static_cast<std::size_t>(size);
    std::unique_ptr<unsigned char[]> storage;
    try {
        storage = std::make_unique_for_overwrite<unsigned char[]>(length);
    } catch (const std::bad_alloc&) {
        return load_error{load_failure::alloc};
    }
    if (std::fread(storage.get(), 1, length, file.get()) != length)
        return load_error{load_failure::read};
    return checked_image(std::move(storage), length);
}

void normalize_header(file_image& image) { normalize_header_bytes(image.bytes.data()); }

void normalize_descriptors(file_image& image)
{
    normalize_descriptor_bytes(image.bytes.data() + header_bytes, image.item_numb());
}

store_result store_item(const char* path, const file_image& image, region item)
{
    if (!is_regular_file(path))
        return store_result::open_failed;
    file_handle file(std::fopen(path, "r+b"));
    if (!file)
        return store_result::open_failed;
    // Unbuffered, so that the item goes out in one write of its own bytes.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);
    if (!holds_loaded_layout(file.get(), image) || !holds_item(file.get(), item) ||
        item.start > static_cast<std::size_t>(LONG_MAX))
        return store_result::write_failed;
    if (std::fseek(file.get(), static_cast<long>(item.start), SEEK_SET) != 0 ||
        std::fwrite(image.bytes.data() + item.start, 1, item.size, file.get()) != item.size)
        return store_result::write_failed;
    if (std::fclose(file.release()) != 0)
        return store_result::write_failed;
    return store_result::stored;
}

}  // namespace vantor
