// The rule the declarations follow, whatever the table holds:
//
// - Walk. A declaration is made for a head. Its walk collects the head, then
//   the entry each entry's member chain leads to: the member that its `next`
//   names or, where `next` names its structure or array type, the sibling
//   that its `size` names; a variable (flag byte exactly 5) ends the walk at
//   its type. A chain that runs back into itself ends where an entry would
//   come again, so a walk holds each entry once.
// - Nesting. A type that a walk names (a structure, or an array's element
//   type) and that no walk named before is declared before the declaration
//   whose walk named it: depth first, in the order the walks meet the types.
//   The table's first entry is the first head, declared last.
// - Sort. The entries after the head are sorted by offset with the
//   wrap-around comparison: offsets that all lie within half the 32-bit
//   circle of one of them compare by their difference, which is sorting them
//   by the offset less a rotation of 0 or 2^31; wider apart, by unsigned
//   offset. Ties keep chain order. Entries of no member, structure or
//   variable kind (silent ones) print nothing but take their place.
// - Union test. A structure entry, the head or one met on the walk, is a
//   union when the two entries after it in that order exist and share an
//   offset.
// - Cursor. A structure entry sets it to 0. A member beyond it gets a gap
//   and moves it to its offset; one before it is commented out unless a union
//   has been opened; one at or beyond it adds its width. The closing pads the
//   cursor to the head's size; a variable that stands alone has none.
//
// What the generator keeps, each with what it holds to:
// - desc_index: node n stands for the descriptor a look-up finds (the last
//   of its id); node 0 for the table's first entry.
// - chain_graph: successor(n) is the node a walk collects after n, and
//   walk_length(n) how many nodes a walk from n holds.
// - the declaration order: each head once, after every type its walk named
//   first. A node is searched for its nested type by the first walk that
//   comes to it only; from then on that type is recorded.
// - member_order, for every walk but the sparse ones: the walk last sorted,
//   silent entries included, in member order; a node knows its place in that
//   walk exactly while the walk holds it.
// - silent_walks, only when some chain passes a silent entry: per node, the
//   census of what its walk collects after it; a walk whose silent entries
//   far outnumber its printed ones (sparse) is collected without them, and
//   its structure entries' union tests are answered before printing, from
//   the silent offsets counted along the chains.
#include "listing/declarations.hpp"

#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "datfile/chain_graph.hpp"
#include "datfile/desc_index.hpp"
#include "listing/chain_skipper.hpp"
#include "listing/member_order.hpp"
#include "listing/silent_walks.hpp"
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
    const item_desc& desc(std::uint32_t node) const { return table_[index_.position(node)]; }
    std::uint32_t lookup_desc(std::int64_t key) { return index_.find(key); }
    std::uint32_t successor(std::uint32_t node);
    std::uint32_t nested_type(std::uint32_t node);
    std::vector<std::uint32_t> declaration_order();

    void print_declaration(std::uint32_t head);
    void print_entry(const item_desc& desc, bool is_union, printing_state& state);
    void print_struct(const item_desc& desc, bool is_union, printing_state& state);
    void print_member(const item_desc& desc, printing_state& state);
    void print_closing(std::uint32_t head, const printing_state& state);

    text_writer out_;
    std::span<const item_desc> table_;
    desc_index index_;
    chain_graph graph_;
    declarations_effort effort_;
    std::vector<std::uint32_t> offsets_;
    std::vector<std::uint8_t> kinds_;
    member_order order_;
    std::optional<silent_walks> silent_;
};

generator::generator(std::FILE* out, std::span<const item_desc> table)
    : out_(out),
      table_(table),
      index_(reinterpret_cast<const unsigned char*>(table.data()), static_cast<std::uint32_t>(table.size()),
             desc_index::pick::last),
      graph_(chain_graph::of(index_.node_count(), [this](std::uint32_t node) { return successor(node); })),
      offsets_(graph_.size()),
      kinds_(graph_.size()),
      order_(graph_, offsets_, effort_.work, effort_.sorted)
{
    for (std::uint32_t node = 0; node < graph_.size(); ++node) {
        offsets_[node] = desc(node).offset;
        kinds_[node] = kind_of(desc(node));
    }
    effort_.work += table.size() + graph_.size();
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

// The heads in the order their declarations print: a type as soon as the
// first walk meets it, before the declaration whose walk met it. A walk
// that comes to nodes already searched jumps over them, since every type
// they use is recorded.
std::vector<std::uint32_t> generator::declaration_order()
{
    // A declaration whose nested types are still being searched: from
    // `search_at` on, its walk holds nodes that no walk has searched yet.
    struct frame {
        std::uint32_t head;
        std::uint32_t search_at;
    };
    std::vector<std::uint32_t> heads;
    std::bitset<id_count> emitted;
    chain_skipper searched(graph_, effort_.work);
    std::vector<frame> frames{{0, 0}};
    while (!frames.empty()) {
        ++effort_.work;
        const std::uint32_t node = searched.first_open(frames.back().search_at);
        if (node == no_node) {
            heads.push_back(frames.back().head);
            frames.pop_back();
            continue;
        }
        searched.pass(node);
        frames.back().search_at = graph_.successor(node);
        const std::uint32_t type = nested_type(node);
        if (type != no_node && !emitted.test(desc(type).id)) {
            emitted.set(desc(type).id);
            frames.push_back({type, type});
        }
    }
    return heads;
}

declarations_effort generator::run()
{
    const std::vector<std::uint32_t> heads = declaration_order();
    if (silent_walks::needed(graph_, kinds_))
        silent_.emplace(graph_, offsets_, kinds_, heads, effort_.work, effort_.sorted);
    for (const std::uint32_t head : heads)
        print_declaration(head);
    return effort_;
}

void generator::print_declaration(std::uint32_t head)
{
    printing_state state;
    std::uint64_t printed = 1;
    if (silent_ && silent_->sparse(head)) {
        const sparse_walk& walk = silent_->after(head);
        print_entry(desc(head), walk.head_opens_union, state);
        for (std::size_t at = 0; at < walk.printed.size(); ++at)
            print_entry(desc(walk.printed[at].node), walk.opens_union[at], state);
        printed += walk.printed.size();
    } else {
        const std::span<const ordered_entry> entries = order_.after(head);
        const auto tie_from = [&](std::size_t at) { return at + 1 < entries.size() && entries[at].key == entries[at + 1].key; };
        print_entry(desc(head), tie_from(0), state);
        for (std::size_t at = 0; at < entries.size(); ++at) {
            print_entry(desc(entries[at].node), tie_from(at + 1), state);
            printed += prints_nothing(kinds_[entries[at].node]) ? 0 : 1;
        }
    }
    effort_.entries += printed;
    print_closing(head, state);
}

void generator::print_entry(const item_desc& desc, bool is_union, printing_state& state)
{
    switch (kind_of(desc)) {
    case KIND_STRUCT:
        print_struct(desc, is_union, state);
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
    if (graph_.walk_length(node) == 1 && ends_chain_at_type(head))
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
