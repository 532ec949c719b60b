#include "access/item_value.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <optional>

#include "access/item_path.hpp"
#include "access/number.hpp"
#include "datfile/byte_order.hpp"

namespace vantor {

namespace {

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

std::string render_value(const item_location& item, std::span<const unsigned char> bytes)
{
    if (item.text)
        return std::string(bytes.begin(), bytes.end());
    char digits[12];
    const auto written = std::to_chars(digits, digits + sizeof digits, read_number(bytes.data(), item.size));
    return std::string(digits, written.ptr);
}

void add_value_bytes(stored_items& items, const item_location& item, std::string_view value)
{
    const region place = item.place();
    if (item.text) {
        items.add(place, value.substr(0, static_cast<std::size_t>(std::min<std::uint64_t>(place.size, value.size()))));
        return;
    }
    std::string number(static_cast<std::size_t>(place.size), '\0');
    write_number(reinterpret_cast<unsigned char*>(number.data()), item.size, parse_number(value));
    items.add(place, number);
}

stored_item value_bytes(const item_location& item, std::string_view value)
{
    stored_items one;
    add_value_bytes(one, item, value);
    const std::string_view given = one.given(one.items.front());
    std::vector<unsigned char> bytes(static_cast<std::size_t>(item.place().size));
    std::copy(given.begin(), given.end(), bytes.begin());
    return {item.place(), std::move(bytes)};
}

result<std::string> getdata(const file_image& image, std::string_view path)
{
    const auto item = resolve_item_path(image, path);
    if (!item)
        return item.error();
    const auto bytes = read_bytes(image, item->place());
    if (!bytes)
        return bytes.error();
    return render_value(*item, *bytes);
}

result<stored_item> setdata(const file_image& image, std::string_view path, std::string_view value)
{
    const auto item = resolve_item_path(image, path);
    if (!item)
        return item.error();
    return value_bytes(*item, value);
}

}  // namespace vantor
