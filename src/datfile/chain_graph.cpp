#include "datfile/chain_graph.hpp"

#include <algorithm>
#include <utility>

namespace vantor {

chain_graph::chain_graph(std::vector<std::uint32_t> successor)
    : successor_(std::move(successor)), length_(successor_.size(), 0)
{
    const auto count = static_cast<std::uint32_t>(successor_.size());
    // A node of the current walk has no length yet but is marked.
    std::vector<bool> on_path(count, false);
    std::vector<std::uint32_t> path;
    for (std::uint32_t start = 0; start < count; ++start) {
        if (length_[start] != 0)
            continue;
        path.clear();
        std::uint32_t at = start;
        while (at != no_node && length_[at] == 0 && !on_path[at]) {
            on_path[at] = true;
            path.push_back(at);
            at = successor_[at];
        }
        // The walk ran out, met a settled node, or came back into itself:
        // then the nodes from `at` on form a loop, each walking all of it.
        std::size_t tail_end = path.size();
        std::uint32_t length = at == no_node ? 0 : length_[at];
        if (at != no_node && on_path[at]) {
            tail_end = static_cast<std::size_t>(std::find(path.begin(), path.end(), at) - path.begin());
            length = static_cast<std::uint32_t>(path.size() - tail_end);
            for (std::size_t i = tail_end; i < path.size(); ++i)
                length_[path[i]] = length;
        }
        for (std::size_t i = tail_end; i-- > 0;)
            length_[path[i]] = ++length;
        for (const std::uint32_t node : path)
            on_path[node] = false;
    }
}

std::vector<std::uint32_t> chain_graph::settle_order() const
{
    const auto count = static_cast<std::uint32_t>(successor_.size());
    std::vector<std::uint32_t> order;
    order.reserve(count);
    // Loops first, each walked round once.
    std::vector<bool> placed(count, false);
    for (std::uint32_t start = 0; start < count; ++start) {
        if (!on_loop(start) || placed[start])
            continue;
        for (std::uint32_t at = start; !placed[at]; at = successor_[at]) {
            placed[at] = true;
            order.push_back(at);
        }
    }
    // Then the other nodes by walk length: one off a loop walks one node
    // further than its successor.
    std::vector<std::uint32_t> first_of_length(count + 2, 0);
    for (std::uint32_t at = 0; at < count; ++at)
        if (!placed[at])
            ++first_of_length[length_[at] + 1];
    for (std::uint32_t length = 0; length <= count; ++length)
        first_of_length[length + 1] += first_of_length[length];
    const std::size_t loops = order.size();
    order.resize(count);
    for (std::uint32_t at = 0; at < count; ++at)
        if (!placed[at])
            order[loops + first_of_length[length_[at]]++] = at;
    return order;
}

chain_reach::chain_reach(const chain_graph& graph) : enter_(graph.size(), 0), leave_(graph.size(), 0)
{
    const std::uint32_t count = graph.size();
    // Where a walk ends up: a node of no successor, or a loop. A loop is
    // represented by its first node in numbering order.
    auto is_root = [&](std::uint32_t at) { return graph.successor(at) == no_node || graph.on_loop(at); };
    // Children along reversed edges, as one flat array; loop nodes are
    // roots, so the edges of a loop are left out.
    std::vector<std::uint32_t> first_child(count + 1, 0);
    for (std::uint32_t at = 0; at < count; ++at)
        if (!is_root(at))
            ++first_child[graph.successor(at) + 1];
    for (std::uint32_t at = 0; at < count; ++at)
        first_child[at + 1] += first_child[at];
    std::vector<std::uint32_t> children(first_child[count]);
    {
        std::vector<std::uint32_t> fill(first_child.begin(), first_child.end() - 1);
        for (std::uint32_t at = 0; at < count; ++at)
            if (!is_root(at))
                children[fill[graph.successor(at)]++] = at;
    }

    std::uint32_t clock = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stack;  // node, next child
    auto walk_tree = [&](std::uint32_t root) {
        enter_[root] = clock++;
        stack.emplace_back(root, first_child[root]);
        while (!stack.empty()) {
            auto& [at, child] = stack.back();
            if (child == first_child[at + 1]) {
                leave_[at] = clock++;
                stack.pop_back();
                continue;
            }
            const std::uint32_t next = children[child++];
            enter_[next] = clock++;
            stack.emplace_back(next, first_child[next]);
        }
    };
    std::vector<bool> seen(count, false);
    for (std::uint32_t top = 0; top < count; ++top) {
        if (!is_root(top) || seen[top])
            continue;
        if (!graph.on_loop(top)) {
            seen[top] = true;
            walk_tree(top);
            continue;
        }
        // All the trees of one loop inside one interval, given to every node
        // of the loop.
        const std::uint32_t start = clock++;
        std::vector<std::uint32_t> loop;
        for (std::uint32_t at = top; !seen[at]; at = graph.successor(at)) {
            seen[at] = true;
            loop.push_back(at);
            walk_tree(at);
        }
        const std::uint32_t end = clock++;
        for (const std::uint32_t at : loop) {
            enter_[at] = start;
            leave_[at] = end;
        }
    }
}

}  // namespace vantor
