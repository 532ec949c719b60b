#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/cli_text.hpp"
#include "support/capture.hpp"
#include "support/dat_builder.hpp"

namespace vantor::testing {
namespace {


struct item_case {
    const char* name;
    std::vector<std::string> args;  // after the file name
    std::string expected;           // after the banner
    int status;
    std::size_t at = 0;             // data-area byte where `stored` must stand after the run
    bytes stored = {};              // empty: the file must be unchanged
    bool through_link = false;      // the file is named by a symbolic link to it
    std::size_t padded_to = 0;      // the sample with zero bytes behind it, up to this length
};

class item_runs : public ::testing::TestWithParam<item_case> {};

TEST_P(item_runs, print_exactly_and_change_only_the_item)
{
    const item_case& c = GetParam();
    bytes original = sample;
    original.resize(std::max(sample.size(), c.padded_to));
    const temp_file file(original);
    const std::string link = (file.folder() / "link.dat").string();
    if (c.through_link)
        std::filesystem::create_symlink(file.path(), link);
    std::vector<std::string> args{c.through_link ? link : file.path()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const tool_run run = run_tool(args);
    EXPECT_EQ(run.out, banner + c.expected);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, "");
    bytes expected = original;
    std::copy(c.stored.begin(), c.stored.end(), expected.begin() + static_cast<std::ptrdiff_t>(sample_data + c.at));
    EXPECT_EQ(file.bytes(), expected);
    EXPECT_EQ(std::filesystem::is_symlink(link), c.through_link) << "the link was replaced";
}

const item_case item_runs_cases[] = {
    {"read_number", {"1.3.33"}, "getdata(1.3.33)=80\n", 0},
    {"read_text", {"t1.4.52"}, "getdata(t1.4.52)=VNT1SAMPLE0000001\n", 0},
    {"read_array_element", {"1.5[2].62"}, "getdata(1.5[2].62)=600\n", 0},
    {"read_union_alternative", {"1.6.72"}, "getdata(1.6.72)=258\n", 0},
    {"further_arguments_are_ignored", {"1.3.33", "1.3.32=7", "x"}, "getdata(1.3.33)=80\n", 0},
    {"read_error", {"1.3"}, "Error in getdata(1.3)\n", 255},
    {"read_error_names_the_whole_argument", {"1.3.99"}, "Error in getdata(1.3.99)\n", 255},
    {"write_number", {"1.3.33=5"}, "setdata(1.3.33)=5\n", 0, 8, {0, 5}},
    {"write_number_echoes_the_text_as_typed", {"1.3.33=70000xyz"}, "setdata(1.3.33)=70000xyz\n", 0, 8, {0x11, 0x70}},
    {"write_empty_value", {"1.3.33="}, "setdata(1.3.33)=\n", 0, 8, {0, 0}},
    {"write_text_zero_padded", {"t1.4.52=ABC"}, "setdata(t1.4.52)=ABC\n", 0, 14,
     {'A', 'B', 'C', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"later_equals_signs_belong_to_the_value", {"t1.4.52=x=y"}, "setdata(t1.4.52)=x=y\n", 0, 14,
     {'x', '=', 'y', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
    {"t_in_the_value_selects_no_text", {"1.3.33=t9"}, "setdata(1.3.33)=t9\n", 0, 8, {0, 0}},
    {"write_error_leaves_the_file", {"1.3.99=5"}, "Error in setdata(1.3.99)\n", 255},
    {"empty_path_is_not_resolved", {"=5"}, "Error in setdata()\n", 255},
    {"read_through_a_symbolic_link", {"1.3.33"}, "getdata(1.3.33)=80\n", 0, 0, {}, true},
    {"write_through_a_symbolic_link", {"1.3.33=5"}, "setdata(1.3.33)=5\n", 0, 8, {0, 5}, true},
    // Larger than one slice of a read.
    {"read_from_a_file_of_16_mib_and_more", {"1.3.33"}, "getdata(1.3.33)=80\n", 0, 0, {}, false, (16u << 20) + 1000},
};

INSTANTIATE_TEST_SUITE_P(cli, item_runs, ::testing::ValuesIn(item_runs_cases),
                         [](const auto& info) { return std::string(info.param.name); });

struct load_case {
    const char* name;
    bytes file;
    std::string expected;  // %s stands for the file's name
};

class load_failures : public ::testing::TestWithParam<load_case> {};

TEST_P(load_failures, report_and_leave_the_file)
{
    const temp_file file(GetParam().file);
    for (const char* item : {"1.10", "1.10=9"}) {
        const tool_run run = run_tool({file.path(), item});
        std::string expected = GetParam().expected;
        if (const auto at = expected.find("%s"); at != std::string::npos)
            expected.replace(at, 2, file.path());
        EXPECT_EQ(run.out, banner + expected) << item;
        EXPECT_EQ(run.status, 255);
        EXPECT_EQ(file.bytes(), GetParam().file);
    }
}

const load_case load_cases[] = {
    {"empty_file", {}, "malloc(%s) error!\n"},
    {"shorter_than_the_header", bytes(27, 0), "fread(%s) error!\n"},
    {"shorter_than_the_table", bytes(sample.begin(), sample.begin() + 100), "fread(%s) error!\n"},
    {"data_area_inside_the_table", example_file({}, 200), "data offset (000000DC) mismatch error!\n"},
};

INSTANTIATE_TEST_SUITE_P(cli, load_failures, ::testing::ValuesIn(load_cases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(cli, item_mode_on_a_missing_file)
{
    const tool_run run = run_tool({"/nonexistent/user_com.dat", "1.3.33"});
    EXPECT_EQ(run.out, banner + "fopen(/nonexistent/user_com.dat) error!\n");
    EXPECT_EQ(run.status, 255);
}

// The write mode says so after its line; --set before any, and stores
// nothing where it cannot make its journal, while one write stores as is.
TEST(cli, file_that_cannot_be_opened_for_update_keeps_its_bytes)
{
    if (const auto reason = no_unprivileged_run())
        GTEST_SKIP() << *reason;
    const temp_file file(sample);
    namespace fs = std::filesystem;
    fs::permissions(file.path(), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    run_setup setup;
    setup.unprivileged = true;
    const std::string refused = "fopen(" + file.path() + ") error!\n";
    const std::string no_journal = "journal(" + file.path() + ") error! none can be made beside the file, so nothing was stored\n";
    EXPECT_EQ(run_tool({file.path(), "1.3.33=5"}, setup)->out, banner + "setdata(1.3.33)=5\n" + refused);
    EXPECT_EQ(run_tool({"--set", file.path(), "1.3.33=5"}, setup)->out, refused);
    EXPECT_EQ(file.bytes(), sample);
    // Writable by anyone, in a folder that only its owner may write.
    fs::permissions(file.path(), fs::perms::all);
    const auto set = run_tool({"--set", file.path(), "1.3.33=5", "1.3.34=6"}, setup);
    EXPECT_EQ(set->out, no_journal);
    EXPECT_EQ(set->status, 255);
    EXPECT_EQ(file.bytes(), sample);
    EXPECT_EQ(run_tool({file.path(), "1.3.33=5"}, setup)->out, banner + "setdata(1.3.33)=5\n");
    EXPECT_EQ(run_tool({file.path(), "1.3.33"}).out, banner + "getdata(1.3.33)=5\n");
}

// An argument's length here, cut down for Windows, which takes a whole
// command line of at most 32,767 UTF-16 units.
std::size_t argument_length(std::size_t on_posix)
{
    return tool_under_test().windows ? on_posix * 3 / 20 : on_posix;
}

TEST(cli, long_values_are_stored_whole_and_echoed_whole)
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 2, 1000, 0}, {2, 2, 10, 1000, 0}, {1, 10, 0, 1000, 0}};
    layout.data.assign(1000, 0xEE);
    const bytes original = build_dat(layout);
    const temp_file file(original);
    const std::string value(argument_length(100'000), 'v');

    const tool_run write = run_tool({file.path(), "1.10=" + value});
    EXPECT_EQ(write.out, banner + "setdata(1.10)=" + value + "\n");
    EXPECT_EQ(write.status, 0);
    bytes expected = original;
    std::fill(expected.end() - 1000, expected.end(), 'v');
    EXPECT_EQ(file.bytes(), expected);

    const tool_run read = run_tool({file.path(), "1.10"});
    EXPECT_EQ(read.out, banner + "getdata(1.10)=" + std::string(1000, 'v') + "\n");
}

TEST(cli, long_paths_end_without_harm)
{
    // A structure that contains itself can be named to any depth.
    const temp_file file(build_dat(self_containing()));
    std::string deep = "1";
    while (deep.size() < argument_length(100'000))
        deep += ".10";
    const tool_run read = run_tool({file.path(), deep + ".11"});
    EXPECT_EQ(read.out, banner + "getdata(" + deep + ".11)=42\n");
    EXPECT_EQ(read.status, 0);

    const std::string brackets(argument_length(65'000), '[');
    const tool_run junk = run_tool({file.path(), brackets + "=" + std::string(argument_length(65'000), '9')});
    EXPECT_EQ(junk.out, banner + "Error in setdata(" + brackets + ")\n");
    EXPECT_EQ(junk.status, 255);
}

}  // namespace
}  // namespace vantor::testing
