// Everything the tool asks of the system beyond standard C++, in one place:
// files by name, their type and size, and 64-bit seeks. Names are UTF-8
// throughout; on Windows they become UTF-16 here, the one place that hands a
// name to the system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>

namespace vantor::platform {

struct file_status {
    bool regular;        // a regular file, not a directory, FIFO, device or socket
    std::uint64_t size;  // in bytes, for a regular file
};

// std::fopen by a UTF-8 name.
std::FILE* open_file(const char* name, const char* mode);

// What the name stands for, symbolic links followed; nothing when it names
// nothing that can be asked.
std::optional<file_status> status(const char* name);

// What the open stream reads or writes.
std::optional<file_status> status(std::FILE* file);

// Moves to `offset` bytes from the start, at any offset the system allows.
bool seek(std::FILE* file, std::uint64_t offset);

}  // namespace vantor::platform
