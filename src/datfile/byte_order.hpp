// Numbers in a file's bytes: one family of readers and writers for every
// width, big-endian as the format stores them, and the in-place conversion
// between the file's order and the host's that the records go through.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantor {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "mixed-endian hosts are not supported");

// The number that `bytes` hold in `order`, whatever the host's; the bytes
// stay as they are.
template <std::unsigned_integral T, std::endian order>
constexpr T load_ordered(const unsigned char* bytes)
{
    T value = 0;
    for (std::size_t k = 0; k < sizeof(T); ++k)
        value = static_cast<T>(value << 8 | bytes[order == std::endian::big ? k : sizeof(T) - 1 - k]);
    return value;
}

template <std::unsigned_integral T>
constexpr T load_be(const unsigned char* bytes)
{
    return load_ordered<T, std::endian::big>(bytes);
}

template <std::unsigned_integral T>
constexpr void store_be(unsigned char* bytes, T value)
{
    for (std::size_t k = sizeof(T); k-- > 0; value = static_cast<T>(value >> 8))
        bytes[k] = static_cast<unsigned char>(value);
}

namespace detail {

template <std::unsigned_integral T>
inline T swap_in_place(void* field)
{
    const T value = load_be<T>(static_cast<const unsigned char*>(field));
    std::memcpy(field, &value, sizeof(T));
    return value;
}

}  // namespace detail

// Converts the four bytes at `field` between big-endian and host order and
// returns the value they then hold in host order. Applying it twice restores
// the bytes, so the same call turns a host value back into file order.
inline std::uint32_t swap32(void* field) { return detail::swap_in_place<std::uint32_t>(field); }

// The same for a two-byte field; the result is unsigned.
inline std::uint16_t swap16(void* field) { return detail::swap_in_place<std::uint16_t>(field); }

}  // namespace vantor
