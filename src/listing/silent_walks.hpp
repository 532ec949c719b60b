// Walks collected without their silent entries, and what decides their order
// and union tests then. Only a malformed table has silent entries on a chain
// (a sibling link that names no member, structure or variable), and a hostile
// one may make many heads walk one long stretch of them while each prints a
// few lines. A walk whose silent entries far outnumber its printed ones is
// therefore collected without them; what they decide is read from summaries:
// - per node, a census of what a walk with that node as its head collects
//   after it: how many entries are silent, and the least and greatest
//   offsets in each half of the 32-bit circle, which give the walk's
//   rotation and the head's union test;
// - for the union test of a structure entry, answers worked out before the
//   first declaration prints for every such walk that begins on a tail: a
//   depth-first walk of each tree of chains, from where its chains end or
//   enter a loop outwards, keeps the silent offsets from the current node on
//   in a Fenwick tree (a short tail's in a list); each loop keeps its own
//   grouped by offset, and a walk round a loop alone is answered as it
//   prints;
// - per loop, its printed entries sorted once: a walk into it merges them,
//   ties turned to where it entered, with its tail's instead of sorting.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "datfile/chain_graph.hpp"
#include "listing/chain_skipper.hpp"
#include "listing/member_order.hpp"

namespace vantor {

// Entries of no member, structure or variable kind print nothing, yet they
// count in the member order.
constexpr bool prints_nothing(std::uint8_t kind)
{
    return kind != KIND_MEMBER && kind != KIND_STRUCT && kind != KIND_VARIABLE;
}

// The offsets of a set of entries as far as their order needs them: for
// each half of the circle (below 2^31, from 2^31 on), the least and the
// greatest, the least above the greatest when the half holds none, and
// whether the least occurs twice.
struct offset_extent {
    std::uint32_t least[2] = {UINT32_MAX, UINT32_MAX};
    std::uint32_t most[2] = {0, 0};
    bool least_twice[2] = {false, false};

    bool holds(int half) const { return least[half] <= most[half]; }
    void add(std::uint32_t offset);
    void add(const offset_extent& other);
    // 0 or 2^31, as rotation_of() gives it for the set.
    std::uint32_t rotation() const;
    // Whether the first two keys in the rotation's order are equal.
    bool first_twice(std::uint32_t rotation) const;
};

// What a walk collects after its head.
struct walk_census {
    offset_extent offsets;
    std::uint32_t silent = 0;
};

// A walk collected without its silent entries.
struct sparse_walk {
    std::vector<ordered_entry> printed;  // keyed by offset less the rotation, in member order
    std::vector<bool> opens_union;       // per printed entry, for a structure entry
    bool head_opens_union = false;
};

class silent_walks {
public:
    // `kinds[node]` is the node's kind; `heads` every head in print order.
    silent_walks(const chain_graph& graph, std::span<const std::uint32_t> offsets, std::span<const std::uint8_t> kinds,
                 std::span<const std::uint32_t> heads, std::uint64_t& work, std::uint64_t& sorted);

    // Whether some chain passes a silent entry: otherwise no walk holds one.
    static bool needed(const chain_graph& graph, std::span<const std::uint8_t> kinds);

    // Whether the walk from `head` is collected without its silent entries:
    // they are more than twice its printed entries, and a few more.
    bool sparse(std::uint32_t head) const;

    // The walk from a sparse head. Valid until the next call.
    const sparse_walk& after(std::uint32_t head);

private:
    // Where the silent entries of a walk lie, for its union tests: a tail
    // whose entries the Fenwick tree holds, and the loop it goes round.
    struct walk_place {
        bool tail = false;
        std::uint32_t loop = no_node;
        std::uint32_t loop_end = 0;   // the loop part ends before this index
        std::uint32_t cut = no_node;  // the index of a silent head on the loop, left out
    };
    struct silent_offset {
        std::uint32_t rank;
        std::uint32_t count;
    };
    struct loop_span {
        std::uint32_t begin;  // the place of its first node
        std::uint32_t length;
        std::uint32_t printed;  // where its printed entries begin in loop_printed_
    };
    struct loop_entry {
        std::uint32_t loop;
        std::uint32_t rank;
        std::uint32_t index;
        auto operator<=>(const loop_entry&) const = default;
    };

    void collect(std::uint32_t head, std::uint32_t rotation, bool sorted);
    bool placed_on_loop(std::uint32_t node) const;
    void merge_loop(std::uint32_t entry, std::uint32_t cut, std::uint32_t rotation);
    bool holds_structure() const;

    void work_out_unions(std::span<const std::uint32_t> heads);
    std::vector<bool> nodes_walked_from(std::span<const std::uint32_t> heads);
    void rank_silent_offsets(const std::vector<bool>& walked);
    void group_loop_offsets(const std::vector<bool>& walked);
    void place_structure_offsets(const std::vector<bool>& walked);
    void walk_chain_trees(const std::vector<bool>& walked, std::span<const std::uint32_t> asking);
    void answer(std::uint32_t head, const walk_place& place);
    bool opens_union(std::size_t at, std::uint32_t rotation, const walk_place& place);

    std::uint32_t loop_of(std::uint32_t node) const;
    std::uint32_t loop_index(std::uint32_t node) const;
    walk_place loop_walk(std::uint32_t entry, std::uint32_t cut) const;
    std::optional<std::uint32_t> rank_of(std::uint32_t node) const;
    std::pair<std::uint32_t, std::uint32_t> loop_group(std::uint32_t loop, std::uint32_t rank) const;
    std::uint32_t tail_count(std::uint32_t rank) const;
    std::uint32_t tail_below(std::uint32_t rank) const;
    std::uint32_t loop_count(std::uint32_t first, std::uint32_t last, std::uint32_t from, std::uint32_t to) const;
    std::uint32_t loop_ties(std::uint32_t node, std::uint32_t from, std::uint32_t to) const;
    std::optional<silent_offset> tail_first(std::uint32_t low, std::uint32_t high) const;
    std::optional<silent_offset> next_on_short_tail(std::uint32_t key) const;
    std::optional<silent_offset> loop_first(std::uint32_t loop, std::uint32_t cut, std::uint32_t low, std::uint32_t high) const;
    template <typename First>
    std::optional<silent_offset> next_in_turn(First first, std::uint32_t above, std::uint32_t offset,
                                              std::uint32_t rotation) const;
    std::optional<silent_offset> next_silent(std::uint32_t node, const walk_place& place, std::uint32_t rotation);

    const chain_graph& graph_;
    std::span<const std::uint32_t> offsets_;
    std::span<const std::uint8_t> kinds_;
    std::uint64_t& work_;
    std::uint64_t& sorted_;
    std::vector<walk_census> census_;
    // Passes the silent nodes, so that a walk meets only what it prints.
    chain_skipper printing_;

    // The union tests of the sparse walks that begin on a tail, in the order
    // of their structure entries, from where its head's answers begin; heads
    // that name one chain share them. By head.
    std::vector<bool> answers_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> answers_begin_;
    // The distinct silent offsets of the walks asked about, ascending; per
    // node its rank among them, and per structure entry off a loop how many
    // silent entries after it share its offset (up to 2).
    std::vector<std::uint32_t> keys_;
    std::vector<std::uint32_t> rank_;
    std::vector<std::uint8_t> ties_after_;
    // The loops' nodes, one loop after another, each round from the first
    // met; per node its place there, or no_node. Every loop's silent
    // entries, by loop, rank and index.
    std::vector<loop_span> loops_;
    std::vector<std::uint32_t> loop_place_;
    std::vector<loop_entry> loop_entries_;
    // Every loop's printed entries, by offset, then index (as position).
    std::vector<ordered_entry> loop_printed_;
    // Counts of the silent ranks on the tail being walked, as a Fenwick tree.
    std::vector<std::uint32_t> fenwick_;
    // The same ranks in the order met; while they are few, read directly.
    static constexpr std::size_t few_on_tail = 16;
    std::vector<std::uint32_t> tail_ranks_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> tail_keys_;  // key in the rotation's order, rank
    // Per structure entry walked: how many keys lie at or below its offset;
    // on a loop, where the loop's silent entries of its offset stand in
    // loop_entries_, and the first silent offset after it round the loop,
    // by rotation, once asked. The keys below 2^31 number split_.
    static constexpr std::uint32_t unknown_rank = UINT32_MAX, no_rank = UINT32_MAX - 1;
    std::vector<std::uint32_t> above_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> loop_ties_;
    std::vector<silent_offset> loop_next_;
    std::uint32_t split_ = 0;

    // The last walk collected: from `walk_start_`, for every head off a loop
    // whose successor that is.
    sparse_walk walk_;
    std::uint32_t walk_start_ = no_node;
    std::vector<ordered_entry> scratch_;
    std::vector<ordered_entry> merged_;
};

}  // namespace vantor
