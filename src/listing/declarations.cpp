#include "listing/declarations.hpp"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "datfile/chain_graph.hpp"
#include "datfile/desc_index.hpp"
#include "listing/safe_sort.hpp"
#include "listing/text_writer.hpp"

namespace vantor {

namespace {

constexpr std::uint32_t none = desc_index::none;

// Offsets compare by their 32-bit wrap-around difference read as signed.
std::int32_t cmp_offset(const item_desc& a, const item_desc& b)
{
    return static_cast<std::int32_t>(a.offset - b.offset);
}

std::uint32_t print_scalar(text_writer& out, const item_desc& desc)
{
    switch (desc.size) {
    case 1:
        out << "  BYTE   b" << zero(desc.id, 3) << ';';
        break;
    case 2:
        out << "  WORD   w" << zero(desc.id, 3) << ';';
        break;
    case 4:
        out << "  DWORD  d" << zero(desc.id, 3) << ';';
        break;
    default:
        out << "  BYTE   ba" << zero(desc.id, 3) << '[' << decimal(desc.size) << "];";
        break;
    }
    return desc.size;
}

// Entries that print nothing: of a kind that is no member, structure or
// variable. They still count in a declaration's union tests.
bool is_silent(const item_desc& desc)
{
    const std::uint8_t kind = kind_of(desc);
    return kind != KIND_MEMBER && kind != KIND_STRUCT && kind != KIND_VARIABLE;
}

// The two smallest of some sort keys.
struct least_two {
    std::uint32_t count = 0;
    std::uint32_t first = 0;
    std::uint32_t second = 0;

    void add(std::uint32_t key)
    {
        if (count == 0 || key < first) {
            second = first;
            first = key;
        } else if (count == 1 || key < second) {
            second = key;
        }
        count = count < 2 ? count + 1 : 2;
    }
    void add(const least_two& other)
    {
        if (other.count > 0)
            add(other.first);
        if (other.count > 1)
            add(other.second);
    }
    // The union test: the next two entries share an offset.
    bool tie() const { return count == 2 && first == second; }
};

// A run of silent entries along a member chain, up to the next entry that
// prints or the end of the chain, summed up once for every declaration that
// walks through it.
struct silent_run {
    std::uint32_t length = 0;
    std::uint32_t after = none;  // the entry that follows the run
    least_two keys;
};

// A stretch of silent entries in one declaration.
struct silent_block {
    std::uint32_t start;     // first entry
    std::uint32_t position;  // its place in chain order
    std::uint32_t length;
    least_two keys;
};

// One printed entry of a declaration and its place in chain order.
struct member_entry {
    std::uint32_t node;
    std::uint32_t position;
};

// Running state while one declaration is printed.
struct printing_state {
    std::uint32_t cursor = 0;
    bool in_union = false;
};

class generator {
public:
    generator(std::FILE* out, std::span<const item_desc> table);

    void run();

private:
    // One declaration whose walk is under way; nested declarations are
    // printed while it waits, so walks are kept on an explicit stack.
    struct frame {
        std::uint32_t head;
        std::uint32_t cur;
        std::uint32_t collected;
        std::uint32_t length;
    };

    const item_desc& desc(std::uint32_t node) const { return table_[index_.position(node)]; }
    std::uint32_t lookup_desc(std::uint32_t key) { return index_.find(key); }
    std::uint32_t successor(std::uint32_t node);
    std::uint32_t nested_type(std::uint32_t node);
    bool mark_emitted(std::uint32_t type);
    frame start(std::uint32_t head) const { return {head, head, 0, graph_.walk_length(head)}; }
    void mark_done(std::uint32_t head, std::uint32_t length);

    std::optional<std::uint32_t> find_rotation();
    void sum_silent_runs();
    std::uint32_t key(std::uint32_t node) const { return desc(node).offset - *rotation_; }

    void print_declaration(std::uint32_t head, std::uint32_t length);
    void collect(std::uint32_t head, std::uint32_t length);
    bool is_union(std::size_t next, const member_entry* entry) const;
    void add_block_keys(const silent_block& block, const member_entry& entry, least_two& keys) const;
    // `is_union()` is asked of structures only.
    template <typename UnionTest>
    void print_entry(const item_desc& desc, UnionTest is_union, printing_state& state);
    void print_struct(const item_desc& desc, bool is_union, printing_state& state);
    void print_member(const item_desc& desc, printing_state& state);
    void print_closing(const item_desc& head, std::uint32_t length, const printing_state& state);

    text_writer out_;
    std::span<const item_desc> table_;
    desc_index index_;
    chain_graph graph_;
    std::bitset<65536> emitted_;
    // Entries whose whole walk has been searched for nested types.
    std::vector<bool> done_;
    // Set when every offset lies within half the 32-bit circle of the
    // others: the member order is then one total order, sort keys are the
    // offsets less this rotation, and silent runs can be summed up.
    std::optional<std::uint32_t> rotation_;
    std::vector<silent_run> runs_;
    // The declaration being printed.
    std::vector<member_entry> printed_;
    std::vector<silent_block> blocks_;
};

generator::generator(std::FILE* out, std::span<const item_desc> table)
    : out_(out),
      table_(table),
      index_(reinterpret_cast<const unsigned char*>(table.data()), static_cast<std::uint32_t>(table.size()),
             desc_index::pick::last),
      graph_(chain_graph::of(index_.node_count(), [this](std::uint32_t node) { return successor(node); })),
      done_(index_.node_count(), false),
      rotation_(find_rotation())
{
    if (rotation_)
        sum_silent_runs();
}

// The entry a walk collects after `node`: the member its `next` names, or,
// when `next` names its type, the sibling its `size` names.
std::uint32_t generator::successor(std::uint32_t node)
{
    const item_desc& cur = desc(node);
    const std::uint32_t named = lookup_desc(cur.next);
    if (named == none)
        return none;
    switch (kind_of(desc(named))) {
    case KIND_MEMBER:
        return named;
    case KIND_STRUCT:
    case KIND_ARRAY:
        // A variable ends its chain at its type. The whole flag byte is
        // compared: with bit 7 set the variable walks on like a member.
        if (cur.flag == KIND_VARIABLE)
            return none;
        return lookup_desc(cur.size);
    default:
        return none;
    }
}

// The structure type that `node` uses, to be declared before it: its own
// type, or the element type of its array type.
std::uint32_t generator::nested_type(std::uint32_t node)
{
    const std::uint32_t named = lookup_desc(desc(node).next);
    if (named == none)
        return none;
    switch (kind_of(desc(named))) {
    case KIND_STRUCT:
        return named;
    case KIND_ARRAY:
        return lookup_desc(desc(named).next);
    default:
        return none;
    }
}

// Records a type by its id; true when it was recorded before.
bool generator::mark_emitted(std::uint32_t type)
{
    const std::uint16_t id = desc(type).id;
    if (emitted_.test(id))
        return true;
    emitted_.set(id);
    return false;
}

// After a declaration's walk, every type that its entries use is recorded,
// and so is every type that the walk from any of them uses: such an entry
// starts no nested declaration any more, and later walks stop searching
// there. Marking stops at the first entry already done, whose walk is done.
void generator::mark_done(std::uint32_t head, std::uint32_t length)
{
    for (std::uint32_t node = head, steps = 0; steps < length && !done_[node]; ++steps) {
        done_[node] = true;
        node = graph_.successor(node);
    }
}

void generator::run()
{
    std::vector<frame> frames{start(0)};
    while (!frames.empty()) {
        frame& top = frames.back();
        if (top.collected == top.length) {
            print_declaration(top.head, top.length);
            mark_done(top.head, top.length);
            frames.pop_back();
            continue;
        }
        const std::uint32_t at = top.cur;
        if (done_[at]) {
            top.collected = top.length;
            continue;
        }
        ++top.collected;
        top.cur = graph_.successor(at);
        const std::uint32_t type = nested_type(at);
        if (type != none && !mark_emitted(type))
            frames.push_back(start(type));
    }
}

// 0 when all offsets lie below 2^31 apart as unsigned numbers, 2^31 when they
// do once the circle is turned by half; otherwise the comparison is no
// order, and every declaration is sorted entry by entry.
std::optional<std::uint32_t> generator::find_rotation()
{
    const std::uint32_t count = index_.node_count();
    for (const std::uint32_t rotation : {0u, 0x80000000u}) {
        std::uint32_t low = UINT32_MAX, high = 0;
        for (std::uint32_t node = 0; node < count; ++node) {
            const std::uint32_t key = desc(node).offset - rotation;
            low = std::min(low, key);
            high = std::max(high, key);
        }
        if (high - low < 0x80000000u)
            return rotation;
    }
    return std::nullopt;
}

// Each silent entry gets the length, the end and the two smallest keys of the
// run from it, by one walk per run that stops where runs were summed before.
void generator::sum_silent_runs()
{
    const std::uint32_t count = index_.node_count();
    bool any = false;
    for (std::uint32_t node = 0; node < count && !any; ++node)
        any = is_silent(desc(node));
    if (!any)
        return;
    runs_.assign(count, {});
    std::vector<bool> settled(count, false);
    std::vector<bool> on_path(count, false);
    std::vector<std::uint32_t> path;
    for (std::uint32_t start = 0; start < count; ++start) {
        if (settled[start] || !is_silent(desc(start)))
            continue;
        path.clear();
        std::uint32_t at = start;
        while (at != none && is_silent(desc(at)) && !settled[at] && !on_path[at]) {
            on_path[at] = true;
            path.push_back(at);
            at = graph_.successor(at);
        }
        silent_run tail;
        tail.after = at;
        std::size_t cycle_start = path.size();
        if (at != none && on_path[at]) {
            // A loop of silent entries: a walk that enters it collects every
            // one and ends there.
            cycle_start = static_cast<std::size_t>(std::find(path.begin(), path.end(), at) - path.begin());
            silent_run loop{static_cast<std::uint32_t>(path.size() - cycle_start), none, {}};
            for (std::size_t i = cycle_start; i < path.size(); ++i)
                loop.keys.add(key(path[i]));
            for (std::size_t i = cycle_start; i < path.size(); ++i)
                runs_[path[i]] = loop;
            tail = loop;
        } else if (at != none && settled[at]) {
            tail = runs_[at];
        }
        for (std::size_t i = cycle_start; i-- > 0;) {
            tail.keys.add(key(path[i]));
            ++tail.length;
            runs_[path[i]] = tail;
        }
        for (const std::uint32_t node : path) {
            settled[node] = true;
            on_path[node] = false;
        }
    }
}

// The entries after the head, printed ones in `printed_` and, when runs are
// summed up, silent stretches in `blocks_`.
void generator::collect(std::uint32_t head, std::uint32_t length)
{
    printed_.clear();
    blocks_.clear();
    std::uint32_t node = graph_.successor(head);
    for (std::uint32_t position = 1; position < length;) {
        if (rotation_ && is_silent(desc(node))) {
            const silent_run& run = runs_[node];
            // A run longer than what is left ends where the walk closes a
            // loop; it is taken one entry at a time.
            if (run.length <= length - position) {
                blocks_.push_back({node, position, run.length, run.keys});
                position += run.length;
                node = run.after;
            } else {
                least_two keys;
                keys.add(key(node));
                blocks_.push_back({node, position, 1, keys});
                ++position;
                node = graph_.successor(node);
            }
            continue;
        }
        printed_.push_back({node, position});
        ++position;
        node = graph_.successor(node);
    }
}

void generator::print_declaration(std::uint32_t head, std::uint32_t length)
{
    collect(head, length);
    // The head stays first whatever its offset. When the offsets form one
    // order, the printed entries keep among themselves the order that all
    // the entries would have, and any stable sort gives it.
    const auto before = [this](const member_entry& a, const member_entry& b) {
        return cmp_offset(desc(a.node), desc(b.node)) < 0;
    };
    if (!rotation_)
        stable_sort_safe(std::span(printed_), before);
    else if (!std::is_sorted(printed_.begin(), printed_.end(), before))
        std::stable_sort(printed_.begin(), printed_.end(), before);

    printing_state state;
    print_entry(desc(head), [&] { return is_union(0, nullptr); }, state);
    for (std::size_t i = 0; i < printed_.size(); ++i)
        print_entry(desc(printed_[i].node), [&] { return is_union(i + 1, &printed_[i]); }, state);
    print_closing(desc(head), length, state);
}

// Whether the two entries that follow `entry` (the head when null) in member
// order share an offset; `next` is where the printed entries after it begin.
// Entries beyond the end of the declaration do not count.
bool generator::is_union(std::size_t next, const member_entry* entry) const
{
    least_two keys;
    for (std::size_t i = next; i < next + 2 && i < printed_.size(); ++i)
        keys.add(desc(printed_[i].node).offset - rotation_.value_or(0));
    for (const silent_block& block : blocks_) {
        if (entry)
            add_block_keys(block, *entry, keys);
        else
            keys.add(block.keys);
    }
    return keys.tie();
}

// The keys of a silent stretch that come after `entry` in member order: a
// larger key, or an equal one later in chain order.
void generator::add_block_keys(const silent_block& block, const member_entry& entry, least_two& keys) const
{
    const std::uint32_t bound = key(entry.node);
    const bool later = block.position > entry.position;
    if (block.keys.first > bound || (block.keys.first == bound && later)) {
        keys.add(block.keys);
        return;
    }
    std::uint32_t node = block.start;
    for (std::uint32_t i = 0; i < block.length; ++i, node = graph_.successor(node)) {
        const std::uint32_t k = key(node);
        if (k > bound || (k == bound && later))
            keys.add(k);
    }
}

template <typename UnionTest>
void generator::print_entry(const item_desc& desc, UnionTest is_union, printing_state& state)
{
    switch (kind_of(desc)) {
    case KIND_STRUCT:
        print_struct(desc, is_union(), state);
        break;
    case KIND_MEMBER:
        print_member(desc, state);
        break;
    case KIND_VARIABLE:
        out_ << "\nextern t_s" << zero(desc.next, 3) << " s" << zero(desc.id, 3) << ";\t//size=" << decimal(desc.size)
             << '\n';
        break;
    default:
        break;
    }
}

void generator::print_struct(const item_desc& desc, bool is_union, printing_state& state)
{
    state.cursor = 0;
    if (is_union) {
        out_ << "typedef union s" << zero(desc.id, 3) << "\n{\n";
        state.in_union = true;
    } else {
        out_ << "typedef struct s" << zero(desc.id, 3) << "\n{\n";
    }
    if (desc.next == 0) {
        state.cursor += print_scalar(out_, desc);
        out_ << "\t//off:" << zero(desc.offset, 5) << '\n';
    }
}

void generator::print_member(const item_desc& member, printing_state& state)
{
    // A link that names nothing leaves the member a scalar of its own size.
    const std::uint32_t named = member.next == 0 ? none : lookup_desc(member.next);
    const item_desc& type = named == none ? member : desc(named);

    if (member.offset > state.cursor) {
        out_ << "  BYTE   _" << zero(member.id, 3) << '[' << decimal(member.offset - state.cursor) << "];\n";
        state.cursor = member.offset;
    } else if (member.offset < state.cursor && !state.in_union) {
        out_ << "//";
    }

    std::uint32_t width = 0;
    switch (kind_of(type)) {
    case KIND_MEMBER:
        width = print_scalar(out_, member);
        break;
    case KIND_STRUCT:
        out_ << "  t_s" << zero(type.id, 3) << " s" << zero(member.id, 3) << ';';
        width = type.size;
        break;
    case KIND_ARRAY:
        out_ << "  t_s" << zero(type.next, 3) << " sa" << zero(member.id, 3) << '[' << decimal(type.offset) << "];";
        width = type.size * type.offset;
        break;
    default:
        // A type of no known kind has no declaration and takes no room.
        break;
    }
    out_ << "\t//off:" << zero(member.offset, 5) << '\n';
    if (member.offset >= state.cursor)
        state.cursor += width;
}

void generator::print_closing(const item_desc& head, std::uint32_t length, const printing_state& state)
{
    // A variable that stands alone is its extern line only; the whole flag
    // byte is compared, as in the walk.
    if (length == 1 && head.flag == KIND_VARIABLE)
        return;
    if (head.size != state.cursor)
        out_ << "  BYTE   _" << zero(head.id, 3) << '[' << decimal(head.size - state.cursor) << "];\n";
    out_ << "} t_s" << zero(head.id, 3) << ";\t//size:" << decimal(head.size) << "\n\n";
}

}  // namespace

void print_declarations(std::FILE* out, std::span<const item_desc> table)
{
    if (table.empty())
        return;
    generator(out, table).run();
}

}  // namespace vantor
