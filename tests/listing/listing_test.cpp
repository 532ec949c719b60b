#include "listing/listing.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include "listing/listing_text.hpp"
#include "support/capture.hpp"
#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor {
namespace {

using testing::dat_layout;
using testing::header_lines;
using testing::heading;

struct listed {
    listing_result result;
    std::string text;
};

listed list_bytes(const std::vector<unsigned char>& bytes)
{
    std::FILE* in = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), in);
    std::rewind(in);
    listed run;
    run.text = testing::capture_output([&](std::FILE* out) { run.result = print_listing(in, out); });
    std::fclose(in);
    return run;
}

listed list_layout(const dat_layout& layout) { return list_bytes(testing::build_dat(layout)); }

struct row_case {
    const char* name;
    testing::desc_row row;
    std::string expected;
};

class row_cases : public ::testing::TestWithParam<row_case> {};

TEST_P(row_cases, print_as_listed)
{
    dat_layout layout;
    layout.descriptors = {GetParam().row};
    const listed run = list_layout(layout);
    EXPECT_EQ(run.text, header_lines(1, 44) + GetParam().expected + " */\n\n\n");
}

const row_case rows[] = {
    {"member_first_has_no_heading", {1, 7, 0, 2, 4}, " *     2        4    7    0    1\n"},
    {"member_with_bit_7_has_no_heading", {0x81, 7, 0, 2, 4}, " *     2        4    7    0  129\n"},
    {"unknown_kind_zero_has_a_heading", {0, 7, 0, 2, 4}, heading + " *     2        4    7    0    0\n"},
    {"unknown_kind_four_has_a_heading", {4, 7, 0, 2, 4}, heading + " *     2        4    7    0    4\n"},
    {"words_of_2_to_31_or_more_are_negative", {2, 65535, 65535, 0xFFFFFFFFu, 0x80000000u},
     heading + " *    -1-21474836486553565535    2\n"},
    {"wide_size_pushes_the_row_right", {2, 1, 0, 1234567, 0}, heading + " *1234567        0    1    0    2\n"},
};

INSTANTIATE_TEST_SUITE_P(listing, row_cases, ::testing::ValuesIn(rows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(listing, header_words_print_signed_and_flag_unsigned)
{
    dat_layout layout;
    layout.descriptors = {{1, 7, 0, 2, 4}};
    layout.item_desc_size = 0xFFFFFFFFu;
    layout.data_len = 0x80000000u;
    layout.flag = 0xFF;
    std::vector<unsigned char> bytes = testing::build_dat(layout);
    bytes[25] = 1;  // the bytes after the flag play no part
    bytes[27] = 4;
    const listed run = list_bytes(bytes);
    EXPECT_TRUE(run.text.starts_with("/*\n * item_desc_size=-1\n * item_numb     =1\n * header_size   =0\n"
                                     " * desc_size     =0\n * data_offset   =44\n * data_len      =-2147483648\n"
                                     " * flag          =255\n *     2"))
        << run.text;
}

TEST(listing, huge_count_on_a_short_file_keeps_only_what_the_file_holds)
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 0, 4, 0}};
    layout.item_numb = (1u << 28) - 1;
    const listed run = list_layout(layout);
    EXPECT_EQ(run.result.failed, (failure{failure_kind::read, 0, 1u}));
    ASSERT_TRUE(run.result.has_table);
    // The record that could not be read exists, with nothing in it.
    ASSERT_EQ(run.result.table.size(), 2u);
    EXPECT_EQ(run.result.table[1].id, 0u);
    EXPECT_EQ(run.result.table[1].size, 0u);
}

// Record 3 of the worked example, member 11, cut short: its bytes as read,
// then zeros, taken as little-endian numbers.
struct cut_case {
    std::size_t bytes;  // of record 3
    item_desc kept;     // size, offset, id, next, flag
};

TEST(listing, table_cut_inside_a_record_keeps_its_bytes_as_little_endian)
{
    const std::vector<unsigned char> whole = testing::example_file();
    const cut_case cuts[] = {
        {5, {0x02000000u, 0, 0, 0, 0, {}}},
        {12, {0x02000000u, 0x02000000u, 0x0B00, 0x0C00, 0, {}}},
        {15, {0x02000000u, 0x02000000u, 0x0B00, 0x0C00, 1, {}}},
    };
    for (const cut_case& cut : cuts) {
        const std::vector<unsigned char> bytes(whole.begin(), whole.begin() + static_cast<long>(28 + 3 * 16 + cut.bytes));
        const listed run = list_bytes(bytes);
        EXPECT_EQ(run.result.failed, (failure{failure_kind::read, 0, 3u}));
        ASSERT_EQ(run.result.table.size(), 4u);
        const item_desc& kept = run.result.table[3];
        EXPECT_EQ(std::tuple(kept.size, kept.offset, kept.id, kept.next, kept.flag),
                  std::tuple(cut.kept.size, cut.kept.offset, cut.kept.id, cut.kept.next, cut.kept.flag))
            << cut.bytes << " bytes";
        EXPECT_EQ(run.result.table[2].id, 10u);
        // The comment stays open after the last whole row.
        EXPECT_TRUE(run.text.ends_with(" *     1        0   10   11    1\n")) << run.text;
    }
}

// Records arrive in slices of 4,096: a cut on either side of a slice's end
// still lists every whole record before it, and keeps the part-read one.
TEST(listing, long_table_cut_anywhere_lists_every_whole_record)
{
    dat_layout layout;
    for (std::uint16_t id = 1; id <= 8200; ++id)
        layout.descriptors.push_back(testing::member(id, 0, 2, id));
    const std::vector<unsigned char> whole = testing::build_dat(layout);
    const std::pair<std::size_t, std::size_t> cuts[] = {{4095, 3}, {4096, 0}, {4096, 9}, {8191, 15}, {8199, 1}};
    for (const auto& [record, extra] : cuts) {
        const std::vector<unsigned char> bytes(whole.begin(), whole.begin() + static_cast<long>(28 + 16 * record + extra));
        const listed run = list_bytes(bytes);
        EXPECT_EQ(run.result.failed, (failure{failure_kind::read, 0, record})) << record;
        ASSERT_EQ(run.result.table.size(), record + 1);
        EXPECT_EQ(run.result.table[record - 1].id, record);
        // The part-read record holds its first bytes, the size, little-endian.
        EXPECT_EQ(run.result.table[record].size, extra >= 4 ? 0x02000000u : 0u) << record;
        const auto rows = static_cast<std::size_t>(std::count(run.text.begin(), run.text.end(), '\n')) - 8;
        EXPECT_EQ(rows, record) << record;
        char last_row[48];
        std::snprintf(last_row, sizeof last_row, " *     2%9zu%5zu    0    1\n", record, record);
        EXPECT_TRUE(run.text.ends_with(last_row)) << record;
    }
}

}  // namespace
}  // namespace vantor
