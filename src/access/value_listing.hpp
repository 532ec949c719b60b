// Every value of a file under the path that reads and writes it, and many
// values changed at once: the two halves of a unit's settings copied from
// one file to another.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "access/item_path.hpp"
#include "datfile/file_image.hpp"
#include "datfile/result.hpp"

namespace vantor {

// What a listing left out, beside what it listed.
struct listing_tally {
    std::uint64_t listed = 0;
    std::uint64_t overlapping = 0;  // items over bytes listed before: union alternatives and the like
    std::uint64_t too_deep = 0;     // structures nested deeper than max_listed_depth, not walked
    std::uint64_t unreached = 0;    // descriptors that no path listed passes
    bool stopped = false;           // the work allowed for the output so far ran out
};

using item_sink = std::function<void(std::string_view path, const item_location& item)>;

// Paths of at most this many tokens are listed, so that no path is longer
// than a few hundred characters and the listing of a file of D bytes of
// data no longer than some 600 × (D + 1) characters.
inline constexpr std::uint32_t max_listed_depth = 32;

// Calls `each` for every item that a path names, under that path, in the
// order of the walks that resolve paths: depth first, each chain in its
// links' order. Left out are items that overlap an item listed before;
// types inside themselves; structures more than max_listed_depth deep;
// array elements from the first that starts past
// the file's end or whose offset passes 4 GiB, and all but the first of an
// array whose elements lie 0 bytes apart; structures and elements whose
// first byte is listed already. The listing stops when its steps exceed a
// constant times the descriptors and the text listed so far. Fails with read
// when the table cannot be read whole.
result<listing_tally> list_values(const file_image& image, const item_sink& each);

// The bytes of items in the data area, read a block at a time and kept:
// a listing that goes through a file once reads each block once.
class data_blocks {
public:
    explicit data_blocks(const file_image& image) : image_(image) {}

    // The bytes of `place`, which lies inside the file; nothing when a read
    // fails.
    std::optional<std::string_view> bytes(region place);

private:
    static constexpr std::uint64_t block = std::uint64_t{1} << 20;

    const unsigned char* block_at(std::uint64_t index);

    const file_image& image_;
    // Blocks of the file from the data area's start, by index, in order; and
    // the one asked for last, which the next item most likely lies in.
    std::vector<std::pair<std::uint64_t, std::vector<unsigned char>>> blocks_;
    std::uint64_t last_index_ = UINT64_MAX;
    const unsigned char* last_block_ = nullptr;
    std::string joined_;  // an item across blocks
};

// A value as a listing shows it, on one line: a number as the read mode
// shows it; text with its trailing zero bytes left out (a store pads with
// them), a backslash as \\ and any byte but a printable ASCII character
// as \xHH, appended to `text`.
std::int32_t number_value(const item_location& item, std::string_view bytes);
void append_listed_text(std::string& text, std::string_view bytes);

// The bytes that `text`, in that form, stands for; nothing for a backslash
// that starts no \\ or \xHH.
std::optional<std::string> unescaped(std::string_view text);

// Adds the bytes that one assignment of many stores to `items`: `value` in
// the form a listing shows, stored by the write mode's rules into the item
// that `path` names; returns that item's place. One resolver serves all the
// assignments of a file. Fails as resolve_item_path does, and with
// not_resolved for a malformed escape; `items` is then as it was.
result<region> add_assignment(stored_items& items, item_resolver& resolver, std::string_view path,
                              std::string_view value);

}  // namespace vantor
