// --values against a plain reference: a recursive walk of the layout by the
// documented rules, one step of a path at a time as the resolver takes it,
// with a plain set of listed bytes. Every line, the comment's counts and the
// exit status agree, on random and hostile layouts; where the tool stops,
// what it listed begins the reference's listing.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "access/item_path.hpp"
#include "support/capture.hpp"
#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor::testing {
namespace {

constexpr std::uint64_t offset_space = std::uint64_t{1} << 32;

class reference_lister {
public:
    // A walk of more steps than `budget` gives up.
    reference_lister(const file_image& image, const std::vector<unsigned char>& file, std::uint64_t budget)
        : image_(image), file_(file), resolver_(image), on_stack_(resolver_.node_count()), budget_(budget),
          listed_(file.size() + 1)
    {
        if (!on_stack_.empty())
            walk(0, 0, "", 0);
    }

    // The listing as the tool prints it, and its exit status.
    std::string text(int& status) const
    {
        std::string out = lines_;
        const std::uint64_t unreached = image_.item_numb() - visited_.size();
        if (overlapping_ + too_deep_ + unreached != 0)
            out += "# left out: " + std::to_string(overlapping_) + " items over bytes listed above, " +
                   std::to_string(too_deep_) + " structures nested too deep, " + std::to_string(unreached) +
                   " descriptors on no path listed\n";
        status = 0;
        return out;
    }
    const std::string& lines() const { return lines_; }
    bool holds(std::uint64_t offset) const { return held_[offset]; }  // a listed value's byte
    bool gave_up() const { return steps_ > budget_; }
    std::uint64_t steps() const { return steps_; }
    std::uint64_t line_count() const { return lines_count_; }

private:
    bool starts_inside(std::uint64_t offset) const
    {
        return image_.data_offset() + offset < file_.size() && !listed_[offset];
    }

    void walk(std::uint32_t scope, std::uint64_t offset, const std::string& path, int depth)
    {
        if (++steps_ > budget_ || on_stack_[scope] || !starts_inside(offset))
            return;
        if (depth == 32) {
            ++too_deep_;
            return;
        }
        on_stack_[scope] = true;
        visited_.insert(scope);
        // The scope's chain, each node once.
        std::vector<std::uint32_t> chain;
        std::set<std::uint32_t> seen;
        for (std::uint32_t node = scope; node != no_node && seen.insert(node).second; node = resolver_.scope_successor(node))
            chain.push_back(node);
        for (const std::uint32_t node : chain)
            if (++steps_ <= budget_)
                visit(node, scope, offset, path, depth);
        on_stack_[scope] = false;
    }

    void visit(std::uint32_t node, std::uint32_t scope, std::uint64_t offset, const std::string& path, int depth)
    {
        visited_.insert(node);
        const item_desc desc = resolver_.desc(node);
        const item_resolver::step next = resolver_.step_after(desc);
        if (desc.id == 0 || (node == scope && next.next == item_resolver::step::leaf && desc.next != 0))
            return;
        const std::uint64_t at = (offset + desc.offset) % offset_space;
        const std::string here = path + std::to_string(desc.id);
        if (next.next == item_resolver::step::leaf)
            leaf(desc, at, here);
        else if (next.next == item_resolver::step::into_type)
            walk(next.type, at, here + ".", depth + 1);
        if (next.next != item_resolver::step::into_element)
            return;
        visited_.insert(next.type);
        const item_desc array = resolver_.desc(next.type);
        const std::uint32_t element = resolver_.find_item(array.next);
        if (element == no_node || on_stack_[element])
            return;
        const std::uint32_t count = array.size == 0 ? std::min(array.offset, 1u) : array.offset;
        for (std::uint64_t k = 0; k < count; ++k) {
            const std::uint64_t start = at + k * array.size;
            if (start >= offset_space || image_.data_offset() + start >= file_.size())
                break;
            walk(element, start, here + "[" + std::to_string(k) + "].", depth + 1);
        }
    }

    void leaf(const item_desc& desc, std::uint64_t at, const std::string& path)
    {
        const auto item = resolver_.locate(static_cast<std::uint32_t>(at), desc, false);
        if (!item)
            return;
        const std::uint64_t taken = std::max<std::uint64_t>(item->place().size, 1);
        for (std::uint64_t k = 0; k < taken; ++k)
            if (listed_[at + k]) {
                ++overlapping_;
                return;
            }
        for (std::uint64_t k = 0; k < taken; ++k)
            listed_[at + k] = true;
        for (std::uint64_t k = 0; k < item->place().size; ++k)
            held_[at + k] = true;
        ++lines_count_;
        lines_ += path + "=" + value(*item) + "\n";
    }

    std::string value(const item_location& item) const
    {
        const auto* bytes = file_.data() + item.start;
        const std::size_t size = static_cast<std::size_t>(item.place().size);
        if (!item.text) {
            const std::uint32_t word = size == 1 ? bytes[0]
                                       : size == 2 ? std::uint32_t{bytes[0]} << 8 | bytes[1]
                                       : size == 4 ? std::uint32_t{bytes[0]} << 24 | std::uint32_t{bytes[1]} << 16 |
                                                         std::uint32_t{bytes[2]} << 8 | bytes[3]
                                                   : 0;
            return std::to_string(static_cast<std::int32_t>(word));
        }
        std::size_t shown = size;
        while (shown > 0 && bytes[shown - 1] == 0)
            --shown;
        std::string text;
        for (std::size_t k = 0; k < shown; ++k) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", bytes[k]);
            text += bytes[k] == '\\' ? "\\\\" : bytes[k] >= 0x20 && bytes[k] < 0x7F ? std::string(1, static_cast<char>(bytes[k])) : hex;
        }
        return text;
    }

    const file_image& image_;
    const std::vector<unsigned char>& file_;
    item_resolver resolver_;
    std::vector<bool> on_stack_;
    std::uint64_t budget_;
    std::uint64_t steps_ = 0;
    std::vector<bool> listed_;    // data-area bytes listed
    std::vector<bool> held_ = std::vector<bool>(listed_.size());
    std::set<std::uint32_t> visited_;
    std::string lines_;
    std::size_t lines_count_ = 0;
    std::uint64_t overlapping_ = 0, too_deep_ = 0;
};

// Layouts built against the walk's edges: nesting 30 to 34 deep, elements
// 0 bytes apart, offsets near 2^32 that wrap, items across and at the 1 MiB
// boundaries of a data area read a window at a time, and a fan of types
// whose walks list nothing, which the tool must stop.
dat_layout hostile_layout(std::mt19937& random)
{
    const auto pick = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    const auto id = [](std::uint32_t number) { return static_cast<std::uint16_t>(number); };
    dat_layout layout = random_layout(random);
    const std::uint32_t depth = pick(29, 34);
    const bool fan = pick(0, 3) == 0;
    // The root's chain: an array member, a scalar, the way down and the fan.
    layout.descriptors[0] = variable(1, 4000, 0);
    layout.descriptors.push_back(structure(4000, 4001, 0));
    layout.descriptors.push_back(typed_member(4001, 3000, 4002, 0));
    layout.descriptors.push_back(member(4002, 900, pick(1, 4), 64));
    layout.descriptors.push_back(typed_member(900, 1000, fan ? 7000 : 0, 128 + pick(0, 3)));
    for (std::uint32_t k = 0; k < depth; ++k) {
        layout.descriptors.push_back(structure(id(1000 + k), id(2000 + k), 8));
        // A step back is 2^32 - 1 on, wrapped.
        layout.descriptors.push_back(k + 1 < depth ? typed_member(id(2000 + k), id(1001 + k), 0,
                                                                  pick(0, 2) == 0 ? 0xFFFFFFFFu : pick(0, 1))
                                                   : member(id(2000 + k), 0, pick(1, 4), 0));
    }
    const bool many = pick(0, 3) == 0;  // elements, listed far past the bound of an empty listing
    layout.descriptors.push_back(array(3000, 3001, pick(0, 1) * pick(1, 5), many ? pick(500, 1500) : pick(1, 4)));
    layout.descriptors.push_back(structure(3001, 3002, 4));
    layout.descriptors.push_back(member(3002, 3003, pick(1, 4), 0xFFFFFFFFu - pick(0, 16)));
    layout.descriptors.push_back(member(3003, 0, pick(0, 20), pick(0, 1) ? (1u << 20) - pick(0, 8) : pick(0, 40)));
    layout.descriptors.push_back(typed_member(7000, 5000, 0, 0));
    for (std::uint32_t k = 0; k < 24; ++k) {
        layout.descriptors.push_back(structure(id(5000 + k), id(6000 + 2 * k), 0));
        layout.descriptors.push_back(typed_member(id(6000 + 2 * k), id(5001 + k), id(6001 + 2 * k), 0));
        layout.descriptors.push_back(typed_member(id(6001 + 2 * k), id(5001 + k), 0, 0));
    }
    layout.descriptors.push_back(structure(5024, 6048, 0));
    layout.descriptors.push_back(member(6048, 0, 1, 0xFFFFF000u));
    layout.data.resize(std::max<std::size_t>(layout.data.size(), many ? 8192 : 256) + (pick(0, 1) ? (1u << 20) + pick(0, 64) : 0),
                       static_cast<unsigned char>(pick(0, 255)));
    for (auto& byte : layout.data)
        if (pick(0, 3) == 0)
            byte = static_cast<unsigned char>(pick(0, 255));
    return layout;
}

TEST(values, list_what_a_plain_recursive_walk_lists)
{
    std::mt19937 random(23);
    for (int round = 0; round < tool_under_test().rounds(150); ++round) {
        const dat_layout layout = round % 2 == 0 ? random_layout(random) : hostile_layout(random);
        const std::vector<unsigned char> bytes = build_dat(layout);
        const temp_file file(bytes);
        const tool_run run = run_tool({"--values", file.path()});
        const auto image = make_file_image(bytes);
        ASSERT_TRUE(image) << round;
        // What the tool listed: its lines but the comments.
        std::string values;
        std::size_t listed = 0;
        for (std::size_t at = 0, end; at < run.out.size(); at = end + 1) {
            end = run.out.find('\n', at);
            if (run.out[at] != '#')
                values += run.out.substr(at, end + 1 - at), ++listed;
        }
        const bool stopped = run.out.find("# stopped: ") != std::string::npos;
        // A listing that a plain walk finishes in a few steps a line never
        // stops; one that stops lists what begins the reference's.
        const reference_lister reference(*image, bytes, 200000);
        const bool cheap = !reference.gave_up() &&
                           reference.steps() <= 4 * (layout.descriptors.size() + 1 + reference.line_count());
        if (stopped && !cheap) {
            EXPECT_EQ(run.status, 255) << round;
            const std::string& lines = reference.lines();
            EXPECT_TRUE(lines.starts_with(values) || (reference.gave_up() && values.starts_with(lines)))
                << "round " << round << ":\n" << run.out;
            continue;
        }
        ASSERT_FALSE(reference.gave_up()) << "round " << round << ": listed all where a plain walk takes far longer";
        int status = 0;
        EXPECT_EQ(run.out, reference.text(status)) << "round " << round;
        EXPECT_EQ(run.status, status) << round;
    }
}

// --diff's value lines by its rule, from the two listings: B's order, each
// of A's own paths just before the first path after it in A's that B lists.
std::string reference_diff(const std::string& a, const std::string& b)
{
    const auto lines_of = [](const std::string& text) {
        std::vector<std::pair<std::string, std::string>> lines;
        for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
            end = text.find('\n', at);
            lines.emplace_back(text.substr(at, text.find('=', at) - at), text.substr(at, end + 1 - at));
        }
        return lines;
    };
    const auto in_a = lines_of(a), in_b = lines_of(b);
    std::map<std::string, std::size_t> place_in_a;
    std::set<std::string> paths_of_b;
    for (std::size_t at = 0; at < in_a.size(); ++at)
        place_in_a.emplace(in_a[at].first, at);
    for (const auto& line : in_b)
        paths_of_b.insert(line.first);
    std::string out;
    std::size_t next = 0;
    const auto own_paths = [&](std::size_t end) {
        for (; next < end; ++next)
            if (!paths_of_b.contains(in_a[next].first))
                out += "-" + in_a[next].second;
    };
    for (const auto& [path, line] : in_b) {
        const auto found = place_in_a.find(path);
        if (found == place_in_a.end()) {
            out += "+" + line;
            continue;
        }
        own_paths(found->second);
        next = std::max(next, found->second + 1);
        if (in_a[found->second].second != line)
            out += "-" + in_a[found->second].second + "+" + line;
    }
    own_paths(in_a.size());
    return out;
}

// A random layout, or the worked example's with random data, against a
// copy with random changes, each or none, either way round: a few data
// bytes, a descriptor's byte, the header's data_offset, data_len or flag,
// the length. The value lines are the reference's, the comment counts every other
// data byte that differs, the exit status tells whether the files are the
// same, and where they share their layout the + lines make A's values B's.
TEST(values, diff_lines_are_the_difference_of_two_listings)
{
    std::mt19937 random(24);
    const auto pick = [&](std::size_t low, std::size_t high) { return std::uniform_int_distribution<std::size_t>(low, high)(random); };
    for (int round = 0; round < tool_under_test().rounds(300); ++round) {
        dat_layout layout = round % 3 == 0 ? random_layout(random) : worked_example();
        for (auto& byte : layout.data)
            byte = round % 3 == 0 ? byte : static_cast<unsigned char>(pick(0, 3) == 0 ? pick(0, 255) : pick(0, 2));
        const std::size_t data = 28 + 16 * layout.descriptors.size();
        // Now and then bytes between the table and the data area.
        if (pick(0, 5) == 0)
            layout.data_offset = static_cast<std::uint32_t>(data + pick(1, 8));
        std::vector<unsigned char> a = build_dat(layout), b = a;
        const auto flip = [&](std::size_t from, std::size_t to) { b[pick(from, to)] ^= static_cast<unsigned char>(pick(1, 255)); };
        const bool in_data = pick(0, 2) == 0 && b.size() > data, in_table = pick(0, 2) == 0, in_header = pick(0, 4) == 0;
        for (std::size_t k = in_data ? pick(1, 5) : 0; k > 0; --k)
            flip(data, b.size() - 1);
        // The low byte of a size, an offset, an id or a link, or the flag.
        constexpr std::size_t fields[] = {3, 3, 3, 7, 9, 11, 12};
        if (in_table)
            b[28 + 16 * pick(0, layout.descriptors.size() - 1) + fields[pick(0, 6)]] ^= static_cast<unsigned char>(pick(1, 3));
        if (in_header)
            flip(16, 27);
        if (pick(0, 4) == 0)
            b.resize(b.size() + pick(0, 3) - std::min<std::size_t>(b.size() - data, 3), 0x5A);
        if (pick(0, 1) == 0)
            a.swap(b);
        const temp_file file_a(a), file_b(b);
        const tool_run run = run_tool({"--diff", file_a.path(), file_b.path()});
        const auto image_a = make_file_image(a), image_b = make_file_image(b);
        if (!image_a || !image_b) {
            EXPECT_EQ(run.status, 255) << round;
            continue;
        }
        const reference_lister listed_a(*image_a, a, 200000), listed_b(*image_b, b, 200000);
        if (run.out.find("# stopped: ") != std::string::npos || listed_a.gave_up() || listed_b.gave_up())
            continue;
        std::string lines, plus_lines;
        std::uint64_t stray = 0, counted = 0, between = 0, counted_between = 0;
        for (std::size_t at = 0, end; at < run.out.size(); at = end + 1) {
            end = run.out.find('\n', at);
            if (run.out[at] != '#')
                lines += run.out.substr(at, end + 1 - at);
            if (run.out[at] == '+')
                plus_lines += run.out.substr(at + 1, end - at);
            std::sscanf(run.out.c_str() + at, "# data area: %llu", reinterpret_cast<unsigned long long*>(&counted));
            std::sscanf(run.out.c_str() + at, "# between the table and the data area: %llu",
                        reinterpret_cast<unsigned long long*>(&counted_between));
        }
        const std::uint64_t data_a = image_a->data_offset(), data_b = image_b->data_offset();
        for (std::uint64_t k = 0; data_a + k < a.size() && data_b + k < b.size(); ++k)
            stray += a[data_a + k] != b[data_b + k] && !listed_a.holds(k) && !listed_b.holds(k);
        for (std::uint64_t at = data; at < std::min({data_a, data_b, std::uint64_t{a.size()}, std::uint64_t{b.size()}}); ++at)
            between += a[at] != b[at];
        EXPECT_EQ(lines, reference_diff(listed_a.lines(), listed_b.lines())) << "round " << round << ":\n" << run.out;
        EXPECT_EQ(counted, stray) << "round " << round << ":\n" << run.out;
        EXPECT_EQ(counted_between, between) << "round " << round << ":\n" << run.out;
        EXPECT_EQ(run.status, a == b ? 0 : 1) << round;
        if (!std::equal(a.begin(), a.begin() + static_cast<std::ptrdiff_t>(data), b.begin()) || a.size() != b.size())
            continue;
        run_setup from_b;
        from_b.input = plus_lines;
        ASSERT_EQ(run_tool({"--set", file_a.path(), "-"}, from_b)->status, 0) << round;
        EXPECT_EQ(run_tool({"--values", file_a.path()}).out, run_tool({"--values", file_b.path()}).out) << round;
    }
    // A listing that stops stops the comparison, as it stops --values.
    const temp_file crafted(build_dat(shape_named("silent").build(4096)));
    const tool_run stopped = run_tool({"--diff", crafted.path(), crafted.path()});
    EXPECT_TRUE(stopped.out.ends_with("# stopped: the layout names far more than this file holds\n")) << stopped.out;
    EXPECT_EQ(stopped.status, 255);
}

}  // namespace
}  // namespace vantor::testing
