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
    // within the length.
    bool any(std::uint64_t start, std::uint64_t size) const;
    void add(std::uint64_t start, std::uint64_t size);

private:
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
