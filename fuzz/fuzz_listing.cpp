// Any byte string as a data file: the listing and the declarations must
// neither crash nor read or write out of bounds, and the declarations' work
// must stay within the bound that holds on every table: a constant times the
// table and the output. The listing of every value must hold what --values
// promises, and a file compared with itself is the same, with a copy of one
// byte changed not.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "access/file_diff.hpp"
#include "access/value_listing.hpp"
#include "listing/declarations.hpp"
#include "listing/listing.hpp"

namespace {

// The same bytes as --values lists them: every item inside the file, apart
// from the others, and named by a path that reads it.
void list_every_value(std::span<const std::uint8_t> bytes)
{
    const auto image = vantor::make_file_image(bytes);
    if (!image)
        return;
    std::vector<bool> taken(bytes.size() + 1, false);
    (void)vantor::list_values(*image, [&](std::string_view path, const vantor::item_location& item) {
        const vantor::region place = item.place();
        const auto read = vantor::resolve_item_path(*image, path);
        if (place.end() > bytes.size() || !read || read->start != item.start || read->size != item.size ||
            read->text != item.text)
            __builtin_trap();
        for (std::uint64_t at = place.start; at < place.start + std::max<std::uint64_t>(place.size, 1); ++at) {
            if (taken[at])
                __builtin_trap();
            taken[at] = true;
        }
    });
}

// Every byte is the header's, the table's or the data area's, and each is
// compared: a value, a stray byte, a field or a descriptor.
void compare_with_a_changed_copy(std::span<const std::uint8_t> bytes)
{
    const auto image = vantor::make_file_image(bytes);
    if (!image || bytes.empty())
        return;
    std::size_t told = 0;
    const auto count = [&](std::string_view, const vantor::item_location*, const vantor::item_location*) { ++told; };
    const auto same = vantor::compare_files(*image, *image, {}, count);
    if (same && !same->stopped && (!same->identical() || told != 0))
        __builtin_trap();
    std::vector<std::uint8_t> changed(bytes.begin(), bytes.end());
    changed[bytes[0] * 7919u % bytes.size()] ^= 0x5A;
    const auto other = vantor::make_file_image(changed);
    if (!other)
        return;
    const auto compared = vantor::compare_files(*image, *other, {}, count);
    if (compared && !compared->stopped && compared->identical())
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static std::FILE* sink = std::fopen("/dev/null", "w");
    std::FILE* in = std::tmpfile();
    if (!in)
        return 0;
    std::fwrite(data, 1, size, in);
    std::rewind(in);
    const vantor::listing_result listing = vantor::print_listing(in, sink);
    std::fclose(in);
    if (!listing.has_table)
        return 0;
    const vantor::declarations_effort effort = vantor::print_declarations(sink, listing.table);
    if (effort.work > vantor::work_per_unit * (listing.table.size() + effort.entries))
        __builtin_trap();
    list_every_value({data, size});
    compare_with_a_changed_copy({data, size});
    return 0;
}
