#include "access/byte_set.hpp"

#include <algorithm>

namespace vantor {

namespace {

constexpr std::uint64_t bits = 64;

constexpr std::uint64_t mask(std::uint64_t from, std::uint64_t to) { return byte_set::bits_of(from, to); }

std::uint64_t words_for(std::uint64_t count) { return (count + bits - 1) / bits; }

bool any_in(const std::vector<std::uint64_t>& level, std::uint64_t from, std::uint64_t to)
{
    for (std::uint64_t at = from; at < to; ++at)
        if (level[at] != 0)
            return true;
    return false;
}

void set_bit(std::vector<std::uint64_t>& level, std::uint64_t bit) { level[bit / bits] |= std::uint64_t{1} << bit % bits; }

}  // namespace

byte_set::byte_set(std::uint64_t length)
    : chunks_((words_for(length) + chunk_words - 1) / chunk_words),
      words_in_use_(words_for(words_for(length))),
      summary_in_use_(words_for(words_in_use_.size()))
{
}

std::uint64_t byte_set::word(std::uint64_t at) const
{
    const auto& chunk = chunks_[at / chunk_words];
    return chunk ? chunk[at % chunk_words] : 0;
}

std::uint64_t byte_set::level_word(int level, std::uint64_t at) const
{
    return level == 0 ? word(at) : level == 1 ? words_in_use_[at] : summary_in_use_[at];
}

bool byte_set::any_across(std::uint64_t start, std::uint64_t size) const
{
    // Bits [from, to) of one level: the words at its two ends, then the
    // whole words between them, which the level above tells about.
    std::uint64_t from = start, to = start + size;
    for (int level = 0; from < to; ++level) {
        const std::uint64_t first = from / bits, last = (to - 1) / bits;
        if (first == last)
            return (level_word(level, first) & mask(from % bits, (to - 1) % bits + 1)) != 0;
        if ((level_word(level, first) & mask(from % bits, bits)) != 0 ||
            (level_word(level, last) & mask(0, (to - 1) % bits + 1)) != 0)
            return true;
        if (level == 2)
            return any_in(summary_in_use_, first + 1, last);
        from = first + 1;
        to = last;
    }
    return false;
}

void byte_set::add_across(std::uint64_t start, std::uint64_t size)
{
    for (std::uint64_t at = start; at < start + size;) {
        const std::uint64_t word_at = at / bits;
        const std::uint64_t end = std::min(start + size, (word_at + 1) * bits);
        auto& chunk = chunks_[word_at / chunk_words];
        if (!chunk)
            chunk = std::make_unique<std::uint64_t[]>(chunk_words);
        chunk[word_at % chunk_words] |= mask(at % bits, end - word_at * bits);
        set_bit(words_in_use_, word_at);
        set_bit(summary_in_use_, word_at / bits);
        at = end;
    }
}

}  // namespace vantor
