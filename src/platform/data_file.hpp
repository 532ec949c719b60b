// The one way a data file is opened, by its name as typed: the listing reads
// any stream, the load and the store only a regular file. A regular file is
// locked as it is opened: shared for a read, exclusive for an update, so
// that a run that reads never sees half of another's change.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>

#include "platform/platform.hpp"

namespace vantor {

struct file_closer {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

enum class file_use {
    listing,  // read front to back ("rb"): a FIFO or a device will do
    load,     // read whole ("rb"): a regular file
    update,   // written in place ("r+b"): a regular file
};

// How long a run waits for another to let go of its file, so that a script
// never hangs on one that does not.
inline constexpr int lock_wait_milliseconds = 5000;

struct data_file {
    file_handle stream;
    std::uint64_t size = 0;  // a regular file's, when it was opened
    bool regular = false;
    // Not held when busy: another run kept the file all of the wait.
    platform::lock_outcome lock = platform::lock_outcome::unsupported;
};

// Nothing when `name` cannot be opened for `use`. The load and the update
// ask what the name stands for before they open it, so that a FIFO cannot
// block them, and ask the opened stream again, which is what they will read.
std::optional<data_file> open_data_file(const char* name, file_use use);

}  // namespace vantor
