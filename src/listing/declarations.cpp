#include "listing/declarations.hpp"

#include <bitset>
#include <cstdint>
#include <optional>
#include <vector>

#include "datfile/chain_graph.hpp"
#include "datfile/desc_index.hpp"
#include "listing/safe_sort.hpp"

namespace vantor {

namespace {

constexpr std::uint32_t none = chain_graph::none;

// Offsets compare by their 32-bit wrap-around difference read as signed.
std::int32_t cmp_offset(const item_desc& a, const item_desc& b)
{
    return static_cast<std::int32_t>(a.offset - b.offset);
}

std::uint32_t print_scalar(std::FILE* out, const item_desc& desc)
{
    switch (desc.size) {
    case 1:
        std::fprintf(out, "  BYTE   b%03d;", desc.id);
        break;
    case 2:
        std::fprintf(out, "  WORD   w%03d;", desc.id);
        break;
    case 4:
        std::fprintf(out, "  DWORD  d%03d;", desc.id);
        break;
    default:
        std::fprintf(out, "  BYTE   ba%03d[%d];", desc.id, static_cast<std::int32_t>(desc.size));
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

    void run(std::uint32_t root);

private:
    // One declaration whose walk is under way; nested declarations are
    // printed while it waits, so walks are kept on an explicit stack.
    struct frame {
        std::uint32_t head;
        std::uint32_t cur;
        std::uint32_t collected;
        std::uint32_t length;
    };

    std::uint32_t lookup_desc(std::uint32_t key) const { return index_.last(key).value_or(none); }
    std::uint32_t successor(std::uint32_t at) const;
    std::uint32_t nested_type(std::uint32_t at) const;
    bool mark_emitted(std::uint32_t type);
    frame start(std::uint32_t head) const { return {head, head, 0, graph_.walk_length(head)}; }

    void print_declaration(std::uint32_t head, std::uint32_t length);
    void print_entry(std::size_t position, printing_state& state);
    void print_struct(std::size_t position, printing_state& state);
    void print_member(const item_desc& desc, printing_state& state);
    void print_closing(const item_desc& head, const printing_state& state);

    std::FILE* out_;
    std::span<const item_desc> table_;
    desc_index index_;
    chain_graph graph_;
    std::bitset<65536> emitted_;
    std::vector<std::uint32_t> entries_;  // the declaration being printed
};

generator::generator(std::FILE* out, std::span<const item_desc> table)
    : out_(out),
      table_(table),
      index_(table),
      graph_(chain_graph::of(table_.size(), [this](std::uint32_t at) { return successor(at); }))
{
}

// The entry a walk collects after `at`: the member its `next` names, or,
// when `next` names its type, the sibling its `size` names.
std::uint32_t generator::successor(std::uint32_t at) const
{
    const item_desc& cur = table_[at];
    const std::uint32_t named = lookup_desc(cur.next);
    if (named == none)
        return none;
    switch (kind_of(table_[named])) {
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

// The structure type that `at` uses, to be declared before it: its own type,
// or the element type of its array type.
std::uint32_t generator::nested_type(std::uint32_t at) const
{
    const std::uint32_t named = lookup_desc(table_[at].next);
    if (named == none)
        return none;
    switch (kind_of(table_[named])) {
    case KIND_STRUCT:
        return named;
    case KIND_ARRAY:
        return lookup_desc(table_[named].next);
    default:
        return none;
    }
}

// Records a type by its id; true when it was recorded before.
bool generator::mark_emitted(std::uint32_t type)
{
    const std::uint16_t id = table_[type].id;
    if (emitted_.test(id))
        return true;
    emitted_.set(id);
    return false;
}

void generator::run(std::uint32_t root)
{
    std::vector<frame> frames{start(root)};
    while (!frames.empty()) {
        frame& top = frames.back();
        if (top.collected == top.length) {
            print_declaration(top.head, top.length);
            frames.pop_back();
            continue;
        }
        const std::uint32_t at = top.cur;
        ++top.collected;
        top.cur = graph_.successor(at);
        const std::uint32_t type = nested_type(at);
        if (type != none && !mark_emitted(type))
            frames.push_back(start(type));
    }
}

void generator::print_declaration(std::uint32_t head, std::uint32_t length)
{
    // The walk is a pure function of the table, so it is walked again here
    // rather than kept for every declaration waiting on the stack.
    entries_.clear();
    for (std::uint32_t at = head; entries_.size() < length; at = graph_.successor(at))
        entries_.push_back(at);
    // The head stays first whatever its offset.
    stable_sort_safe(std::span(entries_).subspan(1), [this](std::uint32_t a, std::uint32_t b) {
        return cmp_offset(table_[a], table_[b]) < 0;
    });

    printing_state state;
    for (std::size_t position = 0; position < entries_.size(); ++position)
        print_entry(position, state);
    print_closing(table_[head], state);
}

void generator::print_entry(std::size_t position, printing_state& state)
{
    const item_desc& desc = table_[entries_[position]];
    switch (kind_of(desc)) {
    case KIND_STRUCT:
        print_struct(position, state);
        break;
    case KIND_MEMBER:
        print_member(desc, state);
        break;
    case KIND_VARIABLE:
        std::fprintf(out_, "\nextern t_s%03d s%03d;\t//size=%d\n", desc.next, desc.id,
                     static_cast<std::int32_t>(desc.size));
        break;
    default:
        break;
    }
}

void generator::print_struct(std::size_t position, printing_state& state)
{
    const item_desc& desc = table_[entries_[position]];
    state.cursor = 0;
    // A union when the two entries after this one share an offset; entries
    // beyond the end of the declaration do not count.
    const bool is_union = position + 2 < entries_.size() &&
                          table_[entries_[position + 1]].offset == table_[entries_[position + 2]].offset;
    if (is_union) {
        std::fprintf(out_, "typedef union s%03d\n{\n", desc.id);
        state.in_union = true;
    } else {
        std::fprintf(out_, "typedef struct s%03d\n{\n", desc.id);
    }
    if (desc.next == 0) {
        state.cursor += print_scalar(out_, desc);
        std::fprintf(out_, "\t//off:%05d\n", static_cast<std::int32_t>(desc.offset));
    }
}

void generator::print_member(const item_desc& desc, printing_state& state)
{
    // A link that names nothing leaves the member a scalar of its own size.
    const std::uint32_t named = desc.next == 0 ? none : lookup_desc(desc.next);
    const item_desc& type = named == none ? desc : table_[named];

    if (desc.offset > state.cursor) {
        std::fprintf(out_, "  BYTE   _%03d[%d];\n", desc.id, static_cast<std::int32_t>(desc.offset - state.cursor));
        state.cursor = desc.offset;
    } else if (desc.offset < state.cursor && !state.in_union) {
        std::fprintf(out_, "//");
    }

    std::uint32_t width = 0;
    switch (kind_of(type)) {
    case KIND_MEMBER:
        width = print_scalar(out_, desc);
        break;
    case KIND_STRUCT:
        std::fprintf(out_, "  t_s%03d s%03d;", type.id, desc.id);
        width = type.size;
        break;
    case KIND_ARRAY:
        std::fprintf(out_, "  t_s%03d sa%03d[%d];", type.next, desc.id, static_cast<std::int32_t>(type.offset));
        width = type.size * type.offset;
        break;
    default:
        // A type of no known kind has no declaration and takes no room.
        break;
    }
    std::fprintf(out_, "\t//off:%05d\n", static_cast<std::int32_t>(desc.offset));
    if (desc.offset >= state.cursor)
        state.cursor += width;
}

void generator::print_closing(const item_desc& head, const printing_state& state)
{
    // A variable that stands alone is its extern line only; the whole flag
    // byte is compared, as in the walk.
    if (entries_.size() == 1 && head.flag == KIND_VARIABLE)
        return;
    if (head.size != state.cursor)
        std::fprintf(out_, "  BYTE   _%03d[%d];\n", head.id, static_cast<std::int32_t>(head.size - state.cursor));
    std::fprintf(out_, "} t_s%03d;\t//size:%d\n\n", head.id, static_cast<std::int32_t>(head.size));
}

}  // namespace

void print_declarations(std::FILE* out, std::span<const item_desc> table)
{
    if (table.empty())
        return;
    generator(out, table).run(0);
}

}  // namespace vantor
