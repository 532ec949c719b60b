#include "listing/declarations.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "listing/reference_declarations.hpp"
#include "support/capture.hpp"
#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor {
namespace {

using testing::desc_row;

std::string declarations(const std::vector<desc_row>& rows)
{
    const std::vector<item_desc> table = testing::host_table(rows);
    return testing::capture_output([&](std::FILE* out) { print_declarations(out, table); });
}

std::size_t count_of(const std::string& text, const std::string& part)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

struct declaration_case {
    const char* name;
    std::vector<desc_row> rows;  // flag, id, next, size, offset
    std::string expected;
};

class declaration_cases : public ::testing::TestWithParam<declaration_case> {};

// Structure 20 whose member 21, of type 30, names a sibling that is not found.
const std::string sibling_not_found = "typedef struct s030\n{\n"
                                      "  DWORD  d030;\t//off:00000\n"
                                      "} t_s030;\t//size:4\n\n"
                                      "typedef struct s020\n{\n"
                                      "  t_s030 s021;\t//off:00000\n"
                                      "  BYTE   _020[4];\n"
                                      "} t_s020;\t//size:8\n\n";

TEST_P(declaration_cases, print_exactly)
{
    EXPECT_EQ(declarations(GetParam().rows), GetParam().expected);
}

const declaration_case cases[] = {
    {"overlap_in_a_structure_is_commented_out", testing::overlap_example().descriptors,
     "typedef struct s020\n{\n"
     "  DWORD  d021;\t//off:00000\n"
     "//  WORD   w022;\t//off:00002\n"
     "  BYTE   b023;\t//off:00004\n"
     "} t_s020;\t//size:5\n\n"
     "\nextern t_s020 s001;\t//size=5\n"},
    {"union_keeps_chain_order_among_equal_offsets", testing::union_example().descriptors,
     "typedef union s010\n{\n"
     "  DWORD  d011;\t//off:00000\n"
     "  WORD   w012;\t//off:00000\n"
     "  BYTE   b013;\t//off:00000\n"
     "} t_s010;\t//size:4\n\n"
     "\nextern t_s010 s001;\t//size=4\n"},
    {"union_whose_first_alternative_is_narrow_is_padded",
     {{2, 10, 13, 4, 0}, {1, 13, 12, 1, 0}, {1, 12, 11, 2, 0}, {1, 11, 0, 4, 0}},
     "typedef union s010\n{\n"
     "  BYTE   b013;\t//off:00000\n"
     "  WORD   w012;\t//off:00000\n"
     "  DWORD  d011;\t//off:00000\n"
     "  BYTE   _010[3];\n"
     "} t_s010;\t//size:4\n\n"},
    {"union_member_beyond_the_cursor_gets_a_gap",
     {{2, 10, 11, 8, 0}, {1, 11, 12, 2, 0}, {1, 12, 13, 1, 0}, {1, 13, 0, 2, 4}},
     "typedef union s010\n{\n"
     "  WORD   w011;\t//off:00000\n"
     "  BYTE   b012;\t//off:00000\n"
     "  BYTE   _013[2];\n"
     "  WORD   w013;\t//off:00004\n"
     "  BYTE   _010[2];\n"
     "} t_s010;\t//size:8\n\n"},
    {"structure_without_members_is_one_array", {{2, 30, 0, 6, 0}},
     "typedef struct s030\n{\n"
     "  BYTE   ba030[6];\t//off:00000\n"
     "} t_s030;\t//size:6\n\n"},
    {"structure_without_members_of_four_bytes", {{2, 30, 0, 4, 0}},
     "typedef struct s030\n{\n"
     "  DWORD  d030;\t//off:00000\n"
     "} t_s030;\t//size:4\n\n"},
    {"structure_whose_first_member_is_missing", {{2, 31, 99, 8, 0}},
     "typedef struct s031\n{\n"
     "  BYTE   _031[8];\n"
     "} t_s031;\t//size:8\n\n"},
    {"members_past_the_size_give_negative_padding", {{2, 40, 41, 10, 0}, {1, 41, 0, 12, 0}},
     "typedef struct s040\n{\n"
     "  BYTE   ba041[12];\t//off:00000\n"
     "  BYTE   _040[-2];\n"
     "} t_s040;\t//size:10\n\n"},
    {"variable_without_type_is_its_extern_line", {{5, 1, 0, 16, 0}}, "\nextern t_s000 s001;\t//size=16\n"},
    {"variable_of_array_type_declares_the_element",
     {{5, 1, 4, 8, 0}, {3, 4, 5, 4, 2}, {2, 5, 30, 4, 0}, {1, 30, 0, 4, 0}},
     "typedef struct s005\n{\n"
     "  DWORD  d030;\t//off:00000\n"
     "} t_s005;\t//size:4\n\n"
     "\nextern t_s004 s001;\t//size=8\n"},
    {"variable_whose_next_names_a_member_walks_that_chain",
     {{5, 1, 10, 16, 0}, {1, 10, 11, 2, 4}, {1, 11, 0, 4, 0}},
     "\nextern t_s010 s001;\t//size=16\n"
     "  DWORD  d011;\t//off:00000\n"
     "  WORD   w010;\t//off:00004\n"
     "  BYTE   _001[10];\n"
     "} t_s001;\t//size:16\n\n"},
    {"variable_with_bit_7_walks_on_like_a_member", {{0x85, 1, 2, 16, 0}, {2, 2, 0, 16, 0}},
     "typedef struct s002\n{\n"
     "  BYTE   ba002[16];\t//off:00000\n"
     "} t_s002;\t//size:16\n\n"
     "\nextern t_s002 s001;\t//size=16\n"
     "  BYTE   _001[16];\n"
     "} t_s001;\t//size:16\n\n"},
    {"variable_with_bit_7_walks_on_to_the_member_its_size_names",
     {{0x85, 1, 2, 10, 0}, testing::structure(2, 20, 4), testing::member(20, 0, 4, 0), testing::member(10, 0, 4, 0)},
     "typedef struct s002\n{\n"
     "  DWORD  d020;\t//off:00000\n"
     "} t_s002;\t//size:4\n\n"
     "\nextern t_s002 s001;\t//size=10\n"
     "  DWORD  d010;\t//off:00000\n"
     "  BYTE   _001[6];\n"
     "} t_s001;\t//size:10\n\n"},
    {"scalar_size_of_2_to_31_prints_negative",
     {testing::structure(2, 10, 4), testing::member(10, 0, 0x80000000u, 0)},
     "typedef struct s002\n{\n"
     "  BYTE   ba010[-2147483648];\t//off:00000\n"
     "  BYTE   _002[-2147483644];\n"
     "} t_s002;\t//size:4\n\n"},
    // 0x90000000 - 0x10 is negative as a signed 32-bit number: it sorts first.
    {"offsets_compare_by_their_wrap_around_difference",
     {testing::structure(2, 10, 32), testing::member(10, 11, 2, 0x10), testing::member(11, 0, 1, 0x90000000u)},
     "typedef struct s002\n{\n"
     "  BYTE   _011[-1879048192];\n"
     "  BYTE   b011;\t//off:-1879048192\n"
     "//  WORD   w010;\t//off:00016\n"
     "  BYTE   _002[1879048223];\n"
     "} t_s002;\t//size:32\n\n"},
    {"member_head_stays_first_whatever_its_offset", {{1, 10, 11, 2, 8}, {1, 11, 0, 4, 0}},
     "  BYTE   _010[8];\n"
     "  WORD   w010;\t//off:00008\n"
     "//  DWORD  d011;\t//off:00000\n"
     "  BYTE   _010[-8];\n"
     "} t_s010;\t//size:2\n\n"},
    {"member_whose_next_names_nothing_is_a_scalar", {{2, 20, 21, 4, 0}, {1, 21, 99, 2, 0}},
     "typedef struct s020\n{\n"
     "  WORD   w021;\t//off:00000\n"
     "  BYTE   _020[2];\n"
     "} t_s020;\t//size:4\n\n"},
    {"member_of_unknown_kind_of_type_takes_no_room",
     {{2, 20, 21, 4, 0}, {1, 21, 22, 2, 1}, {4, 22, 0, 0, 0}},
     "typedef struct s020\n{\n"
     "  BYTE   _021[1];\n"
     "\t//off:00001\n"
     "  BYTE   _020[3];\n"
     "} t_s020;\t//size:4\n\n"},
    {"array_without_element_type_declares_nothing_more",
     {{2, 20, 21, 8, 0}, {1, 21, 4, 0, 0}, {3, 4, 99, 4, 2}},
     "typedef struct s020\n{\n"
     "  t_s099 sa021[2];\t//off:00000\n"
     "} t_s020;\t//size:8\n\n"},
    {"array_with_bit_7_is_still_an_array",
     {{2, 20, 21, 8, 0}, {1, 21, 4, 0, 0}, {0x83, 4, 5, 4, 2}, {2, 5, 0, 4, 0}},
     "typedef struct s005\n{\n"
     "  DWORD  d005;\t//off:00000\n"
     "} t_s005;\t//size:4\n\n"
     "typedef struct s020\n{\n"
     "  t_s005 sa021[2];\t//off:00000\n"
     "} t_s020;\t//size:8\n\n"},
    {"structure_named_as_a_sibling_is_no_union_at_the_end",
     {{2, 20, 21, 8, 0}, {1, 21, 30, 23, 0}, {2, 30, 0, 4, 0}, {2, 23, 0, 4, 4}},
     "typedef struct s030\n{\n"
     "  DWORD  d030;\t//off:00000\n"
     "} t_s030;\t//size:4\n\n"
     "typedef struct s020\n{\n"
     "  t_s030 s021;\t//off:00000\n"
     "typedef struct s023\n{\n"
     "  DWORD  d023;\t//off:00004\n"
     "  BYTE   _020[4];\n"
     "} t_s020;\t//size:8\n\n"},
    {"member_chain_that_loops_collects_each_entry_once",
     {{2, 20, 21, 4, 0}, {1, 21, 22, 2, 0}, {1, 22, 21, 2, 2}},
     "typedef struct s020\n{\n"
     "  WORD   w021;\t//off:00000\n"
     "  WORD   w022;\t//off:00002\n"
     "} t_s020;\t//size:4\n\n"},
    // The loop comes back to the table's first entry, which the walk began
    // at: each member prints once.
    {"member_chain_back_to_the_first_entry_collects_it_once", {testing::member(10, 11, 1, 0), testing::member(11, 10, 2, 2)},
     "  BYTE   b010;\t//off:00000\n"
     "  BYTE   _011[1];\n"
     "  WORD   w011;\t//off:00002\n"
     "  BYTE   _010[-3];\n"
     "} t_s010;\t//size:1\n\n"},
    {"self_containing_structure_is_declared_once",
     {{5, 1, 2, 8, 0}, {2, 2, 10, 8, 0}, {1, 10, 2, 11, 0}, {1, 11, 0, 4, 4}},
     "typedef struct s002\n{\n"
     "  t_s002 s010;\t//off:00000\n"
     "//  DWORD  d011;\t//off:00004\n"
     "} t_s002;\t//size:8\n\n"
     "\nextern t_s002 s001;\t//size=8\n"},
    {"first_entry_reached_again_is_declared_twice", {{2, 2, 10, 4, 0}, {1, 10, 2, 0, 0}},
     "typedef struct s002\n{\n"
     "  t_s002 s010;\t//off:00000\n"
     "} t_s002;\t//size:4\n\n"
     "typedef struct s002\n{\n"
     "  t_s002 s010;\t//off:00000\n"
     "} t_s002;\t//size:4\n\n"},
    {"duplicate_id_uses_the_later_entry", {{2, 20, 10, 4, 0}, {1, 10, 0, 4, 0}, {1, 10, 0, 2, 0}},
     "typedef struct s020\n{\n"
     "  WORD   w010;\t//off:00000\n"
     "  BYTE   _020[2];\n"
     "} t_s020;\t//size:4\n\n"},
    // 65558 would name member 22 if it were cut to 16 bits.
    {"sibling_link_above_65535_finds_nothing",
     {{2, 20, 21, 8, 0}, {1, 21, 30, 65558, 0}, {2, 30, 0, 4, 0}, {1, 22, 0, 4, 4}}, sibling_not_found},
    {"id_zero_is_never_found", {{2, 20, 21, 8, 0}, {1, 21, 30, 0, 0}, {2, 30, 0, 4, 0}, {1, 0, 0, 4, 4}},
     sibling_not_found},
    // The walk enters a loop at silent entry 10 and ends at silent 12, whose
    // run would go on into 10 again: 10 counts once in the union test.
    {"silent_run_cut_where_the_walk_closes_a_loop",
     {testing::structure(2, 20, 10), testing::typed_member(20, 3, 10, 5), {4, 10, 11, 0, 0},
      testing::typed_member(11, 3, 12, 7), {4, 12, 3, 10, 9}, testing::structure(3, 0, 1)},
     "typedef struct s003\n{\n"
     "  BYTE   b003;\t//off:00000\n"
     "} t_s003;\t//size:1\n\n"
     "typedef struct s002\n{\n"
     "  BYTE   _020[5];\n"
     "  t_s003 s020;\t//off:00005\n"
     "  BYTE   _011[1];\n"
     "  t_s003 s011;\t//off:00007\n"
     "  BYTE   _002[2];\n"
     "} t_s002;\t//size:10\n\n"},
    // Across 0 the keys are the offsets turned by half the circle: the two
    // silent entries come first, and tie.
    {"turned_keys_decide_the_union_with_silent_entries",
     {testing::structure(20, 21, 8), testing::typed_member(21, 3, 22, 1), {4, 22, 3, 23, 0xFFFFFFF0u},
      {4, 23, 3, 0, 0xFFFFFFF0u}, testing::structure(3, 0, 4)},
     "typedef struct s003\n{\n  DWORD  d003;\t//off:00000\n} t_s003;\t//size:4\n\n"
     "typedef union s020\n{\n"
     "  BYTE   _021[1];\n"
     "  t_s003 s021;\t//off:00001\n"
     "  BYTE   _020[3];\n"
     "} t_s020;\t//size:8\n\n"},
    {"union_flag_stays_after_a_structure_entry",
     {testing::structure(20, 21, 8), testing::member(21, 22, 1, 0), testing::typed_member(22, 3, 23, 0),
      {2, 23, 3, 24, 4}, testing::member(24, 25, 4, 4), testing::member(25, 0, 2, 6), testing::structure(3, 0, 4)},
     "typedef struct s003\n{\n  DWORD  d003;\t//off:00000\n} t_s003;\t//size:4\n\n"
     "typedef union s020\n{\n"
     "  BYTE   b021;\t//off:00000\n"
     "  t_s003 s022;\t//off:00000\n"
     "typedef struct s023\n{\n"
     "  BYTE   _024[4];\n"
     "  DWORD  d024;\t//off:00004\n"
     "  WORD   w025;\t//off:00006\n"
     "} t_s020;\t//size:8\n\n"},
    // Exactly half the circle apart, the offsets form no order: unsigned.
    {"offsets_half_the_circle_apart_sort_unsigned",
     {testing::structure(20, 21, 8), testing::member(21, 22, 1, 0x80000000u), testing::member(22, 0, 2, 0)},
     "typedef struct s020\n{\n"
     "  WORD   w022;\t//off:00000\n"
     "  BYTE   _021[2147483646];\n"
     "  BYTE   b021;\t//off:-2147483648\n"
     "  BYTE   _020[-2147483641];\n"
     "} t_s020;\t//size:8\n\n"},
    {"type_ids_above_32767_print_unsigned",
     {testing::variable(1, 40000, 4), testing::structure(40000, 40001, 4), testing::typed_member(40001, 50000, 0, 0),
      testing::structure(50000, 0, 4)},
     "typedef struct s50000\n{\n  DWORD  d50000;\t//off:00000\n} t_s50000;\t//size:4\n\n"
     "typedef struct s40000\n{\n  t_s50000 s40001;\t//off:00000\n} t_s40000;\t//size:4\n\n"
     "\nextern t_s40000 s001;\t//size=4\n"},
    {"types_are_declared_in_chain_order_members_in_offset_order",
     {{2, 20, 21, 12, 0}, {1, 21, 7, 22, 8}, {1, 22, 6, 0, 0}, {2, 7, 0, 4, 0}, {2, 6, 0, 8, 0}},
     "typedef struct s007\n{\n"
     "  DWORD  d007;\t//off:00000\n"
     "} t_s007;\t//size:4\n\n"
     "typedef struct s006\n{\n"
     "  BYTE   ba006[8];\t//off:00000\n"
     "} t_s006;\t//size:8\n\n"
     "typedef struct s020\n{\n"
     "  t_s006 s022;\t//off:00000\n"
     "  t_s007 s021;\t//off:00008\n"
     "} t_s020;\t//size:12\n\n"},
};

INSTANTIATE_TEST_SUITE_P(generator, declaration_cases, ::testing::ValuesIn(cases),
                         [](const auto& info) { return std::string(info.param.name); });

// More members than a small sort handles by insertion: ties still keep
// chain order.
TEST(declarations, many_members_sharing_offsets_keep_chain_order)
{
    std::vector<desc_row> rows{testing::structure(20, 100, 48)};
    std::string expected = "typedef union s020\n{\n";
    for (std::uint16_t i = 0; i < 24; ++i) {
        const auto id = static_cast<std::uint16_t>(100 + i);
        const std::uint32_t offset = 2 * (i / 6);
        rows.push_back(testing::member(id, i + 1 < 24 ? id + 1 : 0, i % 2 ? 2 : 1, offset));
        if (i % 6 == 0 && i > 0)
            expected += "  BYTE   _" + std::to_string(id) + "[1];\n";
        expected += (i % 2 ? "  WORD   w" : "  BYTE   b") + std::to_string(id) + ";\t//off:0000" + std::to_string(offset) + "\n";
    }
    // Reverse the table: the chain, not the table, gives the order.
    std::reverse(rows.begin() + 1, rows.end());
    EXPECT_EQ(declarations(rows), expected + "  BYTE   _020[41];\n} t_s020;\t//size:48\n\n");
}

TEST(declarations, empty_table_prints_nothing)
{
    EXPECT_EQ(declarations({}), "");
}

TEST(declarations, offsets_spread_over_half_the_range_still_print_every_member)
{
    // The wrap-around comparison is no order here; the sort must stay in bounds.
    std::vector<desc_row> rows{{2, 20, 100, 16, 0}};
    const std::uint32_t offsets[] = {0, 0x80000000u, 0x40000000u, 0xC0000000u, 0x7FFFFFFFu, 1, 0xFFFFFFFFu, 5};
    for (std::uint16_t i = 0; i < 200; ++i) {
        const auto id = static_cast<std::uint16_t>(100 + i);
        rows.push_back({1, id, static_cast<std::uint16_t>(i + 1 < 200 ? id + 1 : 0), 1, offsets[i % 8] + i});
    }
    const std::string text = declarations(rows);
    for (std::uint16_t i = 0; i < 200; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "b%03d;", 100 + i);
        EXPECT_EQ(count_of(text, name), 1u) << name;
    }
}

// The nested shape at the largest table: 21,844 structure types, each
// holding the next and a DWORD, around the innermost, 65534, which holds
// DWORD 65535.
TEST(declarations, nesting_as_deep_as_the_largest_table_prints_innermost_first)
{
    const std::string text = declarations(testing::shape_named("nested").build(65535).descriptors);
    EXPECT_EQ(count_of(text, "typedef struct"), 21845u);
    EXPECT_EQ(text.rfind("typedef struct s65534\n{\n  DWORD  d65535;\t//off:00000\n} t_s65534;", 0), 0u);
    EXPECT_TRUE(text.ends_with("typedef struct s21846\n{\n  t_s21848 s002;\t//off:00000\n  DWORD  d21847;\t//off:87376\n"
                               "} t_s21846;\t//size:87380\n\n\nextern t_s21846 s001;\t//size=87380\n"));
}

// The silent shape: types 6 and on name one another in a ring, and each
// walks on through member 2 (of type 6) into one chain of silent entries as
// long as the ring, yet prints a few lines.
TEST(declarations, types_sharing_a_silent_chain_print_a_few_lines_each)
{
    const std::uint32_t types = 21000;
    std::string expected;
    for (std::uint32_t type = 6 + types; type-- > 6;) {
        char line[96];
        std::snprintf(line, sizeof line, "typedef struct s%03u\n{\n  t_s006 s002;\t//off:00000\n} t_s%03u;\t//size:2\n\n",
                      type, type);
        expected += line;
    }
    expected += "typedef struct s003\n{\n  t_s006 s004;\t//off:00000\n  WORD   w005;\t//off:00002\n} t_s003;\t//size:4\n\n"
                "\nextern t_s003 s001;\t//size=4\n";
    EXPECT_EQ(declarations(testing::shape_named("silent").build(5 + 2 * types).descriptors), expected);
}

// Small tables of every kind, links among few ids (so loops, shared chains
// and duplicate ids are common) and offsets that are often equal, now and
// then spread round the 32-bit circle or exactly half of it apart.
std::vector<desc_row> random_table(std::mt19937& random)
{
    const auto pick = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    const std::uint8_t flags[] = {1, 1, 1, 1, 2, 2, 2, 3, 4, 4, 4, 0, 5, 0x81, 0x82, 0x83, 0x85};
    const std::uint32_t far[] = {0, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFFu, 0x55555555u, 0xAAAAAAAAu};
    const std::uint32_t ids = pick(6, 40);
    const std::uint32_t spread = pick(0, 2) == 0 ? 40 : pick(1, 4);
    const bool wide = pick(0, 3) == 0;
    std::vector<desc_row> rows;
    const std::uint32_t count = pick(1, 60);
    for (std::uint32_t i = 0; i < count; ++i) {
        desc_row row;
        row.flag = flags[pick(0, sizeof flags - 1)];
        row.id = static_cast<std::uint16_t>(pick(0, ids));
        row.next = static_cast<std::uint16_t>(pick(0, ids));
        row.size = pick(0, 3) == 0 ? pick(0, 8) : pick(0, ids);
        row.offset = pick(0, spread) + (wide ? far[pick(0, sizeof far / sizeof far[0] - 1)] : 0);
        rows.push_back(row);
    }
    return rows;
}

// Chains of every kind linked at random by their sibling links, so that most
// walks run into a loop; entries name array types whose element types are
// other chain entries, so that declarations start all over the chains.
std::vector<desc_row> random_chains(std::mt19937& random)
{
    const auto pick = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    const std::uint8_t flags[] = {1, 1, 2, 2, 2, 4, 4, 0, 3, 0x81, 0x82};
    const std::uint32_t entries = pick(2, 40), arrays = pick(1, 6);
    const std::uint32_t first_array = 10, first_entry = first_array + arrays;
    const auto entry_id = [&] { return static_cast<std::uint16_t>(first_entry + pick(0, entries - 1)); };
    // Across 2^31, or across 0, where only the keys turned by half the circle
    // give the order.
    const std::uint32_t bases[] = {0, 0x7FFFFFFEu, 0xFFFFFFFEu};
    const std::uint32_t base = bases[pick(0, 2)];
    std::vector<desc_row> rows{testing::variable(1, static_cast<std::uint16_t>(first_array), 4),
                               testing::structure(3, 0, 4)};
    for (std::uint32_t j = 0; j < arrays; ++j)
        rows.push_back(testing::array(static_cast<std::uint16_t>(first_array + j), entry_id(), 2, 2));
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint32_t type = pick(0, 2) == 0 ? first_array + pick(0, arrays - 1) : 3;
        const std::uint32_t sibling = pick(0, 7) == 0 ? 0 : entry_id();
        rows.push_back({flags[pick(0, sizeof flags - 1)], static_cast<std::uint16_t>(first_entry + i),
                        static_cast<std::uint16_t>(type), sibling, base + pick(0, 3)});
    }
    return rows;
}

// One structure of 17 to 80 members chained in table order, their offsets
// few and mostly falling: a sort meets long runs of ties, built against it.
std::vector<desc_row> random_long_chain(std::mt19937& random)
{
    const auto pick = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    // Offsets now and then apart in their top byte alone.
    const std::uint32_t members = pick(17, 80), offsets = pick(1, 9), scale = pick(0, 1) == 0 ? 1 : 1u << 24;
    std::vector<desc_row> rows{testing::variable(1, 2, 40), testing::structure(2, 100, 40)};
    for (std::uint32_t i = 0; i < members; ++i) {
        const auto id = static_cast<std::uint16_t>(100 + i);
        const std::uint32_t falling = offsets - 1 - i * offsets / members;
        rows.push_back(testing::member(id, i + 1 < members ? id + 1 : 0, pick(1, 4),
                                       scale * (pick(0, 3) == 0 ? pick(0, offsets - 1) : falling)));
    }
    return rows;
}

// Long chains of mostly silent entries with structure entries among them,
// now and then linked elsewhere at random, so that most walks are sparse and
// many run into loops, or end; members name structure entries as their
// types, or arrays of any entry, so that several heads walk along one chain,
// and now and then a structure entry links where the one before it does.
std::vector<desc_row> random_silent_chains(std::mt19937& random)
{
    const auto pick = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    const std::uint8_t flags[] = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 0, 3, 2, 0x82, 1, 1};
    const std::uint32_t entries = pick(100, 300), first = 10, end = first + entries;
    // Offsets from 0, or across 2^31, or across the wrap, or all just below it.
    const std::uint32_t spread = pick(0, 1) == 0 ? 6 : 400;
    const std::uint32_t bases[] = {0, 0x80000000u - spread / 2, 0u - spread / 2, 0u - 3 * spread};
    const std::uint32_t base = bases[pick(0, 3)];
    std::vector<std::uint8_t> kinds{2};
    std::vector<std::uint16_t> structures{first};
    for (std::uint32_t i = 1; i < entries; ++i) {
        kinds.push_back(flags[pick(0, sizeof flags - 1)]);
        if ((kinds.back() & 0x7f) == 2)
            structures.push_back(static_cast<std::uint16_t>(first + i));
    }
    std::vector<desc_row> rows{testing::variable(1, first, 4), testing::structure(3, 0, 4)};
    for (std::uint16_t array = 4; array < 7; ++array) {
        rows.push_back(testing::array(array, static_cast<std::uint16_t>(first + pick(0, entries - 1)), 2, 2));
        structures.push_back(array);
    }
    const std::uint32_t last = pick(0, 1) == 0 ? first : end;
    std::uint32_t shared = end;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const bool structure = (kinds[i] & 0x7f) == 2;
        std::uint32_t sibling = i + 1 < entries ? first + i + 1 : last;
        if (pick(0, 19) == 0)
            sibling = first + pick(0, entries);
        if (structure && pick(0, 3) == 0)
            sibling = shared;
        if (structure)
            shared = sibling;
        const std::uint16_t type = (kinds[i] & 0x7f) == 1 ? structures[pick(0, structures.size() - 1)] : 3;
        // Now and then a structure entry lies beyond every silent entry, or
        // any entry across the circle, which spoils the walks' order.
        const std::uint32_t beyond = structure && pick(0, 3) == 0 ? spread : 0;
        const std::uint32_t across = pick(0, 39) == 0 ? 0x80000000u : 0;
        rows.push_back({kinds[i], static_cast<std::uint16_t>(first + i), type, sibling,
                        base + beyond + across + pick(0, spread)});
    }
    return rows;
}

std::string reference(const std::vector<desc_row>& rows)
{
    return testing::reference_declarations(testing::host_table(rows));
}

struct random_family {
    const char* name;
    std::vector<desc_row> (*make)(std::mt19937&);
    int rounds;
};

class random_tables : public ::testing::TestWithParam<random_family> {};

TEST_P(random_tables, print_as_the_reference)
{
    std::mt19937 random(2026);
    for (int round = 0; round < GetParam().rounds; ++round) {
        const std::vector<desc_row> rows = GetParam().make(random);
        ASSERT_EQ(declarations(rows), reference(rows)) << "round " << round;
    }
}

const random_family random_families[] = {{"tables", random_table, 1200},
                                         {"chains", random_chains, 1200},
                                         {"long_chains", random_long_chain, 1000},
                                         {"silent_chains", random_silent_chains, 1000}};

INSTANTIATE_TEST_SUITE_P(declarations, random_tables, ::testing::ValuesIn(random_families),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(declarations, hostile_tables_print_as_the_reference)
{
    for (const testing::table_shape& shape : testing::table_shapes()) {
        if (!shape.hostile)
            continue;
        for (const std::uint32_t size : {64u, 101u, 300u}) {
            const std::vector<desc_row> rows = shape.build(size).descriptors;
            ASSERT_EQ(declarations(rows), reference(rows)) << shape.name << " at " << size;
        }
    }
}

// Work counts walk steps, look-ups, comparisons and tree nodes. On every
// shape, those made to make a straightforward generator quadratic included,
// it stays within one constant times the table and the output, at two sizes
// four times apart (shapes of their own size at these too); where the output
// outgrows the table, the work per line does not grow with it. Heads that
// share a walk take it from the walk sorted before: the sorts stay within
// the table.
TEST(declarations, work_stays_linear_in_table_and_output)
{
    std::FILE* sink = std::fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
    for (const testing::table_shape& shape : testing::table_shapes()) {
        // A shape of its own size once, and the largest of those, built like
        // the smaller ones, not at all: a test must end in seconds under the
        // sanitizers on a busy machine.
        if (shape.own_size > 600'000)
            continue;
        double smaller = 0;
        for (const std::uint32_t size : {4000u, 16000u}) {
            if (shape.own_size != 0 && size != 4000u)
                continue;
            const std::vector<item_desc> table = testing::host_table(shape.build(size).descriptors);
            const declarations_effort effort = print_declarations(sink, table);
            EXPECT_LE(effort.work, work_per_unit * (table.size() + effort.entries))
                << shape.name << " at " << size << ": " << effort.entries << " entries";
            EXPECT_LE(effort.sorted, 2 * table.size()) << shape.name << " at " << size << ": walks sorted again";
            const double per_unit = static_cast<double>(effort.work) / static_cast<double>(table.size() + effort.entries);
            if (size != 4000u && effort.entries >= table.size()) {
                EXPECT_LE(per_unit, 1.1 * smaller) << shape.name << ": work per unit grows with the output";
            }
            smaller = per_unit;
        }
    }
    std::fclose(sink);
}

}  // namespace
}  // namespace vantor
