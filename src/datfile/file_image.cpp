#include "datfile/file_image.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "datfile/byte_order.hpp"
#include "datfile/data_file.hpp"
#include "datfile/platform.hpp"
#include "datfile/table_reader.hpp"

namespace vantor {

namespace {

using heap_bytes = std::unique_ptr<unsigned char[], heap_free>;

// Reads `size` bytes in slices: the C runtimes do not all read a count of
// gigabytes in one call.
bool read_whole(std::FILE* file, unsigned char* buffer, std::size_t size)
{
    constexpr std::size_t slice = std::size_t{1} << 24;
    for (std::size_t done = 0; done < size;) {
        const std::size_t now = std::min(slice, size - done);
        if (std::fread(buffer + done, 1, now, file) != now)
            return false;
        done += now;
    }
    return true;
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
    const auto now = platform::status(file);
    return now && checked_region(now->size, item.start, item.size);
}

}  // namespace

dat_header file_image::header() const
{
    dat_header header;
    std::memcpy(&header, bytes.data(), header_bytes);
    return header;
}

namespace {

std::variant<file_image, load_error> checked_image(heap_bytes storage, std::size_t size)
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
    // One byte at least: malloc(0) may give null.
    heap_bytes storage(static_cast<unsigned char*>(std::malloc(std::max<std::size_t>(bytes.size(), 1))));
    if (!storage)
        throw std::bad_alloc();
    std::copy(bytes.begin(), bytes.end(), storage.get());
    return checked_image(std::move(storage), bytes.size());
}

std::variant<file_image, load_error> load_file_image(const char* path)
{
    const auto file = open_data_file(path, file_use::load);
    if (!file)
        return load_error{load_failure::open};
    if (file->size == 0 || file->size > std::numeric_limits<std::size_t>::max())
        return load_error{load_failure::alloc};
    const auto length = static_cast<std::size_t>(file->size);
    heap_bytes storage(static_cast<unsigned char*>(std::malloc(length)));
    if (!storage)
        return load_error{load_failure::alloc};
    if (!read_whole(file->stream.get(), storage.get(), length))
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
    auto file = open_data_file(path, file_use::update);
    if (!file)
        return store_result::open_failed;
    std::FILE* stream = file->stream.get();
    // Unbuffered, so that the item goes out in one write of its own bytes.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    if (!holds_loaded_layout(stream, image) || !holds_item(stream, item))
        return store_result::write_failed;
    if (!platform::seek(stream, item.start) ||
        std::fwrite(image.bytes.data() + item.start, 1, item.size, stream) != item.size)
        return store_result::write_failed;
    if (std::fclose(file->stream.release()) != 0)
        return store_result::write_failed;
    return store_result::stored;
}

}  // namespace vantor
