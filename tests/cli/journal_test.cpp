// A change of many values against crashes and a second writer: whatever
// happens, the next run finds the file holding the whole batch or none of
// it, and a run that exits 0 has stored it.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli_text.hpp"
#include "support/capture.hpp"

namespace vantor::testing {
namespace {

constexpr int crashed = 137;

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

// Assignments to values that a listing shows, with values that fit any item
// shown so: a byte's number, a single letter where a text has room.
std::vector<std::string> random_batch(const std::string& listed, std::mt19937& random)
{
    std::vector<std::string> values;
    for (const std::string& line : lines_of(listed))
        if (!line.empty() && line[0] != '#')
            values.push_back(line);
    std::vector<std::string> batch;
    for (auto count = values.empty() ? 0 : 1 + random() % 4; count > 0; --count) {
        const std::string& line = values[random() % values.size()];
        const std::string path = line.substr(0, line.find('='));
        const std::string value = line.substr(path.size() + 1);
        const bool number = !value.empty() && value.find_first_not_of("-0123456789") == std::string::npos;
        batch.push_back(path + "=" +
                        (number ? std::to_string(random() % 2 * (random() % 256)) : value.empty() ? "" : std::string(1, 'A' + random() % 26)));
    }
    return batch;
}

// After a crash at each of the batch's calls in turn, a run of another mode
// says first that it mended the file, and leaves it before or after.
// False when the batch stores nothing, and tells nothing.
bool expect_whole_after_every_crash(const bytes& before, const std::vector<std::string>& batch, std::mt19937& random,
                                    const std::string& name)
{
    const temp_file file(before);
    const std::string journal = file.path() + ".vantor-journal";
    std::vector<std::string> args{"--set", file.path()};
    args.insert(args.end(), batch.begin(), batch.end());
    if (batch.empty() || run_tool(args).status != 0 || file.bytes() == before)
        return false;
    const bytes after = file.bytes();
    const std::vector<std::string> next_runs[] = {{file.path()}, {"--values", file.path()},
                                                  {file.path(), batch[0].substr(0, batch[0].find('='))}};
    for (int call = 1;; ++call) {
        write_file(file.path(), before);
        run_setup crash;
        crash.environment = {{"VANTOR_CRASH_AT", std::to_string(call)}};
        const tool_run run = *run_tool(args, crash);
        const bool left = std::filesystem::exists(journal);
        const tool_run next = run_tool(next_runs[random() % 3]);
        const bytes now = file.bytes();
        EXPECT_TRUE(now == before || now == after) << name << ": torn by a crash at call " << call;
        EXPECT_EQ(next.out.starts_with("# "), left) << name << ", call " << call << ":\n" << next.out;
        EXPECT_FALSE(std::filesystem::exists(journal)) << name << ", call " << call;
        if (run.status != crashed) {
            EXPECT_EQ(run.status, 0) << name;
            EXPECT_EQ(now, after) << name << ": exit 0 without the batch stored";
            return true;
        }
        if (call == 200) {
            ADD_FAILURE() << name << ": the batch never ends";
            return true;
        }
    }
}

TEST(journal, a_batch_crashed_at_any_call_is_whole_or_absent_for_the_next_run)
{
    std::mt19937 random(22);
    expect_whole_after_every_crash(sample, {"1.3.31=9", "1.5[2].62=77", "1.6.71=5"}, random, "sample");
    // Most random layouts list little that a batch can change.
    int told = 0;
    for (int round = 0; told < tool_under_test().rounds(12) && round < 400; ++round) {
        const bytes file = build_dat(random_layout(random));
        const temp_file listed(file);
        told += expect_whole_after_every_crash(file, random_batch(run_tool({"--values", listed.path()}).out, random),
                                               random, "random layout " + std::to_string(round));
    }
    EXPECT_EQ(told, tool_under_test().rounds(12));
}

std::string output_of(process& child)
{
    const auto run = child.finish();
    EXPECT_EQ(run->status, 0);
    return tool_under_test().windows ? crlf_as_lf(run->out, bare_lf::kept) : run->out;
}

// A writer held inside its store, after its first item: a second writer and
// a reader started meanwhile wait for it, and each sees one whole batch.
TEST(journal, runs_at_once_see_and_store_whole_batches)
{
    const temp_file file(sample);
    const auto batch = [&](const std::string& value) {
        return tool_command({"--set", file.path(), "1.3.31=" + value, "1.5[2].62=" + value, "1.6.71=" + value});
    };
    run_setup held;
    held.environment = {{"VANTOR_PAUSE_AT", "6,1500"}};
    process first(batch("1"), held);
    const auto waited = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!std::filesystem::exists(file.path() + ".vantor-journal") && std::chrono::steady_clock::now() < waited)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    process second(batch("2"), {});
    process reader(tool_command({"--values", file.path()}), {});
    output_of(first);
    output_of(second);
    std::string seen;
    for (const std::string& line : lines_of(output_of(reader)))
        if (line.starts_with("1.3.31=") || line.starts_with("1.5[2].62=") || line.starts_with("1.6.71="))
            seen += line.substr(line.find('=')) + " ";
    EXPECT_TRUE(seen == "=1 =1 =1 " || seen == "=2 =2 =2 ") << seen;
    EXPECT_EQ(run_tool({file.path(), "1.6.71"}).out, banner + "getdata(1.6.71)=2\n");
}

}  // namespace
}  // namespace vantor::testing
