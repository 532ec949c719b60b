#include "datfile/byte_order.hpp"

#include <gtest/gtest.h>

#include <cstring>

namespace vantor {
namespace {

TEST(byte_order, swap32_turns_big_endian_into_host_order_and_back)
{
    struct sample {
        unsigned char bytes[4];
        std::uint32_t value;
    };
    for (const sample& s : {sample{{0x00, 0x00, 0x01, 0x00}, 256}, sample{{0xFF, 0xFF, 0xFF, 0xFF}, 4294967295u},
                            sample{{0x12, 0x34, 0x56, 0x78}, 0x12345678u}}) {
        unsigned char field[4];
        std::memcpy(field, s.bytes, 4);
        EXPECT_EQ(swap32(field), s.value);
        std::uint32_t host;
        std::memcpy(&host, field, 4);
        EXPECT_EQ(host, s.value);
        swap32(field);
        EXPECT_EQ(std::memcmp(field, s.bytes, 4), 0);
    }
}

TEST(byte_order, swap16_is_unsigned)
{
    unsigned char field[2] = {0x80, 0x00};
    EXPECT_EQ(swap16(field), 32768u);
    swap16(field);
    EXPECT_EQ(field[0], 0x80);
    EXPECT_EQ(field[1], 0x00);
}

TEST(byte_order, loads_leave_the_bytes_alone)
{
    const unsigned char bytes[4] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(load_be<std::uint32_t>(bytes), 0x01020304u);
    EXPECT_EQ((load_ordered<std::uint32_t, std::endian::little>(bytes)), 0x04030201u);
    EXPECT_EQ((load_ordered<std::uint16_t, std::endian::little>(bytes)), 0x0201u);
}

}  // namespace
}  // namespace vantor
