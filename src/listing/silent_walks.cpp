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
                           std::span<const std::uint8_t> kinds, std::span<const std::uint32_t> heads, std::uint64_t& work,
                           std::uint64_t& sorted)
    : graph_(graph),
      offsets_(offsets),
      kinds_(kinds),
      work_(work),
      sorted_(sorted),
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
    const bool on_loop = graph_.on_loop(head);
    // Heads off a loop that name one chain collect the same walk and answer
    // alike.
    if (!on_loop && start == walk_start_)
        return walk_;
    const std::uint32_t rotation = census_[head].offsets.rotation();
    collect(head, rotation, true);
    walk_.head_opens_union = census_[head].offsets.first_twice(rotation);
    walk_start_ = on_loop ? no_node : start;
    walk_.opens_union.assign(walk_.printed.size(), false);
    if (!holds_structure())
        return walk_;
    // A walk round a loop alone needs no tail's census, so it is answered
    // now rather than held from the start.
    if (graph_.on_loop(start)) {
        const walk_place place = loop_walk(start, on_loop ? head : no_node);
        for (std::size_t at = 0; at < walk_.printed.size(); ++at)
            if (kinds_[walk_.printed[at].node] == KIND_STRUCT)
                walk_.opens_union[at] = opens_union(at, rotation, place);
        return walk_;
    }
    const auto answers = std::lower_bound(answers_begin_.begin(), answers_begin_.end(), std::pair(head, 0u));
    std::uint32_t answer = answers->second;
    for (std::size_t at = 0; at < walk_.printed.size(); ++at)
        if (kinds_[walk_.printed[at].node] == KIND_STRUCT)
            walk_.opens_union[at] = answers_[answer++];
    return walk_;
}

// The printed entries in chain order, then sorted: a walk holds each node
// once, so it ends after as many as its census leaves printed. A walk into a
// loop whose entries are sorted already takes them from there.
void silent_walks::collect(std::uint32_t head, std::uint32_t rotation, bool sorted)
{
    const std::uint32_t printed = graph_.walk_length(head) - 1 - census_[head].silent;
    walk_.printed.clear();
    std::uint32_t node = printing_.first_open(graph_.successor(head));
    for (std::uint32_t position = 0; position < printed && node != no_node; ++position) {
        if (sorted && placed_on_loop(node)) {
            sort_by_key(walk_.printed, scratch_, work_, sorted_);
            merge_loop(node, graph_.on_loop(head) ? head : no_node, rotation);
            return;
        }
        walk_.printed.push_back({node, offsets_[node] - rotation, position});
        node = printing_.first_open(graph_.successor(node));
    }
    if (sorted)
        sort_by_key(walk_.printed, scratch_, work_, sorted_);
}

bool silent_walks::placed_on_loop(std::uint32_t node) const
{
    return !loop_place_.empty() && loop_place_[node] != no_node;
}

// Merges into the walk's sorted tail its loop, met first at printed entry
// `entry`, less `cut`, in member order: by key, and among ties in the order
// met from the entry round, after the tail's.
void silent_walks::merge_loop(std::uint32_t entry, std::uint32_t cut, std::uint32_t rotation)
{
    const std::uint32_t loop = loop_of(entry), from = loop_index(entry);
    const auto begin = loop_printed_.begin() + loops_[loop].printed;
    const auto end = loop + 1 < loops_.size() ? loop_printed_.begin() + loops_[loop + 1].printed : loop_printed_.end();
    const auto by_key = [](const ordered_entry& a, std::uint32_t key) { return a.key < key; };
    // Keys less the rotation start where offsets reach it.
    auto first = std::lower_bound(begin, end, rotation, by_key);
    if (first == end)
        first = begin;
    scratch_.clear();
    const auto take = [&](auto from_at, auto to) {
        for (auto at = from_at; at != to; ++at)
            if (at->node != cut)
                scratch_.push_back({at->node, at->key - rotation, at->position});
    };
    const auto take_runs = [&](auto run, auto to) {
        while (run != to) {
            auto run_end = run, turn = run;
            while (run_end != to && run_end->key == run->key)
                turn += (run_end++)->position < from ? 1 : 0;
            take(turn, run_end);
            take(run, turn);
            run = run_end;
        }
    };
    take_runs(first, end);
    take_runs(begin, first);
    work_ += static_cast<std::uint64_t>(end - begin);
    merged_.resize(walk_.printed.size() + scratch_.size());
    std::merge(walk_.printed.begin(), walk_.printed.end(), scratch_.begin(), scratch_.end(), merged_.begin(),
               [](const ordered_entry& a, const ordered_entry& b) { return a.key < b.key; });
    walk_.printed.swap(merged_);
    work_ += walk_.printed.size();
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
        collect(head, 0, false);
        return !holds_structure();
    });
    walk_start_ = no_node;
    if (asking.empty())
        return;
    const std::vector<bool> walked = nodes_walked_from(asking);
    rank_silent_offsets(walked);
    group_loop_offsets(walked);
    place_structure_offsets(walked);
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
        const auto first_printed = static_cast<std::uint32_t>(loop_printed_.size());
        loops_.push_back({placed, length, first_printed});
        std::uint32_t at = node;
        for (std::uint32_t index = 0; index < length; ++index, at = graph_.successor(at)) {
            loop_place_[at] = placed + index;
            if (prints_nothing(kinds_[at]))
                loop_entries_.push_back({loop, rank_[at], index});
            else
                loop_printed_.push_back({at, offsets_[at], index});
        }
        // Indices ascend as pushed, so ties keep the loop's order.
        std::stable_sort(loop_printed_.begin() + first_printed, loop_printed_.end(),
                         [](const ordered_entry& a, const ordered_entry& b) { return a.key < b.key; });
        placed += length;
        work_ += length + (loop_printed_.size() - first_printed) * std::bit_width(loop_printed_.size() - first_printed);
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
// before where it entered, or before that head, which is left out of the
// loop's silent entries when it is one.
silent_walks::walk_place silent_walks::loop_walk(std::uint32_t entry, std::uint32_t cut) const
{
    const std::uint32_t end = loop_index(cut == no_node ? entry : cut);
    const bool left_out = cut != no_node && prints_nothing(kinds_[cut]);
    return {false, loop_of(entry), end, left_out ? end : no_node};
}

// Depth first along reversed links, from the nodes whose successor ends the
// chain or lies on a loop: on entering a node the Fenwick tree holds the
// silent entries that its walk visits before any loop.
void silent_walks::walk_chain_trees(const std::vector<bool>& walked, std::span<const std::uint32_t> asking)
{
    // Walks that begin on a tail wait for the walk to reach where they
    // begin; one head answers for every head that names the same chain.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> waiting;  // start, head
    std::vector<bool> awaited(graph_.size(), false);
    for (const std::uint32_t head : asking) {
        const std::uint32_t start = graph_.successor(head);
        if (graph_.on_loop(start))
            continue;
        waiting.emplace_back(start, head);
        awaited[start] = true;
    }
    std::sort(waiting.begin(), waiting.end());
    const auto answer_waiting = [&](std::uint32_t start, const walk_place& place) {
        auto first = std::lower_bound(waiting.begin(), waiting.end(), std::pair(start, 0u));
        answer(first->second, place);
        const std::uint32_t begin = answers_begin_.back().second;
        for (auto other = first + 1; other != waiting.end() && other->first == start; ++other)
            answers_begin_.emplace_back(other->second, begin);
    };

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
        if (change > 0)
            tail_ranks_.push_back(rank_[node]);
        else
            tail_ranks_.pop_back();
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
                const auto rank = rank_of(node);
                std::uint32_t ties = rank ? tail_count(*rank) : 0;
                if (rank && place.loop != no_node) {
                    const auto [first, last] = loop_group(place.loop, *rank);
                    ties += last - first;
                }
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
    collect(head, rotation, true);
    // A short tail's silent keys are read from a sorted copy.
    tail_keys_.clear();
    if (tail_ranks_.size() <= few_on_tail) {
        for (const std::uint32_t rank : tail_ranks_)
            tail_keys_.emplace_back(keys_[rank] - rotation, rank);
        std::sort(tail_keys_.begin(), tail_keys_.end());
        work_ += few_on_tail;
    }
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
    // Entries of its own offset after it in chain order come next.
    std::uint32_t same = 0;
    for (std::size_t next = at + 1; next < printed.size() && next <= at + 2 && printed[next].key == key; ++next)
        ++same;
    if (same < 2 && !graph_.on_loop(node)) {
        same += ties_after_[node];
    } else if (same < 2) {
        const std::uint32_t after = (loop_index(node) + 1) % loops_[place.loop].length;
        same += loop_ties(node, after, place.loop_end);
    }
    if (same != 0)
        return same >= 2;
    // Otherwise the least greater key decides, whether printed or silent.
    const bool printed_next = at + 1 < printed.size();
    const std::uint32_t printed_key = printed_next ? printed[at + 1].key : 0;
    const std::uint32_t printed_count =
        !printed_next ? 0 : at + 2 < printed.size() && printed[at + 2].key == printed_key ? 2 : 1;
    const auto silent = next_silent(node, place, rotation);
    if (!silent)
        return printed_count >= 2;
    const std::uint32_t silent_key = keys_[silent->rank] - rotation;
    if (!printed_next || silent_key < printed_key)
        return silent->count >= 2;
    return (silent_key == printed_key ? silent->count : 0) + printed_count >= 2;
}

void silent_walks::place_structure_offsets(const std::vector<bool>& walked)
{
    split_ = static_cast<std::uint32_t>(std::lower_bound(keys_.begin(), keys_.end(), half_circle) - keys_.begin());
    above_.assign(graph_.size(), 0);
    loop_ties_.assign(graph_.size(), {0, 0});
    loop_next_.assign(2 * std::size_t{graph_.size()}, silent_offset{unknown_rank, 0});
    for (std::uint32_t node = 0; node < graph_.size(); ++node) {
        if (!walked[node] || kinds_[node] != KIND_STRUCT)
            continue;
        const std::uint32_t offset = offsets_[node];
        above_[node] = static_cast<std::uint32_t>(std::upper_bound(keys_.begin(), keys_.end(), offset) - keys_.begin());
        work_ += std::bit_width(keys_.size());
        const auto rank = rank_of(node);
        if (!rank || !graph_.on_loop(node))
            continue;
        loop_ties_[node] = loop_group(loop_of(node), *rank);
    }
}

// Where the silent entries of `loop` with this rank stand in loop_entries_.
std::pair<std::uint32_t, std::uint32_t> silent_walks::loop_group(std::uint32_t loop, std::uint32_t rank) const
{
    work_ += 2 * std::bit_width(loop_entries_.size());
    const auto first = std::lower_bound(loop_entries_.begin(), loop_entries_.end(), loop_entry{loop, rank, first_index});
    const auto last = std::upper_bound(first, loop_entries_.end(), loop_entry{loop, rank, last_index});
    return {static_cast<std::uint32_t>(first - loop_entries_.begin()), static_cast<std::uint32_t>(last - loop_entries_.begin())};
}

std::optional<std::uint32_t> silent_walks::rank_of(std::uint32_t node) const
{
    const std::uint32_t above = above_[node];
    if (above == 0 || keys_[above - 1] != offsets_[node])
        return std::nullopt;
    return above - 1;
}

// Silent entries of the tail being walked whose rank is below `rank`.
std::uint32_t silent_walks::tail_below(std::uint32_t rank) const
{
    std::uint32_t count = 0;
    for (std::size_t at = rank; at > 0; at -= at & (0 - at), ++work_)
        count += fenwick_[at];
    return count;
}

std::uint32_t silent_walks::tail_count(std::uint32_t rank) const
{
    if (tail_ranks_.size() > few_on_tail)
        return tail_below(rank + 1) - tail_below(rank);
    work_ += tail_ranks_.size();
    return static_cast<std::uint32_t>(std::count(tail_ranks_.begin(), tail_ranks_.end(), rank));
}

// Silent entries in loop_entries_ from `first` to `last`, of one loop and
// rank, whose index lies from `from` round to just before `to`.
std::uint32_t silent_walks::loop_count(std::uint32_t first, std::uint32_t last, std::uint32_t from, std::uint32_t to) const
{
    if (first == last)
        return 0;
    work_ += 2 * std::bit_width(last - first);
    const auto begin = loop_entries_.begin() + first, end = loop_entries_.begin() + last;
    const auto before = [&](std::uint32_t index) {
        return static_cast<std::uint32_t>(
            std::lower_bound(begin, end, index, [](const loop_entry& e, std::uint32_t i) { return e.index < i; }) - begin);
    };
    if (from <= to)
        return before(to) - before(from);
    return last - first - before(from) + before(to);
}

std::uint32_t silent_walks::loop_ties(std::uint32_t node, std::uint32_t from, std::uint32_t to) const
{
    return loop_count(loop_ties_[node].first, loop_ties_[node].second, from, to);
}

// The least rank in [low, high) that the tail's silent entries hold, and how
// many hold it.
std::optional<silent_walks::silent_offset> silent_walks::tail_first(std::uint32_t low, std::uint32_t high) const
{
    if (low >= high)
        return std::nullopt;
    // The entry that follows the first `low` ranks' entries.
    std::uint32_t target = tail_below(low) + 1;
    std::size_t rank = 0;
    for (std::size_t step = std::bit_floor(fenwick_.size() - 1); step > 0; step >>= 1, ++work_) {
        if (rank + step < fenwick_.size() && fenwick_[rank + step] < target) {
            rank += step;
            target -= fenwick_[rank];
        }
    }
    if (rank >= high)
        return std::nullopt;
    return silent_offset{static_cast<std::uint32_t>(rank), tail_count(static_cast<std::uint32_t>(rank))};
}

// The least silent key of a short tail above `key`, and how many hold it.
std::optional<silent_walks::silent_offset> silent_walks::next_on_short_tail(std::uint32_t key) const
{
    work_ += std::bit_width(tail_keys_.size());
    auto next = std::upper_bound(tail_keys_.begin(), tail_keys_.end(), std::pair(key, no_node));
    if (next == tail_keys_.end())
        return std::nullopt;
    std::uint32_t count = 1;
    for (auto same = next + 1; same != tail_keys_.end() && same->first == next->first; ++same)
        ++count;
    return silent_offset{next->second, count};
}

// The same of the loop's silent entries, the one at index `cut` left out.
std::optional<silent_walks::silent_offset> silent_walks::loop_first(std::uint32_t loop, std::uint32_t cut,
                                                                    std::uint32_t low, std::uint32_t high) const
{
    // A group may hold only the entry left out: then the next.
    work_ += std::bit_width(loop_entries_.size());
    auto group = std::lower_bound(loop_entries_.begin(), loop_entries_.end(), loop_entry{loop, low, first_index});
    while (group != loop_entries_.end() && group->loop == loop && group->rank < high) {
        work_ += 3 * std::bit_width(loop_entries_.size());
        const auto end = std::upper_bound(group, loop_entries_.end(), loop_entry{loop, group->rank, last_index});
        const bool left_out = std::binary_search(group, end, loop_entry{loop, group->rank, cut});
        const auto count = static_cast<std::uint32_t>(end - group) - (left_out ? 1 : 0);
        if (count > 0)
            return silent_offset{group->rank, count};
        group = end;
    }
    return std::nullopt;
}

// The first silent offset of one part of the walk after the first `above`
// ranks, in the rotation's order: turned by half the circle, the keys run
// from 2^31 round to 2^31.
template <typename First>
std::optional<silent_walks::silent_offset> silent_walks::next_in_turn(First first, std::uint32_t above, std::uint32_t offset,
                                                                      std::uint32_t rotation) const
{
    const auto ranks = static_cast<std::uint32_t>(keys_.size());
    if (rotation != 0 && offset < half_circle)
        return first(above, split_);
    if (const auto next = first(above, ranks))
        return next;
    return rotation != 0 ? first(0, split_) : std::nullopt;
}

// The silent offset of the walk that comes first after structure entry
// `node` in the rotation's order: of its tail's and its loop's, the earlier,
// both counted when they tie.
std::optional<silent_walks::silent_offset> silent_walks::next_silent(std::uint32_t node, const walk_place& place,
                                                                     std::uint32_t rotation)
{
    const std::uint32_t offset = offsets_[node], above = above_[node];
    std::optional<silent_offset> tail;
    if (place.tail && tail_ranks_.size() <= few_on_tail)
        tail = next_on_short_tail(offset - rotation);
    else if (place.tail)
        tail = next_in_turn([&](std::uint32_t low, std::uint32_t high) { return tail_first(low, high); }, above, offset,
                            rotation);
    if (place.loop == no_node)
        return tail;
    const auto on_loop = [&] {
        return next_in_turn([&](std::uint32_t low, std::uint32_t high) { return loop_first(place.loop, place.cut, low, high); },
                            above, offset, rotation);
    };
    std::optional<silent_offset> loop;
    // Without an entry left out, the answer is the node's own, whichever
    // walk asks.
    if (place.cut == no_node) {
        silent_offset& known = loop_next_[2 * std::size_t{node} + (rotation != 0 ? 1 : 0)];
        if (known.rank == unknown_rank) {
            const auto found = on_loop();
            known = found ? *found : silent_offset{no_rank, 0};
        }
        if (known.rank != no_rank)
            loop = known;
    } else {
        loop = on_loop();
    }
    if (!tail || !loop)
        return tail ? tail : loop;
    const std::uint32_t tail_key = keys_[tail->rank] - rotation, loop_key = keys_[loop->rank] - rotation;
    if (tail_key == loop_key)
        return silent_offset{tail->rank, tail->count + loop->count};
    return tail_key < loop_key ? tail : loop;
}

}  // namespace vantor
