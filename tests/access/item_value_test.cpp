#include "access/item_value.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/dat_builder.hpp"

namespace vantor {
namespace {

using bytes = std::vector<unsigned char>;

constexpr std::uint32_t big_size = 300;

// Variable 1 of structure 2, whose members are items of every handling:
// 11 (1 byte at 0), 12 (2 at 1), 14 (4 at 3), 13 (3 at 7), 15 (5 at 10),
// 16 (0 at 15), 17 (2^31 at 15), 18 (300 at 15).
file_image value_image(std::size_t at = 0, const bytes& stored = {})
{
    testing::dat_layout layout;
    layout.descriptors = {
        {5, 1, 2, 15 + big_size, 0}, {2, 2, 11, 15 + big_size, 0}, {1, 11, 12, 1, 0}, {1, 12, 14, 2, 1},
        {1, 14, 13, 4, 3},           {1, 13, 15, 3, 7},            {1, 15, 16, 5, 10}, {1, 16, 17, 0, 15},
        {1, 17, 18, 0x80000000u, 15}, {1, 18, 0, big_size, 15},
    };
    layout.data.assign(15 + big_size, 0xEE);
    std::copy(stored.begin(), stored.end(), layout.data.begin() + static_cast<std::ptrdiff_t>(at));
    return testing::loaded_image(layout);
}

std::uint64_t item_start(const file_image& image, std::size_t data_byte) { return image.data_offset() + data_byte; }

struct read_case {
    const char* path;
    std::size_t at;  // data-area byte where `stored` goes
    bytes stored;
    std::string expected;
};

TEST(getdata, renders_numbers_and_raw_bytes)
{
    const read_case cases[] = {
        {"1.11", 0, {0xFF}, "255"},
        {"1.12", 1, {0x12, 0x34}, "4660"},
        {"1.12", 1, {0xFF, 0xFF}, "65535"},
        {"1.14", 3, {0xFF, 0xFF, 0xFF, 0xFE}, "-2"},
        {"1.14", 3, {0x80, 0x00, 0x00, 0x00}, "-2147483648"},
        {"1.14", 3, {0x00, 0x00, 0x01, 0x00}, "256"},
        {"t1.12", 1, {'A', 'B'}, "AB"},
        {"1t12", 1, {'A', 0}, std::string("A\0", 2)},
        {"1.13", 7, {'a', 'b', 'c'}, "abc"},
        {"1.15", 10, {'A', 'B', 0, 'C', 'D'}, std::string("AB\0CD", 5)},
        {"1.16", 15, {}, "0"},
        {"t1.16", 15, {}, ""},
        {"1.17", 15, {}, "0"},
    };
    for (const read_case& c : cases) {
        const file_image image = value_image(c.at, c.stored);
        const result<std::string> value = getdata(image, c.path);
        ASSERT_TRUE(value) << c.path;
        EXPECT_EQ(*value, c.expected) << c.path;
    }
}

TEST(getdata, unresolved_paths_fail)
{
    const file_image image = value_image();
    for (const char* path : {"1.99", "t1.17", "1", ""}) {
        const result<std::string> value = getdata(image, path);
        ASSERT_FALSE(value) << path;
        EXPECT_EQ(value.error().kind, failure_kind::not_resolved) << path;
    }
}

struct write_case {
    const char* path;
    const char* value;
    std::size_t at;  // data-area byte where `expected` must stand
    bytes expected;
};

TEST(setdata, stores_numbers_big_endian_and_text_zero_padded)
{
    const write_case cases[] = {
        {"1.11", "300", 0, {0x2C}},
        {"1.12", "-1", 1, {0xFF, 0xFF}},
        {"1.12", "70000", 1, {0x11, 0x70}},
        {"1.14", "-2", 3, {0xFF, 0xFF, 0xFF, 0xFE}},
        {"1.14", "4294967297", 3, {0x00, 0x00, 0x00, 0x01}},
        {"1.14", "12abc", 3, {0, 0, 0, 12}},
        {"1.14", "abc", 3, {0, 0, 0, 0}},
        {"1.14", "", 3, {0, 0, 0, 0}},
        {"1.14", " 7", 3, {0, 0, 0, 7}},
        {"1.12", "text", 1, {0, 0}},  // a 't' in the value selects nothing
        {"t1.12", "AB", 1, {'A', 'B'}},
        {"1.13", "xy", 7, {'x', 'y', 0}},
        {"1.15", "AB", 10, {'A', 'B', 0, 0, 0}},
        {"1.15", "ABCDEFG", 10, {'A', 'B', 'C', 'D', 'E'}},
        {"1.16", "5", 15, {}},
        {"1.17", "5", 15, {}},
    };
    const file_image image = value_image();
    for (const write_case& c : cases) {
        const auto changed = setdata(image, c.path, c.value);
        ASSERT_TRUE(changed) << c.path << '=' << c.value;
        // Exactly the bytes that a store has to write.
        EXPECT_EQ(changed->place, (region{item_start(image, c.at), c.expected.size()})) << c.path;
        EXPECT_EQ(changed->bytes, c.expected) << c.path << '=' << c.value;
    }
}

TEST(setdata, unresolved_paths_fail)
{
    const file_image image = value_image();
    for (const char* path : {"1.99", "t1.17", "1.2.11", ""}) {
        const result<stored_item> changed = setdata(image, path, "5");
        ASSERT_FALSE(changed) << path;
        EXPECT_EQ(changed.error().kind, failure_kind::not_resolved) << path;
    }
}

TEST(item_value, raw_items_of_any_size_round_trip)
{
    std::string text(big_size + 50, 'x');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>('a' + i % 26);
    for (const std::string& value : {text, std::string("short")}) {
        const auto stored = setdata(value_image(), "1.18", value);
        ASSERT_TRUE(stored);
        const std::string padded = (value + std::string(big_size, '\0')).substr(0, big_size);
        EXPECT_EQ(*getdata(value_image(15, stored->bytes), "1.18"), padded);
    }
}

}  // namespace
}  // namespace vantor
