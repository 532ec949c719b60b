// Times the built tool beside xxd and cat on the shared table shapes at 4k,
// 16k and 65,535 descriptors and prints markdown tables for the README. Not a
// test: it asserts nothing.
//   vantor_bench [SHAPE...] [large] [stores] [bounds]     (VANTOR=path/to/vantor times another build)
#include <algorithm>
#include <chrono>
#include <exception>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "support/capture.hpp"
#include "support/layouts.hpp"

namespace {

using vantor::testing::table_shape;
using command = std::vector<std::string>;

constexpr int rounds = 5;
constexpr int cap_seconds = 120;
constexpr std::uint32_t sizes[] = {4096, 16384, 65535};
constexpr double mib = 1024.0 * 1024.0;

struct run {
    double seconds = 0;
    long peak_kib = 0;
    std::uint64_t output_bytes = 0;
    bool ok = false;
};

// Standard output goes to /dev/null when timed, or else is counted. A run
// past the cap is killed and fails.
run run_once(const command& words, bool count_output = false, int wanted_status = 0)
{
    vantor::testing::run_setup setup;
    setup.out = count_output ? vantor::testing::output_to::count : vantor::testing::output_to::discard;
    setup.deadline = std::chrono::seconds(cap_seconds);
    try {
        const vantor::testing::tool_run done = vantor::testing::run(words, setup);
        return {done.seconds, done.peak_kib, done.out_bytes, done.status == wanted_status};
    } catch (const std::exception&) {
        return {};
    }
}

struct series {
    std::vector<run> runs;

    bool ok() const { return !runs.empty() && std::all_of(runs.begin(), runs.end(), [](const run& r) { return r.ok; }); }
    double median() const
    {
        std::vector<double> seconds;
        for (const run& r : runs)
            seconds.push_back(r.seconds);
        std::sort(seconds.begin(), seconds.end());
        return seconds.empty() ? 0 : seconds[seconds.size() / 2];
    }
    long peak_kib() const
    {
        long peak = 0;
        for (const run& r : runs)
            peak = std::max(peak, r.peak_kib);
        return peak;
    }
};

struct measured {
    const table_shape* shape;
    std::uint32_t descriptors;
    std::uintmax_t file_bytes;
    std::map<std::string, series> commands;  // listing, read, write, values, set, xxd, cat
    std::uint64_t output_bytes = 0;          // of the listing
    std::uint64_t values_bytes = 0;          // of --values
    std::size_t assignments = 0;             // that --set stores
};

// The file's own values, the first 10,000 of them, to be set again: an
// update of many items that changes no byte, so that every round is alike.
command set_again(const std::string& tool, const std::string& path)
{
    vantor::testing::run_setup setup;
    setup.deadline = std::chrono::seconds(cap_seconds);
    const std::string values = vantor::testing::run({tool, "--values", path}, setup).out;
    command set{tool, "--set", path};
    for (std::size_t at = 0; at < values.size() && set.size() < 3 + 10000;) {
        const std::size_t end = values.find('\n', at);
        if (values[at] != '#')
            set.push_back(values.substr(at, end - at));
        at = end + 1;
    }
    return set;
}

// In a child, so that the memory the layout takes never counts in the peak
// RSS of the commands forked later.
bool write_in_child(const std::function<void()>& work)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            work();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The commands of one file, in turn, `rounds` times over; a command that
// failed or took over 5 s is not run again.
measured measure(const table_shape& shape, std::uint32_t descriptors, const std::string& path, const std::string& tool)
{
    std::fprintf(stderr, "vantor_bench: %s at %u\n", std::string(shape.name).c_str(), descriptors);
    if (!write_in_child([&] { vantor::testing::write_file(path, vantor::testing::build_dat(shape.build(descriptors))); }))
        return {&shape, descriptors, 0, {}, 0};
    std::vector<std::pair<std::string, command>> commands{{"listing", {tool, path}}};
    if (shape.item_path) {
        const std::string item = shape.item_path(descriptors);
        commands.push_back({"read", {tool, path, item}});
        commands.push_back({"write", {tool, path, item + "=7"}});
    }
    commands.push_back({"values", {tool, "--values", path}});
    const command set = set_again(tool, path);
    if (set.size() > 3)
        commands.push_back({"set", set});
    commands.push_back({"xxd", {"xxd", path}});
    commands.push_back({"cat", {"cat", path}});
    measured result{&shape, descriptors, std::filesystem::file_size(path), {}, run_once(commands[0].second, true).output_bytes};
    result.values_bytes = run_once({tool, "--values", path}, true).output_bytes;
    result.assignments = set.size() - 3;
    for (int round = 0; round < rounds; ++round)
        for (const auto& [name, words] : commands) {
            series& done = result.commands[name];
            if (done.runs.empty() || (done.ok() && done.runs.back().seconds < 5))
                done.runs.push_back(run_once(words));
        }
    std::filesystem::remove(path);
    return result;
}

std::string format(const char* pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string bytes(double count)
{
    return count >= 1000 * 1024 ? format("%.2f MiB", count / mib) : format("%.1f KiB", count / 1024);
}

std::string seconds(const series& s)
{
    if (!s.ok())
        return "failed";
    const double value = s.median();
    return value < 1 ? format("%.1f ms", value * 1e3) : format("%.2f s", value);
}

// Marked against `target`, where there is one.
std::string ratio(const series& top, const series& bottom, std::optional<double> target)
{
    if (!top.ok() || !bottom.ok())
        return "–";
    const double value = top.median() / bottom.median();
    return format("%.2f", value) + (!target ? "" : value <= *target ? " ✓" : " ✗");
}

std::string cell(const measured& file, const std::string& name, const std::function<std::string(const series&)>& show)
{
    const auto found = file.commands.find(name);
    return found == file.commands.end() ? "" : show(found->second);
}

void row(const std::vector<std::string>& cells)
{
    for (const std::string& text : cells)
        std::printf("| %s ", text.c_str());
    std::printf("|\n");
}

void heading(const std::vector<std::string>& titles)
{
    row(titles);
    std::printf("|---");
    for (std::size_t k = 1; k < titles.size(); ++k)
        std::printf("|--:");
    std::printf("|\n");
}

// Listings of at least 500 MB/s count as fast however they compare with xxd:
// their output is large by design.
constexpr double fast_output = 500e6;

bool output_bound(const measured& file)
{
    const series& listing = file.commands.at("listing");
    return listing.ok() && static_cast<double>(file.output_bytes) / listing.median() >= fast_output;
}

void print_times(const std::vector<measured>& files)
{
    heading({"shape", "descriptors", "file", "listing", "output", "output/s", "xxd", "listing / xxd (≤ 3)", "read",
             "write", "cat", "read / cat (≤ 1, 1.5 repeated ids)", "write / cat (≤ 1, 1.5 repeated ids)"});
    for (const measured& file : files) {
        // A table of repeated ids holds nine times as many descriptors as ids.
        const double item_target = file.descriptors > 65535 ? 1.5 : 1;
        const series& listing = file.commands.at("listing");
        const auto output = static_cast<double>(file.output_bytes);
        row({std::string(file.shape->name), std::to_string(file.descriptors), bytes(static_cast<double>(file.file_bytes)),
             seconds(listing), bytes(output), listing.ok() ? bytes(output / listing.median()) + "/s" : "–",
             seconds(file.commands.at("xxd")),
             output_bound(file) ? "(output) ✓" : ratio(listing, file.commands.at("xxd"), 3),
             cell(file, "read", seconds), cell(file, "write", seconds), seconds(file.commands.at("cat")),
             cell(file, "read", [&](const series& s) { return ratio(s, file.commands.at("cat"), item_target); }),
             cell(file, "write", [&](const series& s) { return ratio(s, file.commands.at("cat"), item_target); })});
    }
}

void print_memory(const std::vector<measured>& files)
{
    heading({"shape", "descriptors", "file", "limit", "listing", "read", "write"});
    for (const measured& file : files) {
        const double limit = std::max(2.0 * static_cast<double>(file.file_bytes) + 4 * mib, 20 * mib);
        const auto memory = [&](const series& s) {
            const double peak = static_cast<double>(s.peak_kib()) * 1024;
            return bytes(peak) + (peak <= limit ? " ✓" : " ✗");
        };
        row({std::string(file.shape->name), std::to_string(file.descriptors), bytes(static_cast<double>(file.file_bytes)),
             bytes(limit), memory(file.commands.at("listing")), cell(file, "read", memory),
             cell(file, "write", memory)});
    }
}

void print_options(const std::vector<measured>& files)
{
    heading({"shape", "descriptors", "file", "--values", "output", "output/s (≥ 200 MB/s)", "/ listing (≤ 2)",
             "peak RSS (≤ 2 × file + 4 MiB, at least 20 MiB)", "--set", "assignments", "/ write (≤ 2)"});
    for (const measured& file : files) {
        const series& values = file.commands.at("values");
        const double rate = values.ok() ? static_cast<double>(file.values_bytes) / values.median() : 0;
        const double limit = std::max(2.0 * static_cast<double>(file.file_bytes) + 4 * mib, 20 * mib);
        const double peak = static_cast<double>(values.peak_kib()) * 1024;
        // Below a MiB the start of the process is what a rate would measure.
        const bool rated = values.ok() && static_cast<double>(file.values_bytes) >= mib;
        row({std::string(file.shape->name), std::to_string(file.descriptors), bytes(static_cast<double>(file.file_bytes)),
             seconds(values), bytes(static_cast<double>(file.values_bytes)),
             rated ? format("%.0f MB/s", rate / 1e6) + (rate >= 200e6 ? " ✓" : " ✗") : "–",
             ratio(values, file.commands.at("listing"), 2), bytes(peak) + (peak <= limit ? " ✓" : " ✗"),
             cell(file, "set", seconds), std::to_string(file.assignments),
             cell(file, "set", [&](const series& set) {
                 return cell(file, "write", [&](const series& write) { return ratio(set, write, 2); });
             })});
    }
}

// A listing whose output is large by design grows with its output: its
// growth is taken per 4 × output, marked "(output)".
void print_growth(const std::vector<measured>& files)
{
    std::printf("\nTime at 65,535 descriptors over time at 16,384 (target ≤ 4.4):\n\n");
    heading({"shape", "listing", "read", "write"});
    for (const measured& big : files) {
        const auto small = std::find_if(files.begin(), files.end(), [&](const measured& file) {
            return file.shape == big.shape && file.descriptors == 16384;
        });
        if (big.descriptors != 65535 || small == files.end())
            continue;
        const auto growth = [&](const std::string& name) {
            return cell(big, name, [&](const series& s) { return ratio(s, small->commands.at(name), 4.4); });
        };
        std::string listing = growth("listing");
        const series& big_listing = big.commands.at("listing");
        const series& small_listing = small->commands.at("listing");
        if (output_bound(big) && big_listing.ok() && small_listing.ok() && small->output_bytes > 0) {
            const double per_output = big_listing.median() / small_listing.median() /
                                      (static_cast<double>(big.output_bytes) / static_cast<double>(small->output_bytes)) * 4;
            listing = format("%.2f", per_output) + (per_output <= 4.4 ? " ✓" : " ✗") + " (output)";
        }
        row({std::string(big.shape->name), listing, growth("read"), growth("write")});
    }
}

// The example's table in front of a sparse data area of 1 and 4 GiB: a read
// and a write cost what the header, the table and the item cost, and so
// about what they cost on the example itself.
void print_large_files(const std::string& tool, const vantor::testing::temp_folder& scratch)
{
    const std::string small = scratch / "sample.dat";
    vantor::testing::write_file(small, vantor::testing::build_dat(vantor::testing::sample_layout()));
    const auto small_bytes = std::filesystem::file_size(small);
    const auto time = [&](const command& words) {
        series done;
        for (int round = 0; round < rounds; ++round)
            done.runs.push_back(run_once(words));
        return done;
    };
    const series small_read = time({tool, small, "1.3.33"});
    const series small_write = time({tool, small, "1.3.33=7"});
    const series small_cat = time({"cat", small});
    std::printf("\nThe example's table before a sparse data area, against the example itself (target: read and write "
                "≤ 2 × the example's, peak RSS < 8 MiB):\n\n");
    heading({"data area", "file", "read", "write", "read / example's", "write / example's", "peak RSS read",
             "peak RSS write", "example: read", "write", "cat"});
    for (const std::uintmax_t data_area : {std::uintmax_t{1} << 30, std::uintmax_t{4} << 30}) {
        const std::string large = scratch / "large.dat";
        std::filesystem::copy_file(small, large, std::filesystem::copy_options::overwrite_existing);
        std::filesystem::resize_file(large, small_bytes + data_area);
        const series read = time({tool, large, "1.3.33"});
        const series write = time({tool, large, "1.3.33=7"});
        const auto memory = [](const series& s) {
            const double peak = static_cast<double>(s.peak_kib()) * 1024;
            return bytes(peak) + (peak < 8 * mib ? " ✓" : " ✗");
        };
        row({bytes(static_cast<double>(data_area)), bytes(static_cast<double>(small_bytes + data_area)), seconds(read),
             seconds(write), ratio(read, small_read, 2), ratio(write, small_write, 2), memory(read), memory(write),
             seconds(small_read), seconds(small_write), seconds(small_cat)});
        std::filesystem::remove(large);
    }
}

// The options on files whose data area or values are large and whose
// output is small, or whose items overlap one another: memory must stay at
// the table's and the values' own needs plus 20 MiB.
void print_option_bounds(const std::string& tool, const vantor::testing::temp_folder& scratch)
{
    using vantor::testing::desc_row;
    const std::string path = scratch / "bound.dat";
    double table_bytes = 0;  // the header and the table, which the options hold
    const auto file_of = [&](std::vector<desc_row> rows, std::uint64_t data_area) {
        vantor::testing::dat_layout layout;
        layout.descriptors = std::move(rows);
        vantor::testing::write_file(path, vantor::testing::build_dat(layout));
        table_bytes = static_cast<double>(std::filesystem::file_size(path));
        std::filesystem::resize_file(path, std::filesystem::file_size(path) + data_area);
    };
    const auto measure_run = [&](const command& words, const std::string& input, double values_mib) {
        vantor::testing::run_setup setup;
        setup.out = vantor::testing::output_to::discard;
        setup.input = input;
        setup.deadline = std::chrono::seconds(cap_seconds);
        const vantor::testing::tool_run done = vantor::testing::run(words, setup);
        const double peak = static_cast<double>(done.peak_kib) * 1024;
        return std::vector<std::string>{format("%.2f s", done.seconds), bytes(peak),
                                        peak <= (values_mib + 20) * mib + table_bytes ? "✓" : "✗"};
    };
    std::printf("\nThe options on large data areas, values and overlaps (target: peak RSS ≤ the table's and the "
                "values' needs + 20 MiB):\n\n");
    heading({"file", "command", "time", "peak RSS", "target"});
    std::vector<desc_row> spread{vantor::testing::variable(1, 2, 0), vantor::testing::structure(2, 10, 0)};
    for (std::uint32_t k = 0; k < 4096; ++k)
        spread.push_back(vantor::testing::member(static_cast<std::uint16_t>(10 + k), k + 1 < 4096 ? 11 + k : 0, 1, k << 20));
    file_of(spread, std::uint64_t{4} << 30);
    auto cells = measure_run({tool, "--values", path}, "", 0);
    cells.insert(cells.begin(), {"4,096 bytes 1 MiB apart in 4 GiB", "--values"});
    row(cells);
    constexpr std::uint32_t text = 256u << 20;
    file_of({vantor::testing::variable(1, 2, text), vantor::testing::structure(2, 10, text),
             vantor::testing::member(10, 0, text, 0)},
            text);
    cells = measure_run({tool, "--values", path}, "", 0);
    cells.insert(cells.begin(), {"one text of 256 MiB", "--values"});
    row(cells);
    // The input is written in a child and read through a shell: a value held
    // here would count in the peak RSS of every command forked after it.
    const std::string input = scratch / "bound.txt";
    write_in_child([&] { vantor::testing::write_file(input, [&] {
                             const std::string line = "t1.10=" + std::string(text, 'B') + "\n";
                             return std::vector<unsigned char>(line.begin(), line.end());
                         }()); });
    cells = measure_run({"sh", "-c", "exec \"$0\" --set \"$1\" - < \"$2\"", tool, path, input}, "", 256);
    std::filesystem::remove(input);
    cells.insert(cells.begin(), {"one text of 256 MiB", "--set of it, from standard input"});
    row(cells);
    constexpr std::uint32_t alternatives = 65533;
    std::vector<desc_row> overlapping{vantor::testing::variable(1, 2, 2 * alternatives),
                                      vantor::testing::structure(2, 3, 2 * alternatives)};
    std::string assignments;
    for (std::uint32_t k = 0; k < alternatives; ++k) {
        overlapping.push_back(vantor::testing::member(static_cast<std::uint16_t>(3 + k), k + 1 < alternatives ? 4 + k : 0,
                                                      alternatives, k));
        assignments += "t1." + std::to_string(3 + k) + "=A\n";
    }
    file_of(overlapping, 2 * alternatives);
    cells = measure_run({tool, "--set", path, "-"}, assignments, 1);
    cells.insert(cells.begin(), {"65,533 alternatives, each over the next", "--set of all"});
    row(cells);
    std::filesystem::remove(path);
}

// --diff of two files of 65,535 descriptors (`chain`) whose values differ
// in 1 %, against the two --values runs it replaces: once with the layouts
// shared, once with one descriptor apart, where A's paths are held.
void print_diff(const std::string& tool, const vantor::testing::temp_folder& scratch)
{
    const std::string a = scratch / "a.dat", b = scratch / "b.dat";
    vantor::testing::dat_layout layout = vantor::testing::shape_named("chain").build(65535);
    const auto write = [&](const std::string& path) {
        return write_in_child([&] { vantor::testing::write_file(path, vantor::testing::build_dat(layout)); });
    };
    if (!write(a))
        return;
    std::printf("\n--diff of two files of 65,535 descriptors whose values differ in 1 %%, against the two --values "
                "it replaces (targets: time ≤ their sum, peak RSS ≤ 1.5 × one --values):\n\n");
    heading({"layouts", "--diff", "output", "--values A + B", "/ their sum (≤ 1)", "peak RSS", "--values' peak RSS", "/ (≤ 1.5)"});
    for (const bool shared : {true, false}) {
        for (std::size_t word = 0; word < layout.data.size() / 2; word += 100)
            layout.data[2 * word + 1] = 1;
        // A word's offset moved: every path stays, one names other bytes.
        if (!shared)
            layout.descriptors[2].offset += 2;
        if (!write(b))
            return;
        series diff, values;
        std::uint64_t lines = 0;
        for (int round = 0; round < rounds; ++round) {
            const run both = run_once({tool, "--diff", a, b}, round == 0, 1);
            lines = round == 0 ? both.output_bytes : lines;
            diff.runs.push_back(both);
            run sum = run_once({tool, "--values", a});
            const run other = run_once({tool, "--values", b});
            sum.seconds += other.seconds;
            sum.peak_kib = std::max(sum.peak_kib, other.peak_kib);
            sum.ok = sum.ok && other.ok;
            values.runs.push_back(sum);
        }
        const double peak = static_cast<double>(diff.peak_kib()), one = static_cast<double>(values.peak_kib());
        row({shared ? "shared" : "one descriptor apart", seconds(diff), bytes(static_cast<double>(lines)), seconds(values),
             ratio(diff, values, 1), bytes(peak * 1024), bytes(one * 1024),
             format("%.2f", peak / one) + (peak <= 1.5 * one ? " ✓" : " ✗")});
        layout.data.assign(layout.data.size(), 0);
    }
    std::filesystem::remove(a);
    std::filesystem::remove(b);
}

// A write and a --set of 10,000 at 65,535 descriptors on a folder of the
// disk, and again on tmpfs, where a sync costs nothing: the difference is
// what the syncs cost, and the tmpfs runs show the rest against cat.
void print_stores(const std::string& tool, const vantor::testing::temp_folder& scratch)
{
    const table_shape& shape = vantor::testing::shape_named("chain");
    const std::filesystem::path memory = "/dev/shm";
    std::printf("\nStores at 65,535 descriptors (`chain`), with their syncs on the disk and without their cost on "
                "tmpfs (targets on tmpfs: write ≤ 1.0 × cat, --set of 10,000 ≤ 2 × write):\n\n");
    heading({"folder", "write", "--set", "assignments", "cat", "write / cat", "--set / write"});
    std::map<std::string, std::pair<series, series>> stores;
    for (const auto& [name, folder] : {std::pair<std::string, std::string>{"disk", scratch.path().string()},
                                       {"tmpfs", (memory / ("vantor-bench-" + std::to_string(::getpid()))).string()}}) {
        std::error_code missing;
        if (name == "tmpfs" && !std::filesystem::create_directory(folder, missing))
            continue;
        const bool on_tmpfs = name == "tmpfs";
        const std::string path = folder + "/store.dat";
        if (!write_in_child([&] { vantor::testing::write_file(path, vantor::testing::build_dat(shape.build(65535))); }))
            continue;
        const command set = set_again(tool, path);
        series write, set_many, cat;
        for (int round = 0; round < rounds; ++round) {
            write.runs.push_back(run_once({tool, path, shape.item_path(65535) + "=7"}));
            set_many.runs.push_back(run_once(set));
            cat.runs.push_back(run_once({"cat", path}));
        }
        row({name, seconds(write), seconds(set_many), std::to_string(set.size() - 3), seconds(cat),
             ratio(write, cat, on_tmpfs ? std::optional(1.0) : std::nullopt),
             ratio(set_many, write, on_tmpfs ? std::optional(2.0) : std::nullopt)});
        stores[name] = {write, set_many};
        if (name == "tmpfs")
            std::filesystem::remove_all(folder);
    }
    if (stores.size() == 2)
        std::printf("\nThe syncs: %.1f ms of a write (one of the file), %.1f ms of a --set (the journal, its folder, "
                    "the file, the folder again).\n",
                    1000 * (stores["disk"].first.median() - stores["tmpfs"].first.median()),
                    1000 * (stores["disk"].second.median() - stores["tmpfs"].second.median()));
}

}  // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> wanted(argv + 1, argv + argc);
    const char* other = std::getenv("VANTOR");
    const std::string tool = other != nullptr ? other : VANTOR_EXE;
    const vantor::testing::temp_folder scratch;
    const std::string path = scratch / "shape.dat";
    std::vector<measured> files;
    const auto asked = [&](const char* part) { return wanted.empty() || std::find(wanted.begin(), wanted.end(), part) != wanted.end(); };
    const bool large_files = asked("large");
    for (const table_shape& shape : vantor::testing::table_shapes()) {
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), shape.name) == wanted.end())
            continue;
        for (const std::uint32_t size : sizes) {
            if (shape.own_size != 0 && size != sizes[0])
                continue;
            files.push_back(measure(shape, shape.own_size != 0 ? shape.own_size : size, path, tool));
            if (files.back().file_bytes == 0) {
                std::fprintf(stderr, "vantor_bench: cannot write %s\n", path.c_str());
                return 1;
            }
        }
    }
    if (!files.empty()) {
        std::printf("Median wall time of %d runs of each command, in turn on one file, output to /dev/null. "
                    "✓ meets its target, ✗ misses it.\n\n",
                    rounds);
        print_times(files);
        std::printf("\nPeak RSS of the runs against the limit: 2 × file + 4 MiB, at least 20 MiB:\n\n");
        print_memory(files);
        print_growth(files);
        std::printf("\nEvery value, and its first 10,000 set again, against the listing and one write:\n\n");
        print_options(files);
    }
    if (large_files)
        print_large_files(tool, scratch);
    if (asked("stores"))
        print_stores(tool, scratch);
    if (asked("bounds"))
        print_option_bounds(tool, scratch);
    if (asked("diff"))
        print_diff(tool, scratch);
    std::printf("\nShapes (N descriptors):\n\n");
    for (const table_shape& shape : vantor::testing::table_shapes())
        std::printf("- `%s`: %s\n", std::string(shape.name).c_str(), std::string(shape.summary).c_str());
    return 0;
}
