#include "datfile/byte_order.hpp"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vantor {

static_assert(std::endian::native == std::endian::little || std::endian::native == std::endian::big,
              "mixed-endian hosts are not supported");

namespace {

template <typename T>
T swap_in_place(void* field)
{
    auto* bytes = static_cast<unsigned char*>(field);
    if constexpr (std::endian::native == std::endian::little)
        std::reverse(bytes, bytes + sizeof(T));
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    return value;
}

}  // namespace

std::uint32_t swap32(void* field) { return swap_in_place<std::uint32_t>(field); }

std::uint16_t swap16(void* field) { return swap_in_place<std::uint16_t>(field); }

std::uint32_t load_be32(const unsigned char* bytes)
{
    return std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
           std::uint32_t{bytes[2]} << 8 | std::uint32_t{bytes[3]};
}

std::uint32_t load_le32(const unsigned char* bytes)
{
    return std::uint32_t{bytes[3]} << 24 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[0]};
}

std::uint16_t load_le16(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>(bytes[1] << 8 | bytes[0]);
}

}  // namespace vantor
