#include "cli/modes.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "access/item_value.hpp"
#include "cli/banner.hpp"
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
    const result<std::uint64_t> stored = store_items(about.file, image, *change);
    return stored ? 0 : report(out, stored.error(), about);
}

// Output that could not be delivered makes a run fail.
int delivered(std::FILE* out, int status)
{
    const bool written = std::fflush(out) == 0 && !std::ferror(out);
    return written ? status : -1;
}

}  // namespace

int run_listing_mode(const char* file_name, std::FILE* out)
{
    auto file = open_data_file(file_name, file_use::listing);
    if (!file)
        return report(out, failure{failure_kind::open}, {file_name});
    const listing_result listing = print_listing(file->stream.get(), out);
    file->stream.reset();
    if (listing.failed)
        report(out, *listing.failed, {file_name});
    if (listing.has_table)
        print_declarations(out, listing.table);
    return listing.failed ? -1 : 0;
}

int run_item_mode(const char* file_name, const char* item_argument, std::FILE* out)
{
    // The first '=' splits path from value; later ones belong to the value.
    const std::string_view argument(item_argument);
    const std::size_t equals = argument.find('=');
    const bool write = equals != std::string_view::npos;
    result<file_image> loaded = load_file_image(file_name, write ? image_use::write : image_use::read);
    if (!loaded)
        return report(out, loaded.error(), {file_name, ""});
    const subject about{file_name, write ? "setdata" : "getdata", std::string(argument.substr(0, equals))};
    if (!write)
        return read_item(*loaded, about, out);
    return write_item(*loaded, about, std::string(argument.substr(equals + 1)), out);
}

int run(int argc, const char* const* argv, std::FILE* out)
{
    if (const auto status = run_option(argc, argv, out))
        return delivered(out, *status);
    print_banner(out);
    if (argc <= 1) {
        print_usage(out);
        return delivered(out, -1);
    }
    if (argc == 2)
        return delivered(out, run_listing_mode(argv[1], out));
    // Arguments after the item argument are never read.
    return delivered(out, run_item_mode(argv[1], argv[2], out));
}

}  // namespace vantor
