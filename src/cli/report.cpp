#include "cli/report.hpp"

namespace vantor {

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
        std::fprintf(out, "Error in %s(%s)\n", about.operation, about.path.c_str());
        break;
    case failure_kind::write:
        std::fprintf(out, "fwrite(%s) error!\n", about.file);
        break;
    }
    return -1;
}

}  // namespace vantor
