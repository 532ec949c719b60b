#include "listing/member_order.hpp"

#include <algorithm>
#include <array>
#include <utility>

namespace vantor {

namespace {

// Up to this many entries, insertion costs less than the radix passes.
constexpr std::size_t insertion_limit = 32;

bool key_less(const ordered_entry& a, const ordered_entry& b) { return a.key < b.key; }

void insertion_sort(std::vector<ordered_entry>& entries, std::uint64_t& work)
{
    for (std::size_t at = 1; at < entries.size(); ++at) {
        const ordered_entry entry = entries[at];
        std::size_t to = at;
        for (; to > 0 && entries[to - 1].key > entry.key; --to, ++work)
            entries[to] = entries[to - 1];
        entries[to] = entry;
    }
}

}  // namespace

void sort_by_key(std::vector<ordered_entry>& entries, std::vector<ordered_entry>& scratch, std::uint64_t& work,
                 std::uint64_t& sorted)
{
    const std::size_t count = entries.size();
    work += count;
    sorted += count;
    if (std::is_sorted(entries.begin(), entries.end(), key_less))
        return;
    if (count <= insertion_limit) {
        insertion_sort(entries, work);
        return;
    }
    // Least significant byte first; each pass is stable, so ties keep their
    // order through all four.
    std::array<std::array<std::uint32_t, 256>, 4> starts{};
    for (const ordered_entry& entry : entries)
        for (int pass = 0; pass < 4; ++pass)
            ++starts[pass][(entry.key >> (8 * pass)) & 0xFF];
    scratch.resize(count);
    for (int pass = 0; pass < 4; ++pass) {
        const int shift = 8 * pass;
        std::array<std::uint32_t, 256>& start = starts[pass];
        if (start[(entries[0].key >> shift) & 0xFF] == count)
            continue;
        std::uint32_t next = 0;
        for (std::uint32_t& bucket : start)
            next += std::exchange(bucket, next);
        for (const ordered_entry& entry : entries)
            scratch[start[(entry.key >> shift) & 0xFF]++] = entry;
        entries.swap(scratch);
        work += count;
    }
}

std::uint32_t rotation_of(std::span<const ordered_entry> by_offset)
{
    const auto high = std::lower_bound(by_offset.begin(), by_offset.end(), half_circle,
                                       [](const ordered_entry& entry, std::uint32_t key) { return entry.key < key; });
    if (high == by_offset.begin() || high == by_offset.end())
        return 0;
    const std::uint32_t least_low = by_offset.front().key, most_low = (high - 1)->key;
    const std::uint32_t least_high = high->key, most_high = by_offset.back().key;
    if (most_high - least_low < half_circle)
        return 0;
    // The high half first, then the low half after the wrap.
    return most_low - least_high < half_circle ? half_circle : 0;
}

member_order::member_order(const chain_graph& graph, std::span<const std::uint32_t> offsets, std::uint64_t& work,
                           std::uint64_t& sorted)
    : graph_(graph), offsets_(offsets), work_(work), sorted_entries_(sorted)
{
}

std::span<const ordered_entry> member_order::after(std::uint32_t head)
{
    const std::uint32_t length = graph_.walk_length(head) - 1;
    if (length == 0)
        return {};
    const std::uint32_t start = graph_.successor(head);
    // A head on a loop walks the rest of it: the walk from its successor,
    // less the head itself.
    const std::uint32_t cut = graph_.on_loop(head) ? head : no_node;
    if (!in_sorted_walk(start) || 2 * std::uint64_t{length} < sorted_.size())
        sort_walk_from(start);
    else if (start == view_start_ && cut == view_cut_)
        return view_;

    const bool whole = start == start_ && cut == no_node;
    if (!whole)
        take_from_sorted_walk(start, cut);
    const std::span<const ordered_entry> by_offset = whole ? std::span<const ordered_entry>(sorted_) : view_;
    const std::uint32_t rotation = rotation_of(by_offset);
    if (whole && rotation == 0)
        return sorted_;
    if (whole)
        view_ = sorted_;
    if (rotation != 0) {
        const auto high = std::find_if(view_.begin(), view_.end(), [](const ordered_entry& e) { return e.key >= half_circle; });
        std::rotate(view_.begin(), high, view_.end());
        work_ += view_.size();
    }
    view_start_ = start;
    view_cut_ = cut;
    return view_;
}

void member_order::sort_walk_from(std::uint32_t start)
{
    // Only now: a table whose walks are all sparse never needs them.
    places_.resize(graph_.size());
    ++walk_;
    start_ = start;
    view_start_ = no_node;
    sorted_.clear();
    const std::uint32_t length = graph_.walk_length(start);
    loop_from_ = length;
    std::uint32_t node = start;
    for (std::uint32_t position = 0; position < length; ++position) {
        if (loop_from_ == length && graph_.on_loop(node))
            loop_from_ = position;
        places_[node] = {walk_, position};
        sorted_.push_back({node, offsets_[node], position});
        node = graph_.successor(node);
    }
    work_ += length;
    sort_by_key(sorted_, scratch_, work_, sorted_entries_);
}

// The walk from `start`, which the sorted walk holds, less `cut`, into view_
// in unsigned offset order.
void member_order::take_from_sorted_walk(std::uint32_t start, std::uint32_t cut)
{
    // Begun on the sorted walk's tail, a walk holds the rest of it; begun on
    // its loop, the loop, from there round.
    const std::uint32_t at = places_[start].position;
    const std::uint32_t from = std::min(at, loop_from_);
    view_.clear();
    for (const ordered_entry& entry : sorted_)
        if (entry.position >= from && entry.node != cut)
            view_.push_back(entry);
    work_ += sorted_.size();
    if (at > loop_from_)
        turn_loop_ties(at);
}

// Among ties the loop's entries stand in the sorted walk's chain order, from
// where it entered the loop; this walk meets them from `loop_start` round.
void member_order::turn_loop_ties(std::uint32_t loop_start)
{
    for (auto run = view_.begin(); run != view_.end();) {
        const auto end = std::find_if(run, view_.end(), [&](const ordered_entry& e) { return e.key != run->key; });
        const auto loop = std::find_if(run, end, [&](const ordered_entry& e) { return e.position >= loop_from_; });
        const auto turn = std::find_if(loop, end, [&](const ordered_entry& e) { return e.position >= loop_start; });
        std::rotate(loop, turn, end);
        run = end;
    }
    work_ += view_.size();
}

}  // namespace vantor
