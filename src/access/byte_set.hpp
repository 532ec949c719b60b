// A set of byte positions, such as the bytes of the items listed so far.
// Blocks of positions that hold any are kept, in order, as words of bits,
// and long runs of blocks wholly in the set as one entry each: the set costs
// what it holds, not the length it spans, and asking about or adding a long
// range costs a few entries however long it is.
#pragma once

#include <array>
#include <cstdint>
#include <map>

namespace vantor {

class byte_set {
public:
    // Positions 0 to `length` - 1.
    explicit byte_set(std::uint64_t) {}
    byte_set(const byte_set&) = delete;
    byte_set& operator=(const byte_set&) = delete;

    // Whether any of [start, start + size) is in the set.
    bool any(std::uint64_t start, std::uint64_t size) const;
    void add(std::uint64_t start, std::uint64_t size);

    // Bits [from, to) of a word, 0 <= from < to <= 64.
    static constexpr std::uint64_t bits_of(std::uint64_t from, std::uint64_t to)
    {
        const std::uint64_t below_to = to == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << to) - 1;
        return below_to & ~((std::uint64_t{1} << from) - 1);
    }

private:
    static constexpr std::uint64_t block_words = 8;
    static constexpr std::uint64_t block_positions = block_words * 64;

    // From its key's block on: the blocks up to `end` wholly in the set, or
    // else the one block's bits.
    struct entry {
        std::uint64_t end;
        bool whole;
        std::array<std::uint64_t, block_words> bits{};
    };
    using entries = std::map<std::uint64_t, entry>;

    // Whether the entry holds any of the positions [from, to), all of
    // which lie in its blocks.
    static bool holds(std::uint64_t block, const entry& at, std::uint64_t from, std::uint64_t to);
    void add_within_block(std::uint64_t from, std::uint64_t to);
    void add_whole_blocks(std::uint64_t first, std::uint64_t end);

    entries entries_;
    // The entry added to last, or end(): an iterator stays valid until its
    // entry is erased, and only add_whole_blocks erases, then sets it anew.
    entries::iterator last_ = entries_.end();
};

}  // namespace vantor
