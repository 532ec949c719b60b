#include "listing/listing.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/capture.hpp"
#include "support/dat_builder.hpp"

namespace vantor {
namespace {

using testing::dat_layout;

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

const std::string heading = " *\n *  size   offset   id next flag\n";

std::string header_lines(int item_numb, int data_offset)
{
    return "/*\n * item_desc_size=0\n * item_numb     =" + std::to_string(item_numb) +
           "\n * header_size   =0\n * desc_size     =0\n * data_offset   =" + std::to_string(data_offset) +
           "\n * data_len      =0\n * flag          =0\n";
}

TEST(listing, worked_example_prints_header_and_table)
{
    const listed run = list_layout(testing::worked_example());
    EXPECT_EQ(run.text, header_lines(12, 220) + heading +
                            " *    16        0    1    2    5\n" + heading +
                            " *    16        0    2   10    2\n"
                            " *     1        0   10   11    1\n"
                            " *     2        2   11   12    1\n"
                            " *    13        4   12    3    1\n"
                            " *     0        8   13    4    1\n" +
                            heading + " *     4        2    4    5    3\n" + heading +
                            " *     4        0    3   20    2\n"
                            " *     4        0   20    0    1\n" +
                            heading +
                            " *     4        0    5   30    2\n"
                            " *     2        0   30   31    1\n"
                            " *     2        2   31    0    1\n"
                            " */\n\n\n");
    EXPECT_EQ(run.result.failure, listing_failure::none);
    ASSERT_EQ(run.result.table.size(), 12u);
    EXPECT_EQ(run.result.table[6].offset, 2u);
    EXPECT_EQ(run.result.table[6].next, 5u);
}

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

TEST(listing, short_header_prints_nothing_and_leaves_no_table)
{
    for (std::size_t size : {0, 1, 27}) {
        const listed run = list_bytes(std::vector<unsigned char>(size, 0));
        EXPECT_EQ(run.text, "");
        EXPECT_EQ(run.result.failure, listing_failure::header_read);
        EXPECT_FALSE(run.result.has_table);
    }
}

TEST(listing, counts_without_a_table)
{
    for (std::uint32_t count : {0u, 1u << 28, 0xFFFFFFFFu}) {
        dat_layout layout;
        layout.item_numb = count;
        layout.data_offset = 28;
        const listed run = list_layout(layout);
        EXPECT_EQ(run.text, "/*\n * item_desc_size=0\n * item_numb     =" + std::to_string(static_cast<int>(count)) +
                                "\n * header_size   =0\n * desc_size     =0\n * data_offset   =28\n"
                                " * data_len      =0\n * flag          =0\n");
        EXPECT_EQ(run.result.failure, listing_failure::table_alloc);
        EXPECT_FALSE(run.result.has_table);
    }
}

TEST(listing, huge_count_on_a_short_file_keeps_only_what_the_file_holds)
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 0, 4, 0}};
    layout.item_numb = (1u << 28) - 1;
    const listed run = list_layout(layout);
    EXPECT_EQ(run.result.failure, listing_failure::record_read);
    EXPECT_EQ(run.result.failed_record, 1u);
    ASSERT_TRUE(run.result.has_table);
    // The record that could not be read exists, with nothing in it.
    ASSERT_EQ(run.result.table.size(), 2u);
    EXPECT_EQ(run.result.table[1].id, 0u);
    EXPECT_EQ(run.result.table[1].size, 0u);
}

TEST(listing, table_cut_inside_a_record_keeps_its_bytes_as_little_endian)
{
    std::vector<unsigned char> bytes = testing::build_dat(testing::worked_example());
    bytes.resize(28 + 3 * 16 + 5);  // 5 bytes into record 3: size 2 and one byte of offset
    bytes[28 + 3 * 16 + 4] = 0x07;
    const listed run = list_bytes(bytes);
    EXPECT_EQ(run.result.failure, listing_failure::record_read);
    EXPECT_EQ(run.result.failed_record, 3u);
    ASSERT_EQ(run.result.table.size(), 4u);
    EXPECT_EQ(run.result.table[3].size, 0x02000000u);
    EXPECT_EQ(run.result.table[3].offset, 7u);
    EXPECT_EQ(run.result.table[3].id, 0u);
    EXPECT_EQ(run.result.table[2].id, 10u);
    // The comment stays open after the last whole row.
    EXPECT_TRUE(run.text.ends_with(" *     1        0   10   11    1\n")) << run.text;
}

TEST(listing, data_area_elsewhere_reports_where_it_should_begin)
{
    dat_layout layout = testing::worked_example();
    layout.data_offset = 221;
    const listed run = list_layout(layout);
    EXPECT_EQ(run.result.failure, listing_failure::data_offset);
    EXPECT_EQ(run.result.table_end, 220u);
    EXPECT_EQ(run.result.table.size(), 12u);
    EXPECT_TRUE(run.text.ends_with(" */\n\n\n"));
}

}  // namespace
}  // namespace vantor
