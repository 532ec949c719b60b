#include "datfile/file_image.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor {
namespace {

using testing::dat_layout;
using testing::example_file;

struct load_case {
    const char* name;
    std::vector<unsigned char> bytes;
    std::optional<failure_kind> failure;  // none: the load succeeds
    std::uint32_t table_end = 0;
};

class load_cases : public ::testing::TestWithParam<load_case> {};

TEST_P(load_cases, check_what_the_image_rests_on)
{
    const result<file_image> loaded = make_file_image(GetParam().bytes);
    if (!GetParam().failure) {
        ASSERT_TRUE(loaded);
        const std::vector<item_desc> example = testing::host_table(testing::worked_example().descriptors);
        ASSERT_LE(loaded->item_numb(), example.size());
        ASSERT_EQ(loaded->read_table(UINT32_MAX), loaded->item_numb());
        for (std::uint32_t at = 0; at < loaded->item_numb(); ++at) {
            const item_desc read = loaded->descriptor(at);
            EXPECT_EQ(std::memcmp(&example[at], &read, sizeof read), 0) << at;
        }
        return;
    }
    ASSERT_FALSE(loaded);
    EXPECT_EQ(loaded.error(), (failure{*GetParam().failure, GetParam().table_end}));
}

const load_case loads[] = {
    {"well_formed", example_file(), {}},
    {"data_area_beyond_the_end_is_empty", example_file({}, 5000), {}},
    {"count_of_zero_has_no_table", example_file(0, 28), {}},
    {"header_alone", example_file(0, 28, 28), {}},
    {"table_up_to_the_end_of_the_file", example_file({}, {}, 220), {}},
    // 28 + 16 * 2^28 is 28 again in 32 bits.
    {"table_end_beyond_32_bits", example_file(0x10000000u, 28, 33), failure_kind::read},
    {"empty_file", {}, failure_kind::alloc},
    {"shorter_than_the_header", example_file({}, {}, 27), failure_kind::read},
    {"shorter_than_the_table", example_file({}, {}, 219), failure_kind::read},
    {"count_beyond_any_file", example_file(0xFFFFFFFFu, {}), failure_kind::read},
    {"data_area_inside_the_table", example_file({}, 219), failure_kind::data_offset, 220},
    {"data_area_at_the_start", example_file({}, 0), failure_kind::data_offset, 220},
};

INSTANTIATE_TEST_SUITE_P(file_image, load_cases, ::testing::ValuesIn(loads),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(file_image, only_a_regular_file_is_opened)
{
    for (const char* path : {"/nonexistent/vantor/file.dat", "/tmp", "/dev/null"}) {
        for (const image_use use : {image_use::read, image_use::write}) {
            const result<file_image> loaded = load_file_image(path, use);
            ASSERT_FALSE(loaded) << path;
            EXPECT_EQ(loaded.error().kind, failure_kind::open) << path;
        }
    }
}

TEST(file_image, load_converts_fields_and_keeps_every_other_byte)
{
    dat_layout layout = testing::worked_example();
    layout.data = {0x12, 0x34, 0x56, 0x78, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    layout.flag = 7;
    std::vector<unsigned char> bytes = testing::build_dat(layout);
    bytes[25] = 0xAA;
    bytes[28 + 16 * 4 + 13] = 0xBB;  // an unread byte of descriptor 4

    const result<file_image> image = make_file_image(bytes);
    ASSERT_TRUE(image);

    EXPECT_EQ(image->item_numb(), 12u);
    EXPECT_EQ(image->data_offset(), 220u);
    ASSERT_EQ(image->read_table(5), 12u);
    const item_desc desc = image->descriptor(4);
    EXPECT_EQ(desc.size, 13u);
    EXPECT_EQ(desc.offset, 4u);
    EXPECT_EQ(desc.id, 12u);
    EXPECT_EQ(desc.next, 3u);
    EXPECT_EQ(std::memcmp(&image->header().flag, &bytes[24], 4), 0);
    for (std::uint32_t at = 0; at < 12; ++at) {
        const item_desc read = image->descriptor(at);
        EXPECT_EQ(std::memcmp(&read.flag, &bytes[28 + 16 * at + 12], 4), 0) << at;
    }
    EXPECT_EQ(*read_bytes(*image, {220, 16}), layout.data);
}

file_image loaded_for_a_write(const std::string& path)
{
    result<file_image> loaded = load_file_image(path.c_str(), image_use::write);
    EXPECT_TRUE(loaded && loaded->open_for_update()) << path;
    return std::move(*loaded);
}

// Whether a store succeeded, or how it failed.
std::optional<failure_kind> store_failure(const std::string& path, file_image& image,
                                          const std::vector<stored_item>& items)
{
    stored_items all;
    for (const stored_item& item : items)
        all.add(item.place, std::string(item.bytes.begin(), item.bytes.end()));
    const result<std::uint64_t> stored = store_items(path.c_str(), image, all);
    if (!stored)
        return stored.error().kind;
    // Each byte once, however many items hold it.
    std::set<std::uint64_t> bytes;
    for (const stored_item& item : items)
        for (std::uint64_t at = item.place.start; at < item.place.end(); ++at)
            bytes.insert(at);
    EXPECT_EQ(*stored, bytes.size());
    return std::nullopt;
}

// Items in order, the later winning where two overlap.
TEST(file_image, store_writes_the_items_only)
{
    const std::vector<unsigned char> bytes = testing::example_file();
    const testing::temp_file file(bytes);
    file_image image = loaded_for_a_write(file.path());
    EXPECT_EQ(store_failure(file.path(), image, {{{230, 2}, {0x5A, 0xA5}}, {{224, 3}, {1, 2, 3}}, {{225, 1}, {9}}}),
              std::nullopt);
    std::vector<unsigned char> expected = bytes;
    expected[230] = 0x5A;
    expected[231] = 0xA5;
    expected[224] = 1;
    expected[225] = 9;
    expected[226] = 3;
    EXPECT_EQ(file.bytes(), expected);
}

// Past the 16 MiB slices of a long read and store, the last one short and
// at the file's end.
TEST(file_image, an_item_longer_than_a_slice_is_stored_and_read_whole)
{
    std::vector<unsigned char> bytes = testing::example_file();
    const std::uint64_t long_item = (std::uint64_t{16} << 20) + 3;
    bytes.resize(220 + long_item);
    const testing::temp_file file(bytes);
    file_image image = loaded_for_a_write(file.path());
    std::string value(long_item, 'v');
    value.back() = 'w';
    stored_items items;
    items.add({220, long_item}, value);
    ASSERT_TRUE(store_items(file.path().c_str(), image, items));
    const auto read = read_bytes(testing::loaded_image(file.path()), {220, long_item});
    ASSERT_TRUE(read);
    EXPECT_TRUE(std::equal(read->begin(), read->end(), value.begin(), value.end()));
}

// One writer at a time: a second load for a write waits for the first to
// let go, and gives up after a while.
TEST(file_image, a_second_writer_waits_for_the_first_and_gives_up)
{
    const std::vector<unsigned char> bytes = testing::example_file();
    const testing::temp_file file(bytes);
    file_image first = loaded_for_a_write(file.path());
    const result<file_image> second = load_file_image(file.path().c_str(), image_use::write);
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().kind, failure_kind::locked);
    EXPECT_EQ(store_failure(file.path(), first, {{{220, 1}, {1}}}), std::nullopt);
    file_image third = loaded_for_a_write(file.path());
    EXPECT_EQ(store_failure(file.path(), third, {{{235, 1}, {2}}}), std::nullopt);
    std::vector<unsigned char> expected = bytes;
    expected[220] = 1;
    expected[235] = 2;
    EXPECT_EQ(file.bytes(), expected);
}

struct changed_file_case {
    const char* name;
    std::function<void(std::vector<unsigned char>&)> change;  // what happens to the file after the load
    std::optional<failure_kind> failure;                      // none: stored
    // Members added to the worked example's table, far beyond one slice of
    // the check's reads.
    std::uint32_t added_members = 0;
    // The new content comes as a new file renamed over the old one.
    bool renamed_over = false;
    // How much of the table the resolution read: what the check compares.
    std::uint32_t records_read = UINT32_MAX;
};

class store_after_a_change : public ::testing::TestWithParam<changed_file_case> {};

// The item: data-area bytes 14 and 15, whatever the table's length.
TEST_P(store_after_a_change, writes_only_into_the_file_it_loaded)
{
    dat_layout layout = testing::worked_example();
    for (std::uint32_t k = 0; k < GetParam().added_members; ++k)
        layout.descriptors.push_back(testing::member(static_cast<std::uint16_t>(100 + k), 0, 1, 0));
    const std::vector<unsigned char> bytes = testing::build_dat(layout);
    const std::size_t item = bytes.size() - 2;
    const testing::temp_file file(bytes);
    file_image image = loaded_for_a_write(file.path());
    image.read_table(GetParam().records_read);

    std::vector<unsigned char> on_disk = bytes;
    GetParam().change(on_disk);
    const std::string written = GetParam().renamed_over ? file.path() + ".new" : file.path();
    testing::write_file(written, on_disk);
    std::filesystem::rename(written, file.path());
    EXPECT_EQ(store_failure(file.path(), image, {{{item, 2}, {0xAB, 0}}}), GetParam().failure);
    if (!GetParam().failure) {
        on_disk[item] = 0xAB;
        on_disk[item + 1] = 0;
    }
    EXPECT_EQ(file.bytes(), on_disk);
}

constexpr std::size_t last_descriptor = 28 + 16 * 11;
constexpr auto write = failure_kind::write;

const changed_file_case changed_files[] = {
    {"unchanged", [](auto&) {}, {}},
    {"another_item_changed", [](auto& b) { b[220] = 9; }, {}},
    {"grown", [](auto& b) { b.push_back(1); }, {}},
    {"cut_behind_the_item", [](auto& b) { b.resize(236); }, {}},
    {"header_word_changed", [](auto& b) { b[19] = 0xDD; }, write},
    {"header_flag_changed", [](auto& b) { b[24] = 1; }, write},
    {"unread_header_byte_changed", [](auto& b) { b[27] = 1; }, write},
    {"descriptor_changed", [](auto& b) { b[last_descriptor + 7] = 3; }, write},
    {"unread_descriptor_byte_changed", [](auto& b) { b[28 + 16 * 5 + 15] = 1; }, write},
    {"replaced_by_another_layout",
     [](auto& b) {
         testing::dat_layout other = testing::worked_example();
         other.descriptors.push_back(testing::member(40, 0, 1, 0));
         other.data.assign(40, 0);
         b = testing::build_dat(other);
     },
     write},
    {"cut_inside_the_item", [](auto& b) { b.resize(235); }, write},
    {"cut_inside_the_table", [](auto& b) { b.resize(100); }, write},
    {"emptied", [](auto& b) { b.clear(); }, write},
    // The table is read back in slices of 4,096 records: each is compared with
    // its own part of the image, and the last is read only as far as it goes.
    {"long_table_unchanged", [](auto&) {}, {}, 8200},
    {"long_table_changed_in_its_third_slice", [](auto& b) { b[28 + 16 * 8195 + 9] ^= 1; }, write, 8200},
    // What no resolution read does not count: the item means the same.
    {"long_table_changed_beyond_what_was_read", [](auto& b) { b[28 + 16 * 35000 + 9] ^= 1; }, {}, 40000, false, 4000},
    // The file the name names now is the one written, checked as any other.
    {"replaced_by_the_same_layout", [](auto&) {}, {}, 0, true},
    {"replaced_by_another_layout_under_the_name", [](auto& b) { b[last_descriptor + 7] = 3; }, write, 0, true},
};

INSTANTIATE_TEST_SUITE_P(file_image, store_after_a_change, ::testing::ValuesIn(changed_files),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(file_image, store_opens_only_a_regular_file)
{
    const testing::temp_file file(testing::example_file());
    for (const char* path : {"/nonexistent/vantor/file.dat", "/dev/full", "/tmp"}) {
        file_image image = loaded_for_a_write(file.path());
        EXPECT_EQ(store_failure(path, image, {{{220, 1}, {1}}}), failure_kind::open) << path;
    }
}

}  // namespace
}  // namespace vantor
