// The member order of declarations. A declaration sorts the entries that its
// walk collects after its head by offset, with the wrap-around comparison of
// 32-bit offsets; that comparison orders them only while they lie within half
// the 32-bit circle, and then sorting by the offset less a rotation of 0 or
// 2^31, ties in chain order, gives the same order. Entries that lie wider
// apart are ordered by unsigned offset, ties in chain order.
//
// A walk collects every node its chain reaches, each once: past the head,
// the nodes reachable from the head's successor, or around the head's own
// loop. What the order of such a set needs is summed up here per node, and
// answered without visiting the entries, so that a declaration costs time for
// the entries it prints, not for the silent ones it passes.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "datfile/chain_graph.hpp"

namespace vantor {

inline constexpr std::uint32_t half_circle = 0x80000000u;

// The least and the greatest offset of a set, for each half of the circle
// (below 2^31, and from 2^31 on), and whether each least occurs twice.
class key_summary {
public:
    void add(std::uint32_t offset);
    void add(const key_summary& other);

    // 0 or 2^31: keys are offsets less this. 0 also when the offsets lie wider
    // than half the circle and so form no order.
    std::uint32_t rotation() const;
    // Whether the first two keys in the rotation's order are equal.
    bool least_twice(std::uint32_t rotation) const;

private:
    // One is kept per node: within a half, bit 31 of an offset is known, so
    // it holds a flag instead, whether the least occurs twice and whether
    // the half holds any offset.
    static constexpr std::uint32_t flag = 0x80000000u;

    bool holds(int half) const { return (most_[half] & flag) != 0; }
    bool twice(int half) const { return (least_[half] & flag) != 0; }
    std::uint32_t least(int half) const { return (least_[half] & ~flag) | (half == 1 ? flag : 0); }
    std::uint32_t most(int half) const { return (most_[half] & ~flag) | (half == 1 ? flag : 0); }
    void add(int half, std::uint32_t least_offset, std::uint32_t most_offset, bool least_twice);

    std::uint32_t least_[2] = {};
    std::uint32_t most_[2] = {};
};

using offset_of_node = std::function<std::uint32_t(std::uint32_t)>;

// For every node, the summary of the entries that a walk with that node as
// its head collects after it. `offset(node)` gives a node's offset.
template <typename OffsetOf>
std::vector<key_summary> summarise_walks(const chain_graph& graph, OffsetOf offset, std::uint64_t& work)
{
    std::vector<key_summary> after(graph.size());
    const std::vector<std::uint32_t> order = graph.settle_order();
    for (std::size_t at = 0; at < order.size();) {
        const std::uint32_t node = order[at];
        if (!graph.on_loop(node)) {
            // The head's successor and all that its chain reaches.
            if (const std::uint32_t next = graph.successor(node); next != no_node) {
                after[node] = after[next];
                after[node].add(offset(next));
            }
            ++at;
            ++work;
            continue;
        }
        // Around a loop, a head collects every other node of it: what comes
        // after it in the loop's order, then what comes before it.
        const std::size_t length = graph.walk_length(node);
        key_summary behind;
        for (std::size_t i = length; i-- > 0;) {
            after[order[at + i]] = behind;
            behind.add(offset(order[at + i]));
        }
        key_summary before;
        for (std::size_t i = 0; i < length; ++i) {
            after[order[at + i]].add(before);
            before.add(offset(order[at + i]));
        }
        at += length;
        work += 2 * length;
    }
    return after;
}

// What follows one entry of a walk in member order, in O(log n): a persistent
// tree of offset counts per node. A node off any loop holds the offsets of
// everything its chain reaches; the nodes of a loop, cut open at its first
// node, hold those from themselves to the cut. Every set a question needs is
// then a sum or difference of at most three trees.
class follower_index {
public:
    follower_index(const chain_graph& graph, const offset_of_node& offset, std::uint64_t& work);

    // Whether the two entries that follow `entry` in the member order of the
    // walk from `head` exist and have equal offsets; `entry` lies on that
    // walk and is not its head.
    bool next_two_tie(std::uint32_t head, std::uint32_t entry, std::uint32_t rotation) const;

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
    struct found {
        std::uint32_t rank;
        std::uint32_t count;
    };

    std::uint32_t insert(std::uint32_t root, std::uint32_t rank, std::uint32_t low, std::uint32_t high);
    std::uint32_t rank_of(std::uint32_t node) const;
    std::uint32_t loop_node(std::uint32_t member, std::uint32_t index) const;
    tree_sum after(std::uint32_t node) const;
    tree_sum walk_after_head(std::uint32_t head) const;
    tree_sum walk_after_entry(std::uint32_t head, std::uint32_t entry) const;
    std::uint32_t count(const tree_sum& sum, std::uint32_t rank) const;
    bool first_present(const tree_sum& sum, std::uint32_t low, std::uint32_t high, found& result) const;
    bool first_present(std::uint32_t (&trees)[3], const tree_sum& sum, std::uint32_t low, std::uint32_t high,
                       std::uint32_t from, std::uint32_t to, found& result) const;

    const chain_graph& graph_;
    std::uint64_t& work_;
    std::vector<std::uint32_t> order_;
    std::vector<std::uint32_t> offsets_;
    std::vector<std::uint32_t> keys_;  // distinct offsets, ascending: rank order
    std::vector<std::uint32_t> root_;
    // For a loop node: its place in the loop, and where the loop begins in
    // the settle order. For any other node: the loop node its chain enters.
    std::vector<std::uint32_t> loop_index_;
    std::vector<std::uint32_t> loop_start_;
    std::vector<std::uint32_t> entry_;
    std::vector<tree_node> pool_;
};

}  // namespace vantor
