#include "access/byte_set.hpp"

#include <algorithm>
#include <iterator>

namespace vantor {

bool byte_set::holds(std::uint64_t block, const entry& at, std::uint64_t from, std::uint64_t to)
{
    if (at.whole)
        return from < to;
    const std::uint64_t base = block * block_positions;
    for (std::uint64_t position = from; position < to;) {
        const std::uint64_t word = (position - base) / 64;
        const std::uint64_t word_end = std::min(to, base + (word + 1) * 64);
        if ((at.bits[word] & bits_of((position - base) % 64, (word_end - 1 - base) % 64 + 1)) != 0)
            return true;
        position = word_end;
    }
    return false;
}

bool byte_set::any(std::uint64_t start, std::uint64_t size) const
{
    if (size == 0)
        return false;
    const std::uint64_t end = start + size;
    const std::uint64_t first = start / block_positions, last = (end - 1) / block_positions;
    // Items listed one after another ask about the entry met last.
    if (last_ != entries_.end() && last_->first <= first && last < last_->second.end)
        return holds(last_->first, last_->second, start, end);
    auto at = entries_.upper_bound(first);
    if (at != entries_.begin() && std::prev(at)->second.end > first)
        --at;
    // Only the range's first and last blocks are partly inside it, and an
    // entry holds some position of each of its blocks: a few entries decide.
    for (; at != entries_.end() && at->first <= last; ++at) {
        const std::uint64_t from = std::max(start, at->first * block_positions);
        const std::uint64_t to = std::min(end, at->second.end * block_positions);
        if (holds(at->first, at->second, from, to))
            return true;
        if (at->second.end > last)
            break;
    }
    return false;
}

void byte_set::add_within_block(std::uint64_t from, std::uint64_t to)
{
    const std::uint64_t block = from / block_positions;
    auto at = last_;
    if (at == entries_.end() || at->first > block || block >= at->second.end) {
        at = entries_.upper_bound(block);
        if (at != entries_.begin() && std::prev(at)->second.end > block)
            --at;
        else
            at = entries_.emplace_hint(at, block, entry{block + 1, false});
        last_ = at;
    }
    if (at->second.whole)
        return;
    const std::uint64_t base = block * block_positions;
    for (std::uint64_t position = from; position < to;) {
        const std::uint64_t word = (position - base) / 64;
        const std::uint64_t word_end = std::min(to, base + (word + 1) * 64);
        at->second.bits[word] |= bits_of((position - base) % 64, (word_end - 1 - base) % 64 + 1);
        position = word_end;
    }
}

void byte_set::add_whole_blocks(std::uint64_t first, std::uint64_t end)
{
    // One entry takes the place of all it meets, and of a whole run that
    // reaches into it from before or beyond.
    auto at = entries_.upper_bound(first);
    if (at != entries_.begin() && std::prev(at)->second.end > first) {
        --at;
        if (at->second.whole)
            first = at->first;
    }
    while (at != entries_.end() && at->first <= end) {
        if (at->second.whole || at->first < end) {
            if (at->second.whole && at->first <= end)
                end = std::max(end, at->second.end);
            at = entries_.erase(at);
        } else {
            break;
        }
    }
    last_ = entries_.emplace_hint(at, first, entry{end, true});
}

void byte_set::add(std::uint64_t start, std::uint64_t size)
{
    if (size == 0)
        return;
    const std::uint64_t end = start + size;
    const std::uint64_t whole_first = (start + block_positions - 1) / block_positions;
    const std::uint64_t whole_end = end / block_positions;
    if (whole_first >= whole_end) {
        // No block wholly inside: one block, or the ends of two.
        const std::uint64_t split = std::min(end, (start / block_positions + 1) * block_positions);
        add_within_block(start, split);
        if (split < end)
            add_within_block(split, end);
        return;
    }
    if (start < whole_first * block_positions)
        add_within_block(start, whole_first * block_positions);
    if (whole_end * block_positions < end)
        add_within_block(whole_end * block_positions, end);
    add_whole_blocks(whole_first, whole_end);
}

}  // namespace vantor
