#include "access/value_listing.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "access/byte_set.hpp"
#include "access/file_diff.hpp"
#include "platform/platform.hpp"
#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor {
namespace {

using testing::dat_layout;

// Random ranges, some across summary words and chunks, against a plain set.
TEST(byte_set, answers_as_a_plain_set_does)
{
    std::mt19937 random(7);
    for (const std::uint64_t length : {std::uint64_t{200}, std::uint64_t{5000}, std::uint64_t{1} << 21}) {
        byte_set fast(length);
        std::vector<bool> plain(length, false);
        for (int round = 0; round < 3000; ++round) {
            const std::uint64_t start = random() % length;
            const std::uint64_t size = std::min<std::uint64_t>(length - start, random() % 8 == 0 ? random() % length : random() % 70);
            const bool any = std::find(plain.begin() + static_cast<std::ptrdiff_t>(start),
                                       plain.begin() + static_cast<std::ptrdiff_t>(start + size), true) !=
                             plain.begin() + static_cast<std::ptrdiff_t>(start + size);
            ASSERT_EQ(fast.any(start, size), any) << length << ": " << start << "+" << size;
            // Added over what it holds too, so that long runs meet and merge.
            if (random() % (any ? 16 : 4) == 0) {
                fast.add(start, size);
                std::fill_n(plain.begin() + static_cast<std::ptrdiff_t>(start), size, true);
            }
        }
    }
}

// Every listed path reads the item listed, the items lie in the file apart
// from one another, writing their values back changes no byte, and the
// listing stays within the bound that makes it linear in the file.
void expect_sound_listing(const std::vector<unsigned char>& file, const std::string& name)
{
    const auto image = make_file_image(file);
    if (!image)
        return;
    std::vector<bool> taken(file.size() + 1, false);
    std::uint64_t listed = 0, text = 0;
    // One resolver for all the paths, which answers as one of their own would
    // (item_resolver.many_paths_resolve_as_one_each).
    item_resolver resolver(*image);
    const auto tally = list_values(*image, [&](std::string_view path, const item_location& item) {
        ++listed;
        const auto read = resolver.resolve(path);
        ASSERT_TRUE(read && read->start == item.start && read->size == item.size && read->text == item.text)
            << name << ": " << path;
        const auto bytes = read_bytes(*image, item.place());
        ASSERT_TRUE(bytes);
        for (std::uint64_t at = item.start; at < item.start + std::max<std::uint64_t>(item.place().size, 1); ++at)
            ASSERT_FALSE(taken[at]) << name << ": " << path << " overlaps at " << at;
        std::fill_n(taken.begin() + static_cast<std::ptrdiff_t>(item.start), std::max<std::uint64_t>(item.place().size, 1), true);
        std::string value;
        if (item.text)
            listed_text().append(value, {reinterpret_cast<const char*>(bytes->data()), bytes->size()});
        else
            value = std::to_string(number_value(item, {reinterpret_cast<const char*>(bytes->data()), bytes->size()}));
        text += path.size() + value.size() + 2;
        ASSERT_EQ(value.find('\n'), std::string::npos);
        stored_items stored;
        ASSERT_TRUE(add_assignment(stored, resolver, path, value)) << name << ": " << path << "=" << value;
        std::vector<unsigned char> written(bytes->size());
        const std::string_view given = stored.given(stored.items[0]);
        std::copy(given.begin(), given.end(), written.begin());
        EXPECT_EQ(written, *bytes) << name << ": " << path << "=" << value;
    });
    ASSERT_TRUE(tally) << name;
    const std::uint64_t data = file.size() - std::min<std::uint64_t>(image->data_offset(), file.size());
    EXPECT_LE(listed, data + 1) << name;
    EXPECT_LE(text, 600 * (data + 1) + 4 * data) << name;
}

TEST(list_values, random_layouts_list_soundly)
{
    std::mt19937 random(2026);
    for (int round = 0; round < 1000; ++round)
        expect_sound_listing(testing::build_dat(testing::random_layout(random)), "round " + std::to_string(round));
}

// One resolver asked many paths answers each as a resolver of its own does,
// on layouts whose walks share chains and loops.
TEST(item_resolver, many_paths_resolve_as_one_each)
{
    std::mt19937 random(99);
    for (int round = 0; round < 120; ++round) {
        const auto image = make_file_image(testing::build_dat(testing::random_layout(random)));
        ASSERT_TRUE(image);
        item_resolver shared(*image);
        for (int k = 0; k < 20; ++k) {
            std::string path = "1";
            for (auto tokens = random() % 4; tokens > 0; --tokens) {
                path.append(".").append(std::to_string(random() % 30 + 1));
                if (random() % 3 == 0)
                    path.append("[").append(std::to_string(random() % 3)).append("]");
            }
            const auto alone = item_resolver(*image).resolve(path), together = shared.resolve(path);
            ASSERT_EQ(alone.has_value(), together.has_value()) << "round " << round << ": " << path;
            if (alone) {
                ASSERT_TRUE(alone->start == together->start && alone->size == together->size) << path;
            }
        }
    }
}

TEST(list_values, shapes_examples_and_fuzz_seeds_list_soundly)
{
    for (const testing::table_shape& shape : testing::table_shapes())
        for (const std::uint32_t size : {64u, 300u, 2000u})
            if (shape.own_size == 0)
                expect_sound_listing(testing::build_dat(shape.build(size)), std::string(shape.name));
    expect_sound_listing(testing::build_dat(testing::sample_layout()), "sample");
    for (const auto& entry : std::filesystem::directory_iterator(FUZZ_CORPUS)) {
        const std::vector<unsigned char> input = testing::read_file(entry.path().string());
        const auto file = std::find(input.begin(), input.end(), 0);
        if (file != input.end())
            expect_sound_listing({file + 1, input.end()}, entry.path().filename().string());
    }
}

// Many items in one store, against the same written one by one.
TEST(store_items, many_items_land_as_written_one_by_one)
{
    std::mt19937 random(11);
    const std::vector<unsigned char> original = testing::example_file();
    for (int round = 0; round < 200; ++round) {
        stored_items items;
        std::vector<unsigned char> expected = original;
        for (auto count = random() % 12; count > 0; --count) {
            const std::uint64_t start = 220 + random() % 16, size = random() % (236 - start + 1);
            // Some given short, to be padded with zeros.
            std::string bytes(random() % (size + 1), '\0');
            for (std::uint64_t k = 0; k < size; ++k)
                expected[start + k] = k < bytes.size() ? static_cast<unsigned char>(bytes[k] = static_cast<char>(random())) : 0;
            items.add({start, size}, bytes);
        }
        const testing::temp_file file(original);
        auto image = load_file_image(file.path().c_str(), image_use::write);
        // One write a run of adjacent items, and one sync.
        std::vector<bool> held(236);
        for (const auto& item : items.items)
            std::fill_n(held.begin() + static_cast<std::ptrdiff_t>(item.place.start), item.place.size, true);
        std::uint64_t runs = 0;
        for (std::size_t at = 220; at < held.size(); ++at)
            runs += held[at] && !held[at - 1];
        const std::uint64_t calls = platform::disk_calls();
        ASSERT_TRUE(image && store_items(file.path().c_str(), *image, items));
        EXPECT_EQ(platform::disk_calls() - calls, runs + 1) << "round " << round;
        ASSERT_EQ(file.bytes(), expected) << "round " << round;
    }
}

// One path, 1.10, whose item differs in size, kind or place between the
// files: values compare as they show, text without its zero padding.
struct one_item {
    std::uint32_t size, offset;
    std::vector<unsigned char> data;
};

struct by_path_case {
    const char* name;
    one_item a, b;
    bool differ;
};

class values_by_path : public ::testing::TestWithParam<by_path_case> {};

TEST_P(values_by_path, compare_as_they_show)
{
    const auto image = [](const one_item& item) {
        dat_layout layout;
        layout.descriptors = {testing::variable(1, 2, 8), testing::structure(2, 10, 8), testing::member(10, 0, item.size, item.offset)};
        layout.data = item.data;
        return testing::loaded_image(layout);
    };
    const file_image a = image(GetParam().a), b = image(GetParam().b);
    std::vector<std::string> told;
    const auto compared = compare_files(a, b, {}, [&](std::string_view path, const item_location* in_a, const item_location* in_b) {
        EXPECT_TRUE(in_a && in_b);
        told.emplace_back(path);
    });
    ASSERT_TRUE(compared);
    EXPECT_EQ(told, GetParam().differ ? std::vector<std::string>{"1.10"} : std::vector<std::string>{});
    EXPECT_TRUE(compared->layouts_differ);
}

const by_path_case by_path_cases[] = {
    {"a_longer_text_padded_with_zeros", {3, 0, {'A', 'B', 0, 0, 0}}, {5, 0, {'A', 'B', 0, 0, 0}}, false},
    {"a_longer_text_with_more", {3, 0, {'A', 'B', 0, 'X', 0}}, {5, 0, {'A', 'B', 0, 'X', 0}}, true},
    {"a_text_and_a_longer_one_that_shows_less", {3, 0, {'A', 'B', 'C', 0, 0}}, {5, 0, {'A', 'B', 0, 0, 0}}, true},
    {"a_text_and_a_number_of_its_bytes", {3, 0, {'A', 'B', 0, 0}}, {4, 0, {'A', 'B', 0, 0}}, true},
    {"a_byte_and_a_word_of_one_value", {1, 0, {0, 0, 9}}, {2, 0, {0, 0, 9}}, false},
    {"a_byte_and_a_word_apart", {1, 0, {0, 5, 9}}, {2, 0, {0, 5, 9}}, true},
    {"a_number_and_a_text_showing_it", {1, 0, {12, 0, '1', '2', 0}}, {3, 2, {12, 0, '1', '2', 0}}, false},
    {"a_number_and_a_text_of_other_digits", {1, 0, {12, 0, '1', '3', 0}}, {3, 2, {12, 0, '1', '3', 0}}, true},
};

INSTANTIATE_TEST_SUITE_P(file_diff, values_by_path, ::testing::ValuesIn(by_path_cases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vantor
