// Jumps along member chains over nodes that are passed: union-find with path
// compression, each passed node linked to what follows it. A walk then costs
// amortised O(log n) per open node it meets, however many passed nodes lie
// between, and a loop whose nodes are all passed ends every walk into it.
#pragma once

#include <cstdint>
#include <vector>

#include "datfile/chain_graph.hpp"

namespace vantor {

class chain_skipper {
public:
    // Every node open; `work` counts the links followed.
    chain_skipper(const chain_graph& graph, std::uint64_t& work)
        : graph_(graph), link_(graph.size()), work_(work)
    {
        for (std::uint32_t node = 0; node < graph.size(); ++node)
            link_[node] = node;
    }

    // The first open node at or after `from` along its chain, or no_node when
    // the chain ends, or loops, through passed nodes only.
    std::uint32_t first_open(std::uint32_t from)
    {
        std::uint32_t root = from;
        while (root != no_node && link_[root] != root) {
            root = link_[root];
            ++work_;
        }
        while (from != no_node && link_[from] != from) {
            const std::uint32_t next = link_[from];
            link_[from] = root;
            from = next;
        }
        return root;
    }

    // Passes an open node.
    void pass(std::uint32_t node)
    {
        const std::uint32_t after = first_open(graph_.successor(node));
        // Coming back to `node` itself closes a loop of passed nodes.
        link_[node] = after == node ? no_node : after;
    }

private:
    const chain_graph& graph_;
    std::vector<std::uint32_t> link_;  // itself: open
    std::uint64_t& work_;
};

}  // namespace vantor
