// The first half of the listing mode: the header and the descriptor table,
// read record by record and printed as a C comment.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

#include "datfile/format.hpp"
#include "datfile/result.hpp"

namespace vantor {

struct listing_result {
    // Nothing when the listing succeeded. Otherwise read (the file holds fewer
    // than 28 bytes, or, with the record, ends inside the table), alloc
    // (item_numb is 0 or too large for a table) or data_offset (the data area
    // does not begin right after the table).
    std::optional<failure> failed;
    // Whether a table exists for the declarations; it does once item_numb
    // passed the allocation test, even if no record could be read.
    bool has_table = false;
    // The descriptors in host order, up to and including a record whose read
    // failed part-way; the records after it would be all zero and no look-up
    // could find them, so they are not kept.
    std::vector<item_desc> table;
};

// Reads from `in`, positioned at the start of the file, and prints the
// comment to `out`. Prints no message: the caller reports the failure.
listing_result print_listing(std::FILE* in, std::FILE* out);

}  // namespace vantor
