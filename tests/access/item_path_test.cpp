#include "access/item_path.hpp"

#include <gtest/gtest.h>

#include <string>
#include <variant>

#include "support/dat_builder.hpp"

namespace vantor {
namespace {

using testing::dat_layout;

file_image normalized_image(const dat_layout& layout)
{
    const testing::temp_file file(testing::build_dat(layout));
    auto image = std::get<file_image>(load_file_image(file.path().c_str()));
    normalize_header(image);
    normalize_descriptors(image);
    return image;
}

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
    const file_image image = normalized_image(testing::worked_example());
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

TEST(item_path, element_index_is_checked_against_the_count_not_the_data)
{
    dat_layout layout = testing::worked_example();
    layout.data.assign(64, 0);  // room for a third element and more
    const file_image image = normalized_image(layout);
    EXPECT_EQ(land(image, "1.13[1].30"), (landing{12, 2}));
    EXPECT_EQ(land(image, "1.13[2].30"), std::nullopt);
}

TEST(item_path, link_to_a_descriptor_of_flag_0_is_a_sibling)
{
    dat_layout layout;
    layout.descriptors = {testing::variable(1, 2, 4), testing::structure(2, 10, 4), testing::member(10, 11, 2, 0),
                          {0, 11, 0, 2, 2}};
    layout.data.assign(4, 0);
    EXPECT_EQ(land(normalized_image(layout), "1.11"), (landing{2, 2}));
}

TEST(item_path, item_start_does_not_wrap_to_the_header)
{
    // 76 + (2^32 - 72) is 4 in 32 bits: a header byte.
    dat_layout layout;
    layout.descriptors = {testing::variable(1, 2, 4), testing::structure(2, 10, 4),
                          testing::member(10, 0, 2, 0xFFFFFFB8u)};
    layout.data.assign(8, 0);
    EXPECT_EQ(land(normalized_image(layout), "1.10"), std::nullopt);
}

TEST(item_path, array_with_bit_7_is_not_indexed)
{
    dat_layout layout = testing::worked_example();
    layout.descriptors[6].flag = 0x83;
    const file_image image = normalized_image(layout);
    EXPECT_EQ(land(image, "1.13[1].31"), std::nullopt);
    // The array type stays the scope and can be named itself; its offset,
    // the element count, is added like any other.
    EXPECT_EQ(land(image, "1.13.4.31"), (landing{12, 2}));
}

TEST(item_path, duplicate_id_names_the_earlier_descriptor)
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 2, 4, 0}, {2, 2, 10, 4, 0}, {1, 10, 11, 2, 0}, {1, 11, 0, 2, 2}, {1, 10, 0, 1, 3}};
    layout.data.assign(4, 0);
    EXPECT_EQ(land(normalized_image(layout), "1.10"), (landing{0, 2}));
}

TEST(item_path, member_chain_that_loops_ends_unresolved)
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 2, 4, 0}, {2, 2, 10, 4, 0}, {1, 10, 11, 2, 0}, {1, 11, 10, 2, 2}, {1, 12, 0, 1, 0}};
    layout.data.assign(4, 0);
    const file_image image = normalized_image(layout);
    EXPECT_EQ(land(image, "1.12"), std::nullopt);
    EXPECT_EQ(land(image, "1.11"), (landing{2, 2}));
}

TEST(item_path, item_must_lie_inside_the_image)
{
    dat_layout layout = testing::worked_example();
    layout.data.resize(15);
    layout.descriptors.push_back({1, 40, 0, 0, 3});  // a member of size 0 at the end of each element
    layout.descriptors[11].next = 40;
    const file_image image = normalized_image(layout);
    EXPECT_EQ(land(image, "1.13[1].30"), (landing{12, 2}));
    EXPECT_EQ(land(image, "1.13[1].31"), std::nullopt);  // its second byte is past the end
    EXPECT_EQ(land(image, "1.13[0].40"), (landing{11, 0}));
    EXPECT_EQ(land(image, "1.13[1].40"), (landing{15, 0}));
}

TEST(item_path, offsets_wrap_at_32_bits_and_sizes_near_2_to_32_stay_inside)
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 2, 4, 0},         {2, 2, 10, 4, 0},         {1, 10, 3, 11, 0xFFFFFFFCu},
                          {2, 3, 20, 8, 0},        {1, 20, 0, 2, 5},         {1, 11, 0, 0xFFFFFFFFu, 1},
                          {1, 12, 0, 0x7FFFFFFFu, 0}};
    layout.descriptors[5].next = 12;
    layout.data.assign(4, 0);
    const file_image image = normalized_image(layout);
    EXPECT_EQ(land(image, "1.10.20"), (landing{1, 2}));  // 0xFFFFFFFC + 5 wraps to 1
    EXPECT_EQ(land(image, "1.11"), (landing{1, -1}));    // a negative size lies at its start
    EXPECT_EQ(land(image, "1.12"), std::nullopt);        // 2^31 - 1 bytes do not fit
}

TEST(item_path, empty_table_resolves_nothing)
{
    dat_layout layout;
    layout.item_numb = 0;
    layout.data_offset = 28;
    layout.data.assign(4, 0);
    EXPECT_EQ(land(normalized_image(layout), "1"), std::nullopt);
}

TEST(item_path, scope_walk_enters_no_member_type)
{
    const file_image image = normalized_image(testing::worked_example());
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
