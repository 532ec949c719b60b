#include "listing/silent_walks.hpp"

#include <algorithm>
#include <bit>
#include <utility>

namespace vantor {

namespace {

// A walk keeps its silent entries while they number at most this many times
// its printed entries, and this many more.
constexpr std::uint32_t silent_allowance = 2;
constexpr std::uint32_t silent_margin = 4;

// A loop entry that sorts before every other of its loop and rank, or after.
constexpr std::uint32_t first_index = 0;
constexpr std::uint32_t last_index = UINT32_MAX;

void add(walk_census& to, const walk_census& from)
{
    to.offsets.add(from.offsets);
    to.silent += from.silent;
}

// For every node, the census of what a walk with that node as its head
// collects after it: off a loop, all that its successor's walk visits; on a
// loop, the rest of the loop.
std::vector<walk_census> census_of_walks(const chain_graph& graph, std::span<const std::uint32_t> offsets,
                                         std::span<const std::uint8_t> kinds, std::uint64_t& work)
{
    std::vector<walk_census> after(graph.size());
    const std::vector<std::uint32_t> order = graph.settle_order();
    const auto of_entry = [&](std::uint32_t node) {
        walk_census census;
        census.offsets.add(offsets[node]);
        census.silent = prints_nothing(kinds[node]) ? 1 : 0;
        return census;
    };
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
    const int half = offset < half_circle ? 0 : 1;
    one.least[half] = one.most[half] = offset;
    add(one);
}

void offset_extent::add(const offset_extent& other)
{
    for (int half = 0; half < 2; ++half) {
        if (!other.holds(half))
            continue;
        if (!holds(half) || other.least[half] < least[half])
            least_twice[half] = other.least_twice[half];
        else if (other.least[half] == least[half])
            least_twice[half] = true;
        least[half] = std::min(least[half], other.least[half]);
        most[half] = std::max(most[half], other.most[half]);
    }
}

std::uint32_t offset_extent::rotation() const
{
    if (!holds(0) || !holds(1) || most[1] - least[0] < half_circle)
        return 0;
    // The high half first, then the low half after the wrap.
    return most[0] - least[1] < half_circle ? half_circle : 0;
}

bool offset_extent::first_twice(std::uint32_t rotation) const
{
    const int leading = rotation == 0 ? 0 : 1;
    const int first = holds(leading) ? leading : 1 - leading;
    return holds(first) && least_twice[first];
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
      work_(work),
      census_(census_of_walks(graph, offsets, kinds, work)),
      printing_(graph, work)
{
    for (std::uint32_t node = 0; node < graph.size(); ++node)
        if (prints_nothing(kinds[node]))
            printing_.pass(node);
    work_ += graph.size();
    work_out_unions(heads);
}

bool silent_walks::sparse(std::uint32_t head) const
{
    const std::uint32_t silent = census_[head].silent;
    const std::uint32_t printed = graph_.walk_length(head) - 1 - silent;
    return silent > silent_allowance * printed + silent_margin;
}

const sparse_walk& silent_walks::after(std::uint32_t head)
{
    const std::uint32_t start = graph_.successor(head);
    // Heads off a loop that name one chain collect the same walk.
    if (graph_.on_loop(head) || start != walk_start_) {
        const std::uint32_t rotation = census_[head].offsets.rotation();
        collect(head, rotation);
        walk_.head_opens_union = census_[head].offsets.first_twice(rotation);
        walk_start_ = graph_.on_loop(head) ? no_node : start;
    }
    walk_.opens_union.assign(walk_.printed.size(), false);
    if (!holds_structure())
        return walk_;
    const auto answers = std::lower_bound(answers_begin_.begin(), answers_begin_.end(), std::pair(head, 0u));
    std::uint32_t answer = answers->second;
    for (std::size_t at = 0; at < walk_.printed.size(); ++at)
        if (kinds_[walk_.printed[at].node] == KIND_STRUCT)
            walk_.opens_union[at] = answers_[answer++];
    return walk_;
}

// The printed entries in chain order, then sorted: a walk holds each node
// once, so it ends after as many as its census leaves printed.
void silent_walks::collect(std::uint32_t head, std::uint32_t rotation)
{
    const std::uint32_t printed = graph_.walk_length(head) - 1 - census_[head].silent;
    walk_.printed.clear();
    std::uint32_t node = printing_.first_open(graph_.successor(head));
    for (std::uint32_t position = 0; position < printed && node != no_node; ++position) {
        walk_.printed.push_back({node, offsets_[node] - rotation, position});
        node = printing_.first_open(graph_.successor(node));
    }
    sort_by_key(walk_.printed, scratch_, work_);
}

bool silent_walks::holds_structure() const
{
    return std::any_of(walk_.printed.begin(), walk_.printed.end(),
                       [&](const ordered_entry& entry) { return kinds_[entry.node] == KIND_STRUCT; });
}

// The union tests of every sparse walk that holds a structure entry.
void silent_walks::work_out_unions(std::span<const std::uint32_t> heads)
{
    std::vector<std::uint32_t> asking(heads.begin(), heads.end());
    std::sort(asking.begin(), asking.end());
    asking.erase(std::unique(asking.begin(), asking.end()), asking.end());
    std::erase_if(asking, [&](std::uint32_t head) {
        if (!sparse(head))
            return true;
        collect(head, 0);
        return !holds_structure();
    });
    walk_start_ = no_node;
    if (asking.empty())
        return;
    const std::vector<bool> walked = nodes_walked_from(asking);
    rank_silent_offsets(walked);
    group_loop_offsets(walked);
    walk_chain_trees(walked, asking);
    std::sort(answers_begin_.begin(), answers_begin_.end());
}

std::vector<bool> silent_walks::nodes_walked_from(std::span<const std::uint32_t> heads)
{
    std::vector<bool> walked(graph_.size(), false);
    for (const std::uint32_t head : heads) {
        for (std::uint32_t node = graph_.successor(head); node != no_node && !walked[node]; node = graph_.successor(node)) {
            walked[node] = true;
            ++work_;
        }
    }
    return walked;
}

void silent_walks::rank_silent_offsets(const std::vector<bool>& walked)
{
    std::vector<std::pair<std::uint32_t, std::uint32_t>> by_offset;  // offset, node
    for (std::uint32_t node = 0; node < graph_.size(); ++node)
        if (walked[node] && prints_nothing(kinds_[node]))
            by_offset.emplace_back(offsets_[node], node);
    std::sort(by_offset.begin(), by_offset.end());
    work_ += by_offset.size() * std::bit_width(by_offset.size());
    rank_.assign(graph_.size(), 0);
    for (const auto& [offset, node] : by_offset) {
        if (keys_.empty() || keys_.back() != offset)
            keys_.push_back(offset);
        rank_[node] = static_cast<std::uint32_t>(keys_.size() - 1);
    }
    fenwick_.assign(keys_.size() + 1, 0);
}

void silent_walks::group_loop_offsets(const std::vector<bool>& walked)
{
    loop_place_.assign(graph_.size(), no_node);
    std::uint32_t placed = 0;
    for (std::uint32_t node = 0; node < graph_.size(); ++node) {
        if (!walked[node] || !graph_.on_loop(node) || loop_place_[node] != no_node)
            continue;
        const auto loop = static_cast<std::uint32_t>(loops_.size());
        const std::uint32_t length = graph_.walk_length(node);
        loops_.push_back({placed, length});
        std::uint32_t at = node;
        for (std::uint32_t index = 0; index < length; ++index, at = graph_.successor(at)) {
            loop_place_[at] = placed + index;
            if (prints_nothing(kinds_[at]))
                loop_entries_.push_back({loop, rank_[at], index});
        }
        placed += length;
        work_ += length;
    }
    std::sort(loop_entries_.begin(), loop_entries_.end());
    work_ += loop_entries_.size() * std::bit_width(loop_entries_.size());
}

std::uint32_t silent_walks::loop_of(std::uint32_t node) const
{
    const auto after = std::upper_bound(loops_.begin(), loops_.end(), loop_place_[node],
                                        [](std::uint32_t place, const loop_span& loop) { return place < loop.begin; });
    work_ += std::bit_width(loops_.size());
    return static_cast<std::uint32_t>(after - loops_.begin() - 1);
}

std::uint32_t silent_walks::loop_index(std::uint32_t node) const
{
    return loop_place_[node] - loops_[loop_of(node)].begin;
}

// The walk round the loop from `entry`, less a head on it, `cut`: it ends
// before where it entered, or before that head.
silent_walks::walk_place silent_walks::loop_walk(std::uint32_t entry, std::uint32_t cut) const
{
    const std::uint32_t end = loop_index(cut == no_node ? entry : cut);
    return {false, loop_of(entry), end, cut == no_node ? no_node : end};
}

// Depth first along reversed links, from the nodes whose successor ends the
// chain or lies on a loop: on entering a node the Fenwick tree holds the
// silent entries that its walk visits before any loop.
void silent_walks::walk_chain_trees(const std::vector<bool>& walked, std::span<const std::uint32_t> asking)
{
    // One head answers for every head off a loop that names the same chain;
    // those whose walks begin on a tail wait, by where they begin.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> waiting;  // start, head
    std::vector<bool> awaited(graph_.size(), false);
    for (const std::uint32_t head : asking) {
        const std::uint32_t start = graph_.successor(head);
        if (graph_.on_loop(head)) {
            answer(head, loop_walk(start, head));
            continue;
        }
        waiting.emplace_back(start, head);
        awaited[start] = !graph_.on_loop(start);
    }
    std::sort(waiting.begin(), waiting.end());
    const auto answer_waiting = [&](std::uint32_t start, const walk_place& place) {
        auto first = std::lower_bound(waiting.begin(), waiting.end(), std::pair(start, 0u));
        answer(first->second, place);
        const std::uint32_t begin = answers_begin_.back().second;
        for (auto other = first + 1; other != waiting.end() && other->first == start; ++other)
            answers_begin_.emplace_back(other->second, begin);
    };
    for (auto group = waiting.begin(); group != waiting.end();) {
        if (graph_.on_loop(group->first))
            answer_waiting(group->first, loop_walk(group->first, no_node));
        group = std::upper_bound(group, waiting.end(), std::pair(group->first, no_node));
    }

    // The nodes whose successor is node n stand in children from
    // first_child[n] to first_child[n + 1]: counted two places on, summed,
    // then filled at one place on, which moves each start to where it ends.
    const auto on_tail = [&](std::uint32_t node) { return node != no_node && walked[node] && !graph_.on_loop(node); };
    std::vector<std::uint32_t> first_child(graph_.size() + 2, 0);
    for (std::uint32_t node = 0; node < graph_.size(); ++node)
        if (on_tail(node) && on_tail(graph_.successor(node)))
            ++first_child[graph_.successor(node) + 2];
    for (std::uint32_t node = 0; node <= graph_.size(); ++node)
        first_child[node + 1] += first_child[node];
    std::vector<std::uint32_t> children(first_child[graph_.size() + 1]);
    for (std::uint32_t node = 0; node < graph_.size(); ++node)
        if (on_tail(node) && on_tail(graph_.successor(node)))
            children[first_child[graph_.successor(node) + 1]++] = node;

    ties_after_.assign(graph_.size(), 0);
    const auto count_tail = [&](std::uint32_t node, int change) {
        if (!prints_nothing(kinds_[node]))
            return;
        for (std::size_t at = rank_[node] + 1; at < fenwick_.size(); at += at & (0 - at), ++work_)
            fenwick_[at] += change;
    };
    std::vector<std::pair<std::uint32_t, std::uint32_t>> path;  // node, next child
    for (std::uint32_t root = 0; root < graph_.size(); ++root) {
        if (!on_tail(root) || on_tail(graph_.successor(root)))
            continue;
        const std::uint32_t entry = graph_.successor(root);
        walk_place place = entry == no_node ? walk_place{} : loop_walk(entry, no_node);
        place.tail = true;
        const auto enter = [&](std::uint32_t node) {
            ++work_;
            if (kinds_[node] == KIND_STRUCT) {
                const auto rank = rank_of(offsets_[node]);
                std::uint32_t ties = rank ? tail_count(*rank) : 0;
                if (rank && place.loop != no_node)
                    ties += loop_count(place.loop, *rank, 0, loops_[place.loop].length);
                ties_after_[node] = static_cast<std::uint8_t>(std::min(ties, 2u));
            }
            count_tail(node, 1);
            if (awaited[node])
                answer_waiting(node, place);
        };
        enter(root);
        path.emplace_back(root, first_child[root]);
        while (!path.empty()) {
            auto& [node, child] = path.back();
            if (child == first_child[node + 1]) {
                count_tail(node, -1);
                path.pop_back();
                continue;
            }
            const std::uint32_t next = children[child++];
            enter(next);
            path.emplace_back(next, first_child[next]);
        }
    }
}

void silent_walks::answer(std::uint32_t head, const walk_place& place)
{
    const std::uint32_t rotation = census_[head].offsets.rotation();
    collect(head, rotation);
    answers_begin_.emplace_back(head, static_cast<std::uint32_t>(answers_.size()));
    for (std::size_t at = 0; at < walk_.printed.size(); ++at)
        if (kinds_[walk_.printed[at].node] == KIND_STRUCT)
            answers_.push_back(opens_union(at, rotation, place));
}

// Whether the two entries after printed entry `at` exist and tie, silent
// ones counted.
bool silent_walks::opens_union(std::size_t at, std::uint32_t rotation, const walk_place& place)
{
    const std::vector<ordered_entry>& printed = walk_.printed;
    const std::uint32_t key = printed[at].key, node = printed[at].node;
    const std::uint32_t offset = key + rotation;
    // Entries of its own offset after it in chain order come next.
    std::uint32_t same = 0;
    for (std::size_t next = at + 1; next < printed.size() && next <= at + 2 && printed[next].key == key; ++next)
        ++same;
    if (same < 2 && !graph_.on_loop(node)) {
        same += ties_after_[node];
    } else if (same < 2) {
        const auto rank = rank_of(offset);
        const std::uint32_t after = (loop_index(node) + 1) % loops_[place.loop].length;
        same += rank ? loop_count(place.loop, *rank, after, place.loop_end) : 0;
    }
    if (same != 0)
        return same >= 2;
    // Otherwise the least greater key decides, whether printed or silent.
    const bool printed_next = at + 1 < printed.size();
    const std::uint32_t printed_key = printed_next ? printed[at + 1].key : 0;
    const std::uint32_t printed_count =
        !printed_next ? 0 : at + 2 < printed.size() && printed[at + 2].key == printed_key ? 2 : 1;
    const auto silent = next_silent(place, offset, rotation);
    if (!silent)
        return printed_count >= 2;
    const std::uint32_t silent_key = keys_[silent->rank] - rotation;
    if (!printed_next || silent_key < printed_key)
        return silent->count >= 2;
    return (silent_key == printed_key ? silent->count : 0) + printed_count >= 2;
}

std::optional<std::uint32_t> silent_walks::rank_of(std::uint32_t offset) const
{
    work_ += std::bit_width(keys_.size());
    const auto at = std::lower_bound(keys_.begin(), keys_.end(), offset);
    if (at == keys_.end() || *at != offset)
        return std::nullopt;
    return static_cast<std::uint32_t>(at - keys_.begin());
}

// Silent entries of the tail being walked whose rank is below `rank`.
std::uint32_t silent_walks::tail_below(std::uint32_t rank) const
{
    std::uint32_t count = 0;
    for (std::size_t at = rank; at > 0; at -= at & (0 - at), ++work_)
        count += fenwick_[at];
    return count;
}

std::uint32_t silent_walks::tail_count(std::uint32_t rank) const { return tail_below(rank + 1) - tail_below(rank); }

// Silent entries of `loop` with this rank whose index lies from `from` round
// to just before `to`.
std::uint32_t silent_walks::loop_count(std::uint32_t loop, std::uint32_t rank, std::uint32_t from, std::uint32_t to) const
{
    work_ += 4 * std::bit_width(loop_entries_.size());
    const auto first = std::lower_bound(loop_entries_.begin(), loop_entries_.end(), loop_entry{loop, rank, first_index});
    const auto last = std::upper_bound(first, loop_entries_.end(), loop_entry{loop, rank, last_index});
    const auto before = [&](std::uint32_t index) {
        return static_cast<std::uint32_t>(std::lower_bound(first, last, loop_entry{loop, rank, index}) - first);
    };
    if (from <= to)
        return before(to) - before(from);
    return static_cast<std::uint32_t>(last - first) - before(from) + before(to);
}

// The least rank in [low, high) that the walk's silent entries hold, and
// how many hold it.
std::optional<silent_walks::silent_offset> silent_walks::first_silent(const walk_place& place, std::uint32_t low,
                                                                      std::uint32_t high) const
{
    std::optional<silent_offset> first;
    if (place.tail && low < high) {
        // The entry that follows the first `low` ranks' entries.
        std::uint32_t target = tail_below(low) + 1;
        std::size_t rank = 0;
        for (std::size_t step = std::bit_floor(fenwick_.size() - 1); step > 0; step >>= 1, ++work_) {
            if (rank + step < fenwick_.size() && fenwick_[rank + step] < target) {
                rank += step;
                target -= fenwick_[rank];
            }
        }
        if (rank < high)
            first = silent_offset{static_cast<std::uint32_t>(rank), tail_count(static_cast<std::uint32_t>(rank))};
    }
    if (place.loop == no_node)
        return first;
    // A group of the loop may hold only the head left out: then the next.
    work_ += std::bit_width(loop_entries_.size());
    auto group = std::lower_bound(loop_entries_.begin(), loop_entries_.end(), loop_entry{place.loop, low, first_index});
    while (group != loop_entries_.end() && group->loop == place.loop && group->rank < high &&
           (!first || group->rank <= first->rank)) {
        work_ += 3 * std::bit_width(loop_entries_.size());
        const auto end = std::upper_bound(group, loop_entries_.end(), loop_entry{place.loop, group->rank, last_index});
        const bool cut = std::binary_search(group, end, loop_entry{place.loop, group->rank, place.cut});
        const auto count = static_cast<std::uint32_t>(end - group) - (cut ? 1 : 0);
        if (count > 0) {
            if (first && first->rank == group->rank)
                first->count += count;
            else
                first = silent_offset{group->rank, count};
            break;
        }
        group = end;
    }
    return first;
}

// The silent offset of the walk that comes first after `offset` in the
// rotation's order.
std::optional<silent_walks::silent_offset> silent_walks::next_silent(const walk_place& place, std::uint32_t offset,
                                                                     std::uint32_t rotation) const
{
    const auto ranks = static_cast<std::uint32_t>(keys_.size());
    const auto above = static_cast<std::uint32_t>(std::upper_bound(keys_.begin(), keys_.end(), offset) - keys_.begin());
    const auto split = static_cast<std::uint32_t>(std::lower_bound(keys_.begin(), keys_.end(), half_circle) - keys_.begin());
    // Turned by half the circle, the keys run from 2^31 round to 2^31.
    if (rotation != 0 && offset < half_circle)
        return first_silent(place, above, split);
    if (const auto next = first_silent(place, above, ranks))
        return next;
    return rotation != 0 ? first_silent(place, 0, split) : std::nullopt;
}

}  // namespace vantor
