#include "listing/member_order.hpp"

#include <algorithm>
#include <tuple>
#include <utility>

namespace vantor {

void key_summary::add(int half, std::uint32_t least_offset, std::uint32_t most_offset, bool least_twice)
{
    bool repeated = least_twice;
    if (holds(half)) {
        if (least_offset > least(half))
            std::tie(least_offset, repeated) = std::pair(least(half), twice(half));
        else if (least_offset == least(half))
            repeated = true;
        most_offset = std::max(most_offset, most(half));
    }
    least_[half] = (least_offset & ~flag) | (repeated ? flag : 0);
    most_[half] = most_offset | flag;
}

void key_summary::add(std::uint32_t offset)
{
    add(offset < half_circle ? 0 : 1, offset, offset, false);
}

void key_summary::add(const key_summary& other)
{
    for (const int half : {0, 1})
        if (other.holds(half))
            add(half, other.least(half), other.most(half), other.twice(half));
}

std::uint32_t key_summary::rotation() const
{
    if (!holds(0) || !holds(1) || most(1) - least(0) < half_circle)
        return 0;
    // Turned by half the circle, the high half comes first.
    return most(0) - least(1) < half_circle ? half_circle : 0;
}

bool key_summary::least_twice(std::uint32_t rotation) const
{
    const int first = rotation == 0 ? (holds(0) ? 0 : 1) : (holds(1) ? 1 : 0);
    return twice(first);
}

follower_index::follower_index(const chain_graph& graph, const offset_of_node& offset, std::uint64_t& work)
    : graph_(graph),
      work_(work),
      order_(graph.settle_order()),
      offsets_(graph.size()),
      root_(graph.size(), 0),
      loop_index_(graph.size(), no_node),
      loop_start_(graph.size(), no_node),
      entry_(graph.size(), no_node),
      pool_(1)
{
    for (std::uint32_t node = 0; node < graph.size(); ++node)
        offsets_[node] = offset(node);
    keys_ = offsets_;
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    const auto rank_count = static_cast<std::uint32_t>(keys_.size());
    const std::vector<std::uint32_t>& order = order_;
    work_ += order.size();
    for (std::uint32_t at = 0; at < order.size();) {
        const std::uint32_t node = order[at];
        if (!graph.on_loop(node)) {
            const std::uint32_t next = graph.successor(node);
            if (next != no_node)
                entry_[node] = graph.on_loop(next) ? next : entry_[next];
            root_[node] = insert(next == no_node ? 0 : root_[loop_node(next, 0) == no_node ? next : loop_node(next, 0)],
                                 rank_of(node), 0, rank_count);
            ++at;
            continue;
        }
        const std::uint32_t length = graph.walk_length(node);
        for (std::uint32_t i = 0; i < length; ++i) {
            loop_index_[order[at + i]] = i;
            loop_start_[order[at + i]] = at;
        }
        // Cut open before the first node: each holds itself and what follows
        // it up to the cut.
        for (std::uint32_t i = length; i-- > 0;)
            root_[order[at + i]] = insert(i + 1 < length ? root_[order[at + i + 1]] : 0, rank_of(order[at + i]), 0,
                                          rank_count);
        at += length;
    }
}

std::uint32_t follower_index::insert(std::uint32_t root, std::uint32_t rank, std::uint32_t low, std::uint32_t high)
{
    ++work_;
    const auto copy = static_cast<std::uint32_t>(pool_.size());
    pool_.push_back(pool_[root]);
    ++pool_[copy].count;
    if (high - low > 1) {
        const std::uint32_t middle = low + (high - low) / 2;
        if (rank < middle) {
            const std::uint32_t child = insert(pool_[root].left, rank, low, middle);
            pool_[copy].left = child;
        } else {
            const std::uint32_t child = insert(pool_[root].right, rank, middle, high);
            pool_[copy].right = child;
        }
    }
    return copy;
}

std::uint32_t follower_index::rank_of(std::uint32_t node) const
{
    return static_cast<std::uint32_t>(std::lower_bound(keys_.begin(), keys_.end(), offsets_[node]) - keys_.begin());
}

// The node at `index` of the loop that `member` lies on; none off loops.
std::uint32_t follower_index::loop_node(std::uint32_t member, std::uint32_t index) const
{
    if (loop_start_[member] == no_node)
        return no_node;
    return order_[loop_start_[member] + index];
}

// Everything the chain reaches from `node`'s successor.
follower_index::tree_sum follower_index::after(std::uint32_t node) const
{
    tree_sum sum;
    const std::uint32_t next = graph_.successor(node);
    if (next != no_node)
        sum.add(root_[loop_start_[next] == no_node ? next : loop_node(next, 0)], 1);
    return sum;
}

// The entries of the walk from `head` that follow it.
follower_index::tree_sum follower_index::walk_after_head(std::uint32_t head) const
{
    if (loop_start_[head] == no_node)
        return after(head);
    tree_sum sum;
    const std::uint32_t index = loop_index_[head];
    if (index + 1 < graph_.walk_length(head))
        sum.add(root_[loop_node(head, index + 1)], 1);
    if (index > 0) {
        sum.add(root_[loop_node(head, 0)], 1);
        sum.add(root_[head], -1);
    }
    return sum;
}

// The entries of the walk from `head` that come after `entry` in chain order.
follower_index::tree_sum follower_index::walk_after_entry(std::uint32_t head, std::uint32_t entry) const
{
    if (loop_start_[entry] == no_node)
        return after(entry);
    // The walk goes once round the loop, from where it enters to just before.
    const std::uint32_t length = graph_.walk_length(entry);
    const std::uint32_t enters = loop_index_[loop_start_[head] == no_node ? entry_[head] : head];
    const std::uint32_t at = loop_index_[entry];
    tree_sum sum;
    if (at + 1 < length)
        sum.add(root_[loop_node(entry, at + 1)], 1);
    if (at < enters) {
        sum.add(root_[loop_node(entry, enters)], -1);
    } else if (enters > 0) {
        sum.add(root_[loop_node(entry, 0)], 1);
        sum.add(root_[loop_node(entry, enters)], -1);
    }
    return sum;
}

std::uint32_t follower_index::count(const tree_sum& sum, std::uint32_t rank) const
{
    std::int64_t total = 0;
    for (int term = 0; term < sum.terms; ++term) {
        std::uint32_t node = sum.tree[term];
        std::uint32_t low = 0;
        std::uint32_t high = static_cast<std::uint32_t>(keys_.size());
        while (node != 0 && high - low > 1) {
            ++work_;
            const std::uint32_t middle = low + (high - low) / 2;
            node = rank < middle ? pool_[node].left : pool_[node].right;
            (rank < middle ? high : low) = middle;
        }
        total += sum.sign[term] * std::int64_t{pool_[node].count};
    }
    return static_cast<std::uint32_t>(total);
}

// The least rank in [low, high) that the sum holds, and how often.
bool follower_index::first_present(const tree_sum& sum, std::uint32_t low, std::uint32_t high, found& result) const
{
    std::uint32_t trees[3] = {sum.tree[0], sum.tree[1], sum.tree[2]};
    return low < high && first_present(trees, sum, low, high, 0, static_cast<std::uint32_t>(keys_.size()), result);
}

bool follower_index::first_present(std::uint32_t (&trees)[3], const tree_sum& sum, std::uint32_t low,
                                   std::uint32_t high, std::uint32_t from, std::uint32_t to, found& result) const
{
    ++work_;
    if (to <= low || high <= from)
        return false;
    std::int64_t total = 0;
    for (int term = 0; term < sum.terms; ++term)
        total += sum.sign[term] * std::int64_t{pool_[trees[term]].count};
    if (total <= 0)
        return false;
    if (to - from == 1) {
        result = {from, static_cast<std::uint32_t>(total)};
        return true;
    }
    const std::uint32_t middle = from + (to - from) / 2;
    std::uint32_t left[3], right[3];
    for (int term = 0; term < 3; ++term) {
        left[term] = pool_[trees[term]].left;
        right[term] = pool_[trees[term]].right;
    }
    return first_present(left, sum, low, high, from, middle, result) ||
           first_present(right, sum, low, high, middle, to, result);
}

bool follower_index::next_two_tie(std::uint32_t head, std::uint32_t entry, std::uint32_t rotation) const
{
    // Entries of the same offset later in chain order come first.
    const std::uint32_t rank = rank_of(entry);
    const std::uint32_t same = count(walk_after_entry(head, entry), rank);
    if (same > 0)
        return same > 1;
    // Otherwise the least greater key decides, counted over the whole walk;
    // turned by half the circle, the keys run from 2^31 round to 2^31.
    const tree_sum walk = walk_after_head(head);
    const auto ranks = static_cast<std::uint32_t>(keys_.size());
    const auto split = static_cast<std::uint32_t>(std::lower_bound(keys_.begin(), keys_.end(), half_circle) - keys_.begin());
    found next{};
    if (rotation == 0 || rank >= split) {
        if (first_present(walk, rank + 1, ranks, next))
            return next.count > 1;
        return rotation != 0 && first_present(walk, 0, split, next) && next.count > 1;
    }
    return first_present(walk, rank + 1, split, next) && next.count > 1;
}

}  // namespace vantor
