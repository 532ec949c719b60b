// Two files compared by what their bytes mean: the values that differ, path
// by path, and where bytes that no listed value holds differ, so that a
// reader knows whether the files are the same byte for byte.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "access/item_path.hpp"
#include "access/value_listing.hpp"
#include "datfile/file_image.hpp"
#include "datfile/result.hpp"

namespace vantor {

// A data-area byte that differs outside every listed value, and the item
// around it: an item the listing left out over bytes listed before, else
// the narrowest structure or element walked that spans it, else none.
struct stray_byte {
    std::uint64_t offset;
    std::string around;
    bool left_out = false;
};

struct file_comparison {
    std::vector<const char*> header_fields;  // the header's fields that differ, by name
    std::uint32_t descriptors[2] = {0, 0};   // A's and B's
    std::uint64_t descriptors_differing = 0; // of the places both tables hold
    std::vector<std::uint16_t> differing_ids;  // the first few, as B names them
    std::uint64_t stray = 0;                 // data-area bytes that differ outside the values
    std::vector<stray_byte> first_stray;
    std::uint64_t between = 0;               // bytes between the table and the data area that differ
    std::uint64_t sizes[2] = {0, 0};
    bool layouts_differ = false;  // headers, tables or lengths: the same paths may name other bytes
    bool stopped = false;         // a listing ran out of work before its end
    bool values_differ = false;

    bool identical() const
    {
        return header_fields.empty() && descriptors_differing == 0 && descriptors[0] == descriptors[1] && stray == 0 &&
               between == 0 && sizes[0] == sizes[1] && !values_differ;
    }
};

// How many places the comparison names of each kind.
inline constexpr std::size_t first_few = 5;

// A path whose values differ: its item in A and in B, or null in the file
// that lists no such path.
using difference_sink = std::function<void(std::string_view path, const item_location* a, const item_location* b)>;

// Calls `each` for every path that either file's listing holds whose values
// differ, in B's order, with A's own paths where they fall in A's order.
// Paths compare by path, whatever bytes they name: values compare as the
// listing shows them. Bytes compare outside the values only where both data
// areas hold them; a difference in length is the sizes'. With `parts`, the
// listings are those of the parts (a part one file lacks is the other's
// alone), and only the values compare. A listing that stops stops the
// comparison there.
// Memory: the two listings' own where the files share their layout (their
// headers, tables and lengths); else also A's paths, held to be met again.
result<file_comparison> compare_files(const file_image& a, const file_image& b, std::span<const std::string_view> parts,
                                      const difference_sink& each);

}  // namespace vantor
