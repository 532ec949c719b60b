// Member chains as a graph in which every node has at most one successor. A
// hostile table may make a chain run back into itself, and one chain may be
// walked many times; this answers, in constant time after one linear pass,
// how many distinct nodes a walk visits, and (chain_reach) whether it
// reaches a given one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "datfile/format.hpp"
#include "datfile/node.hpp"

namespace vantor {

// What a member chain does past an entry once its `next` has named a
// descriptor: go on to it, take it as the entry's type and go on to the
// sibling that `size` names, or end.
enum class chain_link { sibling, type, end };

// One step along a member chain, for a reader of whole records (the path
// resolver reads the step's fields alone): `find(id)` is the reader's
// look-up, `link(named)` its own reading of what `next` named.
template <typename Find, typename Link>
std::uint32_t chain_step(const item_desc& cur, Find find, Link link)
{
    const std::uint32_t named = find(cur.next);
    if (named == no_node)
        return no_node;
    switch (link(named)) {
    case chain_link::sibling:
        return named;
    case chain_link::type:
        return find(cur.size);
    case chain_link::end:
        break;
    }
    return no_node;
}

class chain_graph {
public:
    // successor[i] is the node that follows node i, or no_node.
    explicit chain_graph(std::vector<std::uint32_t> successor);

    // The graph of `count` nodes in which `step(i)` follows node i.
    template <typename Step>
    static chain_graph of(std::size_t count, Step step)
    {
        std::vector<std::uint32_t> successor(count);
        for (std::uint32_t at = 0; at < count; ++at)
            successor[at] = step(at);
        return chain_graph(std::move(successor));
    }

    std::uint32_t size() const { return static_cast<std::uint32_t>(successor_.size()); }
    std::uint32_t successor(std::uint32_t from) const { return successor_[from]; }

    // Number of distinct nodes a walk from `from` visits, `from` included,
    // before it ends or comes back to a node it has visited.
    std::uint32_t walk_length(std::uint32_t from) const { return length_[from]; }

    // Whether `at` lies on a loop: its successor's walk is as long as its own.
    bool on_loop(std::uint32_t at) const
    {
        return successor_[at] != no_node && length_[successor_[at]] == length_[at];
    }

    // Every node once, each after its successor unless both lie on one loop;
    // the nodes of a loop stand together, in the loop's order. Facts that
    // flow backwards along the chains are settled in this order.
    std::vector<std::uint32_t> settle_order() const;

private:
    std::vector<std::uint32_t> successor_;
    std::vector<std::uint32_t> length_;
};

// Whether a walk reaches a node, as an interval test on the entry and exit
// times of a depth-first walk along reversed edges. Every node of a loop
// shares the interval of the loop and all that hangs on it.
class chain_reach {
public:
    explicit chain_reach(const chain_graph& graph);

    // A node reaches itself.
    bool reaches(std::uint32_t from, std::uint32_t target) const
    {
        return enter_[target] <= enter_[from] && leave_[from] <= leave_[target];
    }

private:
    std::vector<std::uint32_t> enter_;
    std::vector<std::uint32_t> leave_;
};

}  // namespace vantor
