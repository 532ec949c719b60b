// Walks taken without their silent entries, and what decides their order and
// their union tests then. Only a malformed table has silent entries on a
// chain (a sibling link that names no member, structure or variable), and a
// hostile one may make many heads walk one long stretch of them while each
// prints a few lines. A walk whose silent entries far outnumber its printed
// ones is therefore collected without them; what they decide is read from
// summaries instead:
// - per node, a census of what a walk with that node as its head collects
//   after it: how many entries are silent, how many are structures, and the
//   least and greatest offsets in each half of the 32-bit circle, which give
//   the walk's rotation and the head's union test;
// - an index of silent offsets along the chains, for the union test of a
//   structure entry, built the first time a declaration needs it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
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
// greatest, and whether the least occurs twice.
struct offset_extent {
    struct half {
        bool holds = false;
        bool least_twice = false;
        std::uint32_t least = 0;
        std::uint32_t most = 0;
    };
    half halves[2];

    void add(std::uint32_t offset);
    void add(const offset_extent& other);
    // 0 or 2^31, as rotation_of() gives it for the set.
    std::uint32_t rotation() const;
    // Whether the first two keys in the rotation's order are equal.
    bool least_twice(std::uint32_t rotation) const;
};

// What a walk collects after its head.
struct walk_census {
    offset_extent offsets;
    std::uint32_t silent = 0;
    std::uint32_t structures = 0;
};

// Silent offsets along the chains, over the nodes that some walks visit: a
// persistent tree of counts per node. A node off any loop holds the silent
// offsets of everything its walk visits; the nodes of a loop, cut open at its
// first node, those from themselves to the cut. Every set a union test asks
// about is then a sum of at most three trees.
class silent_index {
public:
    // `visited` marks the nodes to index, and everything their walks visit.
    silent_index(const chain_graph& graph, std::span<const std::uint32_t> offsets, const std::vector<bool>& silent,
                 const std::vector<bool>& visited, std::uint64_t& work);

    struct found {
        std::uint32_t offset;
        std::uint32_t count;
    };

    // How many silent entries of the walk from `head` have this offset and
    // come after `entry`, one of its entries, in chain order.
    std::uint32_t count_after(std::uint32_t head, std::uint32_t entry, std::uint32_t offset) const;
    // The silent offset of the walk from `head` that comes first after
    // `offset` in the rotation's order, and how many entries have it.
    std::optional<found> next_after(std::uint32_t head, std::uint32_t offset, std::uint32_t rotation) const;

private:
    struct tree_node {
        std::uint32_t left = 0;
        std::uint32_t right = 0;
        std::uint32_t count = 0;
    };
    // Trees added or taken away; tree 0 is empty.
    struct tree_sum {
        std::uint32_t tree[3] = {};
        int sign[3] = {};
        int terms = 0;

        void add(std::uint32_t root, int s) { tree[terms] = root, sign[terms++] = s; }
    };

    std::uint32_t insert(std::uint32_t root, std::uint32_t rank, std::uint32_t low, std::uint32_t high);
    std::uint32_t loop_tree(std::uint32_t loop_node, std::uint32_t index) const;
    std::uint32_t reached_tree(std::uint32_t node) const;
    tree_sum reached_from(std::uint32_t node) const;
    tree_sum loop_arc(std::uint32_t loop_node, std::uint32_t from, std::uint32_t to) const;
    tree_sum walk_of(std::uint32_t head) const;
    tree_sum after_entry(std::uint32_t head, std::uint32_t entry) const;
    std::uint32_t count(const tree_sum& sum, std::uint32_t rank) const;
    std::optional<found> first_present(const tree_sum& sum, std::uint32_t low, std::uint32_t high) const;
    std::optional<found> first_present(const std::uint32_t (&trees)[3], const tree_sum& sum, std::uint32_t low,
                                       std::uint32_t high, std::uint32_t from, std::uint32_t to) const;

    const chain_graph& graph_;
    std::uint64_t& work_;
    std::vector<std::uint32_t> keys_;  // the distinct silent offsets, ascending: ranks
    std::vector<std::uint32_t> root_;
    // Per loop node: its place in the loop, and where the loop's nodes begin
    // in loop_nodes_. Per other node: the loop node its walk enters.
    std::vector<std::uint32_t> loop_index_;
    std::vector<std::uint32_t> loop_begin_;
    std::vector<std::uint32_t> loop_nodes_;
    std::vector<std::uint32_t> entry_;
    std::vector<tree_node> pool_;
};

// A walk collected without its silent entries.
struct sparse_walk {
    std::vector<ordered_entry> printed;  // keyed by offset less the rotation, in member order
    std::vector<bool> opens_union;       // per printed entry, for a structure entry
    bool head_opens_union = false;
};

class silent_walks {
public:
    // `kinds[node]` is the node's kind; `heads` every head to be declared.
    silent_walks(const chain_graph& graph, std::span<const std::uint32_t> offsets, std::span<const std::uint8_t> kinds,
                 std::span<const std::uint32_t> heads, std::uint64_t& work);

    // Whether some chain passes a silent entry: otherwise no walk holds one.
    static bool needed(const chain_graph& graph, std::span<const std::uint8_t> kinds);

    // Whether the walk from `head` is collected without its silent entries:
    // they outnumber its printed entries by more than the index searches
    // that its structure entries may need cost.
    bool sparse(std::uint32_t head) const;

    // The walk from a sparse head. Valid until the next call.
    const sparse_walk& after(std::uint32_t head);

private:
    void collect(std::uint32_t head, std::uint32_t rotation);
    bool opens_union(std::uint32_t head, std::size_t at, std::uint32_t rotation);
    const silent_index& index();

    const chain_graph& graph_;
    std::span<const std::uint32_t> offsets_;
    std::span<const std::uint8_t> kinds_;
    std::span<const std::uint32_t> heads_;
    std::uint64_t& work_;
    std::vector<walk_census> census_;
    std::vector<bool> silent_;
    // Passes the silent nodes, so that a walk meets only what it prints.
    chain_skipper printing_;
    std::optional<silent_index> index_;
    // The last walk collected: from `walk_start_`, for every head off a loop
    // whose successor that is.
    sparse_walk walk_;
    std::uint32_t walk_start_ = no_node;
    std::vector<ordered_entry> scratch_;
};

}  // namespace vantor
