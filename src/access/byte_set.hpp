// A set of byte positions, such as the bytes of the items listed so far, in
// one bit each, with two summaries over it so that asking about a long range
// costs a few words however long it is. Bits come in chunks made when first
// set, so that a sparse file of gigabytes costs what it holds.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace vantor {

class byte_set {
public:
    // Positions 0 to `length` - 1.
    explicit byte_set(std::uint64_t length);

    // Whether any of [start, start + size) is in the set; the range lies
    // within the length. A range within one word, as most items are, is
    // answered here.
    bool any(std::uint64_t start, std::uint64_t size) const
    {
        const std::uint64_t first = start / 64;
        if (size == 0 || (start + size - 1) / 64 != first)
            return any_across(start, size);
        const auto& chunk = chunks_[first / chunk_words];
        return chunk && (chunk[first % chunk_words] & bits_of(start % 64, (start + size - 1) % 64 + 1)) != 0;
    }
    // Most items are a few bytes within one word, whose summaries were set
    // for an item before.
    void add(std::uint64_t start, std::uint64_t size)
    {
        const std::uint64_t first = start / 64;
        std::uint64_t* word = size != 0 && (start + size - 1) / 64 == first && chunks_[first / chunk_words]
                                  ? &chunks_[first / chunk_words][first % chunk_words]
                                  : nullptr;
        if (word != nullptr && *word != 0)
            *word |= bits_of(start % 64, (start + size - 1) % 64 + 1);
        else
            add_across(start, size);
    }

    // Bits [from, to) of a word, 0 <= from < to <= 64.
    static constexpr std::uint64_t bits_of(std::uint64_t from, std::uint64_t to)
    {
        const std::uint64_t below_to = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
        return below_to & ~((std::uint64_t{1} << from) - 1);
    }

private:
    bool any_across(std::uint64_t start, std::uint64_t size) const;
    void add_across(std::uint64_t start, std::uint64_t size);
    // One word of bits covers 64 positions; a summary bit stands for a word
    // of the level below that holds any bit.
    static constexpr std::uint64_t chunk_words = 4096;  // 256 Ki positions

    std::uint64_t word(std::uint64_t at) const;
    std::uint64_t level_word(int level, std::uint64_t at) const;

    std::vector<std::unique_ptr<std::uint64_t[]>> chunks_;  // of chunk_words words
    std::vector<std::uint64_t> words_in_use_;                // bit: a word of the bits holds any
    std::vector<std::uint64_t> summary_in_use_;              // bit: a word of words_in_use_ holds any
};

}  // namespace vantor
