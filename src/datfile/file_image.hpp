// A data file as the item modes see it: its header and descriptor table,
// read, checked and converted to host order when it is loaded, and the open
// file, from which the bytes of the items asked for are read and into which
// they are stored. Nothing else of the data area is read, so an item costs
// what the header, the table and the item cost, whatever the file's size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "datfile/format.hpp"
#include "datfile/region.hpp"
#include "datfile/result.hpp"
#include "datfile/journal.hpp"
#include "datfile/table_reader.hpp"
#include "datfile/stream.hpp"

namespace vantor {

// From this many descriptors on, the table and the index over it take huge
// pages where the system has them: a path that goes far into a table fills
// them nearly whole, and page by page that costs more than the data.
inline constexpr std::uint32_t long_table = 32768;

// The descriptor table is read as the look-ups reach into it, in slices, so
// that a question answered near its start costs no more of a long table.
class file_image {
public:
    file_image(const dat_header& header, std::uint64_t size, stream_handle file, bool open_for_update);

    const dat_header& header() const { return header_; }
    std::uint32_t item_numb() const { return header_.item_numb; }
    std::uint32_t data_offset() const { return header_.data_offset; }
    // The file's length when it was opened.
    std::uint64_t size() const { return size_; }
    bool open_for_update() const { return open_for_update_; }

    // Reads the table at least as far as `wanted` records, or to its end;
    // returns how many records are read. Fewer than wanted, and fewer than
    // item_numb, only when a read failed; a later call tries again. What is
    // read is kept: the image stands for the file, however much of it is
    // in memory.
    std::uint32_t read_table(std::uint32_t wanted) const;
    std::uint32_t records_read() const { return records_read_; }
    // The table's memory, whose first records_read() records hold the
    // records as stored: converted only as they are looked at, and compared
    // with the file as they are.
    const unsigned char* table() const { return table_.get(); }
    // A record already read, in host order; and the fields a walk along a
    // member chain reads, alone.
    item_desc descriptor(std::uint32_t position) const { return host_order(record(position)); }
    std::uint16_t next_of(std::uint32_t position) const { return load_be<std::uint16_t>(record(position) + offsetof(item_desc, next)); }
    std::uint32_t size_of(std::uint32_t position) const { return load_be<std::uint32_t>(record(position) + offsetof(item_desc, size)); }
    std::uint8_t flag_of(std::uint32_t position) const { return record(position)[offsetof(item_desc, flag)]; }

    std::FILE* file() const { return file_.get(); }
    // The stream, for a store that writes through it and closes it.
    stream_handle release_file() { return std::move(file_); }

private:
    const unsigned char* record(std::uint32_t position) const { return table_.get() + std::size_t{desc_bytes} * position; }

    dat_header header_;                       // host order
    std::uint64_t size_;
    stream_handle file_;                      // unbuffered: each slice or item is one read or write
    bool open_for_update_;
    std::shared_ptr<unsigned char[]> table_;  // room for item_numb records, filled as read
    mutable std::uint32_t records_read_ = 0;
};

// New bytes for one item of the file.
struct stored_item {
    region place;
    std::vector<unsigned char> bytes;  // place.size of them
};

// New bytes for many items: each item's place and the bytes that its value
// gives, at most the place's size, which begin it; zeros fill the rest, as
// they pad a text. The given bytes are the caller's, who keeps them until
// the store ends, or else held here, one after another: a value is held
// once, however many items or however long.
struct stored_items {
    struct item {
        region place;
        const char* bytes;      // the caller's; none: held, from held_at
        std::uint64_t size;     // of the given bytes
        std::uint64_t held_at;
    };
    std::vector<item> items;
    std::string held;

    stored_items() = default;
    explicit stored_items(const stored_item& one) { add(one.place, std::string(one.bytes.begin(), one.bytes.end())); }

    std::string_view given(const item& of) const
    {
        return {of.bytes != nullptr ? of.bytes : held.data() + of.held_at, static_cast<std::size_t>(of.size)};
    }
    void add(region place, std::string_view given) { items.push_back({place, given.data(), given.size(), 0}); }
    void add(region place, const std::string& given)
    {
        items.push_back({place, nullptr, given.size(), held.size()});
        held += given;
    }
};

// Which item each stretch of the bytes to write takes its bytes from: the
// latest item over it. The stretches, in the order of the file, cover the
// runs of adjacent items exactly; items in the order of the file, apart from
// one another, are their own stretches, and none is listed.
struct store_plan {
    struct stretch {
        region place;
        std::size_t item;
    };
    std::vector<region> runs;
    std::vector<stretch> stretches;
    bool items_in_order = false;
};

enum class image_use { read, write };

// Loads the layout of a regular file opened and mended: a store later uses
// the same stream where it was opened for update. An empty file fails with
// alloc, a file shorter than its header or its table with read, a data area
// that would overlap the table with data_offset.
result<file_image> load_file_image(mended_file opened);

// The same from the file's name, opened with open_mended, for a write
// updatable where it can be. Only a regular file is opened (open): a FIFO
// or a device could block or never end.
result<file_image> load_file_image(const char* path, image_use use);

// The same from bytes in memory, through a temporary file: for the tests and
// the fuzz targets, which then run the code the tool runs.
result<file_image> make_file_image(std::span<const unsigned char> bytes);

// The bytes of `place`, which lies inside the file; fails with read. Also
// into room for them that the caller holds: false when the read fails.
result<std::vector<unsigned char>> read_bytes(const file_image& image, region place);
bool read_bytes(const file_image& image, region place, unsigned char* bytes);

// Writes each item's bytes at its place, in order, so that a later item wins
// where two overlap, and no other byte; adjacent items go out in one write.
// Returns how many bytes it wrote, once they are on the disk (sync).
// The file is the one `path` names now: the stream loaded while the name
// still names it, else the name opened anew for update (open when it cannot
// be). Nothing is written unless that file still holds the header and the
// descriptor table that were loaded and reaches every item's end (write), so
// a file replaced, rewritten or shortened since the load is left alone, and
// the file never grows. The image's stream is closed.
result<std::uint64_t> store_items(const char* path, file_image& image, const stored_items& items);

// A store of many writes, all or none across a crash: begun, the old bytes
// are in the journal on the disk and nothing is written yet; finished, the
// items are on the disk and the journal is gone.
class pending_store {
public:
    // Checks the file as store_items does, then writes its journal. Fails
    // as store_items does, or with no_journal. `items` stays the caller's
    // until the store ends.
    static result<pending_store> begin(const char* path, file_image& image, const stored_items& items);

    // Writes the items and syncs the file, then removes the journal; returns
    // the bytes written. On a failed write or sync the file is rolled back
    // from the journal (write, sync), or else left to the next run to mend
    // (journal_left).
    result<std::uint64_t> finish();
    // Removes the journal of a store that is not to happen; false when it
    // stays, for the next run to find.
    bool abandon() { return journal_.remove(); }

private:
    pending_store(stream_handle file, const stored_items& items, store_plan plan, journal begun)
        : file_(std::move(file)), items_(&items), plan_(std::move(plan)), journal_(std::move(begun))
    {
    }

    stream_handle file_;
    const stored_items* items_;  // the caller's, until the store ends
    store_plan plan_;
    journal journal_;
};

}  // namespace vantor
