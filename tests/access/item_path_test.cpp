#include "access/item_path.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor {
namespace {

using testing::dat_layout;

// Where a path lands, as a data-area byte and a size; nullopt when unresolved.
struct landing {
    std::uint32_t byte;
    std::int32_t size;
    bool operator==(const landing&) const = default;
};

std::optional<landing> land(const file_image& image, const std::string& path)
{
    const auto item = resolve_item_path(image, path);
    if (!item)
        return std::nullopt;
    return landing{static_cast<std::uint32_t>(item->start - image.data_offset()), item->size};
}

TEST(item_path, worked_example_paths)
{
    const file_image image = testing::loaded_image(testing::worked_example());
    const std::optional<landing> at_20{{4, 4}};
    const std::pair<const char*, std::optional<landing>> cases[] = {
        {"1.12.20", at_20},
        {"1.13[1].31", landing{14, 2}},
        {"1.10", landing{0, 1}},
        {"1.11", landing{2, 2}},
        {"t1.12.20", at_20},
        {"1t12t20", at_20},
        {"1..12.20.", at_20},
        {".1.12.20", at_20},
        {"1.+12.20", at_20},
        {"1.012.20", at_20},
        {" 1.12.20", at_20},
        {"1", std::nullopt},              // ends before a leaf
        {"1.12", std::nullopt},
        {"1.13[1]", std::nullopt},
        {"1.12.20.7", std::nullopt},      // runs on past a leaf
        {"1.10.11", std::nullopt},
        {"12.20", std::nullopt},          // must start from the first descriptor
        {"1.20", std::nullopt},           // not on the scope's chain
        {"1.12.30", std::nullopt},
        {"0", std::nullopt},
        {"x", std::nullopt},
        {"1.x", std::nullopt},
        {"1.[1]", std::nullopt},
        {"", std::nullopt},
        {"...tt", std::nullopt},
        {"65537", std::nullopt},          // ids compare over 32 bits
        {"65537.12.20", std::nullopt},
        {"1.65546.20", std::nullopt},
        {"-65535", std::nullopt},
        {"1.13[0].30", landing{8, 2}},
        {"1.13[1].30", landing{12, 2}},
        {"1.13[2].30", std::nullopt},     // the element count
        {"1.13[-1].30", std::nullopt},
        {"1.13[4294967295].30", std::nullopt},
        {"1.13.30", std::nullopt},        // no index
        {"1.13.4.31", std::nullopt},
        {"1.13[1.31", landing{14, 2}},
        {"1.13[1x].31", landing{14, 2}},
        {"1.13[1]9.31", landing{14, 2}},
        {"1.13[].31", landing{10, 2}},
        {"1.12[5].20", at_20},            // no array: the bracket is never read
        {"1.2", landing{0, 16}},          // the scope descriptor itself
        {"1.13[1].5", landing{12, 4}},
    };
    for (const auto& [path, expected] : cases)
        EXPECT_EQ(land(image, path), expected) << path;
}

// Layouts that bend the format's rules, each with the paths it is asked.
struct odd_layout {
    const char* name;
    dat_layout (*layout)();
    std::vector<std::pair<std::string, std::optional<landing>>> paths;
};

dat_layout of(std::vector<testing::desc_row> rows, std::size_t data_bytes)
{
    dat_layout layout;
    layout.descriptors = std::move(rows);
    layout.data.assign(data_bytes, 0);
    return layout;
}

// Members 1 to N chained in table order from the table's first entry: the
// last is found only by a walk over the whole table.
dat_layout chain_over_the_whole_table()
{
    std::vector<testing::desc_row> rows;
    for (std::uint16_t id = 1; id <= 300; ++id)
        rows.push_back(testing::member(id, id < 300 ? id + 1 : 0, 1, id - 1u));
    return of(rows, 300);
}

// Structure 2 of 20,000 members whose last holds structure 2 again: every
// token after the first walks the whole chain, so that a path of fourteen
// walks past the step budget of plain walks.
dat_layout long_self_containing_chain()
{
    std::vector<testing::desc_row> rows{testing::variable(1, 2, 4), testing::structure(2, 10, 4)};
    for (std::uint16_t id = 10; id < 20009; ++id)
        rows.push_back(testing::member(id, id + 1, 1, 0));
    rows.push_back(testing::typed_member(20009, 2, 0, 0));
    return of(rows, 4);
}

std::string deep_path(int levels)
{
    std::string path = "1";
    for (int level = 0; level < levels; ++level)
        path += ".20009";
    return path + ".10";
}

dat_layout with(void (*change)(dat_layout&))
{
    dat_layout layout = testing::worked_example();
    change(layout);
    return layout;
}

const odd_layout odd_layouts[] = {
    {"element_index_is_checked_against_the_count_not_the_data",
     [] { return with([](dat_layout& l) { l.data.assign(64, 0); }); },
     {{"1.13[1].30", landing{12, 2}}, {"1.13[2].30", std::nullopt}}},
    {"link_to_a_descriptor_of_flag_0_is_a_sibling",
     [] { return of({testing::variable(1, 2, 4), testing::structure(2, 10, 4), testing::member(10, 11, 2, 0), {0, 11, 0, 2, 2}}, 4); },
     {{"1.11", landing{2, 2}}}},
    {"link_to_a_member_of_flag_0x81_makes_a_leaf",
     [] { return of({testing::variable(1, 2, 4), testing::structure(2, 10, 4), testing::member(10, 11, 4, 0), {0x81, 11, 0, 2, 2}}, 4); },
     {{"1.10", landing{0, 4}}}},
    // 76 + (2^32 - 72) is 4 in 32 bits: a header byte.
    {"item_start_does_not_wrap_to_the_header",
     [] { return of({testing::variable(1, 2, 4), testing::structure(2, 10, 4), testing::member(10, 0, 2, 0xFFFFFFB8u)}, 8); },
     {{"1.10", std::nullopt}}},
    // The array type stays the scope and can be named itself; its offset, the
    // element count, is added like any other.
    {"array_with_bit_7_is_not_indexed", [] { return with([](dat_layout& l) { l.descriptors[6].flag = 0x83; }); },
     {{"1.13[1].31", std::nullopt}, {"1.13.4.31", landing{12, 2}}}},
    // Member 21's type is array 30 by the type bit; its sibling is 22, not
    // the array's stride.
    {"array_typed_member_reaches_its_sibling_by_its_own_link",
     [] {
         return of({testing::variable(1, 2, 12), testing::structure(2, 21, 12), testing::typed_member(21, 30, 22, 0),
                    testing::member(22, 0, 2, 8), testing::array(30, 40, 4, 2), testing::structure(40, 41, 4),
                    testing::member(41, 0, 4, 0)},
                   12);
     },
     {{"1.22", landing{8, 2}}, {"1.21[1].41", landing{4, 4}}}},
    {"duplicate_id_names_the_earlier_descriptor",
     testing::duplicate_ids, {{"1.10", landing{0, 2}}}},
    {"member_chain_that_loops_ends_unresolved",
     [] {
         dat_layout layout = testing::looping_chain();
         layout.descriptors.push_back(testing::member(12, 0, 1, 0));
         return layout;
     },
     {{"1.12", std::nullopt}, {"1.11", landing{2, 2}}}},
    // Member 40, of size 0, ends each element; 31's second byte is past the end.
    {"item_must_lie_inside_the_image",
     [] {
         return with([](dat_layout& l) {
             l.data.resize(15);
             l.descriptors.push_back({1, 40, 0, 0, 3});
             l.descriptors[11].next = 40;
         });
     },
     {{"1.13[1].30", landing{12, 2}}, {"1.13[1].31", std::nullopt}, {"1.13[0].40", landing{11, 0}},
      {"1.13[1].40", landing{15, 0}}}},
    // 0xFFFFFFFC + 5 wraps to 1; a negative size lies at its start; 2^31 - 1
    // bytes do not fit.
    {"offsets_wrap_at_32_bits_and_sizes_near_2_to_32_stay_inside",
     [] {
         return of({{5, 1, 2, 4, 0}, {2, 2, 10, 4, 0}, {1, 10, 3, 11, 0xFFFFFFFCu}, {2, 3, 20, 8, 0}, {1, 20, 0, 2, 5},
                    {1, 11, 12, 0xFFFFFFFFu, 1}, {1, 12, 0, 0x7FFFFFFFu, 0}},
                   4);
     },
     {{"1.10.20", landing{1, 2}}, {"1.11", landing{1, -1}}, {"1.12", std::nullopt}}},
    {"empty_table_resolves_nothing",
     [] {
         dat_layout layout = of({}, 4);
         layout.item_numb = 0;
         layout.data_offset = 28;
         return layout;
     },
     {{"1", std::nullopt}}},
    {"member_whose_next_names_nothing_is_no_leaf",
     [] { return with([](dat_layout& l) { l.descriptors[2].next = 99; }); }, {{"1.10", std::nullopt}}},
    {"chain_over_the_whole_table_reaches_its_last_entry", chain_over_the_whole_table,
     {{"300", landing{299, 1}}, {"301", std::nullopt}}},
    {"paths_past_the_step_budget_still_resolve", long_self_containing_chain,
     {{deep_path(14), landing{0, 1}}, {deep_path(14) + ".11", std::nullopt}}},
};

class odd_layout_paths : public ::testing::TestWithParam<odd_layout> {};

TEST_P(odd_layout_paths, land_where_expected)
{
    const file_image image = testing::loaded_image(GetParam().layout());
    for (const auto& [path, expected] : GetParam().paths)
        EXPECT_EQ(land(image, path), expected) << path.substr(0, 40);
}

INSTANTIATE_TEST_SUITE_P(item_path, odd_layout_paths, ::testing::ValuesIn(odd_layouts),
                         [](const auto& info) { return std::string(info.param.name); });

// A table that the file no longer holds when the look-ups reach it fails as
// a read does, not as a path that names nothing.
TEST(item_path, table_cut_after_the_load_is_a_failed_read)
{
    const testing::temp_file file(testing::build_dat(testing::worked_example()));
    const file_image image = testing::loaded_image(file.path());
    std::filesystem::resize_file(file.path(), 100);
    const auto item = resolve_item_path(image, "1.13[1].31");
    ASSERT_FALSE(item);
    EXPECT_EQ(item.error().kind, failure_kind::read);
}

// Structures 20 and 30 share the tail of their chains, 40 and 41: a walk of
// 30 takes over the marks of a walk of 20, which must then walk again.
TEST(item_path, one_resolver_walks_again_where_another_walk_took_its_marks)
{
    const file_image image = testing::loaded_image(of(
        {testing::variable(1, 2, 8), testing::structure(2, 10, 8), testing::typed_member(10, 20, 11, 0),
         testing::typed_member(11, 30, 0, 4), testing::structure(20, 21, 4), testing::member(21, 22, 1, 0),
         testing::member(22, 40, 1, 1), testing::structure(30, 31, 4), testing::member(31, 40, 1, 0),
         testing::member(40, 41, 1, 2), testing::member(41, 0, 1, 3)},
        8));
    item_resolver shared(image);
    for (const char* path : {"1.11.31", "1.10.41", "1.11.40", "1.10.40", "1.11.41", "1.10.21", "1.11.22"}) {
        const auto alone = item_resolver(image).resolve(path);
        const auto together = shared.resolve(path);
        ASSERT_EQ(alone.has_value(), together.has_value()) << path;
        EXPECT_TRUE(!alone || alone->start == together->start) << path;
    }
}

TEST(item_path, scope_walk_enters_no_member_type)
{
    const file_image image = testing::loaded_image(testing::worked_example());
    item_resolver resolver(image);
    const auto type2 = resolver.find_item(2);
    ASSERT_NE(type2, no_node);
    EXPECT_EQ(resolver.find_in_scope(resolver.find_item(13), type2), resolver.find_item(13));
    EXPECT_EQ(resolver.find_in_scope(resolver.find_item(20), type2), no_node);
    EXPECT_EQ(resolver.find_in_scope(no_node, type2), no_node);
    EXPECT_EQ(resolver.find_in_scope(resolver.find_item(13), no_node), no_node);
}

}  // namespace
}  // namespace vantor
