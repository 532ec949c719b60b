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

namespace {

void print_help(std::FILE* out)
{
    print_banner(out);
    print_usage(out);
    std::fputs("OPTIONS:\n"
               "  --values file.dat            every value, one path=val a line\n"
               "  --set file.dat a.b=val...    change many values, all or none\n"
               "  --set file.dat -             the same, one a.b=val a line from the input\n"
               "  --help                       this text\n"
               "  --version                    the version\n",
               out);
}

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

int run_values(const char* file_name, std::FILE* out)
{
    result<mended_file> opened = open_first(file_name, open_for::reading, out);
    if (!opened)
        return report(out, opened.error(), {file_name, ""});
    const result<file_image> loaded = load_file_image(std::move(*opened));
    if (!loaded)
        return report(out, loaded.error(), {file_name, ""});
    data_window data(*loaded);
    bool read_failed = false;
    std::string value;
    text_writer text(out);
    const auto listing = list_values(*loaded, [&](std::string_view path, const item_location& item) {
        if (read_failed)
            return;
        // The path once the first bytes are read: a read that fails at once
        // shows no line of this item.
        bool started = false;
        const auto start = [&] {
            if (!started)
                text << path << '=';
            started = true;
        };
        if (item.text) {
            listed_text shown;
            read_failed = !data.read(item.place(), [&](std::string_view piece) {
                start();
                value.clear();
                shown.append(value, piece);
                text << std::string_view(value);
            });
        } else {
            // A number's 4 bytes at most, in one piece or two.
            char bytes[4] = {};
            std::size_t held = 0;
            read_failed = !data.read(item.place(), [&](std::string_view piece) {
                std::copy(piece.begin(), piece.end(), bytes + held);
                held += piece.size();
            });
            if (!read_failed) {
                start();
                text << decimal(number_value(item, {bytes, held}));
            }
        }
        if (!read_failed || started) {
            start();
            text << '\n';
        }
    });
    if (!listing || read_failed) {
        text.flush();
        return report(out, listing ? failure{failure_kind::read} : listing.error(), {file_name, ""});
    }
    // Comments, which an assignment never begins with, say what was left out.
    if (listing->overlapping != 0 || listing->too_deep != 0 || listing->unreached != 0)
        text << "# left out: " << count(listing->overlapping) << " items over bytes listed above, "
             << count(listing->too_deep) << " structures nested too deep, " << count(listing->unreached)
             << " descriptors on no path listed\n";
    if (!listing->stopped)
        return 0;
    text << "# stopped: the layout names far more than this file holds\n";
    return -1;
}

// Every assignment resolved and checked before anything is stored, and the
// old bytes in the journal; then the result lines, delivered, and one store
// of all the items. Values typed on the command line are checked to be
// what was typed; standard input is bytes as they are.
// The assignments are the lines of standard input, or the arguments as they
// stand, which are not copied: a batch of thousands costs its items alone.
template <typename Assignments>
int run_set(const char* file_name, const Assignments& assignments, bool typed, std::FILE* out)
{
    result<mended_file> opened = open_first(file_name, open_for::update, out);
    if (!opened)
        return report(out, opened.error(), {file_name, ""});
    result<file_image> loaded = load_file_image(std::move(*opened));
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

std::optional<int> run_option(int argc, const char* const* argv, std::FILE* out)
{
    if (argc < 2)
        return std::nullopt;
    const std::string_view option = argv[1];
    if (option == "--help" && argc == 2) {
        print_help(out);
        return 0;
    }
    if (option == "--version" && argc == 2) {
        std::fputs("Vantor " VANTOR_VERSION "\n", out);
        return 0;
    }
    if (option == "--values" && argc == 3)
        return run_values(argv[2], out);
    if (option == "--set" && argc == 4 && std::string_view(argv[3]) == "-") {
        const auto input = platform::standard_input();
        if (!input)
            return report(out, failure{failure_kind::read}, {"-", ""});
        return run_set(argv[2], assignment_lines(input->text()), false, out);
    }
    if (option == "--set" && argc >= 4)
        return run_set(argv[2], std::span<const char* const>(argv + 3, argv + argc), true, out);
    if (option == "--help" || option == "--version" || option == "--values" || option == "--set") {
        print_help(out);
        return -1;
    }
    return std::nullopt;
}

}  // namespace vantor
