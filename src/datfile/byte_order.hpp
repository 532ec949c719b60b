// Conversion between the file's big-endian fields and host order, in place.
#pragma once

#include <cstdint>

namespace vantor {

// Converts the four bytes at `field` between big-endian and host order and
// returns the value they then hold in host order. Applying it twice restores
// the bytes, so the same call turns a host value back into file order.
std::uint32_t swap32(void* field);

// The same for a two-byte field; the result is unsigned.
std::uint16_t swap16(void* field);

// Read a big-endian number without changing the bytes.
std::uint32_t load_be32(const unsigned char* bytes);

// Read a little-endian number without changing the bytes.
std::uint32_t load_le32(const unsigned char* bytes);
std::uint16_t load_le16(const unsigned char* bytes);

}  // namespace vantor
