#include "report.hpp"

#include <algorithm>
#include <set>

namespace vantor::bench {

namespace {

constexpr double listing_target = 0.3;  // times xxd
constexpr double item_target = 1.5;     // times cat
constexpr double growth_slack = 1.1;    // over the growth of the table
constexpr double mib = 1024.0 * 1024.0;

template <typename... Args>
std::string format(const char* pattern, Args... args)
{
    char text[128];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

std::string grouped(std::uint64_t number)
{
    const std::string digits = std::to_string(number);
    std::string text;
    for (std::size_t k = 0; k < digits.size(); ++k) {
        if (k > 0 && (digits.size() - k) % 3 == 0)
            text += ',';
        text += digits[k];
    }
    return text;
}

std::string bytes(std::uintmax_t count)
{
    if (count >= mib)
        return format("%.2f MiB", static_cast<double>(count) / mib);
    return format("%.1f KiB", static_cast<double>(count) / 1024);
}

std::string seconds(double value)
{
    return value < 1 ? format("%.1f ms", value * 1e3) : format("%.2f s", value);
}

std::string mark(bool met) { return met ? " ✓" : " ✗"; }

// A star marks a command that took fewer runs than the others.
std::string time_cell(const series& runs, const run_limits& limits)
{
    if (runs.timed_out())
        return format("> %u s", limits.cap_seconds);
    std::string cell = seconds(runs.median_seconds());
    if (runs.failed())
        cell += " failed";
    if (runs.runs.size() < static_cast<std::size_t>(limits.rounds))
        cell += "*";
    return cell;
}

// A numerator that met the cap gives a lower bound.
std::string ratio_cell(const series& numerator, const series& denominator, double target, const run_limits& limits)
{
    if (numerator.failed() || denominator.failed() || denominator.timed_out() || denominator.runs.empty())
        return "–";
    const double below = denominator.median_seconds();
    if (numerator.timed_out())
        return format("> %.2f", limits.cap_seconds / below) + mark(false);
    const double ratio = numerator.median_seconds() / below;
    return format("%.2f", ratio) + mark(ratio <= target);
}

std::uintmax_t memory_limit(const measured_file& file) { return 2 * file.file_bytes + 4 * 1024 * 1024; }

std::string memory_cell(const series& runs, std::uintmax_t limit)
{
    const auto peak = static_cast<std::uintmax_t>(runs.peak_kib()) * 1024;
    return bytes(peak) + mark(peak <= limit);
}

void print_row(std::FILE* out, const std::vector<std::string>& cells)
{
    for (const std::string& cell : cells)
        std::fprintf(out, "| %s ", cell.c_str());
    std::fprintf(out, "|\n");
}

// The first `left` columns are text, the others figures.
void print_heading(std::FILE* out, const std::vector<std::string>& titles, std::size_t left)
{
    print_row(out, titles);
    for (std::size_t k = 0; k < titles.size(); ++k)
        std::fprintf(out, "|%s", k < left ? "---" : "--:");
    std::fprintf(out, "|\n");
}

std::vector<std::string> file_cells(const measured_file& file)
{
    return {std::string(file.shape), grouped(file.descriptors), bytes(file.file_bytes)};
}

void print_times(std::FILE* out, const std::vector<measured_file>& files, const run_limits& limits)
{
    print_heading(out,
                  {"shape", "descriptors", "file", "listing", "xxd", "listing / xxd (≤ 0.3)", "read", "write", "cat",
                   "read / cat (≤ 1.5)", "write / cat (≤ 1.5)"},
                  1);
    for (const measured_file& file : files) {
        std::vector<std::string> cells = file_cells(file);
        cells.push_back(time_cell(file.listing, limits));
        cells.push_back(time_cell(file.xxd, limits));
        cells.push_back(ratio_cell(file.listing, file.xxd, listing_target, limits));
        cells.push_back(time_cell(file.read, limits));
        cells.push_back(time_cell(file.write, limits));
        cells.push_back(time_cell(file.cat, limits));
        cells.push_back(ratio_cell(file.read, file.cat, item_target, limits));
        cells.push_back(ratio_cell(file.write, file.cat, item_target, limits));
        print_row(out, cells);
    }
}

void print_memory(std::FILE* out, const std::vector<measured_file>& files)
{
    print_heading(out, {"shape", "descriptors", "file", "limit", "listing", "read", "write"}, 1);
    for (const measured_file& file : files) {
        const std::uintmax_t limit = memory_limit(file);
        std::vector<std::string> cells = file_cells(file);
        cells.push_back(bytes(limit));
        cells.push_back(memory_cell(file.listing, limit));
        cells.push_back(memory_cell(file.read, limit));
        cells.push_back(memory_cell(file.write, limit));
        print_row(out, cells);
    }
}

const measured_file* find_file(const std::vector<measured_file>& files, std::string_view shape,
                               std::uint32_t descriptors)
{
    const auto found = std::find_if(files.begin(), files.end(), [&](const measured_file& file) {
        return file.shape == shape && file.descriptors == descriptors;
    });
    return found == files.end() ? nullptr : &*found;
}

// Between the two largest table sizes of the shapes that scale.
void print_growth(std::FILE* out, const std::vector<measured_file>& files, std::span<const shape> shapes,
                  const run_limits& limits)
{
    std::set<std::uint32_t> sizes;
    for (const measured_file& file : files)
        if (file.scales)
            sizes.insert(file.descriptors);
    if (sizes.size() < 2)
        return;
    const std::uint32_t large = *sizes.rbegin();
    const std::uint32_t small = *std::next(sizes.rbegin());
    const double growth = static_cast<double>(large) / small;
    const double target = growth_slack * growth;
    std::fprintf(out, "\nTime at %s descriptors over time at %s (the table grows %.2f times; target ≤ %.2f):\n\n",
                 grouped(large).c_str(), grouped(small).c_str(), growth, target);
    print_heading(out, {"shape", "listing", "read", "write"}, 1);
    for (const shape& kind : shapes) {
        const measured_file* big = find_file(files, kind.name, large);
        const measured_file* little = find_file(files, kind.name, small);
        if (big == nullptr || little == nullptr)
            continue;
        print_row(out, {std::string(kind.name), ratio_cell(big->listing, little->listing, target, limits),
                        ratio_cell(big->read, little->read, target, limits),
                        ratio_cell(big->write, little->write, target, limits)});
    }
}

void print_output(std::FILE* out, const std::vector<measured_file>& files, const run_limits& limits)
{
    if (std::none_of(files.begin(), files.end(), [](const measured_file& file) { return file.output.has_value(); }))
        return;
    std::fprintf(out, "\nOutput of the listing:\n\n");
    print_heading(out, {"shape", "descriptors", "file", "lines", "output", "listing", "lines per second", "per second"},
                  1);
    for (const measured_file& file : files) {
        if (!file.output)
            continue;
        std::vector<std::string> cells = file_cells(file);
        cells.push_back(grouped(file.output->lines));
        cells.push_back(bytes(file.output->bytes));
        cells.push_back(time_cell(file.listing, limits));
        if (file.listing.timed_out() || file.listing.failed()) {
            cells.insert(cells.end(), {"–", "–"});
        } else {
            const double time = file.listing.median_seconds();
            cells.push_back(grouped(static_cast<std::uint64_t>(static_cast<double>(file.output->lines) / time)));
            cells.push_back(bytes(static_cast<std::uintmax_t>(static_cast<double>(file.output->bytes) / time)) + "/s");
        }
        print_row(out, cells);
    }
}

void print_shapes(std::FILE* out, std::span<const shape> shapes)
{
    std::fprintf(out, "\nShapes (N descriptors):\n\n");
    for (const shape& kind : shapes)
        std::fprintf(out, "- `%.*s`: %.*s\n", static_cast<int>(kind.name.size()), kind.name.data(),
                     static_cast<int>(kind.summary.size()), kind.summary.data());
}

}  // namespace

void print_report(std::FILE* out, const std::vector<measured_file>& files, std::span<const shape> shapes,
                  const report_setup& setup)
{
    const run_limits& limits = setup.limits;
    std::fprintf(out,
                 "Median wall time of %d paired runs (listing, read, write, xxd, cat of one file in turn), "
                 "output to /dev/null. *: fewer runs, as one took over %.0f s; runs past %u s were stopped. "
                 "✓ meets its target, ✗ misses it.\n\n",
                 limits.rounds, limits.slow_seconds, limits.cap_seconds);
    print_times(out, files, limits);
    std::fprintf(out,
                 "\nPeak RSS (largest of the runs) against the limit 2 × file + 4 MiB; the tool without "
                 "arguments peaks at %s:\n\n",
                 bytes(static_cast<std::uintmax_t>(setup.bare_peak_kib) * 1024).c_str());
    print_memory(out, files);
    print_growth(out, files, shapes, limits);
    print_output(out, files, limits);
    print_shapes(out, shapes);
    std::fprintf(out, "\nMachine: %s. Command: `%s`\n", setup.machine.c_str(), setup.command_line.c_str());
}

}  // namespace vantor::bench
