#include "datfile/chain_graph.hpp"

#include <algorithm>
#include <utility>

namespace vantor {

namespace {
constexpr std::uint8_t unvisited = 0;
constexpr std::uint8_t on_path = 1;
}  // namespace

chain_graph::chain_graph(std::vector<std::uint32_t> successor)
    : successor_(std::move(successor)),
      root_(successor_.size(), none),
      depth_(successor_.size(), 0),
      cycle_(successor_.size(), none)
{
    const auto count = static_cast<std::uint32_t>(successor_.size());
    // Positions without a root yet that are not unvisited are on the current walk.
    std::vector<std::uint8_t> state(count, unvisited);
    std::vector<std::uint32_t> path;
    for (std::uint32_t start = 0; start < count; ++start) {
        if (root_[start] != none)
            continue;
        path.clear();
        std::uint32_t at = start;
        while (at != none && root_[at] == none && state[at] == unvisited) {
            state[at] = on_path;
            path.push_back(at);
            at = successor_[at];
        }
        settle_path(path, at);
    }
    number_trees();
}

// `path` is a fresh walk; `stop` is where it ran out: none, a position settled
// earlier, or a position of this very path (a new cycle).
void chain_graph::settle_path(const std::vector<std::uint32_t>& path, std::uint32_t stop)
{
    std::size_t tail_end = path.size();
    if (stop != none && root_[stop] == none) {
        tail_end = static_cast<std::size_t>(std::find(path.begin(), path.end(), stop) - path.begin());
        const auto number = static_cast<std::uint32_t>(cycle_size_.size());
        cycle_size_.push_back(static_cast<std::uint32_t>(path.size() - tail_end));
        for (std::size_t i = tail_end; i < path.size(); ++i) {
            root_[path[i]] = path[i];
            cycle_[path[i]] = number;
        }
    } else if (stop == none) {
        // The last position of the walk is the root of its own tree.
        --tail_end;
        root_[path[tail_end]] = path[tail_end];
    }
    for (std::size_t i = tail_end; i-- > 0;) {
        const std::uint32_t next = successor_[path[i]];
        root_[path[i]] = root_[next];
        depth_[path[i]] = depth_[next] + 1;
    }
}

void chain_graph::number_trees()
{
    const auto count = static_cast<std::uint32_t>(successor_.size());
    // Children of every position along reversed edges, as one flat array.
    std::vector<std::uint32_t> first_child(count + 1, 0);
    for (std::uint32_t at = 0; at < count; ++at)
        if (root_[at] != at)
            ++first_child[successor_[at] + 1];
    for (std::uint32_t at = 0; at < count; ++at)
        first_child[at + 1] += first_child[at];
    std::vector<std::uint32_t> children(first_child[count]);
    std::vector<std::uint32_t> fill(first_child.begin(), first_child.end() - 1);
    for (std::uint32_t at = 0; at < count; ++at)
        if (root_[at] != at)
            children[fill[successor_[at]]++] = at;

    enter_.assign(count, 0);
    leave_.assign(count, 0);
    std::uint32_t clock = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> stack;  // position, next child
    for (std::uint32_t top = 0; top < count; ++top) {
        if (root_[top] != top)
            continue;
        enter_[top] = clock++;
        stack.emplace_back(top, first_child[top]);
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
    }
}

std::uint32_t chain_graph::walk_length(std::uint32_t from) const
{
    const std::uint32_t root = root_[from];
    const std::uint32_t tail = cycle_[root] == none ? 1 : cycle_size_[cycle_[root]];
    return depth_[from] + tail;
}

bool chain_graph::reaches(std::uint32_t from, std::uint32_t target) const
{
    if (cycle_[target] != none)
        return cycle_[root_[from]] == cycle_[target];
    return enter_[target] <= enter_[from] && leave_[from] <= leave_[target];
}

}  // namespace vantor
