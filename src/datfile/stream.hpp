// An open data file as the parts above the format hold it.
#pragma once

#include <cstdio>
#include <memory>

namespace vantor {

using stream_handle = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

// What a run opens its file for: the listing reads any stream, a read and
// an update only a regular file; the write mode updates a file where it
// can and else reads it, and fails only when it stores.
enum class open_for { listing, reading, update, update_or_reading };

}  // namespace vantor
