#include "listing/silent_walks.hpp"

#include <algorithm>
#include <bit>

namespace vantor {

namespace {

// A walk keeps its silent entries while they number at most its printed
// entries and this many per structure entry, and this many more.
constexpr std::uint32_t silent_allowance = 8;

walk_census entry_census(std::uint32_t offset, std::uint8_t kind)
{
    walk_census census;
    census.offsets.add(offset);
    census.silent = prints_nothing(kind) ? 1 : 0;
    census.structures = kind == KIND_STRUCT ? 1 : 0;
    return census;
}

void add(walk_census& to, const walk_census& from)
{
    to.offsets.add(from.offsets);
    to.silent += from.silent;
    to.structures += from.structures;
}

// For every node, the census of what a walk with that node as its head
// collects after it: off a loop, all that its successor's walk visits; on a
// loop, the rest of the loop.
std::vector<walk_census> census_of_walks(const chain_graph& graph, std::span<const std::uint32_t> offsets,
                                         std::span<const std::uint8_t> kinds, std::uint64_t& work)
{
    std::vector<walk_census> after(graph.size());
    const std::vector<std::uint32_t> order = graph.settle_order();
    const auto of_entry = [&](std::uint32_t node) { return entry_census(offsets[node], kinds[node]); };
    for (std::size_t at = 0; at < order.size();) {
        const std::uint32_t node = order[at];
        if (!graph.on_loop(node)) {
            if (const std::uint32_t next = graph.successor(node); next != no_node) {
                after[node] = after[next];
                add(after[node], of_entry(next));
            }
            ++at;
            ++work;
            continue;
        }
        // What comes after each node in the loop's order, then what comes
        // before it.
        const std::size_t length = graph.walk_length(node);
        walk_census behind;
        for (std::size_t i = length; i-- > 0;) {
            after[order[at + i]] = behind;
            add(behind, of_entry(order[at + i]));
        }
        walk_census before;
        for (std::size_t i = 0; i < length; ++i) {
            add(after[order[at + i]], before);
            add(before, of_entry(order[at + i]));
        }
        at += length;
        work += 2 * length;
    }
    return after;
}

}  // namespace

void offset_extent::add(std::uint32_t offset)
{
    offset_extent one;
    one.halves[offset < half_circle ? 0 : 1] = {true, false, offset, offset};
    add(one);
}

void offset_extent::add(const offset_extent& other)
{
    for (int h = 0; h < 2; ++h) {
        const half& from = other.halves[h];
        half& to = halves[h];
        if (!from.holds)
            continue;
        if (!to.holds) {
            to = from;
            continue;
        }
        if (from.least < to.least)
            to.least_twice = from.least_twice;
        else if (from.least == to.least)
            to.least_twice = true;
        to.least = std::min(to.least, from.least);
        to.most = std::max(to.most, from.most);
    }
}

std::uint32_t offset_extent::rotation() const
{
    const half& low = halves[0];
    const half& high = halves[1];
    if (!low.holds || !high.holds || high.most - low.least < half_circle)
        return 0;
    return low.most - high.least < half_circle ? half_circle : 0;
}

bool offset_extent::least_twice(std::uint32_t rotation) const
{
    // Turned by half the circle, the high half comes first.
    const int leading = rotation == 0 ? 0 : 1;
    const half& first = halves[leading].holds ? halves[leading] : halves[1 - leading];
    return first.holds && first.least_twice;
}

silent_index::silent_index(const chain_graph& graph, std::span<const std::uint32_t> offsets,
                           const std::vector<bool>& silent, const std::vector<bool>& visited, std::uint64_t& work)
    : graph_(graph),
      work_(work),
      root_(graph.size(), 0),
      loop_index_(graph.size(), no_node),
      loop_begin_(graph.size(), no_node),
      entry_(graph.size(), no_node),
      pool_(1)
{
    std::size_t inserts = 0;
    for (std::uint32_t node = 0; node < graph.size(); ++node) {
        if (visited[node] && silent[node]) {
            keys_.push_back(offsets[node]);
            ++inserts;
        }
    }
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
    const auto ranks = static_cast<std::uint32_t>(keys_.size());
    // Each insert copies one path from the root to a leaf; the pool is never
    // grown past what it needs.
    pool_.reserve(1 + inserts * (std::bit_width(ranks) + 1));
    const auto with = [&](std::uint32_t tree, std::uint32_t node) {
        if (!silent[node])
            return tree;
        const auto rank = static_cast<std::uint32_t>(std::lower_bound(keys_.begin(), keys_.end(), offsets[node]) - keys_.begin());
        return insert(tree, rank, 0, ranks);
    };

    const std::vector<std::uint32_t> order = graph.settle_order();
    work_ += order.size();
    for (std::size_t at = 0; at < order.size();) {
        const std::uint32_t node = order[at];
        const std::uint32_t length = graph.on_loop(node) ? graph.walk_length(node) : 1;
        if (!visited[node]) {
            at += length;
            continue;
        }
        if (!graph.on_loop(node)) {
            const std::uint32_t next = graph.successor(node);
            if (next != no_node)
                entry_[node] = graph.on_loop(next) ? next : entry_[next];
            root_[node] = with(next == no_node ? 0 : reached_tree(next), node);
            ++at;
            continue;
        }
        const auto begin = static_cast<std::uint32_t>(loop_nodes_.size());
        for (std::uint32_t i = 0; i < length; ++i) {
            loop_nodes_.push_back(order[at + i]);
            loop_index_[order[at + i]] = i;
            loop_begin_[order[at + i]] = begin;
        }
        // Cut open before the first node: each holds itself and what follows
        // it up to the cut.
        for (std::uint32_t i = length; i-- > 0;)
            root_[order[at + i]] = with(i + 1 < length ? root_[order[at + i + 1]] : 0, order[at + i]);
        at += length;
    }
}

std::uint32_t silent_index::insert(std::uint32_t root, std::uint32_t rank, std::uint32_t low, std::uint32_t high)
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

// The tree of the loop that `loop_node` lies on, from its node `index` to the
// cut; empty at the cut.
std::uint32_t silent_index::loop_tree(std::uint32_t loop_node, std::uint32_t index) const
{
    const std::uint32_t length = graph_.walk_length(loop_node);
    return index == length ? 0 : root_[loop_nodes_[loop_begin_[loop_node] + index]];
}

std::uint32_t silent_index::reached_tree(std::uint32_t node) const
{
    return graph_.on_loop(node) ? loop_tree(node, 0) : root_[node];
}

// Everything a walk from `node` visits.
silent_index::tree_sum silent_index::reached_from(std::uint32_t node) const
{
    tree_sum sum;
    if (node != no_node)
        sum.add(reached_tree(node), 1);
    return sum;
}

// The nodes of `loop_node`'s loop from index `from` round to just before `to`.
silent_index::tree_sum silent_index::loop_arc(std::uint32_t loop_node, std::uint32_t from, std::uint32_t to) const
{
    tree_sum sum;
    if (from == to)
        return sum;
    sum.add(loop_tree(loop_node, from), 1);
    if (from > to)
        sum.add(loop_tree(loop_node, 0), 1);
    sum.add(loop_tree(loop_node, to), -1);
    return sum;
}

// What the walk from `head` collects after it.
silent_index::tree_sum silent_index::walk_of(std::uint32_t head) const
{
    if (!graph_.on_loop(head))
        return reached_from(graph_.successor(head));
    const std::uint32_t length = graph_.walk_length(head), index = loop_index_[head];
    return loop_arc(head, (index + 1) % length, index);
}

// What the walk from `head` collects after `entry`: off a loop, all that the
// entry's successor reaches; on it, the loop up to where the walk entered it,
// or up to the head when the head lies on it.
silent_index::tree_sum silent_index::after_entry(std::uint32_t head, std::uint32_t entry) const
{
    if (!graph_.on_loop(entry))
        return reached_from(graph_.successor(entry));
    const std::uint32_t next = graph_.successor(head);
    const std::uint32_t end = graph_.on_loop(head) ? head : graph_.on_loop(next) ? next : entry_[next];
    const std::uint32_t length = graph_.walk_length(entry);
    return loop_arc(entry, (loop_index_[entry] + 1) % length, loop_index_[end]);
}

std::uint32_t silent_index::count(const tree_sum& sum, std::uint32_t rank) const
{
    std::int64_t total = 0;
    for (int term = 0; term < sum.terms; ++term) {
        std::uint32_t node = sum.tree[term];
        std::uint32_t low = 0;
        auto high = static_cast<std::uint32_t>(keys_.size());
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

// The least rank in [low, high) that the sum holds, as its offset and count.
std::optional<silent_index::found> silent_index::first_present(const tree_sum& sum, std::uint32_t low,
                                                               std::uint32_t high) const
{
    if (low >= high)
        return std::nullopt;
    const std::uint32_t trees[3] = {sum.tree[0], sum.tree[1], sum.tree[2]};
    return first_present(trees, sum, low, high, 0, static_cast<std::uint32_t>(keys_.size()));
}

std::optional<silent_index::found> silent_index::first_present(const std::uint32_t (&trees)[3], const tree_sum& sum,
                                                               std::uint32_t low, std::uint32_t high,
                                                               std::uint32_t from, std::uint32_t to) const
{
    ++work_;
    if (to <= low || high <= from)
        return std::nullopt;
    std::int64_t total = 0;
    for (int term = 0; term < sum.terms; ++term)
        total += sum.sign[term] * std::int64_t{pool_[trees[term]].count};
    if (total <= 0)
        return std::nullopt;
    if (to - from == 1)
        return found{keys_[from], static_cast<std::uint32_t>(total)};
    const std::uint32_t middle = from + (to - from) / 2;
    std::uint32_t left[3], right[3];
    for (int term = 0; term < 3; ++term) {
        left[term] = pool_[trees[term]].left;
        right[term] = pool_[trees[term]].right;
    }
    if (const auto found_left = first_present(left, sum, low, high, from, middle))
        return found_left;
    return first_present(right, sum, low, high, middle, to);
}

std::uint32_t silent_index::count_after(std::uint32_t head, std::uint32_t entry, std::uint32_t offset) const
{
    const auto at = std::lower_bound(keys_.begin(), keys_.end(), offset);
    if (at == keys_.end() || *at != offset)
        return 0;
    return count(after_entry(head, entry), static_cast<std::uint32_t>(at - keys_.begin()));
}

std::optional<silent_index::found> silent_index::next_after(std::uint32_t head, std::uint32_t offset,
                                                            std::uint32_t rotation) const
{
    const tree_sum walk = walk_of(head);
    const auto ranks = static_cast<std::uint32_t>(keys_.size());
    const auto above = static_cast<std::uint32_t>(std::upper_bound(keys_.begin(), keys_.end(), offset) - keys_.begin());
    const auto split = static_cast<std::uint32_t>(std::lower_bound(keys_.begin(), keys_.end(), half_circle) - keys_.begin());
    // Turned by half the circle, the keys run from 2^31 round to 2^31.
    if (rotation != 0 && offset < half_circle)
        return first_present(walk, above, split);
    if (const auto next = first_present(walk, above, ranks))
        return next;
    return rotation != 0 ? first_present(walk, 0, split) : std::nullopt;
}

bool silent_walks::needed(const chain_graph& graph, std::span<const std::uint8_t> kinds)
{
    for (std::uint32_t node = 0; node < graph.size(); ++node)
        if (const std::uint32_t next = graph.successor(node); next != no_node && prints_nothing(kinds[next]))
            return true;
    return false;
}

silent_walks::silent_walks(const chain_graph& graph, std::span<const std::uint32_t> offsets,
                           std::span<const std::uint8_t> kinds, std::span<const std::uint32_t> heads, std::uint64_t& work)
    : graph_(graph),
      offsets_(offsets),
      kinds_(kinds),
      heads_(heads),
      work_(work),
      census_(census_of_walks(graph, offsets, kinds, work)),
      silent_(graph.size()),
      printing_(graph, work)
{
    for (std::uint32_t node = 0; node < graph.size(); ++node) {
        silent_[node] = prints_nothing(kinds[node]);
        if (silent_[node])
            printing_.pass(node);
    }
    work_ += graph.size();
}

bool silent_walks::sparse(std::uint32_t head) const
{
    const walk_census& walk = census_[head];
    const std::uint32_t printed = graph_.walk_length(head) - 1 - walk.silent;
    return walk.silent > printed + silent_allowance * (walk.structures + 1);
}

const sparse_walk& silent_walks::after(std::uint32_t head)
{
    const std::uint32_t start = graph_.successor(head);
    // Heads off a loop that name one chain collect the same walk.
    if (graph_.on_loop(head) || start != walk_start_) {
        const std::uint32_t rotation = census_[head].offsets.rotation();
        collect(head, rotation);
        walk_.head_opens_union = census_[head].offsets.least_twice(rotation);
        walk_.opens_union.assign(walk_.printed.size(), false);
        for (std::size_t at = 0; at < walk_.printed.size(); ++at)
            if (kinds_[walk_.printed[at].node] == KIND_STRUCT)
                walk_.opens_union[at] = opens_union(head, at, rotation);
        walk_start_ = graph_.on_loop(head) ? no_node : start;
    }
    return walk_;
}

// The printed entries in chain order, then sorted: a walk holds each node
// once, so it ends after as many as its census leaves printed.
void silent_walks::collect(std::uint32_t head, std::uint32_t rotation)
{
    const walk_census& walk = census_[head];
    const std::uint32_t printed = graph_.walk_length(head) - 1 - walk.silent;
    walk_.printed.clear();
    std::uint32_t node = printing_.first_open(graph_.successor(head));
    for (std::uint32_t position = 0; position < printed && node != no_node; ++position) {
        walk_.printed.push_back({node, offsets_[node] - rotation, position});
        node = printing_.first_open(graph_.successor(node));
    }
    sort_by_key(walk_.printed, scratch_, work_);
}

// Whether the two entries after printed entry `at` exist and tie, silent
// ones counted.
bool silent_walks::opens_union(std::uint32_t head, std::size_t at, std::uint32_t rotation)
{
    const std::vector<ordered_entry>& printed = walk_.printed;
    const std::uint32_t key = printed[at].key;
    const std::uint32_t offset = key + rotation;
    // Entries of its own offset after it in chain order come next.
    std::uint32_t same = 0;
    for (std::size_t next = at + 1; next < printed.size() && next <= at + 2 && printed[next].key == key; ++next)
        ++same;
    if (same < 2)
        same += index().count_after(head, printed[at].node, offset);
    if (same != 0)
        return same >= 2;
    // Otherwise the least greater key decides, whether printed or silent.
    const bool printed_next = at + 1 < printed.size();
    const std::uint32_t printed_key = printed_next ? printed[at + 1].key : 0;
    const std::uint32_t printed_count =
        !printed_next ? 0 : at + 2 < printed.size() && printed[at + 2].key == printed_key ? 2 : 1;
    const auto silent = index().next_after(head, offset, rotation);
    if (!silent)
        return printed_count >= 2;
    const std::uint32_t silent_key = silent->offset - rotation;
    if (!printed_next || silent_key < printed_key)
        return silent->count >= 2;
    return (silent_key == printed_key ? silent->count : 0) + printed_count >= 2;
}

// Indexes the silent entries of every sparse walk that holds a structure
// entry, and only those.
const silent_index& silent_walks::index()
{
    if (index_)
        return *index_;
    std::vector<bool> visited(graph_.size(), false);
    for (const std::uint32_t head : heads_) {
        if (!sparse(head) || census_[head].structures == 0)
            continue;
        for (std::uint32_t node = graph_.successor(head); node != no_node && !visited[node]; node = graph_.successor(node)) {
            visited[node] = true;
            ++work_;
        }
    }
    return index_.emplace(graph_, offsets_, silent_, visited, work_);
}

}  // namespace vantor
