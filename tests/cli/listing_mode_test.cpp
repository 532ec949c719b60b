#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "cli/cli_text.hpp"
#include "listing/listing_text.hpp"
#include "support/capture.hpp"
#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor::testing {
namespace {

const std::string usage = "USE:\n"
                          "  to create C data structure: Vantor file.dat\n"
                          "  to read an item value:      Vantor file.dat [t]a.b...z\n"
                          "  to write an item value:     Vantor file.dat [t]a.b...z=val\n"
                          "t=[optional] item is a text (ex: t1.4.52 is VIN in user_com.dat)\n"
                          "a.b...z= item identified (ex: 1.3.33 is video speed limit in user_com.dat)\n"
                          "val= new value\n";

// The worked example's rows, up to and including record `count` - 1.
std::string example_rows(std::size_t count)
{
    const std::string rows[] = {
        heading + " *    16        0    1    2    5\n", heading + " *    16        0    2   10    2\n",
        " *     1        0   10   11    1\n",      " *     2        2   11   12    1\n",
        " *    13        4   12    3    1\n",      " *     0        8   13    4    1\n",
        heading + " *     4        2    4    5    3\n", heading + " *     4        0    3   20    2\n",
        " *     4        0   20    0    1\n",      heading + " *     4        0    5   30    2\n",
        " *     2        0   30   31    1\n",      " *     2        2   31    0    1\n",
    };
    std::string text;
    for (std::size_t i = 0; i < count; ++i)
        text += rows[i];
    return text;
}

const std::string example_declarations = "typedef struct s003\n{\n"
                                         "  DWORD  d020;\t//off:00000\n"
                                         "} t_s003;\t//size:4\n\n"
                                         "typedef struct s005\n{\n"
                                         "  WORD   w030;\t//off:00000\n"
                                         "  WORD   w031;\t//off:00002\n"
                                         "} t_s005;\t//size:4\n\n"
                                         "typedef struct s002\n{\n"
                                         "  BYTE   b010;\t//off:00000\n"
                                         "  BYTE   _011[1];\n"
                                         "  WORD   w011;\t//off:00002\n"
                                         "  t_s003 s012;\t//off:00004\n"
                                         "  t_s005 sa013[2];\t//off:00008\n"
                                         "} t_s002;\t//size:16\n\n"
                                         "\nextern t_s002 s001;\t//size=16\n";

// The largest chain `copies` times over in one table: every id as often.
dat_layout repeated_chain(int copies)
{
    dat_layout layout = shape_named("chain").build(65535);
    const std::vector<desc_row> rows = layout.descriptors;
    for (int copy = 1; copy < copies; ++copy)
        layout.descriptors.insert(layout.descriptors.end(), rows.begin(), rows.end());
    return layout;
}

struct run_case {
    const char* name;
    std::vector<unsigned char> file;
    std::string expected;  // after the banner
    int status;
    // Read from a named pipe whose writer keeps it open after the file.
    bool through_held_pipe = false;
    std::optional<std::uint64_t> address_space_limit = {};
};

class listing_runs : public ::testing::TestWithParam<run_case> {};

TEST_P(listing_runs, print_exactly_and_exit_with_the_listing_result)
{
    const run_case& c = GetParam();
    if (const auto reason = c.address_space_limit ? no_run_under_address_limit(*c.address_space_limit) : std::nullopt)
        GTEST_SKIP() << *reason;
    const temp_file file(c.file);
    const std::string pipe = (file.folder() / "pipe.dat").string();
    run_setup setup;
    setup.address_space_limit = c.address_space_limit;
    if (c.through_held_pipe) {
        ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
        setup.held_open = held_pipe{pipe, c.file};
        // A listing that waits for the end of the pipe would wait for ever.
        setup.deadline = std::chrono::seconds(20);
    }
    const auto run = run_tool({c.through_held_pipe ? pipe : file.path()}, setup);
    EXPECT_EQ(run->out, banner + c.expected);
    EXPECT_EQ(run->status, c.status);
    EXPECT_EQ(run->err, "");
    EXPECT_EQ(file.bytes(), c.file) << "the listing changed the file";
}

const run_case runs[] = {
    {"worked_example", example_file(),
     header_lines(12, 220) + example_rows(12) + " */\n\n\n" + example_declarations, 0},
    {"data_area_elsewhere_still_declares", example_file({}, 221),
     header_lines(12, 221) + example_rows(12) + " */\n\n\n" + "data offset (000000DC) mismatch error!\n" +
         example_declarations,
     255},
    {"empty_file", {}, "fread(fd) error!\n", 255},
    {"shorter_than_the_header", example_file({}, {}, 27), "fread(fd) error!\n", 255},
    {"no_descriptors", example_file(0, 28), header_lines(0, 28) + "malloc() error!\n", 255},
    {"count_too_large_for_a_table", example_file(1u << 28, {}),
     header_lines(268435456, 220) + "malloc() error!\n", 255},
    // The table grows with what the file holds, not with what it claims.
    {"largest_count_on_a_short_file_under_an_address_space_limit", example_file((1u << 28) - 1, {}, 60),
     header_lines(268435455, 220) + example_rows(2) + "fread(id[2]) error!\n" +
         "typedef struct s002\n{\n  BYTE   _002[16];\n} t_s002;\t//size:16\n\n\nextern t_s002 s001;\t//size=16\n",
     255, false, std::uint64_t{1} << 30},
    // Reads stop at the last record the header counts.
    {"named_pipe_held_open_after_the_file", example_file(),
     header_lines(12, 220) + example_rows(12) + " */\n\n\n" + example_declarations, 0, true},
    // Records 0 to 2 whole; record 3 has 5 bytes and its id is lost, so the
    // walk of structure 2 ends after member 10.
    {"file_ends_inside_record_3", example_file({}, {}, 28 + 3 * 16 + 5),
     header_lines(12, 220) + example_rows(3) + "fread(id[3]) error!\n" +
         "typedef struct s002\n{\n  BYTE   b010;\t//off:00000\n  BYTE   _002[15];\n} t_s002;\t//size:16\n\n"
         "\nextern t_s002 s001;\t//size=16\n",
     255},
    // The first record gets no byte: the generator still starts from it.
    {"file_ends_before_the_table", example_file({}, {}, 28),
     header_lines(12, 220) + "fread(id[0]) error!\n} t_s000;\t//size:0\n\n", 255},
};

INSTANTIATE_TEST_SUITE_P(cli, listing_runs, ::testing::ValuesIn(runs),
                         [](const auto& info) { return std::string(info.param.name); });

// Memory that runs out, wherever it does, ends the run with the one message
// on standard output and the one failure status.
TEST(cli, memory_running_out_is_reported_on_standard_output)
{
    // Less than the table of 2.5 million descriptors, 40 MB, takes alone.
    const std::uint64_t limit = std::uint64_t{32} << 20;
    if (const auto reason = no_run_under_address_limit(limit))
        GTEST_SKIP() << *reason;
    const temp_file file(build_dat(repeated_chain(38)));
    run_setup setup;
    setup.address_space_limit = limit;
    const auto run = run_tool({file.path()}, setup);
    EXPECT_TRUE(run->out.starts_with(banner) && run->out.ends_with("malloc() error!\n")) << run->out.substr(0, 400);
    EXPECT_EQ(run->status, 255);
    EXPECT_EQ(run->err, "");
}

TEST(cli, no_argument_prints_the_usage)
{
    const tool_run run = run_tool({});
    EXPECT_EQ(run.out, banner + usage);
    EXPECT_EQ(run.status, 255);
}

TEST(cli, missing_file_is_named_as_typed)
{
    const tool_run run = run_tool({"no/such/dir/../file.dat"});
    EXPECT_EQ(run.out, banner + "fopen(no/such/dir/../file.dat) error!\n");
    EXPECT_EQ(run.status, 255);
}

}  // namespace
}  // namespace vantor::testing
