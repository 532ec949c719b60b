// Times the built tool beside xxd and cat on large data files of our own and
// prints markdown tables for the README. Not a test: it asserts nothing.
//   vantor_bench [--runs N] [--vantor PATH] [--sizes 4k,16k,65k] [--shapes chain,...] [--cap SECONDS]
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "measure.hpp"
#include "report.hpp"
#include "shapes.hpp"
#include "support/dat_builder.hpp"

namespace {

using namespace vantor::bench;

constexpr std::uint32_t largest_table = 65535;

struct options {
    run_limits limits;
    std::string vantor = VANTOR_EXE;
    std::vector<std::uint32_t> sizes{4096, 16384, largest_table};
    std::vector<shape> shapes;
};

std::vector<std::string_view> split(std::string_view list)
{
    std::vector<std::string_view> items;
    while (!list.empty()) {
        const std::size_t comma = std::min(list.find(','), list.size());
        items.push_back(list.substr(0, comma));
        list.remove_prefix(std::min(comma + 1, list.size()));
    }
    return items;
}

std::optional<std::uint32_t> parse_number(std::string_view text)
{
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

// "16k" is 16,384 descriptors; "64k" and "65k" stop at the largest table.
// Every shape fits in 64.
std::optional<std::uint32_t> parse_size(std::string_view text)
{
    const bool kilo = text.ends_with('k');
    const auto number = parse_number(kilo ? text.substr(0, text.size() - 1) : text);
    if (!number || *number > largest_table)
        return std::nullopt;
    const std::uint32_t size = std::min(kilo ? *number * 1024 : *number, largest_table);
    if (size < 64)
        return std::nullopt;
    return size;
}

std::optional<shape> find_shape(std::string_view name)
{
    for (const shape& kind : all_shapes())
        if (kind.name == name)
            return kind;
    return std::nullopt;
}

bool parse_sizes(std::string_view list, options& chosen)
{
    chosen.sizes.clear();
    for (const std::string_view item : split(list)) {
        const auto size = parse_size(item);
        if (!size)
            return false;
        chosen.sizes.push_back(*size);
    }
    return !chosen.sizes.empty();
}

bool parse_shapes(std::string_view list, options& chosen)
{
    chosen.shapes.clear();
    for (const std::string_view item : split(list)) {
        const auto kind = find_shape(item);
        if (!kind)
            return false;
        chosen.shapes.push_back(*kind);
    }
    return !chosen.shapes.empty();
}

bool parse_option(std::string_view name, std::string_view value, options& chosen)
{
    if (name == "--runs") {
        const auto runs = parse_number(value);
        chosen.limits.rounds = static_cast<int>(runs.value_or(0));
        return runs && *runs >= 1 && *runs <= 1000;
    }
    if (name == "--cap") {
        const auto cap = parse_number(value);
        chosen.limits.cap_seconds = cap.value_or(0);
        return cap && *cap >= 1;
    }
    if (name == "--vantor") {
        chosen.vantor = value;
        return true;
    }
    if (name == "--sizes")
        return parse_sizes(value, chosen);
    if (name == "--shapes")
        return parse_shapes(value, chosen);
    return false;
}

std::optional<options> parse_options(int argc, char** argv)
{
    options chosen;
    chosen.shapes.assign(all_shapes().begin(), all_shapes().end());
    for (int k = 1; k < argc; k += 2)
        if (k + 1 >= argc || !parse_option(argv[k], argv[k + 1], chosen))
            return std::nullopt;
    return chosen;
}

std::string command_line(int argc, char** argv)
{
    std::string line = argv[0];
    for (int k = 1; k < argc; ++k)
        line += std::string(" ") + argv[k];
    return line;
}

std::string cpu_model()
{
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);)
        if (line.starts_with("model name"))
            return line.substr(line.find(':') + 2);
    return "unknown CPU";
}

std::string machine()
{
    return "nproc " + std::to_string(::sysconf(_SC_NPROCESSORS_ONLN)) + ", " + cpu_model();
}

// A folder for the generated files, removed with the object.
class scratch_folder {
public:
    scratch_folder()
        : path_(std::filesystem::temp_directory_path() / ("vantor-bench-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path_);
    }
    ~scratch_folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;

    std::string file(std::string_view name) const { return (path_ / name).string() + ".dat"; }

private:
    std::filesystem::path path_;
};

std::vector<command> commands_for(const std::string& vantor, const std::string& path, const std::string& member)
{
    return {{vantor, path}, {vantor, path, member}, {vantor, path, member + "=7"}, {"xxd", path}, {"cat", path}};
}

std::optional<measured_file> measure(const shape& kind, std::uint32_t descriptors, const std::string& path,
                                     const options& chosen)
{
    std::fprintf(stderr, "vantor_bench: %.*s at %u descriptors\n", static_cast<int>(kind.name.size()),
                 kind.name.data(), descriptors);
    if (!run_in_child([&] { vantor::testing::write_file(path, vantor::testing::build_dat(kind.layout(descriptors))); }))
        return std::nullopt;
    const std::vector<command> commands = commands_for(chosen.vantor, path, kind.last_member(descriptors));
    const std::vector<series> runs = run_interleaved(commands, chosen.limits);
    std::optional<output_size> output;
    if (kind.counts_lines)
        output = measure_output(commands[0], chosen.limits.cap_seconds);
    // The write keeps the file's size; a file that is gone was not measured.
    std::error_code gone;
    const std::uintmax_t size = std::filesystem::file_size(path, gone);
    if (gone)
        return std::nullopt;
    std::filesystem::remove(path);
    return measured_file{kind.name, kind.own_size == 0, descriptors, size, runs[0], runs[1], runs[2], runs[3],
                         runs[4], output};
}

std::vector<std::uint32_t> sizes_of(const shape& kind, const options& chosen)
{
    if (kind.own_size != 0)
        return {kind.own_size};
    return chosen.sizes;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::optional<options> chosen = parse_options(argc, argv);
    if (!chosen) {
        std::fprintf(stderr,
                     "usage: %s [--runs N] [--vantor PATH] [--sizes 4k,16k,65k] [--shapes NAME,...] "
                     "[--cap SECONDS]\n",
                     argv[0]);
        return 2;
    }
    if (::access(chosen->vantor.c_str(), X_OK) != 0) {
        std::fprintf(stderr, "vantor_bench: cannot run %s\n", chosen->vantor.c_str());
        return 1;
    }
    const scratch_folder scratch;
    std::vector<measured_file> files;
    for (const shape& kind : chosen->shapes)
        for (const std::uint32_t descriptors : sizes_of(kind, *chosen)) {
            const auto file = measure(kind, descriptors, scratch.file(kind.name), *chosen);
            if (!file) {
                std::fprintf(stderr, "vantor_bench: the %u-descriptor file was not written or has gone\n",
                             descriptors);
                return 1;
            }
            files.push_back(*file);
        }
    const report_setup setup{command_line(argc, argv), machine(), chosen->limits,
                             run_once({chosen->vantor}, chosen->limits.cap_seconds).peak_kib};
    print_report(stdout, files, chosen->shapes, setup);
    return 0;
}
