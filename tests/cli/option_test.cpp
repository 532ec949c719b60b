// The options beside the three modes: exact output, exit status, and the
// bytes they store.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "cli/cli_text.hpp"
#include "support/capture.hpp"

namespace vantor::testing {
namespace {

const std::string help = banner +
                         "USE:\n"
                         "  to create C data structure: Vantor file.dat\n"
                         "  to read an item value:      Vantor file.dat [t]a.b...z\n"
                         "  to write an item value:     Vantor file.dat [t]a.b...z=val\n"
                         "t=[optional] item is a text (ex: t1.4.52 is VIN in user_com.dat)\n"
                         "a.b...z= item identified (ex: 1.3.33 is video speed limit in user_com.dat)\n"
                         "val= new value\n"
                         "OPTIONS:\n"
                         "  --values file.dat [a.b...]   every value, or those at or under each a.b, one a.b=val a line\n"
                         "  --set file.dat a.b=val...    change many values, all or none\n"
                         "  --set file.dat -             the same, one a.b=val a line from the input\n"
                         "  --diff a.dat b.dat [a.b...]  the values that differ, -a.b=a's then +a.b=b's,\n"
                         "                               and where other bytes differ; exit 0 same, 1 different\n"
                         "  --help                       this text\n"
                         "  --version                    the version\n";

const std::string sample_values = "1.2=3\n1.3.31=1\n1.3.32=30\n1.3.33=80\n1.3.34=2\n1.4.51=2019\n"
                                  "1.4.52=VNT1SAMPLE0000001\n1.4.53=123456\n1.5[0].61=12\n1.5[0].62=1800\n"
                                  "1.5[1].61=45\n1.5[1].62=3600\n1.5[2].61=7\n1.5[2].62=600\n1.6.71=16909060\n"
                                  "# left out: 2 items over bytes listed above, 0 structures nested too deep, "
                                  "0 descriptors on no path listed\n";

struct option_case {
    const char* name;
    std::vector<std::string> args;  // "FILE" stands for a copy of the sample
    std::string input;
    std::string expected;
    int status;
    std::vector<std::pair<std::size_t, bytes>> stored = {};  // data-area bytes after the run
    run_setup::input_from from = run_setup::input_from::given;
};

class option_runs : public ::testing::TestWithParam<option_case> {};

TEST_P(option_runs, print_exactly_and_store_all_or_nothing)
{
    const option_case& c = GetParam();
    if (c.from == run_setup::input_from::closed && tool_under_test().windows)
        GTEST_SKIP() << "Wine hands a program without standard input a handle that fails every read, as a folder's does";
    const temp_file file(sample);
    std::vector<std::string> args = c.args;
    for (std::string& arg : args)
        if (arg == "FILE")
            arg = file.path();
    run_setup setup;
    setup.input = c.input;
    setup.from = c.from;
    const auto run = run_tool(args, setup);
    EXPECT_EQ(run->out, c.expected);
    EXPECT_EQ(run->status, c.status);
    bytes expected = sample;
    for (const auto& [at, stored] : c.stored)
        std::copy(stored.begin(), stored.end(), expected.begin() + static_cast<std::ptrdiff_t>(sample_data + at));
    EXPECT_EQ(file.bytes(), expected);
}

const option_case option_cases[] = {
    {"version", {"--version"}, "", "Vantor 3.0.1\n", 0},
    {"help", {"--help"}, "", help, 0},
    {"an_option_without_its_file_shows_the_help", {"--values"}, "", help, 255},
    {"values", {"--values", "FILE"}, "", sample_values, 0},
    {"values_of_a_missing_file", {"--values", "no/such.dat"}, "", "fopen(no/such.dat) error!\n", 255},
    {"values_of_a_structure", {"--values", "FILE", "1.3"}, "", "1.3.31=1\n1.3.32=30\n1.3.33=80\n1.3.34=2\n", 0},
    {"values_of_a_leaf_and_an_array", {"--values", "FILE", "t1.3.33", "1.5"}, "",
     "1.3.33=80\n1.5[0].61=12\n1.5[0].62=1800\n1.5[1].61=45\n1.5[1].62=3600\n1.5[2].61=7\n1.5[2].62=600\n", 0},
    {"values_of_a_part_that_leads_nowhere", {"--values", "FILE", "1.3", "1.9"}, "", "Error in getdata(1.9)\n", 255},
    {"diff_of_a_file_and_itself", {"--diff", "FILE", "FILE", "1.3"}, "", "", 0},
    {"diff_of_a_missing_file", {"--diff", "FILE", "no/such.dat"}, "", "fopen(no/such.dat) error!\n", 255},
    {"diff_of_a_part_that_leads_nowhere", {"--diff", "FILE", "FILE", "1.3.9"}, "", "Error in getdata(1.3.9)\n", 255},
    {"diff_without_its_second_file", {"--diff", "FILE"}, "", help, 255},
    {"set_many", {"--set", "FILE", "1.3.33=7", "t1.4.52=A\\x00C\\\\", "1.5[1].62=9"}, "",
     "setdata(1.3.33)=7\nsetdata(t1.4.52)=A\\x00C\\\\\nsetdata(1.5[1].62)=9\n", 0,
     {{8, {0, 7}}, {14, {'A', 0, 'C', '\\', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}, {50, {0, 9}}}},
    {"later_assignments_win", {"--set", "FILE", "1.3.33=7", "1.3.33=8"}, "", "setdata(1.3.33)=7\nsetdata(1.3.33)=8\n",
     0, {{8, {0, 8}}}},
    {"one_path_that_names_nothing_stores_nothing", {"--set", "FILE", "1.3.33=7", "1.3.99=1"}, "",
     "Error in setdata(1.3.99): no item has this path\n", 255},
    {"a_malformed_escape_stores_nothing", {"--set", "FILE", "1.3.33=7", "t1.4.52=\\q"}, "", "Error in setdata(t1.4.52): \"\\q\" holds a backslash that begins neither \\\\ nor \\xHH\n", 255},
    {"an_assignment_without_a_value", {"--set", "FILE", "1.3.33"}, "", "Error in setdata(1.3.33): the assignment has no '='\n",
     255},
    {"each_size_takes_its_limits_and_4_bytes_either_spelling",
     {"--set", "FILE", "1.3.31=255", "1.3.32=+65535", "1.3.33=-0", "1.2=-2147483648", "1.6.71=4294967295"}, "",
     "setdata(1.3.31)=255\nsetdata(1.3.32)=+65535\nsetdata(1.3.33)=-0\nsetdata(1.2)=-2147483648\nsetdata(1.6.71)=4294967295\n", 0,
     {{0, {0x80, 0, 0, 0}}, {4, {255}}, {6, {255, 255, 0, 0}}, {60, {255, 255, 255, 255}}}},
    {"a_text_as_long_as_its_item_lower_case_hex_and_a_later_equals_sign",
     {"--set", "FILE", "t1.4.52=A=\\x4a\\x4A2345678901234"}, "", "setdata(t1.4.52)=A=\\x4a\\x4A2345678901234\n", 0,
     {{14, {'A', '=', 'J', 'J', '2', '3', '4', '5', '6', '7', '8', '9', '0', '1', '2', '3', '4'}}}},
    {"a_byte_past_its_range", {"--set", "FILE", "1.3.33=7", "1.3.31=256"}, "",
     "Error in setdata(1.3.31): 256 does not fit a 1-byte item (0 to 255)\n", 255},
    {"a_word_below_its_range", {"--set", "FILE", "1.3.33=-1"}, "",
     "Error in setdata(1.3.33): -1 does not fit a 2-byte item (0 to 65535)\n", 255},
    {"a_word_past_its_range", {"--set", "FILE", "1.3.32=70000"}, "",
     "Error in setdata(1.3.32): 70000 does not fit a 2-byte item (0 to 65535)\n", 255},
    {"a_double_word_past_either_spelling", {"--set", "FILE", "1.6.71=4294967296"}, "",
     "Error in setdata(1.6.71): 4294967296 does not fit a 4-byte item (-2147483648 to 4294967295)\n", 255},
    {"a_double_word_below_its_range", {"--set", "FILE", "1.6.71=-2147483649"}, "",
     "Error in setdata(1.6.71): -2147483649 does not fit a 4-byte item (-2147483648 to 4294967295)\n", 255},
    {"letters", {"--set", "FILE", "1.3.33=9O"}, "", "Error in setdata(1.3.33): \"9O\" is not a decimal number\n", 255},
    {"hex", {"--set", "FILE", "1.3.33=0x10"}, "", "Error in setdata(1.3.33): \"0x10\" is not a decimal number\n", 255},
    {"white_space", {"--set", "FILE", "1.3.31= 12"}, "", "Error in setdata(1.3.31): \" 12\" is not a decimal number\n", 255},
    {"a_sign_alone", {"--set", "FILE", "1.3.31=-"}, "", "Error in setdata(1.3.31): \"-\" is not a decimal number\n", 255},
    {"no_number", {"--set", "FILE", "1.3.33="}, "", "Error in setdata(1.3.33): \"\" is not a decimal number\n", 255},
    {"a_text_longer_than_its_item", {"--set", "FILE", "t1.4.52=VNT1SAMPLE0000001\\x00"}, "",
     "Error in setdata(t1.4.52): 18 bytes do not fit a 17-byte item\n", 255},
    {"an_upper_case_escape", {"--set", "FILE", "t1.4.52=\\X41"}, "",
     "Error in setdata(t1.4.52): \"\\X41\" holds a backslash that begins neither \\\\ nor \\xHH\n", 255},
    {"a_refused_line_of_the_input", {"--set", "FILE", "-"}, "1.3.33=7\n1.3.31=300\n",
     "Error in setdata(1.3.31): 300 does not fit a 1-byte item (0 to 255)\n", 255},
    {"a_dash_among_assignments_is_no_input", {"--set", "FILE", "-", "1.3.33=5"}, "1.3.34=6\n",
     "Error in setdata(-): the assignment has no '='\n", 255},
    // Bytes from standard input are stored as they come, on Windows too,
    // where only a typed argument can lose a character.
    {"bytes_of_a_lone_surrogate_from_the_input", {"--set", "FILE", "-"}, "t1.4.52=\xED\xA8\n",
     "setdata(t1.4.52)=\xED\xA8\n", 0, {{14, {0xED, 0xA8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}}}},
    {"set_from_the_input", {"--set", "FILE", "-"}, "# a comment\n\n1.3.33=7\r\n1.3.34=5", "setdata(1.3.33)=7\nsetdata(1.3.34)=5\n",
     0, {{8, {0, 7, 0, 5}}}},
    {"a_closed_input_sets_nothing", {"--set", "FILE", "-"}, "", "", 0, {}, run_setup::input_from::closed},
    {"an_input_that_cannot_be_read_stores_nothing", {"--set", "FILE", "-"}, "", "fread(-) error!\n", 255, {},
     run_setup::input_from::folder},
};

INSTANTIATE_TEST_SUITE_P(cli, option_runs, ::testing::ValuesIn(option_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// One file's values made another's, and a file named like an option still
// read as a file.
TEST(cli, values_piped_into_set_copy_a_file)
{
    const temp_file from(sample);
    const temp_file to(sample);
    ASSERT_EQ(run_tool({"--set", from.path(), "1.3.33=65535", "t1.4.52=OTHER\\x01VIN", "1.6.71=-1", "1.3.31=255",
                        "1.2=-2147483648"})
                  .status,
              0);
    run_setup setup;
    setup.input = run_tool({"--values", from.path()}).out;
    EXPECT_EQ(run_tool({"--set", to.path(), "-"}, setup)->status, 0);
    EXPECT_EQ(to.bytes(), from.bytes());

    // One padding byte apart: no value line, and the byte counted.
    bytes padded = sample;
    padded[sample_data + 5] ^= 1;
    const temp_file original(sample), other(padded);
    const tool_run compared = run_tool({"--diff", original.path(), other.path()});
    EXPECT_EQ(compared.out, "# data area: 1 byte differs outside the values, at 5 (in 1.3)\n");
    EXPECT_EQ(compared.status, 1);
    // Parts compare by their values alone.
    const tool_run parts = run_tool({"--diff", original.path(), from.path(), "1.3.33", "1.3.34"});
    EXPECT_EQ(parts.out, "-1.3.33=80\n+1.3.33=65535\n");
    EXPECT_EQ(parts.status, 1);
    EXPECT_EQ(run_tool({"--diff", original.path(), other.path(), "1.3"}).status, 0);

    const std::string named = (from.folder() / "--values").string();
    write_file(named, sample);
    EXPECT_EQ(run_tool({(from.folder() / "." / "--values").string(), "1.3.33"}).out, banner + "getdata(1.3.33)=80\n");
}

}  // namespace
}  // namespace vantor::testing
