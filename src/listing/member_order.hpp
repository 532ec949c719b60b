// The member order of the walks that hold few silent entries, which are all
// the walks of a well-formed table: the entries that a head's walk collects
// after it, silent ones included, sorted by offset with the wrap-around
// comparison, ties in chain order.
//
// Heads share walks. Heads that name one chain walk it alike; a head whose
// successor lies further along a walk sorted before walks a suffix of it; the
// heads on one loop each walk the rest of the loop. So the walk last sorted
// is kept, and a declaration whose walk lies within it, and is at least half
// of it, takes its entries from it in their order instead of sorting anew.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "datfile/chain_graph.hpp"

namespace vantor {

inline constexpr std::uint32_t half_circle = 0x80000000u;

// An entry of a walk: its node, the key it sorts by, and its place in the
// chain order of the walk it was collected in.
struct ordered_entry {
    std::uint32_t node;
    std::uint32_t key;
    std::uint32_t position;
};

// Sorts by key, keeping the order of ties: insertion for a few entries, else
// a radix sort with a pass per byte in which the keys differ. `sorted`
// counts the entries given.
void sort_by_key(std::vector<ordered_entry>& entries, std::vector<ordered_entry>& scratch, std::uint64_t& work,
                 std::uint64_t& sorted);

// Of entries keyed and sorted by unsigned offset: 2^31 when they lie within
// half the circle only once turned by half of it, so that keys less 2^31
// order them; else 0, also when they lie wider apart and form no order.
std::uint32_t rotation_of(std::span<const ordered_entry> by_offset);

class member_order {
public:
    // `offsets[node]` is the node's offset; `work` counts entries handled,
    // `sorted` those of the walks sorted whole.
    member_order(const chain_graph& graph, std::span<const std::uint32_t> offsets, std::uint64_t& work,
                 std::uint64_t& sorted);

    // The entries that the walk from `head` collects after it, keyed by
    // offset, in member order. Valid until the next call.
    std::span<const ordered_entry> after(std::uint32_t head);

private:
    // Which sorted walk holds a node, and its position in that walk.
    struct walk_place {
        std::uint32_t walk = 0;
        std::uint32_t position = 0;
    };

    bool in_sorted_walk(std::uint32_t node) const { return walk_ != 0 && places_[node].walk == walk_; }
    void sort_walk_from(std::uint32_t start);
    void take_from_sorted_walk(std::uint32_t start, std::uint32_t cut);
    void turn_loop_ties(std::uint32_t loop_start);

    const chain_graph& graph_;
    std::span<const std::uint32_t> offsets_;
    std::uint64_t& work_;
    std::uint64_t& sorted_entries_;

    // The walk from `start_`, the `walk_`th sorted (0: none yet), by unsigned
    // offset; its loop, if it has one, begins at position `loop_from_`.
    std::uint32_t walk_ = 0;
    std::uint32_t start_ = no_node;
    std::uint32_t loop_from_ = 0;
    std::vector<ordered_entry> sorted_;
    std::vector<walk_place> places_;
    // A declaration's entries when they are not `sorted_` as it stands: the
    // walk from `view_start_` less `view_cut_`, in member order.
    std::vector<ordered_entry> view_;
    std::uint32_t view_start_ = no_node;
    std::uint32_t view_cut_ = no_node;
    std::vector<ordered_entry> scratch_;
};

}  // namespace vantor
