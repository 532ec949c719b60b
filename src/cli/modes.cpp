#include "cli/modes.hpp"

#include <string>
#include <string_view>

#include "access/item_value.hpp"
#include "cli/banner.hpp"
#include "platform/data_file.hpp"
#include "datfile/file_image.hpp"
#include "platform/platform.hpp"
#include "listing/declarations.hpp"
#include "listing/listing.hpp"

namespace vantor {

namespace {

void report(std::FILE* out, const listing_result& listing)
{
    switch (listing.failure) {
    case listing_failure::none:
        break;
    case listing_failure::header_read:
        std::fprintf(out, "fread(fd) error!\n");
        break;
    case listing_failure::table_alloc:
        std::fprintf(out, "malloc() error!\n");
        break;
    case listing_failure::record_read:
        std::fprintf(out, "fread(id[%d]) error!\n", static_cast<int>(listing.failed_record));
        break;
    case listing_failure::data_offset:
        std::fprintf(out, "data offset (%08X) mismatch error!\n", static_cast<unsigned>(listing.table_end));
        break;
    }
}

// The message of a failure in the item modes; `operation` and `path` name
// what found no item.
int report(std::FILE* out, const failure& error, const char* file_name, const char* operation, const std::string& path)
{
    switch (error.kind) {
    case failure_kind::open:
        std::fprintf(out, "fopen(%s) error!\n", file_name);
        break;
    case failure_kind::alloc:
        std::fprintf(out, "malloc(%s) error!\n", file_name);
        break;
    case failure_kind::read:
        std::fprintf(out, "fread(%s) error!\n", file_name);
        break;
    case failure_kind::data_offset:
        std::fprintf(out, "data offset (%08X) mismatch error!\n", static_cast<unsigned>(error.table_end));
        break;
    case failure_kind::not_resolved:
        std::fprintf(out, "Error in %s(%s)\n", operation, path.c_str());
        break;
    case failure_kind::write:
        std::fprintf(out, "fwrite(%s) error!\n", file_name);
        break;
    }
    return -1;
}

int read_item(const file_image& image, const char* file_name, const std::string& path, std::FILE* out)
{
    const result<std::string> value = getdata(image, path);
    if (!value)
        return report(out, value.error(), file_name, "getdata", path);
    // A raw item shows up to its first zero byte.
    std::fprintf(out, "getdata(%s)=%s\n", path.c_str(), value->c_str());
    return 0;
}

int write_item(file_image& image, const char* file_name, const std::string& path, const std::string& value,
               std::FILE* out)
{
    // A value the system could not hand over as typed is stored as nothing
    // else.
    const result<region> changed =
        platform::exact_argument(value) ? setdata(image, path, value) : failure_kind::not_resolved;
    if (!changed)
        return report(out, changed.error(), file_name, "setdata", path);
    // The value is echoed as typed, and delivered before the file is touched:
    // a result line that cannot be written stores nothing, so the exit status
    // tells the truth about the file.
    std::fprintf(out, "setdata(%s)=%s\n", path.c_str(), value.c_str());
    // The error flag too: Windows' C runtime can fail the write inside
    // fprintf and still flush with success.
    if (std::fflush(out) != 0 || std::ferror(out))
        return -1;
    const result<region> stored = store_item(file_name, image, *changed);
    return stored ? 0 : report(out, stored.error(), file_name, "setdata", path);
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
    if (!file) {
        std::fprintf(out, "fopen(%s) error!\n", file_name);
        return -1;
    }
    const listing_result listing = print_listing(file->stream.get(), out);
    file->stream.reset();
    report(out, listing);
    if (listing.has_table)
        print_declarations(out, listing.table);
    return listing.failure == listing_failure::none ? 0 : -1;
}

int run_item_mode(const char* file_name, const char* item_argument, std::FILE* out)
{
    result<file_image> loaded = load_file_image(file_name);
    if (!loaded)
        return report(out, loaded.error(), file_name, "", "");
    file_image& image = *loaded;
    normalize_header(image);
    normalize_descriptors(image);

    // The first '=' splits path from value; later ones belong to the value.
    const std::string_view argument(item_argument);
    const std::size_t equals = argument.find('=');
    if (equals == std::string_view::npos)
        return read_item(image, file_name, std::string(argument), out);
    return write_item(image, file_name, std::string(argument.substr(0, equals)),
                      std::string(argument.substr(equals + 1)), out);
}

int run(int argc, const char* const* argv, std::FILE* out)
{
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
