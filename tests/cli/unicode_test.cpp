// Names and values outside ASCII, in every mode and on every build: a file
// opens by its name as typed, and a text stores exactly the UTF-8 typed.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "cli/cli_text.hpp"
#include "support/capture.hpp"
#include "support/dat_builder.hpp"

namespace vantor::testing {
namespace {

constexpr std::size_t vin = sample_data + 14;  // file offset of item t1.4.52, 17 bytes

struct unicode_case {
    const char* name;
    std::string file_name;  // UTF-8, as every string here
    std::string value;
};

class unicode_runs : public ::testing::TestWithParam<unicode_case> {};

TEST_P(unicode_runs, open_by_name_and_store_the_utf8_typed)
{
    const unicode_case& c = GetParam();
    const temp_file ascii(sample);
    const temp_file file(sample, "-" + c.file_name);

    const tool_run listing = run_tool({file.path()});
    EXPECT_EQ(listing.status, 0);
    EXPECT_EQ(listing.out, run_tool({ascii.path()}).out);
    EXPECT_EQ(run_tool({file.path(), "1.3.33"}).out, banner + "getdata(1.3.33)=80\n");

    const tool_run write = run_tool({file.path(), "t1.4.52=" + c.value});
    EXPECT_EQ(write.out, banner + "setdata(t1.4.52)=" + c.value + "\n");
    EXPECT_EQ(write.status, 0);
    bytes expected = sample;
    std::fill_n(expected.begin() + vin, 17, 0);
    std::copy(c.value.begin(), c.value.end(), expected.begin() + vin);
    EXPECT_EQ(file.bytes(), expected);
    EXPECT_EQ(run_tool({file.path(), "t1.4.52"}).out, banner + "getdata(t1.4.52)=" + c.value + "\n");

    // Messages name the file and the path as typed.
    const std::string missing = file.path() + "-" + c.file_name;
    EXPECT_EQ(run_tool({missing, "1.3.33"}).out, banner + "fopen(" + missing + ") error!\n");
    EXPECT_EQ(run_tool({file.path(), "1.3.99" + c.value}).out, banner + "Error in getdata(1.3.99" + c.value + ")\n");
}

const unicode_case unicode_cases[] = {
    {"latin", "caf\xC3\xA9.dat", "caf\xC3\xA9"},
    {"euro_sign", "\xE2\x82\xAC" "uro.dat", "5 \xE2\x82\xAC"},
    {"cyrillic", "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.dat", "\xD0\x96\xD1\x83\xD0\xBA"},
    {"cjk", "\xE6\x97\xA5\xE6\x9C\xAC.dat", "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
    {"beyond_the_first_plane", "\xF0\x9F\x9A\x97.dat", "\xF0\x9F\x9A\x97\xF0\x9F\x9A\x97"},
};

INSTANTIATE_TEST_SUITE_P(cli, unicode_runs, ::testing::ValuesIn(unicode_cases),
                         [](const auto& info) { return std::string(info.param.name); });

// A terminal, which Wine makes a Windows console, shows the characters typed.
TEST(cli, a_terminal_shows_the_value_as_typed)
{
    const std::string value = "\xD0\x96\xD1\x83\xD0\xBA\xE2\x82\xAC\xC3\xA9\xE6\x97\xA5\xE6\x9C\xAC";
    const temp_file file(sample, "-\xE6\x97\xA5\xE6\x9C\xAC.dat");
    ASSERT_EQ(run_tool({file.path(), "t1.4.52=" + value}).status, 0);
    run_setup setup;
    setup.out = output_to::terminal;
    const auto shown = run_tool({file.path(), "t1.4.52"}, setup);
    EXPECT_EQ(shown->status, 0);
    EXPECT_NE(shown->out.find("getdata(t1.4.52)=" + value), std::string::npos) << shown->out;
}

}  // namespace
}  // namespace vantor::testing
