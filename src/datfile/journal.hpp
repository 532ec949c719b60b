// A change of many items, made whole or not at all across a crash. Before
// the first item is written, the bytes that the change replaces go to a
// journal beside the data file, on the disk; the journal is removed once the
// items are on the disk too. A run that finds a whole journal, left by a run
// that did not finish, rolls the file back with it.
//
// The journal is the data file's name followed by ".vantor-journal"; all its
// numbers are big-endian:
//   "VANTORJ1"                                     8 bytes
//   the data file's size                           8
//   the data file's identity: device, index        8 + 8
//   R, the number of ranges changed                8
//   each range: its start and its size             16 × R
//   the ranges' old bytes, one after another
//   FNV-1a (64 bits) of every byte before it       8
// A journal whose length, sizes or sum do not agree was cut short by a
// crash while it was written, before any item was: it is removed.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datfile/region.hpp"
#include "datfile/result.hpp"
#include "datfile/stream.hpp"

namespace vantor {

std::string journal_name(std::string_view file_name);

// Whether a journal, whole or not, lies beside the file.
bool journal_beside(const char* file_name);

// What a run found beside its file and did about it.
enum class mending {
    none,
    rolled_back,         // a whole journal: the file is as it was before that change
    removed_unfinished,  // a journal cut short: nothing of its change had been written
    removed_foreign,     // a journal of another file, or of this one at another length
};

// Rolls the file back with the journal beside it, if there is one, through
// `file`, open for update and locked exclusively: the old bytes written and
// synced, then the journal removed and the folder synced. Fails with
// journal_left, and leaves the journal, when any of that fails.
result<mending> mend(const char* file_name, std::FILE* file);

// A data file opened, locked and mended.
struct mended_file {
    stream_handle stream;
    std::uint64_t size;  // a regular file's
    bool regular;
    bool updatable;  // opened for update
    mending found;
};

// Opens the file for `use` (open) and waits for its lock (locked); where a
// run left a journal beside it, mends it first. A reader lets go of its
// shared lock for that, mends under an exclusive one, and opens anew.
result<mended_file> open_mended(const char* name, open_for use);

// A change begun: its journal is on the disk.
class journal {
public:
    // Writes the bytes of `ranges` of `file`, as they are now, into a new
    // journal beside it, and syncs it and its folder. Fails with no_journal
    // where no journal can be made (a folder the run cannot write, one left
    // already), or with read.
    static result<journal> begin(const char* file_name, std::FILE* file, std::span<const region> ranges);

    // The change is on the disk, or was never written: the journal goes,
    // with its folder synced. False when it stays.
    bool remove();
    // Writes the old bytes back through `file` and syncs it.
    bool roll_back(std::FILE* file) const;

private:
    journal(std::string name, stream_handle stream, std::vector<region> ranges);

    std::string name_;
    stream_handle stream_;  // open for reading back, until removed
    std::vector<region> ranges_;
};

}  // namespace vantor
