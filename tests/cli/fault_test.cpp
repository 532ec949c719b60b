// The command line on files and outputs that are not what the tool expects:
// every run ends, says what failed, exits 255 and leaves the file as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/stat.h>

#include "cli/cli_text.hpp"
#include "support/capture.hpp"
#include "support/dat_builder.hpp"

namespace vantor::testing {
namespace {

constexpr std::size_t speed_limit = sample_data + 8;  // file offset of item 1.3.33

// The three modes, as the arguments that follow the file name.
const std::vector<std::string> modes[] = {{}, {"1.3.33"}, {"1.3.33=5"}};

struct mode_outputs {
    std::string listing, read, write;  // %s stands for the file's name

    std::string for_mode(std::size_t mode, const std::string& name) const
    {
        std::string text = mode == 0 ? listing : mode == 1 ? read : write;
        if (const auto at = text.find("%s"); at != std::string::npos)
            text.replace(at, 2, name);
        return text;
    }
};

void expect_refused(const std::string& path, const mode_outputs& outputs, const run_setup& setup = {})
{
    for (std::size_t mode = 0; mode < 3; ++mode) {
        std::vector<std::string> args{path};
        args.insert(args.end(), modes[mode].begin(), modes[mode].end());
        const auto run = run_tool(args, setup);
        if (!run)
            GTEST_SKIP() << "cannot drop root privileges here";
        EXPECT_EQ(run->out, banner + outputs.for_mode(mode, path)) << path << " mode " << mode;
        EXPECT_EQ(run->status, 255) << path << " mode " << mode;
        EXPECT_EQ(run->err, "");
    }
}

const mode_outputs not_a_regular_file{"fread(fd) error!\n", "fopen(%s) error!\n", "fopen(%s) error!\n"};

TEST(faults, directory_and_device)
{
    const temp_folder dir;
    std::filesystem::create_directory(dir / "data.dat");
    // Windows opens no directory as a stream; POSIX does, and its read fails.
    mode_outputs directory = not_a_regular_file;
    if (tool_under_test().windows)
        directory.listing = "fopen(%s) error!\n";
    expect_refused(dir / "data.dat", directory);
    expect_refused("/dev/null", not_a_regular_file);
    if (tool_under_test().windows)
        expect_refused("NUL", not_a_regular_file);
}

// Item modes must not open a FIFO: with no writer the open would block for
// ever. CTest's timeout catches a hang.
TEST(faults, fifo_is_refused_by_the_item_modes_and_read_by_the_listing)
{
    const temp_folder dir;
    const std::string fifo = dir / "pipe.dat";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (std::size_t mode = 1; mode < 3; ++mode) {
        std::vector<std::string> args{fifo};
        args.insert(args.end(), modes[mode].begin(), modes[mode].end());
        const tool_run run = run_tool(args);
        EXPECT_EQ(run.out, banner + "fopen(" + fifo + ") error!\n");
        EXPECT_EQ(run.status, 255);
    }
    // The listing reads a stream as far as it goes, as cat would.
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << "too short"; });
    const tool_run listing = run_tool({fifo});
    writer.join();
    EXPECT_EQ(listing.out, banner + "fread(fd) error!\n");
    EXPECT_EQ(listing.status, 255);
}

// A system file that is shorter than the size the system gives for it.
TEST(faults, file_shorter_than_its_size_is_a_failed_read)
{
    for (const char* name : {"/sys/devices/system/cpu/online", "/sys/kernel/mm/transparent_hugepage/enabled"}) {
        std::error_code error;
        if (std::filesystem::is_regular_file(name, error) && std::filesystem::file_size(name, error) > 100) {
            expect_refused(name, {"fread(fd) error!\n", "fread(%s) error!\n", "fread(%s) error!\n"});
            return;
        }
    }
    GTEST_SKIP() << "no system file here reads shorter than its size";
}

TEST(faults, file_without_read_permission)
{
    const temp_file file(sample);
    std::filesystem::permissions(file.path(), std::filesystem::perms::owner_write);
    if (const auto reason = no_unprivileged_run())
        GTEST_SKIP() << *reason;
    run_setup setup;
    setup.unprivileged = true;
    expect_refused(file.path(), {"fopen(%s) error!\n", "fopen(%s) error!\n", "fopen(%s) error!\n"}, setup);
    std::filesystem::permissions(file.path(), std::filesystem::perms::owner_read);
    EXPECT_EQ(file.bytes(), sample);
}

TEST(faults, names_are_printed_as_given)
{
    const temp_folder dir;
    // A byte that is no UTF-8 cannot reach a Windows program, whose command
    // line is UTF-16.
    const std::string odd = dir / (tool_under_test().windows ? "100%s%n%d-\xC3\xBC.dat" : "100%s%n%d-\xC3\xBC\xFF.dat");
    expect_refused(odd, {"fopen(%s) error!\n", "fopen(%s) error!\n", "fopen(%s) error!\n"});
    // The same name on a real file works like any other.
    write_file(odd, sample);
    EXPECT_EQ(run_tool({odd, "1.3.33=5"}).out, banner + "setdata(1.3.33)=5\n");
    EXPECT_EQ(run_tool({odd, "1.3.33"}).out, banner + "getdata(1.3.33)=5\n");
}

struct output_case {
    const char* name;
    std::vector<std::string> args;  // after the file name
    output_to out;
    bytes file = sample;
};

class undeliverable_output : public ::testing::TestWithParam<output_case> {};

// Output that cannot be written is a failure, and a write whose result line
// cannot be delivered stores nothing.
TEST_P(undeliverable_output, fails_and_leaves_the_file)
{
    const temp_file file(GetParam().file);
    // An option comes before the file.
    std::vector<std::string> args = GetParam().args;
    const bool option = !args.empty() && args[0].starts_with("--");
    args.insert(args.begin() + (option ? 1 : 0), file.path());
    run_setup setup;
    setup.out = GetParam().out;
    const auto run = run_tool(args, setup);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->status, 255);
    EXPECT_EQ(run->err, "");
    EXPECT_EQ(file.bytes(), GetParam().file);
    EXPECT_FALSE(std::filesystem::exists(file.path() + ".vantor-journal"));
}

std::vector<std::string> many_assignments(std::size_t count)
{
    std::vector<std::string> args{"--set"};
    for (std::size_t k = 0; k < count; ++k)
        args.push_back(k % 2 == 0 ? "1.3.33=5" : "1.3.34=6");
    return args;
}

const output_case outputs[] = {
    {"set_to_a_full_device", many_assignments(2), output_to::full_device},
    {"long_set_to_a_full_device", many_assignments(3000), output_to::full_device},
    {"set_to_a_closed_output", many_assignments(2), output_to::closed},
    {"listing_to_a_full_device", {}, output_to::full_device},
    {"read_to_a_full_device", {"1.3.33"}, output_to::full_device},
    {"write_to_a_full_device", {"1.3.33=5"}, output_to::full_device},
    {"listing_to_a_closed_output", {}, output_to::closed},
    {"read_to_a_closed_output", {"1.3.33"}, output_to::closed},
    {"write_to_a_closed_output", {"1.3.33=5"}, output_to::closed},
    {"failed_write_to_a_full_device", {"1.3.99=5"}, output_to::full_device},
    // More than the C library's buffer: the write fails inside the print, and
    // only the error flag tells, fflush returning 0.
    {"long_write_to_a_full_device", {"t1.4.52=" + std::string(5000, 'v')}, output_to::full_device},
    // Tens of KiB: the C library meets the full device before the end and
    // drops what it held, so that only the error flag tells.
    {"long_listing_to_a_full_device", {}, output_to::full_device, build_dat(shape_named("chain").build(1000))},
};

INSTANTIATE_TEST_SUITE_P(faults, undeliverable_output, ::testing::ValuesIn(outputs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(faults, write_past_a_file_size_limit_is_reported_and_stores_nothing)
{
    if (tool_under_test().windows)
        GTEST_SKIP() << "a file-size limit is a POSIX resource limit: Windows has none, and under Wine the limit's "
                        "signal ends Wine itself";
    const temp_file file(sample);
    run_setup setup;
    setup.file_size_limit = speed_limit - 20;  // below the item, above what the tool prints
    const auto refused = run_tool({file.path(), "1.3.33=5"}, setup);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->out, banner + "setdata(1.3.33)=5\nfwrite(" + file.path() + ") error!\n");
    EXPECT_EQ(refused->status, 255);
    EXPECT_EQ(file.bytes(), sample);

    setup.file_size_limit = speed_limit + 2;  // the item's end: the write fits
    const auto stored = run_tool({file.path(), "1.3.33=5"}, setup);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->status, 0);
    bytes expected = sample;
    expected[speed_limit] = 0;
    expected[speed_limit + 1] = 5;
    EXPECT_EQ(file.bytes(), expected);
}

bytes head_of(const std::string& path, std::size_t size)
{
    bytes head(size);
    std::ifstream(path, std::ios::binary).read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(size));
    return head;
}

// 8 TiB and 100 bytes, sparse: no memory holds it, and a build that measured
// it in 32 bits would see a file of 100 bytes. Only the header, the table and
// the item are read.
TEST(faults, file_too_large_to_hold_is_listed_read_and_written)
{
    const temp_file file(sample);
    const std::uint64_t size = (std::uint64_t{8} << 40) + 100;
    std::error_code error;
    std::filesystem::resize_file(file.path(), size, error);
    if (error)
        GTEST_SKIP() << "this file system holds no sparse file of 8 TiB: " << error.message();

    const temp_file whole(sample);
    EXPECT_EQ(run_tool({file.path()}).out, run_tool({whole.path()}).out);
    const std::pair<const char*, const char*> runs[] = {
        {"1.3.33", "getdata(1.3.33)=80\n"}, {"1.3.33=5", "setdata(1.3.33)=5\n"}, {"1.3.33", "getdata(1.3.33)=5\n"}};
    for (const auto& [item, shown] : runs) {
        const tool_run run = run_tool({file.path(), item});
        EXPECT_EQ(run.out, banner + shown) << item;
        EXPECT_EQ(run.status, 0) << item;
    }
    EXPECT_EQ(std::filesystem::file_size(file.path()), size);
    bytes expected = sample;
    expected[speed_limit] = 0;
    expected[speed_limit + 1] = 5;
    EXPECT_EQ(head_of(file.path(), sample.size()), expected);
}

TEST(faults, concurrent_writes_of_different_items_both_land)
{
    for (int round = 0; round < tool_under_test().rounds(50); ++round) {
        const temp_file file(sample);
        process first(tool_command({file.path(), "1.3.33=7"}), {});
        process second(tool_command({file.path(), "1.3.34=9"}), {});
        EXPECT_EQ(first.finish()->status, 0);
        EXPECT_EQ(second.finish()->status, 0);
        bytes expected = sample;
        expected[speed_limit + 1] = 7;
        expected[speed_limit + 3] = 9;
        ASSERT_EQ(file.bytes(), expected) << "round " << round;
    }
}

}  // namespace
}  // namespace vantor::testing
