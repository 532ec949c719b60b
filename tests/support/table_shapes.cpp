#include "support/layouts.hpp"

#include <algorithm>
#include <random>
#include <stdexcept>
#include <vector>

namespace vantor::testing {

namespace {

constexpr std::uint32_t largest_table = 65535;

// Every shape numbers its descriptors within the 16 bits an id has.
constexpr std::uint16_t id(std::uint32_t number) { return static_cast<std::uint16_t>(number); }

// The next id along a chain of `count` ids from `first`, or 0 after the last.
constexpr std::uint16_t sibling(std::uint32_t first, std::uint32_t k, std::uint32_t count)
{
    return id(k + 1 < count ? first + k + 1 : 0);
}

// Variable 1 of structure 2, which holds words 3 to N, chained in table order
// and laid out in it.
dat_layout chain(std::uint32_t descriptors)
{
    const std::uint32_t words = descriptors - 2;
    dat_layout layout;
    layout.descriptors = {variable(1, 2, 2 * words), structure(2, 3, 2 * words)};
    for (std::uint32_t k = 0; k < words; ++k)
        layout.descriptors.push_back(member(id(3 + k), sibling(3, k, words), 2, 2 * k));
    layout.data.assign(2 * words, 0);
    return layout;
}

// Member N of the root's type, in a table numbered 1 to N in table order.
std::string last_id(std::uint32_t descriptors) { return "1." + std::to_string(descriptors); }

// The same words, each linked to the one before it in the table: the chain
// runs from word N down to word 3, against the order of the offsets.
dat_layout reverse(std::uint32_t descriptors)
{
    const std::uint32_t words = descriptors - 2;
    dat_layout layout;
    layout.descriptors = {variable(1, 2, 2 * words), structure(2, id(descriptors), 2 * words)};
    for (std::uint32_t k = 0; k < words; ++k)
        layout.descriptors.push_back(member(id(3 + k), id(k > 0 ? 2 + k : 0), 2, 2 * k));
    layout.data.assign(2 * words, 0);
    return layout;
}

std::string reverse_last(std::uint32_t) { return "1.3"; }

// Structure type k holds member k, of type k + 1, and a DWORD after it; the
// innermost type holds one to three DWORDs. The members on the way down
// have the smallest ids, so that the path to the innermost DWORD fits in one
// argument (128 KiB at most).
struct nesting {
    explicit nesting(std::uint32_t descriptors)
        : levels((descriptors - 3) / 3), innermost_dwords(descriptors - 2 - 3 * levels)
    {
    }

    std::uint32_t way_down(std::uint32_t level) const { return 2 + level; }
    // For `levels`, the innermost type and its first DWORD.
    std::uint32_t type(std::uint32_t level) const { return levels + 2 + 2 * level; }
    std::uint32_t dword(std::uint32_t level) const { return levels + 3 + 2 * level; }
    std::uint32_t type_size(std::uint32_t level) const { return 4 * (innermost_dwords + levels - level); }

    std::uint32_t levels;
    std::uint32_t innermost_dwords;
};

dat_layout nested(std::uint32_t descriptors)
{
    const nesting plan(descriptors);
    dat_layout layout;
    layout.descriptors.push_back(variable(1, id(plan.type(0)), plan.type_size(0)));
    for (std::uint32_t level = 0; level < plan.levels; ++level) {
        layout.descriptors.push_back(structure(id(plan.type(level)), id(plan.way_down(level)), plan.type_size(level)));
        layout.descriptors.push_back(
            typed_member(id(plan.way_down(level)), id(plan.type(level + 1)), id(plan.dword(level)), 0));
        layout.descriptors.push_back(member(id(plan.dword(level)), 0, 4, plan.type_size(level + 1)));
    }
    const std::uint32_t first = plan.dword(plan.levels);
    layout.descriptors.push_back(structure(id(plan.type(plan.levels)), id(first), plan.type_size(plan.levels)));
    for (std::uint32_t k = 0; k < plan.innermost_dwords; ++k)
        layout.descriptors.push_back(member(id(first + k), sibling(first, k, plan.innermost_dwords), 4, 4 * k));
    layout.data.assign(plan.type_size(0), 0);
    return layout;
}

std::string nested_last(std::uint32_t descriptors)
{
    const nesting plan(descriptors);
    std::string path = "1";
    for (std::uint32_t level = 0; level <= plan.levels; ++level) {
        path += '.';
        path += std::to_string(level < plan.levels ? plan.way_down(level) : descriptors);
    }
    return path;
}

// Variable 1 of structure 2, whose members 3 to 10 are each an array of four
// elements of its own structure type; the element types share the rest of
// the table out as words. Ids follow the table order: the members, the
// arrays 11 to 18, then each element type followed by its words.
constexpr std::uint32_t array_members = 8;
constexpr std::uint32_t elements = 4;
constexpr std::uint32_t first_array = 3 + array_members;
constexpr std::uint32_t first_element_type = first_array + array_members;

std::vector<std::uint32_t> words_per_element(std::uint32_t descriptors)
{
    const std::uint32_t words = descriptors - 2 - 3 * array_members;
    std::vector<std::uint32_t> counts(array_members, words / array_members);
    counts.back() += words % array_members;
    return counts;
}

void add_element_type(dat_layout& layout, std::uint32_t type, std::uint32_t words)
{
    layout.descriptors.push_back(structure(id(type), id(type + 1), 2 * words));
    for (std::uint32_t k = 0; k < words; ++k)
        layout.descriptors.push_back(member(id(type + 1 + k), sibling(type + 1, k, words), 2, 2 * k));
}

dat_layout arrays(std::uint32_t descriptors)
{
    const std::vector<std::uint32_t> words = words_per_element(descriptors);
    std::vector<std::uint32_t> offsets;
    std::uint32_t size = 0;
    for (const std::uint32_t count : words) {
        offsets.push_back(size);
        size += elements * 2 * count;
    }
    dat_layout layout;
    layout.descriptors = {variable(1, 2, size), structure(2, 3, size)};
    for (std::uint32_t k = 0; k < array_members; ++k)
        layout.descriptors.push_back(
            typed_member(id(3 + k), id(first_array + k), sibling(3, k, array_members), offsets[k]));
    std::uint32_t type = first_element_type;
    for (std::uint32_t k = 0; k < array_members; ++k) {
        layout.descriptors.push_back(array(id(first_array + k), id(type), 2 * words[k], elements));
        type += 1 + words[k];
    }
    type = first_element_type;
    for (std::uint32_t k = 0; k < array_members; ++k) {
        add_element_type(layout, type, words[k]);
        type += 1 + words[k];
    }
    layout.data.assign(size, 0);
    return layout;
}

std::string arrays_last(std::uint32_t descriptors)
{
    return "1." + std::to_string(2 + array_members) + "[" + std::to_string(elements - 1) + "]." +
           std::to_string(descriptors);
}

// The generator's quadratic case: about N/2 structure types, each declared
// from the one before it, whose chains all run into one chain of about N/2
// descriptors of kind 4, which prints nothing.
//   1      variable of structure 3: typed member 4 (of type 6) and word 5,
//          the one leaf of the file;
//   2      a member of type 6 whose sibling link names the first kind-4
//          descriptor;
//   6...   the types: `next` names the following type (the last names 6),
//          which declares it; since `next` names a structure, `size`, 2, is
//          at once the byte size and the sibling link to member 2;
//   then   the kind-4 chain: `next` names type 6, declared by then, `size`
//          the next in the chain; offsets fall along it, so each sort moves
//          them all.
constexpr std::uint8_t no_kind = 4;
constexpr std::uint32_t first_silent_type = 6;

dat_layout silent(std::uint32_t descriptors)
{
    const std::uint32_t types = (descriptors - 5) / 2;
    const std::uint32_t tail = descriptors - 5 - types;
    const std::uint32_t first_tail = first_silent_type + types;
    dat_layout layout;
    layout.descriptors = {
        variable(1, 3, 4),
        typed_member(2, first_silent_type, id(first_tail), 0),
        structure(3, 4, 4),
        typed_member(4, first_silent_type, 5, 0),
        member(5, 0, 2, 2),
    };
    for (std::uint32_t k = 0; k < types; ++k) {
        const std::uint32_t next_type = k + 1 < types ? first_silent_type + k + 1 : first_silent_type;
        layout.descriptors.push_back(structure(id(first_silent_type + k), id(next_type), 2));
    }
    for (std::uint32_t k = 0; k < tail; ++k)
        layout.descriptors.push_back(
            desc_row{no_kind, id(first_tail + k), first_silent_type, sibling(first_tail, k, tail), tail - k});
    layout.data.assign(4, 0);
    return layout;
}

std::string silent_last(std::uint32_t) { return "1.5"; }

// 1,024 structure types, 2 to 1,025, that all have the same chain of 4,096
// words; its first 1,023 members are of types 3 to 1,025 instead, so that
// the root's type 2 reaches every type. Each declaration prints the whole
// chain: about 4.2 million lines.
constexpr std::uint32_t shared_types = 1024;
constexpr std::uint32_t shared_members = 4096;

dat_layout shared(std::uint32_t descriptors)
{
    const std::uint32_t members = descriptors - 1 - shared_types;
    const std::uint32_t first_member = 2 + shared_types;
    dat_layout layout;
    layout.descriptors.push_back(variable(1, 2, 2 * members));
    for (std::uint32_t k = 0; k < shared_types; ++k)
        layout.descriptors.push_back(structure(id(2 + k), id(first_member), 2));
    for (std::uint32_t k = 0; k < members; ++k) {
        const std::uint16_t own = id(first_member + k);
        const std::uint16_t next = sibling(first_member, k, members);
        layout.descriptors.push_back(k + 1 < shared_types ? typed_member(own, id(3 + k), next, 2 * k)
                                                          : member(own, next, 2, 2 * k));
    }
    layout.data.assign(2 * members, 0);
    return layout;
}

// Copies of the largest chain, one after another in one table, so that every
// id appears as many times; lookups from either end find identical copies.
dat_layout copies_of_chain(std::uint32_t descriptors)
{
    dat_layout layout = chain(largest_table);
    const std::vector<desc_row> copy = layout.descriptors;
    while (layout.descriptors.size() + copy.size() <= descriptors)
        layout.descriptors.insert(layout.descriptors.end(), copy.begin(), copy.end());
    return layout;
}

std::string duplicate_ids_last(std::uint32_t) { return last_id(largest_table); }

// Descriptors of no kind the tool knows print nothing; chained by `size`
// with `next` naming a structure, they still lengthen every walk.
constexpr std::uint8_t silent_kind = 4;
constexpr std::uint16_t empty_type = 3;  // a structure without members

// A structure whose `next` names the empty type, so that its `size` is the
// sibling link that leads its walk on.
desc_row typed_structure(std::uint32_t own, std::uint32_t sibling, std::uint32_t offset = 0)
{
    return {KIND_STRUCT, id(own), empty_type, sibling, offset};
}

desc_row silent(std::uint32_t own, std::uint32_t type, std::uint32_t sibling, std::uint32_t offset)
{
    return {silent_kind, id(own), id(type), sibling, offset};
}

dat_layout with_root(std::uint32_t type, std::vector<desc_row> rows)
{
    dat_layout layout;
    layout.descriptors = {variable(1, id(type), 4), structure(empty_type, 0, 4)};
    layout.descriptors.insert(layout.descriptors.end(), rows.begin(), rows.end());
    layout.data.assign(4, 0);
    return layout;
}

// Types 4.. each walk on into the first of as many silent entries, which
// name the types, one each, and are chained in table order: back to the
// first when `looped`, else to nothing. `step` spaces their offsets.
dat_layout types_on_silent_entries(std::uint32_t descriptors, bool looped, std::uint32_t step)
{
    const std::uint32_t k = (descriptors - 2) / 2;
    const std::uint32_t first_silent = 4 + k;
    std::vector<desc_row> rows;
    for (std::uint32_t i = 0; i < k; ++i)
        rows.push_back(typed_structure(4 + i, first_silent));
    for (std::uint32_t i = 0; i < k; ++i) {
        const std::uint32_t next = i + 1 < k ? first_silent + i + 1 : looped ? first_silent : 0;
        rows.push_back(silent(first_silent + i, 4 + i, next, i * step));
    }
    return with_root(4, rows);
}

dat_layout silent_loop(std::uint32_t descriptors) { return types_on_silent_entries(descriptors, true, 1); }

// Offsets stepping round the 32-bit circle by a third: no declaration has an
// order.
dat_layout spread_loop(std::uint32_t descriptors) { return types_on_silent_entries(descriptors, true, 0x55555555u); }

// One loop: member 2, then silent entries 4+k.. Type i enters the loop at
// silent entry i, so its walk closes the loop inside the silent stretch.
dat_layout loop_closed_in_silence(std::uint32_t descriptors)
{
    const std::uint32_t k = (descriptors - 3) / 2;
    const std::uint32_t first_silent = 4 + k;
    std::vector<desc_row> rows{typed_member(2, empty_type, id(first_silent), 0)};
    for (std::uint32_t i = 0; i < k; ++i)
        rows.push_back(typed_structure(4 + i, first_silent + i));
    for (std::uint32_t i = 0; i < k; ++i)
        rows.push_back(silent(first_silent + i, 4 + i, i + 1 < k ? first_silent + i + 1 : 2, i + 1));
    return with_root(4, rows);
}

// Silent entries chained one after the other, each naming its own type
// whose walk runs into the first of them: every type is declared while the
// walk of the one before it stands one entry further on.
dat_layout nested_descent(std::uint32_t descriptors) { return types_on_silent_entries(descriptors, false, 1); }

// Four types whose walks share one chain of structure entries and silent
// entries in turn, with offsets that tie now with the structure before,
// now with the one after: every structure entry asks for the two entries
// after it in member order.
dat_layout structures_between_silence(std::uint32_t descriptors)
{
    constexpr std::uint32_t heads = 4;
    const std::uint32_t k = (descriptors - 4 - 2 * heads) / 2;
    const std::uint32_t holder = 4, first_member = 5, first_head = first_member + heads;
    const std::uint32_t first_pair = first_head + heads;
    std::vector<desc_row> rows{structure(id(holder), id(first_member), 4 * heads)};
    for (std::uint32_t j = 0; j < heads; ++j)
        rows.push_back(typed_member(id(first_member + j), id(first_head + j), id(j + 1 < heads ? first_member + j + 1 : 0),
                                    4 * j));
    for (std::uint32_t j = 0; j < heads; ++j)
        rows.push_back(typed_structure(first_head + j, first_pair));
    for (std::uint32_t i = 0; i < k; ++i) {
        const std::uint32_t own = first_pair + 2 * i;
        rows.push_back(typed_structure(own, own + 1, 2 * i));
        rows.push_back(silent(own + 1, empty_type, i + 1 < k ? own + 2 : 0, 2 * i + (i % 3 == 0 ? 0 : 2)));
    }
    return with_root(holder, rows);
}

// One structure entry other than a head, in a chain of distinct ids: the
// middle word names the empty type, and as its sibling a structure whose
// `next` leads on to the word after it.
dat_layout lone_structure(std::uint32_t descriptors)
{
    const std::uint32_t words = descriptors - 4, first = 4, middle = first + words / 2, entry = first + words;
    dat_layout layout;
    layout.descriptors = {variable(1, 2, 2 * words), structure(2, first, 2 * words), structure(empty_type, 0, 2)};
    for (std::uint32_t k = 0; k < words; ++k)
        layout.descriptors.push_back(first + k == middle ? typed_member(id(middle), empty_type, id(entry), 2 * k)
                                                         : member(id(first + k), sibling(first, k, words), 2, 2 * k));
    layout.descriptors.push_back({KIND_STRUCT, id(entry), id(middle + 1), 2, words + 1});
    layout.data.assign(2 * words, 0);
    return layout;
}

// Up to 64 heads, so that the shapes stay small enough for the reference.
std::uint32_t heads_for(std::uint32_t descriptors) { return std::min(64u, (descriptors - 4) / 8); }

// Types 4.. all name one chain of members, each of the next type or the empty
// one, whose sibling links name structure entries that lead on to the next
// member; every third entry ties with its member.
dat_layout fan_in(std::uint32_t descriptors)
{
    const std::uint32_t heads = heads_for(descriptors), first = 4 + heads, pairs = (descriptors - first) / 2;
    std::vector<desc_row> rows;
    for (std::uint32_t i = 0; i < heads; ++i)
        rows.push_back(structure(id(4 + i), id(first), 4 * pairs));
    for (std::uint32_t j = 0; j < pairs; ++j) {
        const std::uint32_t own = first + 2 * j;
        rows.push_back(typed_member(id(own), id(j + 1 < heads ? 5 + j : empty_type), id(own + 1), 4 * j));
        rows.push_back({KIND_STRUCT, id(own + 1), id(j + 1 < pairs ? own + 2 : 0), 2, 4 * j + (j % 3 ? 2 : 0)});
    }
    return with_root(4, rows);
}

// Heads on one loop, each walking the rest of it: type i, its words, then a
// member of type i+1 whose sibling is type i+1. The members of the types all
// lie at offset 0, where each walk meets them in another order.
dat_layout loop_of_heads(std::uint32_t descriptors)
{
    const std::uint32_t heads = heads_for(descriptors), segment = (descriptors - 4) / heads, first = 4;
    const auto type = [&](std::uint32_t i) { return id(first + (i % heads) * segment); };
    std::vector<desc_row> rows;
    for (std::uint32_t i = 0; i < heads; ++i) {
        const std::uint32_t words = segment - 2, word = type(i) + 1;
        rows.push_back({KIND_STRUCT, type(i), id(word), 2 * descriptors, 2 * (i * segment + 1)});
        for (std::uint32_t k = 0; k < words; ++k)
            rows.push_back(member(id(word + k), id(word + k + 1), 2, 2 * (i * segment + 1 + k)));
        rows.push_back(typed_member(id(word + words), type(i + 1), type(i + 1), 0));
    }
    return with_root(type(0), rows);
}

// The offsets that make std::sort compare the most (McIlroy's adversary):
// each is fixed only when the sort first compares it with one not yet fixed.
std::vector<std::uint32_t> against_std_sort(std::uint32_t count)
{
    std::vector<std::uint32_t> value(count, count), order(count);
    std::uint32_t fixed = 0, candidate = 0;
    for (std::uint32_t k = 0; k < count; ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (value[a] == count && value[b] == count)
            value[a == candidate ? a : b] = fixed++;
        if (value[a] == count)
            candidate = a;
        else if (value[b] == count)
            candidate = b;
        return value[a] < value[b];
    });
    for (std::uint32_t& v : value)
        if (v == count)
            v = fixed++;
    return value;
}

// Types 4.. of two bytes all name one chain of words whose offsets are in
// that order; its first words are of the types after 4.
dat_layout against_sort(std::uint32_t descriptors)
{
    const std::uint32_t heads = heads_for(descriptors), first = 4 + heads, words = descriptors - first;
    const std::vector<std::uint32_t> offsets = against_std_sort(words);
    std::vector<desc_row> rows;
    for (std::uint32_t i = 0; i < heads; ++i)
        rows.push_back(structure(id(4 + i), id(first), 2));
    for (std::uint32_t k = 0; k < words; ++k)
        rows.push_back(k + 1 < heads ? typed_member(id(first + k), id(5 + k), sibling(first, k, words), 2 * offsets[k])
                                     : member(id(first + k), sibling(first, k, words), 2, 2 * offsets[k]));
    return with_root(4, rows);
}

// Every kind, linked among all the ids at random: chains that run into loops
// and self loops, structure entries, arrays of any kind of element, silent
// entries, offsets that tie or lie across the wrap.
dat_layout random_links(std::uint32_t descriptors)
{
    std::mt19937 random(descriptors);
    const auto pick = [&](std::uint32_t low, std::uint32_t high) {
        return std::uniform_int_distribution<std::uint32_t>(low, high)(random);
    };
    const std::uint8_t flags[] = {1, 1, 1, 1, 1, 1, 2, 2, 2, 3, 4, 0x81, 0x82, 0x83, 0x85, 0};
    dat_layout layout;
    layout.descriptors.push_back(variable(1, 2, 4));
    for (std::uint32_t k = 2; k <= descriptors; ++k) {
        const std::uint8_t flag = k == 2 ? std::uint8_t{KIND_STRUCT} : flags[pick(0, sizeof flags - 1)];
        const std::uint32_t offset = pick(0, 7) == 0 ? 0x80000000u - pick(0, 64) : pick(0, 64);
        const std::uint32_t size = pick(0, 3) == 0 ? pick(1, 8) : pick(1, descriptors);
        layout.descriptors.push_back({flag, id(k), id(pick(1, descriptors)), size, offset});
    }
    layout.data.assign(4, 0);
    return layout;
}

// Copies of random_links at half the size, at most 65,535, as many as fit.
dat_layout repeated_links(std::uint32_t descriptors)
{
    dat_layout layout = random_links(std::min(descriptors / 2, largest_table));
    const std::vector<desc_row> copy = layout.descriptors;
    while (layout.descriptors.size() + copy.size() <= descriptors)
        layout.descriptors.insert(layout.descriptors.end(), copy.begin(), copy.end());
    return layout;
}

// Types among silent entries of distinct offsets: each type, its silent
// entries, then a member naming the next type as its type and sibling. The
// first half of the types lie on a tail, the rest on a loop. Each walk holds
// its structure entries among all the silent ones.
dat_layout types_among_silence(std::uint32_t descriptors, std::uint32_t heads)
{
    const std::uint32_t segment = (descriptors - 4) / heads, quiet = segment - 2, first = 4;
    const auto type = [&](std::uint32_t i) { return first + i * segment; };
    // Distinct, and scattered: an odd multiplier permutes the 16-bit ids.
    const auto scattered = [](std::uint32_t own) { return own * 40503 % 65536; };
    std::vector<desc_row> rows;
    for (std::uint32_t i = 0; i < heads; ++i) {
        const std::uint32_t next = type(i + 1 < heads ? i + 1 : heads / 2);
        rows.push_back(typed_structure(type(i), type(i) + 1, scattered(type(i))));
        for (std::uint32_t k = 1; k <= quiet; ++k)
            rows.push_back(silent(type(i) + k, empty_type, type(i) + k + 1, scattered(type(i) + k)));
        rows.push_back(typed_member(id(type(i) + quiet + 1), id(next), id(next), i));
    }
    return with_root(type(0), rows);
}

dat_layout four_types_among_silence(std::uint32_t descriptors) { return types_among_silence(descriptors, 4); }

dat_layout many_types_among_silence(std::uint32_t descriptors)
{
    return types_among_silence(descriptors, heads_for(descriptors));
}

// Structure entries on one loop, each followed by two silent entries, and
// three more silent ones: just sparse. Every structure entry is the element
// type of an array that a member of the root's type names, so every one is
// a head walking the rest of the loop.
dat_layout array_heads_on_loop(std::uint32_t descriptors)
{
    const std::uint32_t heads = (descriptors - 6) / 5, first_member = 5, first_array = first_member + heads;
    const std::uint32_t first_node = first_array + heads, nodes = 3 * heads + 3;
    const auto node = [&](std::uint32_t k) { return id(first_node + k % nodes); };
    std::vector<desc_row> rows{structure(4, first_member, 4 * heads)};
    for (std::uint32_t i = 0; i < heads; ++i)
        rows.push_back(typed_member(id(first_member + i), id(first_array + i), sibling(first_member, i, heads), 4 * i));
    for (std::uint32_t i = 0; i < heads; ++i)
        rows.push_back(array(id(first_array + i), node(3 * i), 4, 1));
    for (std::uint32_t k = 0; k < nodes; ++k)
        rows.push_back(k % 3 == 0 && k / 3 < heads ? typed_structure(node(k), node(k + 1), k / 2)
                                                   : silent(node(k), empty_type, node(k + 1), k / 2));
    return with_root(4, rows);
}

// Heads each walk a tail of their own of one structure entry and three
// silent ones into one loop of as many structure entries and twice as many
// silent ones, a few more: every walk just sparse.
dat_layout tails_into_loop(std::uint32_t descriptors)
{
    const std::uint32_t heads = (descriptors - 8) / 8, first_head = 4, first_tail = first_head + heads;
    const std::uint32_t first_loop = first_tail + 4 * heads, loop = 3 * heads + 5;
    const auto on_loop = [&](std::uint32_t k) { return id(first_loop + k % loop); };
    std::vector<desc_row> rows;
    for (std::uint32_t i = 0; i < heads; ++i)
        rows.push_back(typed_structure(first_head + i, first_tail + 4 * i, i));
    for (std::uint32_t i = 0; i < heads; ++i) {
        const std::uint32_t own = first_tail + 4 * i;
        rows.push_back(typed_structure(own, own + 1, 7 * i));
        for (std::uint32_t k = 1; k < 4; ++k)
            rows.push_back(silent(own + k, id(i + 1 < heads ? first_head + i + 1 : empty_type),
                                  k < 3 ? own + k + 1 : on_loop(3 * i), 7 * i + k));
    }
    for (std::uint32_t k = 0; k < loop; ++k)
        rows.push_back(k % 3 == 0 && k / 3 < heads ? typed_structure(on_loop(k), on_loop(k + 1), k)
                                                   : silent(on_loop(k), empty_type, on_loop(k + 1), k));
    return with_root(first_head, rows);
}

constexpr table_shape shapes[] = {
    {"chain", "variable 1 of structure 2 whose N-2 words are chained in table order; path 1.N", chain, last_id},
    {"reverse", "the same words chained against table order; path 1.3, the end of the chain", reverse, reverse_last},
    {"nested", "about N/3 structure types, each holding the next and a DWORD; path down to the innermost DWORD",
     nested, nested_last},
    {"arrays", "8 members, each an array of 4 elements of its own type of about N/8 words; path 1.10[3].N", arrays,
     arrays_last},
    {"silent", "about N/2 declared types whose chains share about N/2 descriptors of kind 4; path 1.5", silent,
     silent_last},
    {"shared", "1,024 types that share one chain of 4,096 members; path 1.5121, the end of the chain", shared, last_id,
     1 + shared_types + shared_members},
    {"dupids", "9 copies of chain at 65,535 in one table, every id 9 times; path 1.65535", copies_of_chain,
     duplicate_ids_last, 9 * largest_table},
    {"silent_loop", "N/2 types whose walks all go round one loop of N/2 silent entries", silent_loop, nullptr, 0,
     true},
    {"spread", "the same with offsets spread round the 32-bit circle, so that no declaration has an order",
     spread_loop, nullptr, 0, true},
    {"loop_cut", "N/2 types entering one loop at its N/2 silent entries, so that each walk closes it in silence",
     loop_closed_in_silence, nullptr, 0, true},
    {"descent", "N/2 types, each declared while the walk of the one before it stands one silent entry on",
     nested_descent, nullptr, 0, true},
    {"between", "four types sharing a chain of N/2 structure entries between N/2 silent entries",
     structures_between_silence, nullptr, 0, true},
    {"lone_struct", "a chain of N-4 words whose middle one links, as its sibling, to one structure entry", lone_structure,
     nullptr, 0, true},
    {"fan_in", "64 types sharing one chain of members and structure entries in turn", fan_in, nullptr, 0, true},
    {"loop_heads", "64 types on one loop of words, each walking the rest of it", loop_of_heads, nullptr, 0, true},
    {"against_sort", "64 types sharing one chain of words whose offsets make std::sort compare the most", against_sort,
     nullptr, 0, true},
    {"random", "every kind, linked among all the ids at random", random_links, nullptr, 0, true},
    {"repeated_2m", "random at 65,535 twice over: a 2 MiB table, every id twice", repeated_links, nullptr,
     2 * largest_table, true},
    {"repeated_8m", "random at 65,535 8 times over: an 8 MiB table", repeated_links, nullptr, 8 * largest_table, true},
    {"repeated_32m", "random at 65,535 32 times over: a 32 MiB table", repeated_links, nullptr, 32 * largest_table,
     true},
    {"sparse_tail", "four types among N silent entries of distinct offsets, two on a tail, two on a loop",
     four_types_among_silence, nullptr, 0, true},
    {"silent_heads", "64 types among N silent entries of distinct offsets, half on a tail, half on a loop",
     many_types_among_silence, nullptr, 0, true},
    {"array_loop", "N/5 array element types on one loop, each followed by two silent entries", array_heads_on_loop,
     nullptr, 0, true},
    {"loop_tails", "N/8 types, each through a tail of its own into one loop just sparse", tails_into_loop, nullptr, 0,
     true},
};

}  // namespace

std::span<const table_shape> table_shapes() { return shapes; }

const table_shape& shape_named(std::string_view name)
{
    const auto found = std::find_if(std::begin(shapes), std::end(shapes), [&](const table_shape& s) { return s.name == name; });
    if (found == std::end(shapes))
        throw std::invalid_argument("no table shape " + std::string(name));
    return *found;
}

}  // namespace vantor::testing
