#include "cli/options.hpp"

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "access/value_listing.hpp"
#include "cli/banner.hpp"
#include "cli/report.hpp"
#include "listing/text_writer.hpp"
#include "platform/platform.hpp"

namespace vantor {

void print_help(std::FILE* out)
{
    print_banner(out);
    print_usage(out);
    std::fputs("OPTIONS:\n"
               "  --values file.dat [a.b...]   every value, or those at or under each a.b, one a.b=val a line\n"
               "  --set file.dat a.b=val...    change many values, all or none\n"
               "  --set file.dat -             the same, one a.b=val a line from the input\n"
               "  --diff a.dat b.dat [a.b...]  the values that differ, -a.b=a's then +a.b=b's,\n"
               "                               and where other bytes differ; exit 0 same, 1 different\n"
               "  --help                       this text\n"
               "  --version                    the version\n",
               out);
}

namespace {

// The lines of standard input that assign: those that are neither empty nor
// a comment, a carriage return before the line feed taken off.
std::vector<std::string_view> assignment_lines(std::string_view input)
{
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < input.size();) {
        std::size_t end = input.find('\n', at);
        if (end == std::string::npos)
            end = input.size();
        std::string_view line(input.data() + at, end - at);
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        if (!line.empty() && line.front() != '#')
            lines.emplace_back(line);
        at = end + 1;
    }
    return lines;
}

}  // namespace

result<file_image> load_for(const char* file_name, open_for use, std::FILE* out)
{
    result<mended_file> opened = open_first(file_name, use, out);
    if (!opened)
        return opened.error();
    return load_file_image(std::move(*opened));
}

bool write_value_line(text_writer& text, data_window& data, std::string_view sign, std::string_view path,
                      const item_location& item)
{
    // The path once the first bytes are read: a read that fails at once
    // shows no line of this item.
    bool started = false;
    const auto start = [&] {
        if (!started && !sign.empty())
            text << sign;
        if (!started)
            text << path << '=';
        started = true;
    };
    bool read = false;
    if (item.text) {
        listed_text shown;
        std::string value;
        read = data.read(item.place(), [&](std::string_view piece) {
            start();
            value.clear();
            shown.append(value, piece);
            text << std::string_view(value);
        });
    } else {
        // A number's 4 bytes at most, in one piece or two.
        char bytes[4] = {};
        std::size_t held = 0;
        read = data.read(item.place(), [&](std::string_view piece) {
            std::copy(piece.begin(), piece.end(), bytes + held);
            held += piece.size();
        });
        if (read) {
            start();
            text << decimal(number_value(item, {bytes, held}));
        }
    }
    if (read || started) {
        start();
        text << '\n';
    }
    return read;
}

std::optional<std::string_view> unresolved_part(const file_image& image, std::span<const char* const> parts)
{
    item_resolver resolver(image);
    for (const std::string_view part : parts)
        if (!resolver.follow_part(part))
            return part;
    return std::nullopt;
}

int run_values(const command& run, std::FILE* out)
{
    const result<file_image> loaded = load_for(run.file, open_for::reading, out);
    if (!loaded)
        return report(out, loaded.error(), {run.file, ""});
    if (const auto part = unresolved_part(*loaded, run.rest))
        return report(out, failure{failure_kind::not_resolved}, {run.file, "getdata", std::string(*part)});
    const std::vector<std::string_view> parts(run.rest.begin(), run.rest.end());
    data_window data(*loaded);
    bool read_failed = false;
    text_writer text(out);
    const auto listing = list_values(
        *loaded,
        [&](std::string_view path, const item_location& item) {
            if (!read_failed)
                read_failed = !write_value_line(text, data, {}, path, item);
        },
        parts);
    if (!listing || read_failed) {
        text.flush();
        return report(out, listing ? failure{failure_kind::read} : listing.error(), {run.file, ""});
    }
    // Comments, which an assignment never begins with, say what was left out.
    if (listing->overlapping != 0 || listing->too_deep != 0 || listing->unreached != 0)
        text << "# left out: " << count(listing->overlapping) << " items over bytes listed above, "
             << count(listing->too_deep) << " structures nested too deep, " << count(listing->unreached)
             << " descriptors on no path listed\n";
    if (!listing->stopped)
        return 0;
    text << stopped_comment;
    return -1;
}

namespace {

// Every assignment resolved and checked before anything is stored, and the
// old bytes in the journal; then the result lines, delivered, and one store
// of all the items. Values typed on the command line are checked to be
// what was typed; standard input is bytes as they are.
// The assignments are the lines of standard input, or the arguments as they
// stand, which are not copied: a batch of thousands costs its items alone.
template <typename Assignments>
int run_set(const char* file_name, const Assignments& assignments, bool typed, std::FILE* out)
{
    result<file_image> loaded = load_for(file_name, open_for::update, out);
    if (!loaded)
        return report(out, loaded.error(), {file_name, ""});
    item_resolver resolver(*loaded);
    stored_items items;
    items.items.reserve(std::size(assignments));
    for (const std::string_view assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        const std::string_view path = assignment.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : assignment.substr(equals + 1);
        const value_fault fault = equals == std::string_view::npos              ? value_fault::no_value
                                  : typed && !platform::exact_argument(value) ? value_fault::not_exact
                                                                               : value_fault::none;
        const result<region> stored = fault == value_fault::none
                                          ? add_assignment(items, resolver, path, value)
                                          : failure{failure_kind::refused, 0, {}, fault};
        if (!stored)
            return report(out, stored.error(), {file_name, "setdata", std::string(path), true, value});
    }
    result<pending_store> pending = pending_store::begin(file_name, *loaded, items);
    if (!pending)
        return report(out, pending.error(), {file_name, "setdata"});
    {
        text_writer text(out);
        for (const std::string_view assignment : assignments) {
            const std::size_t equals = assignment.find('=');
            text << "setdata(" << assignment.substr(0, equals) << ")=" << assignment.substr(equals + 1) << '\n';
        }
    }
    // A result line that cannot be delivered stores nothing.
    if (std::fflush(out) != 0 || std::ferror(out)) {
        pending->abandon();
        return -1;
    }
    const result<std::uint64_t> stored = pending->finish();
    return stored ? 0 : report(out, stored.error(), {file_name, "setdata"});
}

}  // namespace

int run_set(const command& run, std::FILE* out)
{
    if (run.what == command::mode::set)
        return run_set(run.file, run.rest, true, out);
    const auto input = platform::standard_input();
    if (!input)
        return report(out, failure{failure_kind::read}, {"-", ""});
    return run_set(run.file, assignment_lines(input->text()), false, out);
}

}  // namespace vantor
