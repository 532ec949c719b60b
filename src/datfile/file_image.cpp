#include "datfile/file_image.hpp"

#include <algorithm>
#include <cstring>
#include <new>
#include <span>
#include <optional>
#include <utility>

#include "datfile/table_reader.hpp"
#include "platform/data_file.hpp"
#include "platform/platform.hpp"

namespace vantor {

namespace {

// Reads `size` bytes in slices: the C runtimes do not all read a count of
// gigabytes in one call.
bool read_whole(std::FILE* file, unsigned char* buffer, std::uint64_t size)
{
    constexpr std::uint64_t slice = std::uint64_t{1} << 24;
    for (std::uint64_t done = 0; done < size;) {
        const auto now = static_cast<std::size_t>(std::min(slice, size - done));
        if (std::fread(buffer + done, 1, now, file) != now)
            return false;
        done += now;
    }
    return true;
}

bool seek_and_read(std::FILE* file, std::uint64_t start, unsigned char* buffer, std::uint64_t size)
{
    return platform::seek(file, start) && read_whole(file, buffer, size);
}

// The table read raw into its place, then converted there.
bool read_table(std::FILE* file, item_desc* table, std::uint32_t count)
{
    if (!read_whole(file, reinterpret_cast<unsigned char*>(table), std::uint64_t{desc_bytes} * count))
        return false;
    for (item_desc* desc = table; desc != table + count; ++desc)
        *desc = host_order(reinterpret_cast<const unsigned char*>(desc));
    return true;
}

// Whether the stream holds, from its start, the header and the descriptor
// table that `image` was loaded with. Read in slices into one buffer and
// compared as they come, so that the check costs one more read of the table.
bool holds_loaded_layout(std::FILE* file, const file_image& image)
{
    unsigned char header[header_bytes];
    if (!seek_and_read(file, 0, header, header_bytes))
        return false;
    const dat_header now = host_order_header(header);
    if (std::memcmp(&now, &image.header, header_bytes) != 0)
        return false;
    constexpr std::uint32_t slice = 4096;
    std::vector<item_desc> records(std::min(slice, image.item_numb()));
    for (std::uint32_t done = 0; done < image.item_numb();) {
        const std::uint32_t count = std::min(slice, image.item_numb() - done);
        if (!read_table(file, records.data(), count) ||
            std::memcmp(records.data(), &image.descriptor(done), std::size_t{desc_bytes} * count) != 0)
            return false;
        done += count;
    }
    return true;
}

// Whether every item lies within the file as it is now.
bool holds_items(std::FILE* file, std::span<const stored_item> items)
{
    const auto now = platform::status(file);
    return now && std::all_of(items.begin(), items.end(), [&](const stored_item& item) {
               return checked_region(now->size, item.place.start, item.place.size).has_value();
           });
}

// The stream to store through: the one loaded while the name still names
// it, else the name opened anew.
std::optional<stream_handle> update_stream(const char* path, file_image& image)
{
    if (image.open_for_update && platform::same_file(path, image.file.get()))
        return std::move(image.file);
    image.file.reset();
    auto reopened = open_data_file(path, file_use::update);
    if (!reopened)
        return std::nullopt;
    std::setvbuf(reopened->stream.get(), nullptr, _IONBF, 0);
    return stream_handle(reopened->stream.release(), &std::fclose);
}

}  // namespace

result<file_image> load_file_image(stream_handle file, std::uint64_t size)
{
    if (size == 0)
        return failure_kind::alloc;
    unsigned char header[header_bytes];
    if (size < header_bytes || !read_whole(file.get(), header, header_bytes))
        return failure_kind::read;
    file_image image;
    image.header = host_order_header(header);
    const auto table = checked_region(size, header_bytes, std::uint64_t{desc_bytes} * image.item_numb());
    if (!table)
        return failure_kind::read;
    // A data area inside the table would let a store overwrite descriptors.
    if (image.data_offset() < table->end())
        return failure{failure_kind::data_offset, static_cast<std::uint32_t>(table->end())};
    image.descriptors.reset(new (std::nothrow) item_desc[image.item_numb()]);
    if (!image.descriptors)
        return failure_kind::alloc;
    if (!read_table(file.get(), image.descriptors.get(), image.item_numb()))
        return failure_kind::read;
    image.size = size;
    image.file = std::move(file);
    return image;
}

result<file_image> load_file_image(const char* path, image_use use)
{
    std::optional<data_file> opened = use == image_use::write ? open_data_file(path, file_use::update) : std::nullopt;
    const bool for_update = opened.has_value();
    if (!opened)
        opened = open_data_file(path, file_use::load);
    if (!opened)
        return failure_kind::open;
    std::setvbuf(opened->stream.get(), nullptr, _IONBF, 0);
    result<file_image> image = load_file_image(stream_handle(opened->stream.release(), &std::fclose), opened->size);
    if (image)
        image->open_for_update = for_update;
    return image;
}

result<file_image> make_file_image(std::span<const unsigned char> bytes)
{
    stream_handle file(std::tmpfile(), &std::fclose);
    if (!file || std::setvbuf(file.get(), nullptr, _IONBF, 0) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() || std::fseek(file.get(), 0, SEEK_SET) != 0)
        return failure_kind::open;
    return load_file_image(std::move(file), bytes.size());
}

result<std::vector<unsigned char>> read_bytes(const file_image& image, region place)
{
    std::vector<unsigned char> bytes(static_cast<std::size_t>(place.size));
    if (!seek_and_read(image.file.get(), place.start, bytes.data(), place.size))
        return failure_kind::read;
    return bytes;
}

result<std::uint64_t> store_items(const char* path, file_image& image, std::span<const stored_item> items)
{
    std::optional<stream_handle> file = update_stream(path, image);
    if (!file)
        return failure_kind::open;
    if (!holds_loaded_layout(file->get(), image) || !holds_items(file->get(), items))
        return failure_kind::write;
    std::uint64_t written = 0;
    for (const stored_item& item : items) {
        if (!platform::seek(file->get(), item.place.start) ||
            std::fwrite(item.bytes.data(), 1, item.bytes.size(), file->get()) != item.bytes.size())
            return failure_kind::write;
        written += item.bytes.size();
    }
    if (std::fclose(file->release()) != 0)
        return failure_kind::write;
    return written;
}

}  // namespace vantor
