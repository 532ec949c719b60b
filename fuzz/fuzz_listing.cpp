// Any byte string as a data file: the listing and the declarations must
// neither crash nor read or write out of bounds, and the declarations' work
// must stay within the bound that holds on every table: a constant times the
// table and the output.
#include <cstdint>
#include <cstdio>

#include "listing/declarations.hpp"
#include "listing/listing.hpp"

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
    return 0;
}
