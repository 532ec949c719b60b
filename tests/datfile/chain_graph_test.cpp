#include "datfile/chain_graph.hpp"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace vantor {
namespace {

constexpr std::uint32_t none = no_node;

// The positions a plain walk visits, stopping at the end or at a repeat.
std::vector<std::uint32_t> walk(const std::vector<std::uint32_t>& successor, std::uint32_t from)
{
    std::vector<std::uint32_t> visited;
    std::set<std::uint32_t> seen;
    for (std::uint32_t at = from; at != none && seen.insert(at).second; at = successor[at])
        visited.push_back(at);
    return visited;
}

void expect_matches_plain_walks(const std::vector<std::uint32_t>& successor)
{
    const chain_graph graph(successor);
    const chain_reach reach(graph);
    const auto count = static_cast<std::uint32_t>(successor.size());
    for (std::uint32_t from = 0; from < count; ++from) {
        const std::vector<std::uint32_t> visited = walk(successor, from);
        ASSERT_EQ(graph.walk_length(from), visited.size()) << "from " << from;
        const std::set<std::uint32_t> on_walk(visited.begin(), visited.end());
        for (std::uint32_t target = 0; target < count; ++target)
            ASSERT_EQ(reach.reaches(from, target), on_walk.count(target) == 1) << from << " -> " << target;
    }
    // Each node once; a loop's nodes together in its order, every other node
    // after its successor.
    const std::vector<std::uint32_t> order = graph.settle_order();
    ASSERT_EQ(std::set<std::uint32_t>(order.begin(), order.end()).size(), count);
    std::vector<std::size_t> place(count);
    for (std::size_t i = 0; i < order.size(); ++i)
        place[order[i]] = i;
    for (std::size_t i = 0; i < order.size(); ++i) {
        const std::uint32_t node = order[i], next = successor[node];
        if (graph.on_loop(node)) {
            EXPECT_TRUE(place[next] == i + 1 || place[next] + graph.walk_length(node) - 1 == i) << node;
        } else if (next != none) {
            EXPECT_LT(place[next], i) << node;
        }
    }
}

TEST(chain_graph, shapes)
{
    const std::vector<std::vector<std::uint32_t>> shapes = {
        {none},                     // one position
        {0},                        // a position that is its own successor
        {1, 2, none},               // a plain chain
        {1, 2, 0},                  // a ring
        {1, 2, 3, 1},               // a chain running into a ring
        {2, 2, 3, none, 3, 0},      // two chains joining, plus a branch
        {1, 0, 3, 2, 0, 4, 5},      // two rings, trees hanging on them
    };
    for (const auto& successor : shapes)
        expect_matches_plain_walks(successor);
}

TEST(chain_graph, random_graphs_match_plain_walks)
{
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        const std::uint32_t count = std::uniform_int_distribution<std::uint32_t>(1, 40)(random);
        std::uniform_int_distribution<std::uint32_t> pick(0, count + count / 3);
        std::vector<std::uint32_t> successor(count);
        for (auto& next : successor) {
            next = pick(random);
            if (next >= count)
                next = none;
        }
        expect_matches_plain_walks(successor);
    }
}

TEST(chain_graph, long_chains_are_settled_without_deep_recursion)
{
    const std::uint32_t count = 1'000'000;
    std::vector<std::uint32_t> successor(count);
    for (std::uint32_t at = 0; at < count; ++at)
        successor[at] = at + 1 < count ? at + 1 : none;
    const chain_graph chain(successor);
    EXPECT_EQ(chain.walk_length(0), count);
    EXPECT_TRUE(chain_reach(chain).reaches(0, count - 1));
    EXPECT_FALSE(chain_reach(chain).reaches(count - 1, 0));

    successor.back() = 0;
    const chain_graph ring(successor);
    EXPECT_EQ(ring.walk_length(count - 1), count);
    EXPECT_TRUE(chain_reach(ring).reaches(count - 1, 0));
}

}  // namespace
}  // namespace vantor
