#include "cli/modes.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "access/item_value.hpp"
#include "cli/banner.hpp"
#include "cli/command_line.hpp"
#include "cli/options.hpp"
#include "cli/report.hpp"
#include "datfile/file_image.hpp"
#include "listing/declarations.hpp"
#include "listing/listing.hpp"
#include "platform/data_file.hpp"
#include "platform/platform.hpp"

namespace vantor {

namespace {

int read_item(const file_image& image, const subject& about, std::FILE* out)
{
    const result<std::string> value = getdata(image, about.path);
    if (!value)
        return report(out, value.error(), about);
    // A raw item shows up to its first zero byte.
    std::fprintf(out, "getdata(%s)=%s\n", about.path.c_str(), value->c_str());
    return 0;
}

int write_item(file_image& image, const subject& about, const std::string& value, std::FILE* out)
{
    // A value the system could not hand over as typed is stored as nothing
    // else.
    const result<stored_item> change =
        platform::exact_argument(value) ? setdata(image, about.path, value) : failure_kind::not_resolved;
    if (!change)
        return report(out, change.error(), about);
    // The value is echoed as typed, and delivered before the file is touched:
    // a result line that cannot be written stores nothing, so the exit status
    // tells the truth about the file.
    std::fprintf(out, "setdata(%s)=%s\n", about.path.c_str(), value.c_str());
    // The error flag too: a print longer than the stream's buffer can fail
    // inside fprintf, and fflush then has nothing left to fail on.
    if (std::fflush(out) != 0 || std::ferror(out))
        return -1;
    const result<std::uint64_t> stored = store_items(about.file, image, stored_items(*change));
    return stored ? 0 : report(out, stored.error(), about);
}

// Output that could not be delivered makes a run fail.
int delivered(std::FILE* out, int status)
{
    const bool written = std::fflush(out) == 0 && !std::ferror(out);
    return written ? status : -1;
}

int list_opened(const char* file_name, result<mended_file> opened, std::FILE* out)
{
    if (!opened)
        return report(out, opened.error(), {file_name});
    const listing_result listing = print_listing(opened->stream.get(), out);
    opened->stream.reset();
    if (listing.failed)
        report(out, *listing.failed, {file_name});
    if (listing.has_table)
        print_declarations(out, listing.table);
    return listing.failed ? -1 : 0;
}

struct item_argument {
    bool write;
    std::string path;
    std::string value;
};

// The first '=' splits path from value; later ones belong to the value.
item_argument split_item_argument(std::string_view argument)
{
    const std::size_t equals = argument.find('=');
    if (equals == std::string_view::npos)
        return {false, std::string(argument), {}};
    return {true, std::string(argument.substr(0, equals)), std::string(argument.substr(equals + 1))};
}

int run_opened_item(const char* file_name, const item_argument& item, result<mended_file> opened, std::FILE* out)
{
    if (!opened)
        return report(out, opened.error(), {file_name, ""});
    result<file_image> loaded = load_file_image(std::move(*opened));
    if (!loaded)
        return report(out, loaded.error(), {file_name, ""});
    const subject about{file_name, item.write ? "setdata" : "getdata", item.path};
    if (!item.write)
        return read_item(*loaded, about, out);
    return write_item(*loaded, about, item.value, out);
}

open_for item_use(const item_argument& item) { return item.write ? open_for::update_or_reading : open_for::reading; }

}  // namespace

int run_listing_mode(const char* file_name, std::FILE* out)
{
    return list_opened(file_name, open_first(file_name, open_for::listing, out), out);
}

int run_item_mode(const char* file_name, const char* item_argument, std::FILE* out)
{
    const auto item = split_item_argument(item_argument);
    return run_opened_item(file_name, item, open_first(file_name, item_use(item), out), out);
}

int run(int argc, const char* const* argv, std::FILE* out)
{
    using mode = command::mode;
    const command run = read_command_line(argc, argv);
    switch (run.what) {
    case mode::usage:
        print_banner(out);
        print_usage(out);
        return delivered(out, -1);
    case mode::listing: {
        auto opened = open_first(run.file, open_for::listing, out);
        print_banner(out);
        return delivered(out, list_opened(run.file, std::move(opened), out));
    }
    case mode::item: {
        const auto item = split_item_argument(run.item);
        auto opened = open_first(run.file, item_use(item), out);
        print_banner(out);
        return delivered(out, run_opened_item(run.file, item, std::move(opened), out));
    }
    case mode::values:
        return delivered(out, run_values(run, out));
    case mode::set:
    case mode::set_input:
        return delivered(out, run_set(run, out));
    case mode::diff:
        return delivered(out, run_diff(run, out));
    case mode::help:
        print_help(out);
        return delivered(out, 0);
    case mode::version:
        std::fputs("Vantor " VANTOR_VERSION "\n", out);
        return delivered(out, 0);
    case mode::misused:
        print_help(out);
        return delivered(out, -1);
    }
    return -1;
}

}  // namespace vantor
