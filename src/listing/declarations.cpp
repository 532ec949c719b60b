#include "listing/declarations.hpp"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "datfile/chain_graph.hpp"
#include "datfile/desc_index.hpp"
#include "listing/chain_skipper.hpp"
#include "listing/member_order.hpp"
#include "listing/text_writer.hpp"

namespace vantor {

namespace {

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

// Entries of no member, structure or variable kind print nothing, yet they
// count in the member order.
bool is_silent(const item_desc& desc)
{
    const std::uint8_t kind = kind_of(desc);
    return kind != KIND_MEMBER && kind != KIND_STRUCT && kind != KIND_VARIABLE;
}

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

    declarations_effort run();

private:
    // A declaration whose nested types are still being searched: from
    // `search_at` on, its walk holds nodes that no walk has searched yet.
    struct frame {
        std::uint32_t head;
        std::uint32_t search_at;
    };

    const item_desc& desc(std::uint32_t node) const { return table_[index_.position(node)]; }
    std::uint32_t lookup_desc(std::int64_t key) { return index_.find(key); }
    std::uint32_t successor(std::uint32_t node);
    std::uint32_t nested_type(std::uint32_t node);
    bool mark_emitted(std::uint32_t type);
    std::uint32_t offset(std::uint32_t node) const { return desc(node).offset; }

    void print_declaration(std::uint32_t head);
    void collect(std::uint32_t head);
    bool follows_tie(std::uint32_t head, std::uint32_t entry, std::uint32_t rotation);
    // `is_union()` is asked of structures only.
    template <typename UnionTest>
    void print_entry(const item_desc& desc, UnionTest is_union, printing_state& state);
    void print_struct(const item_desc& desc, bool is_union, printing_state& state);
    void print_member(const item_desc& desc, printing_state& state);
    void print_closing(std::uint32_t head, const printing_state& state);

    text_writer out_;
    std::span<const item_desc> table_;
    desc_index index_;
    chain_graph graph_;
    declarations_effort effort_;
    // Per head: what its walk collects after it, summed up.
    std::vector<key_summary> after_;
    // Passes the silent nodes, so that a walk meets only what it prints.
    chain_skipper printing_;
    // Passes every node once its nested type has been looked at: from then
    // on the type is recorded, and no walk needs to look there again.
    chain_skipper searched_;
    // Built when a structure entry other than a head first needs it.
    std::optional<follower_index> followers_;
    std::bitset<id_count> emitted_;
    // The declaration being printed, and a mark on the nodes it holds.
    std::vector<member_entry> printed_;
    std::vector<bool> collected_;
};

generator::generator(std::FILE* out, std::span<const item_desc> table)
    : out_(out),
      table_(table),
      index_(reinterpret_cast<const unsigned char*>(table.data()), static_cast<std::uint32_t>(table.size()),
             desc_index::pick::last),
      graph_(chain_graph::of(index_.node_count(), [this](std::uint32_t node) { return successor(node); })),
      after_(summarise_walks(graph_, [this](std::uint32_t node) { return offset(node); }, effort_.work)),
      printing_(graph_, effort_.work),
      searched_(graph_, effort_.work),
      collected_(graph_.size(), false)
{
    // A declaration holds each node at most once; room for all at once
    // spares the copies of a growing list.
    printed_.reserve(graph_.size());
    effort_.work += table.size() + graph_.size();
    for (std::uint32_t node = 0; node < graph_.size(); ++node)
        if (is_silent(desc(node)))
            printing_.pass(node);
}

// The entry a walk collects after `node`: the member its `next` names, or,
// when `next` names its type, the sibling its `size` names.
std::uint32_t generator::successor(std::uint32_t node)
{
    const item_desc& cur = desc(node);
    return chain_step(cur, [this](std::int64_t id) { return lookup_desc(id); }, [&](std::uint32_t named) {
        switch (kind_of(desc(named))) {
        case KIND_MEMBER:
            return chain_link::sibling;
        case KIND_STRUCT:
        case KIND_ARRAY:
            return ends_chain_at_type(cur) ? chain_link::end : chain_link::type;
        default:
            return chain_link::end;
        }
    });
}

// The structure type that `node` uses, to be declared before it: its own
// type, or the element type of its array type.
std::uint32_t generator::nested_type(std::uint32_t node)
{
    const std::uint32_t named = lookup_desc(desc(node).next);
    if (named == no_node)
        return no_node;
    switch (kind_of(desc(named))) {
    case KIND_STRUCT:
        return named;
    case KIND_ARRAY:
        return lookup_desc(desc(named).next);
    default:
        return no_node;
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

// Declarations nest depth first: a type is declared as soon as the first walk
// meets it, before the declaration whose walk met it. Each node's nested type
// is looked at once in the whole run; a walk that comes to searched nodes
// jumps over them to the first one not yet searched, since every type they
// use is recorded already.
declarations_effort generator::run()
{
    std::vector<frame> frames{{0, 0}};
    while (!frames.empty()) {
        ++effort_.work;
        const std::uint32_t node = searched_.first_open(frames.back().search_at);
        if (node == no_node) {
            print_declaration(frames.back().head);
            frames.pop_back();
            continue;
        }
        searched_.pass(node);
        frames.back().search_at = graph_.successor(node);
        const std::uint32_t type = nested_type(node);
        if (type != no_node && !mark_emitted(type))
            frames.push_back({type, type});
    }
    return effort_;
}

// The printed entries after the head, in chain order: the walk goes round a
// loop once, so it ends at the first entry it meets again.
void generator::collect(std::uint32_t head)
{
    printed_.clear();
    collected_[head] = true;
    std::uint32_t node = printing_.first_open(graph_.successor(head));
    for (std::uint32_t position = 1; node != no_node && !collected_[node]; ++position) {
        collected_[node] = true;
        printed_.push_back({node, position});
        node = printing_.first_open(graph_.successor(node));
    }
    collected_[head] = false;
    for (const member_entry& entry : printed_)
        collected_[entry.node] = false;
    effort_.work += 2 * printed_.size() + 1;
}

void generator::print_declaration(std::uint32_t head)
{
    const key_summary& walk = after_[head];
    const std::uint32_t rotation = walk.rotation();
    collect(head);
    // The head stays first whatever its offset; ties keep chain order.
    const auto before = [&](const member_entry& a, const member_entry& b) {
        ++effort_.work;
        const std::uint32_t key_a = offset(a.node) - rotation;
        const std::uint32_t key_b = offset(b.node) - rotation;
        return key_a != key_b ? key_a < key_b : a.position < b.position;
    };
    if (!std::is_sorted(printed_.begin(), printed_.end(), before))
        std::sort(printed_.begin(), printed_.end(), before);
    effort_.entries += printed_.size() + 1;

    printing_state state;
    print_entry(desc(head), [&] { return walk.least_twice(rotation); }, state);
    for (const member_entry& entry : printed_)
        print_entry(desc(entry.node), [&] { return follows_tie(head, entry.node, rotation); }, state);
    print_closing(head, state);
}

bool generator::follows_tie(std::uint32_t head, std::uint32_t entry, std::uint32_t rotation)
{
    if (!followers_)
        followers_.emplace(graph_, [this](std::uint32_t node) { return offset(node); }, effort_.work);
    return followers_->next_two_tie(head, entry, rotation);
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
    const std::uint32_t named = member.next == 0 ? no_node : lookup_desc(member.next);
    const item_desc& type = named == no_node ? member : desc(named);

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

void generator::print_closing(std::uint32_t node, const printing_state& state)
{
    // A variable that stands alone is its extern line only; the whole flag
    // byte is compared, as in the walk.
    const item_desc& head = desc(node);
    const std::uint32_t next = graph_.successor(node);
    if ((next == no_node || next == node) && ends_chain_at_type(head))
        return;
    if (head.size != state.cursor)
        out_ << "  BYTE   _" << zero(head.id, 3) << '[' << decimal(head.size - state.cursor) << "];\n";
    out_ << "} t_s" << zero(head.id, 3) << ";\t//size:" << decimal(head.size) << "\n\n";
}

}  // namespace

declarations_effort print_declarations(std::FILE* out, std::span<const item_desc> table)
{
    if (table.empty())
        return {};
    return generator(out, table).run();
}

}  // namespace vantor
