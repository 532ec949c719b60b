#include "datfile/file_image.hpp"

#include <gtest/gtest.h>

#include <functional>
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
        const auto& image = std::get<file_image>(loaded);
        EXPECT_EQ(std::vector<unsigned char>(image.bytes.begin(), image.bytes.end()), GetParam().bytes);
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
    {"header_alone", cut(example_bytes(0, 28), 28), {}},
    {"table_up_to_the_end_of_the_file", cut(example_bytes({}, {}), 220), {}},
    // 28 + 16 * 2^28 is 28 again in 32 bits.
    {"table_end_beyond_32_bits", cut(example_bytes(0x10000000u, 28), 33), load_failure::read},
    {"empty_file", {}, load_failure::alloc},
    {"shorter_than_the_header", cut(example_bytes({}, {}), 27), load_failure::read},
    {"shorter_than_the_table", cut(example_bytes({}, {}), 219), load_failure::read},
    {"count_beyond_any_file", example_bytes(0xFFFFFFFFu, {}), load_failure::read},
    {"data_area_inside_the_table", example_bytes({}, 219), load_failure::data_offset, 220},
    {"data_area_at_the_start", example_bytes({}, 0), load_failure::data_offset, 220},
};

INSTANTIATE_TEST_SUITE_P(file_image, load_cases, ::testing::ValuesIn(loads),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(file_image, only_a_regular_file_is_opened)
{
    for (const char* path : {"/nonexistent/vantor/file.dat", "/tmp", "/dev/null"}) {
        const auto loaded = load_file_image(path);
        ASSERT_TRUE(std::holds_alternative<load_error>(loaded)) << path;
        EXPECT_EQ(std::get<load_error>(loaded).failure, load_failure::open) << path;
    }
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
    const item_desc desc = image.descriptor(4);
    EXPECT_EQ(desc.size, 13u);
    EXPECT_EQ(desc.offset, 4u);
    EXPECT_EQ(desc.id, 12u);
    EXPECT_EQ(desc.next, 3u);
    for (std::size_t at = 24; at < 28; ++at)
        EXPECT_EQ(image.bytes[at], bytes[at]) << at;
    for (std::size_t desc = 0; desc < 12; ++desc)
        for (std::size_t at = 28 + 16 * desc + 12; at < 28 + 16 * desc + 16; ++at)
            EXPECT_EQ(image.bytes[at], bytes[at]) << at;
    for (std::size_t at = 220; at < bytes.size(); ++at)
        EXPECT_EQ(image.bytes[at], bytes[at]) << at;
}

file_image normalized(const testing::temp_file& file)
{
    file_image image = std::get<file_image>(load_file_image(file.path().c_str()));
    normalize_header(image);
    normalize_descriptors(image);
    return image;
}

TEST(file_image, store_writes_back_the_item_only)
{
    const std::vector<unsigned char> bytes = testing::build_dat(testing::worked_example());
    const testing::temp_file file(bytes);
    file_image image = normalized(file);
    image.bytes[230] = 0x5A;
    image.bytes[231] = 0xA5;
    image.bytes[233] = 0x77;  // changed in memory, but not part of the item

    EXPECT_EQ(store_item(file.path().c_str(), image, {230, 2}), store_result::stored);
    std::vector<unsigned char> expected = bytes;
    expected[230] = 0x5A;
    expected[231] = 0xA5;
    EXPECT_EQ(file.bytes(), expected);
}

TEST(file_image, stores_from_two_loads_of_one_file_keep_both_changes)
{
    const std::vector<unsigned char> bytes = testing::build_dat(testing::worked_example());
    const testing::temp_file file(bytes);
    file_image first = normalized(file);
    file_image second = normalized(file);
    first.bytes[220] = 1;
    second.bytes[235] = 2;

    EXPECT_EQ(store_item(file.path().c_str(), first, {220, 1}), store_result::stored);
    EXPECT_EQ(store_item(file.path().c_str(), second, {235, 1}), store_result::stored);
    std::vector<unsigned char> expected = bytes;
    expected[220] = 1;
    expected[235] = 2;
    EXPECT_EQ(file.bytes(), expected);
}

struct changed_file_case {
    const char* name;
    std::function<void(std::vector<unsigned char>&)> change;  // what happens to the file after the load
    store_result result;
};

class store_after_a_change : public ::testing::TestWithParam<changed_file_case> {};

TEST_P(store_after_a_change, writes_only_into_the_file_it_loaded)
{
    const std::vector<unsigned char> bytes = testing::build_dat(testing::worked_example());
    const testing::temp_file file(bytes);
    file_image image = normalized(file);
    image.bytes[234] = 0xAB;

    std::vector<unsigned char> on_disk = bytes;
    GetParam().change(on_disk);
    testing::write_file(file.path(), on_disk);
    EXPECT_EQ(store_item(file.path().c_str(), image, {234, 2}), GetParam().result);
    if (GetParam().result == store_result::stored) {
        on_disk[234] = 0xAB;
        on_disk[235] = 0;
    }
    EXPECT_EQ(file.bytes(), on_disk);
}

const changed_file_case changed_files[] = {
    {"unchanged", [](auto&) {}, store_result::stored},
    {"another_item_changed", [](auto& b) { b[220] = 9; }, store_result::stored},
    {"grown", [](auto& b) { b.push_back(1); }, store_result::stored},
    {"cut_behind_the_item", [](auto& b) { b.resize(236); }, store_result::stored},
    {"header_word_changed", [](auto& b) { b[19] = 0xDD; }, store_result::write_failed},
    {"header_flag_changed", [](auto& b) { b[24] = 1; }, store_result::write_failed},
    {"unread_header_byte_changed", [](auto& b) { b[27] = 1; }, store_result::write_failed},
    {"descriptor_changed", [](auto& b) { b[28 + 16 * 11 + 7] = 3; }, store_result::write_failed},
    {"unread_descriptor_byte_changed", [](auto& b) { b[28 + 16 * 5 + 15] = 1; }, store_result::write_failed},
    {"replaced_by_another_layout",
     [](auto& b) {
         testing::dat_layout other = testing::worked_example();
         other.descriptors.push_back(testing::member(40, 0, 1, 0));
         other.data.assign(40, 0);
         b = testing::build_dat(other);
     },
     store_result::write_failed},
    {"cut_inside_the_item", [](auto& b) { b.resize(235); }, store_result::write_failed},
    {"cut_inside_the_table", [](auto& b) { b.resize(100); }, store_result::write_failed},
    {"emptied", [](auto& b) { b.clear(); }, store_result::write_failed},
};

INSTANTIATE_TEST_SUITE_P(file_image, store_after_a_change, ::testing::ValuesIn(changed_files),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(file_image, store_opens_only_a_regular_file)
{
    const testing::temp_file file(testing::build_dat(testing::worked_example()));
    const file_image image = normalized(file);
    for (const char* path : {"/nonexistent/vantor/file.dat", "/dev/full", "/tmp"})
        EXPECT_EQ(store_item(path, image, {220, 1}), store_result::open_failed) << path;
}

}  // namespace
}  // namespace vantor
