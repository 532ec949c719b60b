#include "datfile/file_image.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <utility>

#include "datfile/byte_order.hpp"
#include "platform/data_file.hpp"
#include "platform/platform.hpp"
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
// that `image` was loaded with, read and converted as the listing reads them.
bool holds_loaded_layout(std::FILE* file, const file_image& image)
{
    table_reader reader(file);
    const std::optional<dat_header> header = reader.read_header();
    const dat_header loaded = image.header();
    if (!header || std::memcmp(&*header, &loaded, header_bytes) != 0)
        return false;
    for (std::uint32_t position = 0; position < loaded.item_numb; ++position) {
        const std::optional<item_desc> desc = reader.next(loaded.item_numb);
        const item_desc held = image.descriptor(position);
        if (!desc || std::memcmp(&*desc, &held, desc_bytes) != 0)
            return false;
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

result<file_image> checked_image(heap_bytes storage, std::size_t size)
{
    const std::span<unsigned char> bytes(storage.get(), size);
    if (!checked_region(bytes.size(), 0, header_bytes))
        return failure_kind::read;
    const std::uint32_t item_numb = load_be32(bytes.data() + header_field::item_numb);
    const auto table = checked_region(bytes.size(), header_bytes, std::uint64_t{desc_bytes} * item_numb);
    if (!table)
        return failure_kind::read;
    // A data area inside the table would let an item overlap converted
    // descriptor bytes.
    if (load_be32(bytes.data() + header_field::data_offset) < table->end())
        return failure{failure_kind::data_offset, static_cast<std::uint32_t>(table->end())};
    return file_image{std::move(storage), bytes};
}

}  // namespace

result<file_image> make_file_image(std::span<const unsigned char> bytes)
{
    // One byte at least: malloc(0) may give null.
    heap_bytes storage(static_cast<unsigned char*>(std::malloc(std::max<std::size_t>(bytes.size(), 1))));
    if (!storage)
        throw std::bad_alloc();
    std::copy(bytes.begin(), bytes.end(), storage.get());
    return checked_image(std::move(storage), bytes.size());
}

result<file_image> load_file_image(const char* path)
{
    const auto file = open_data_file(path, file_use::load);
    if (!file)
        return failure_kind::open;
    if (file->size == 0 || file->size > std::numeric_limits<std::size_t>::max())
        return failure_kind::alloc;
    const auto length = static_cast<std::size_t>(file->size);
    heap_bytes storage(static_cast<unsigned char*>(std::malloc(length)));
    if (!storage)
        return failure_kind::alloc;
    if (!read_whole(file->stream.get(), storage.get(), length))
        return failure_kind::read;
    return checked_image(std::move(storage), length);
}

void normalize_header(file_image& image) { normalize_header_bytes(image.bytes.data()); }

void normalize_descriptors(file_image& image)
{
    normalize_descriptor_bytes(image.bytes.data() + header_bytes, image.item_numb());
}

result<region> store_item(const char* path, const file_image& image, region item)
{
    auto file = open_data_file(path, file_use::update);
    if (!file)
        return failure_kind::open;
    std::FILE* stream = file->stream.get();
    // Unbuffered, so that the item goes out in one write of its own bytes.
    std::setvbuf(stream, nullptr, _IONBF, 0);
    if (!holds_loaded_layout(stream, image) || !holds_item(stream, item))
        return failure_kind::write;
    if (!platform::seek(stream, item.start) ||
        std::fwrite(image.bytes.data() + item.start, 1, item.size, stream) != item.size)
        return failure_kind::write;
    if (std::fclose(file->stream.release()) != 0)
        return failure_kind::write;
    return item;
}

}  // namespace vantor
