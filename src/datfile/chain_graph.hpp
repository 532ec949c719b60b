// Member chains as a graph in which every descriptor has at most one
// successor. A hostile table may make a chain run back into itself, and one
// chain may be walked many times; this answers, in constant time after one
// linear pass, how many distinct descriptors a walk visits and whether it
// reaches a given one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace vantor {

class chain_graph {
public:
    static constexpr std::uint32_t none = UINT32_MAX;

    // successor[i] is the position that follows position i, or `none`.
    explicit chain_graph(std::vector<std::uint32_t> successor);

    // The graph of `count` positions in which `step(i)` follows position i.
    template <typename Step>
    static chain_graph of(std::size_t count, Step step)
    {
        std::vector<std::uint32_t> successor(count);
        for (std::uint32_t at = 0; at < count; ++at)
            successor[at] = step(at);
        return chain_graph(std::move(successor));
    }

    std::uint32_t successor(std::uint32_t from) const { return successor_[from]; }

    // Number of distinct positions a walk from `from` visits, `from` included,
    // before it ends or comes back to a position it has visited.
    std::uint32_t walk_length(std::uint32_t from) const;

    // Whether a walk from `from` visits `target` (a position reaches itself).
    bool reaches(std::uint32_t from, std::uint32_t target) const;

private:
    void settle_path(const std::vector<std::uint32_t>& path, std::uint32_t stop);
    void number_trees();

    std::vector<std::uint32_t> successor_;
    // Where the walk from a position ends up: the first position on a cycle,
    // or the last position when the walk simply ends.
    std::vector<std::uint32_t> root_;
    std::vector<std::uint32_t> depth_;       // steps from a position to its root
    std::vector<std::uint32_t> cycle_;       // cycle number of a root, or none
    std::vector<std::uint32_t> cycle_size_;  // by cycle number
    // Entry and exit times of a depth-first walk of the reversed edges, so
    // that "target lies on the walk from `from`" is an interval test.
    std::vector<std::uint32_t> enter_;
    std::vector<std::uint32_t> leave_;
};

}  // namespace vantor
