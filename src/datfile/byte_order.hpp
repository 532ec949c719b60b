// Conversion between the file's big-endian fields and host order, in place.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantor {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "mixed-endian hosts are not supported");

namespace detail {

constexpr std::uint32_t reversed(std::uint32_t v)
{
    return v >> 24 | (v >> 8 & 0xFF00u) | (v << 8 & 0xFF0000u) | v << 24;
}
constexpr std::uint16_t reversed(std::uint16_t v) { return static_cast<std::uint16_t>(v >> 8 | v << 8); }

template <typename T>
inline T swap_in_place(void* field)
{
    T value;
    std::memcpy(&value, field, sizeof(T));
    if constexpr (std::endian::native == std::endian::little) {
        value = reversed(value);
        std::memcpy(field, &value, sizeof(T));
    }
    return value;
}

}  // namespace detail

// Converts the four bytes at `field` between big-endian and host order and
// returns the value they then hold in host order. Applying it twice restores
// the bytes, so the same call turns a host value back into file order.
inline std::uint32_t swap32(void* field) { return detail::swap_in_place<std::uint32_t>(field); }

// The same for a two-byte field; the result is unsigned.
inline std::uint16_t swap16(void* field) { return detail::swap_in_place<std::uint16_t>(field); }

// Read and write big-endian numbers of any width without changing other
// bytes.
template <std::unsigned_integral T>
constexpr T load_be(const unsigned char* bytes)
{
    T value = 0;
    for (std::size_t k = 0; k < sizeof(T); ++k)
        value = static_cast<T>(value << 8 | bytes[k]);
    return value;
}

template <std::unsigned_integral T>
constexpr void store_be(unsigned char* bytes, T value)
{
    for (std::size_t k = sizeof(T); k-- > 0; value = static_cast<T>(value >> 8))
        bytes[k] = static_cast<unsigned char>(value);
}

constexpr std::uint32_t load_be32(const unsigned char* bytes) { return load_be<std::uint32_t>(bytes); }
constexpr std::uint16_t load_be16(const unsigned char* bytes) { return load_be<std::uint16_t>(bytes); }

// Read a little-endian number without changing the bytes.
constexpr std::uint32_t load_le32(const unsigned char* bytes)
{
    return std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[1]} << 8 |
           std::uint32_t{bytes[0]};
}

constexpr std::uint16_t load_le16(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>(bytes[1] << 8 | bytes[0]);
}

}  // namespace vantor
