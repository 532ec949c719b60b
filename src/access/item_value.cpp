#include "access/item_value.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>

#include "access/item_path.hpp"
#include "access/number.hpp"
#include "datfile/byte_order.hpp"

namespace vantor {

namespace {

// A 't' anywhere in the path asks for text; sizes other than 1, 2 and 4 are
// text anyway, except sizes of 0 or below, which read as the number 0.
bool is_text(std::string_view path, std::int32_t size)
{
    return path.find('t') != std::string_view::npos || size == 3 || size > 4;
}

// A negative size cannot be copied as text.
std::optional<item_location> resolve_for(const file_image& image, std::string_view path)
{
    const auto item = resolve_item_path(image, path);
    if (item && item->size < 0 && is_text(path, item->size))
        return std::nullopt;
    return item;
}

std::int32_t read_number(const unsigned char* bytes, std::int32_t size)
{
    switch (size) {
    case 1:
        return bytes[0];
    case 2: {
        std::uint16_t value = 0;
        std::memcpy(&value, bytes, 2);
        return swap16(&value);
    }
    case 4: {
        std::uint32_t value = 0;
        std::memcpy(&value, bytes, 4);
        return static_cast<std::int32_t>(swap32(&value));
    }
    default:
        return 0;
    }
}

void write_number(unsigned char* bytes, std::int32_t size, std::int32_t number)
{
    switch (size) {
    case 1:
        bytes[0] = static_cast<unsigned char>(number);
        break;
    case 2: {
        auto value = static_cast<std::uint16_t>(number);
        swap16(&value);
        std::memcpy(bytes, &value, 2);
        break;
    }
    case 4: {
        auto value = static_cast<std::uint32_t>(number);
        swap32(&value);
        std::memcpy(bytes, &value, 4);
        break;
    }
    default:
        break;
    }
}

}  // namespace

result<std::string> getdata(const file_image& image, std::string_view path)
{
    const auto item = resolve_for(image, path);
    if (!item)
        return failure_kind::not_resolved;
    const unsigned char* bytes = image.bytes.data() + item->start;
    if (is_text(path, item->size))
        return std::string(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(item->size));
    return std::to_string(read_number(bytes, item->size));
}

result<region> setdata(file_image& image, std::string_view path, std::string_view value)
{
    const auto item = resolve_for(image, path);
    if (!item)
        return failure_kind::not_resolved;
    unsigned char* bytes = image.bytes.data() + item->start;
    // A number item of 0 bytes or fewer stores nothing.
    const auto size = static_cast<std::size_t>(std::max(item->size, 0));
    if (is_text(path, item->size)) {
        const std::size_t copied = std::min(size, value.size());
        std::copy_n(value.begin(), copied, bytes);
        std::fill_n(bytes + copied, size - copied, 0);
    } else {
        write_number(bytes, item->size, parse_number(value));
    }
    return region{item->start, size};
}

}  // namespace vantor
