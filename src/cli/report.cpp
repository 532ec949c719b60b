#include "cli/report.hpp"

#include "access/number.hpp"
#include "platform/data_file.hpp"

namespace vantor {

namespace {

void print_reason(std::FILE* out, const failure& error, const subject& about)
{
    const auto value = static_cast<int>(about.value.size());
    const char* text = about.value.data();
    const auto item_size = static_cast<unsigned long long>(error.item_size);
    switch (error.fault) {
    case value_fault::no_value:
        std::fputs("the assignment has no '='", out);
        break;
    case value_fault::not_exact:
        std::fputs("the value holds a character that the system cannot hand over", out);
        break;
    case value_fault::bad_escape:
        std::fprintf(out, "\"%.*s\" holds a backslash that begins neither \\\\ nor \\xHH", value, text);
        break;
    case value_fault::not_a_number:
        std::fprintf(out, "\"%.*s\" is not a decimal number", value, text);
        break;
    case value_fault::out_of_range: {
        const number_range range = range_for(error.item_size);
        std::fprintf(out, "%.*s does not fit a %llu-byte item (%lld to %lld)", value, text, item_size,
                     static_cast<long long>(range.low), static_cast<long long>(range.high));
        break;
    }
    case value_fault::too_long:
        std::fprintf(out, "%llu bytes do not fit a %llu-byte item", static_cast<unsigned long long>(error.text_size),
                     item_size);
        break;
    case value_fault::none:
        std::fputs("no item has this path", out);
        break;
    }
}

}  // namespace

// The one message of a failure. The listing names the stream it reads "fd",
// a record by its index and its table nothing; the item modes name the file.
int report(std::FILE* out, const failure& error, const subject& about)
{
    const bool listing = about.operation == nullptr;
    switch (error.kind) {
    case failure_kind::open:
        std::fprintf(out, "fopen(%s) error!\n", about.file);
        break;
    case failure_kind::alloc:
        std::fprintf(out, "malloc(%s) error!\n", listing ? "" : about.file);
        break;
    case failure_kind::read:
        if (listing && error.record)
            std::fprintf(out, "fread(id[%d]) error!\n", static_cast<int>(*error.record));
        else
            std::fprintf(out, "fread(%s) error!\n", listing ? "fd" : about.file);
        break;
    case failure_kind::data_offset:
        std::fprintf(out, "data offset (%08X) mismatch error!\n", static_cast<unsigned>(error.table_end));
        break;
    case failure_kind::not_resolved:
    case failure_kind::refused:
        std::fprintf(out, "Error in %s(%s)", about.operation, about.path.c_str());
        if (about.with_reason) {
            std::fputs(": ", out);
            print_reason(out, error, about);
        }
        std::fputc('\n', out);
        break;
    case failure_kind::write:
        std::fprintf(out, "fwrite(%s) error!\n", about.file);
        break;
    case failure_kind::sync:
        std::fprintf(out, "fsync(%s) error!\n", about.file);
        break;
    case failure_kind::locked:
        std::fprintf(out, "lock(%s) error! another run held the file for %d s\n", about.file,
                     lock_wait_milliseconds / 1000);
        break;
    case failure_kind::no_journal:
        std::fprintf(out, "journal(%s) error! none can be made beside the file, so nothing was stored\n", about.file);
        break;
    case failure_kind::journal_left:
        std::fprintf(out, "journal(%s) error! an unfinished change is left; a run that can write the file rolls it back\n",
                     about.file);
        break;
    }
    return -1;
}

result<mended_file> open_first(const char* file_name, open_for use, std::FILE* out)
{
    result<mended_file> opened = open_mended(file_name, use);
    if (!opened)
        return opened;
    const std::string journal = journal_name(file_name);
    switch (opened->found) {
    case mending::none:
        break;
    case mending::rolled_back:
        std::fprintf(out, "# rolled back an unfinished change with %s\n", journal.c_str());
        break;
    case mending::removed_unfinished:
        std::fprintf(out, "# removed %s, cut short before its change began\n", journal.c_str());
        break;
    case mending::removed_foreign:
        std::fprintf(out, "# removed %s, made for another file\n", journal.c_str());
        break;
    }
    return opened;
}

}  // namespace vantor
