#include "datfile/file_image.hpp"

#include <gtest/gtest.h>

#include <variant>

#include "support/dat_builder.hpp"

namespace vantor {
namespace {

using testing::dat_layout;

struct load_case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::optional<load_failure> failure;  // none: the load succeeds
    std::uint32_t table_end = 0;
};

std::vector<unsigned char> example_bytes(std::optional<std::uint32_t> item_numb, std::optional<std::uint32_t> data_offset)
{
    dat_layout layout = testing::worked_example();
    layout.item_numb = item_numb;
    layout.data_offset = data_offset;
    return testing::build_dat(layout);
}

std::vector<unsigned char> cut(std::vector<unsigned char> bytes, std::size_t size)
{
    bytes.resize(size);
    return bytes;
}

class load_cases : public ::testing::TestWithParam<load_case> {};

TEST_P(load_cases, check_what_the_image_rests_on)
{
    const testing::temp_file file(GetParam().bytes);
    const auto loaded = load_file_image(file.path().c_str());
    if (!GetParam().failure) {
        ASSERT_TRUE(std::holds_alternative<file_image>(loaded));
        EXPECT_EQ(std::get<file_image>(loaded).bytes, GetParam().bytes);
        return;
    }
    ASSERT_TRUE(std::holds_alternative<load_error>(loaded));
    EXPECT_EQ(std::get<load_error>(loaded).failure, *GetParam().failure);
    EXPECT_EQ(std::get<load_error>(loaded).table_end, GetParam().table_end);
}

const load_case loads[] = {
    {"well_formed", example_bytes({}, {}), {}},
    {"data_area_beyond_the_end_is_empty", example_bytes({}, 5000), {}},
    {"count_of_zero_has_no_table", example_bytes(0, 28), {}},
    {"empty_file", {}, load_failure::alloc},
    {"shorter_than_the_header", cut(example_bytes({}, {}), 27), load_failure::read},
    {"shorter_than_the_table", cut(example_bytes({}, {}), 219), load_failure::read},
    {"count_beyond_any_file", example_bytes(0xFFFFFFFFu, {}), load_failure::read},
    {"data_area_inside_the_table", example_bytes({}, 219), load_failure::data_offset, 220},
    {"data_area_at_the_start", example_bytes({}, 0), load_failure::data_offset, 220},
};

INSTANTIATE_TEST_SUITE_P(file_image, load_cases, ::testing::ValuesIn(loads),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(file_image, missing_file_cannot_be_opened)
{
    const auto loaded = load_file_image("/nonexistent/vantor/file.dat");
    ASSERT_TRUE(std::holds_alternative<load_error>(loaded));
    EXPECT_EQ(std::get<load_error>(loaded).failure, load_failure::open);
}

file_image loaded_image(const std::vector<unsigned char>& bytes)
{
    const testing::temp_file file(bytes);
    auto loaded = load_file_image(file.path().c_str());
    return std::get<file_image>(std::move(loaded));
}

TEST(file_image, normalising_converts_fields_and_keeps_every_other_byte)
{
    dat_layout layout = testing::worked_example();
    layout.data = {0x12, 0x34, 0x56, 0x78, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    layout.flag = 7;
    std::vector<unsigned char> bytes = testing::build_dat(layout);
    bytes[25] = 0xAA;
    bytes[28 + 16 * 4 + 13] = 0xBB;  // an unread byte of descriptor 4

    file_image image = loaded_image(bytes);
    normalize_header(image);
    normalize_descriptors(image);

    EXPECT_EQ(image.item_numb(), 12u);
    EXPECT_EQ(image.data_offset(), 220u);
    const std::vector<item_desc> table = image.descriptors();
    ASSERT_EQ(table.size(), 12u);
    EXPECT_EQ(table[4].size, 13u);
    EXPECT_EQ(table[4].offset, 4u);
    EXPECT_EQ(table[4].id, 12u);
    EXPECT_EQ(table[4].next, 3u);
    for (std::size_t at = 24; at < 28; ++at)
        EXPECT_EQ(image.bytes[at], bytes[at]) << at;
    for (std::size_t desc = 0; desc < 12; ++desc)
        for (std::size_t at = 28 + 16 * desc + 12; at < 28 + 16 * desc + 16; ++at)
            EXPECT_EQ(image.bytes[at], bytes[at]) << at;
    for (std::size_t at = 220; at < bytes.size(); ++at)
        EXPECT_EQ(image.bytes[at], bytes[at]) << at;
}

TEST(file_image, store_writes_back_the_data_area_only)
{
    const std::vector<unsigned char> bytes = testing::build_dat(testing::worked_example());
    const testing::temp_file file(bytes);
    file_image image = std::get<file_image>(load_file_image(file.path().c_str()));
    normalize_header(image);
    normalize_descriptors(image);
    image.bytes[230] = 0x5A;
    image.bytes[231] = 0xA5;

    EXPECT_EQ(store_data_area(file.path().c_str(), image), store_result::stored);
    std::vector<unsigned char> expected = bytes;
    expected[230] = 0x5A;
    expected[231] = 0xA5;
    EXPECT_EQ(file.bytes(), expected);
}

TEST(file_image, store_reports_what_it_could_not_do)
{
    file_image image = loaded_image(testing::build_dat(testing::worked_example()));
    normalize_header(image);
    EXPECT_EQ(store_data_area("/nonexistent/vantor/file.dat", image), store_result::open_failed);
    // Opens for update, but no byte fits on it.
    EXPECT_EQ(store_data_area("/dev/full", image), store_result::write_failed);
}

}  // namespace
}  // namespace vantor
