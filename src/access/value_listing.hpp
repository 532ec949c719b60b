// Every value of a file under the path that reads and writes it, and many
// values changed at once: the two halves of a unit's settings copied from
// one file to another.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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

// What a listing meets beside the items it lists, for a reader that must
// account for every byte: the items it leaves out over bytes listed before,
// and the structures and elements it walks, each with the data-area bytes
// its type's size spans.
struct walk_observer {
    item_sink passed_over;
    std::function<void(std::string_view path, std::uint64_t offset, std::uint64_t size)> entered;
};

// The listing of the parts at or under each of `parts` in turn, as the
// whole listing walks them: a structure's members, an array member's
// elements, a leaf alone; bytes listed under one part are not listed again
// under a later one. Fails with not_resolved where a part leads nowhere
// (item_resolver::follow_part tells which), and as list_values does.
result<listing_tally> list_values(const file_image& image, const item_sink& each, std::span<const std::string_view> parts,
                                  const walk_observer* observer = nullptr);

// The bytes of items, read through one window of the file that moves with
// the items asked for: memory stays at the window's size, whatever the
// sizes of the file and its items. Items in the order of the file share
// reads, which grow as they keep coming in order.
class data_window {
public:
    explicit data_window(const file_image& image) : image_(image) {}

    // Calls `each` with the bytes of `place`, which lies inside the file, in
    // order, in pieces of at most the window's size; false when a read fails.
    template <typename Each>
    bool read(region place, Each&& each)
    {
        for (std::uint64_t done = 0; done < place.size;) {
            const std::uint64_t at = place.start + done;
            if (at < start_ || at >= start_ + held_) {
                if (!fill(at, place.size - done))
                    return false;
            }
            const std::uint64_t from = at - start_;
            const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(place.size - done, held_ - from));
            each(std::string_view(reinterpret_cast<const char*>(buffer_.get()) + from, count));
            done += count;
        }
        return true;
    }

private:
    static constexpr std::uint64_t capacity = std::uint64_t{1} << 20;
    static constexpr std::uint64_t first_read = 4096;
    // Reads that follow one another grow to this; a long item takes the
    // whole window.
    static constexpr std::uint64_t longest_read_ahead = std::uint64_t{256} << 10;

    // The window from `at` on: at least `wanted` bytes or as many as it holds,
    // and no byte past the file's end.
    bool fill(std::uint64_t at, std::uint64_t wanted);

    const file_image& image_;
    // Allocated once and never cleared: only the pages a read fills are
    // touched, which costs more than the read itself.
    std::unique_ptr<unsigned char[]> buffer_;
    std::uint64_t held_ = 0;
    std::uint64_t start_ = 0;
    std::uint64_t read_ahead_ = first_read;
};

// A number item's value, from its bytes.
std::int32_t number_value(const item_location& item, std::string_view bytes);

// A text value as a listing shows it, on one line, piece by piece: its
// trailing zero bytes left out (a store pads with them), a backslash as two
// and any byte but a printable ASCII character as \xHH.
class listed_text {
public:
    // Appends to `text` what `piece` shows after the pieces before it.
    void append(std::string& text, std::string_view piece);

private:
    std::uint64_t zeros_ = 0;  // zero bytes not shown yet: trailing ones, unless more follows
};

// The bytes that `text`, in that form, stands for; nothing for a backslash
// that starts no \\ or \xHH.
std::optional<std::string> unescaped(std::string_view text);

// Adds the bytes that one assignment of many stores to `items`: `value` in
// the form a listing shows, stored by the write mode's rules into the item
// that `path` names; returns that item's place. `value`'s bytes stay the
// caller's until the store: `items` may hold a view of them. One resolver
// serves all the assignments of a file. Fails as resolve_item_path does, and with
// not_resolved for a malformed escape; `items` is then as it was.
result<region> add_assignment(stored_items& items, item_resolver& resolver, std::string_view path,
                              std::string_view value);

}  // namespace vantor
