#include "support/hostile_layouts.hpp"

namespace vantor::testing {

namespace {

// Descriptors of no kind the tool knows print nothing; chained by `size`
// with `next` naming a structure, they still lengthen every walk.
constexpr std::uint8_t silent_kind = 4;
constexpr std::uint16_t empty_type = 3;  // a structure without members

std::uint16_t id(std::uint32_t number) { return static_cast<std::uint16_t>(number); }

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

// Types 4.. each walk on into one loop of silent entries, which name the
// types, one each. `step` spaces the entries' offsets.
dat_layout types_on_a_silent_loop(std::uint32_t descriptors, std::uint32_t step)
{
    const std::uint32_t k = (descriptors - 2) / 2;
    const std::uint32_t first_silent = 4 + k;
    std::vector<desc_row> rows;
    for (std::uint32_t i = 0; i < k; ++i)
        rows.push_back(typed_structure(4 + i, first_silent));
    for (std::uint32_t i = 0; i < k; ++i)
        rows.push_back(silent(first_silent + i, 4 + i, first_silent + (i + 1) % k, i * step));
    return with_root(4, rows);
}

dat_layout silent_loop(std::uint32_t descriptors) { return types_on_a_silent_loop(descriptors, 1); }

// Offsets stepping round the 32-bit circle by a third: no declaration has an
// order.
dat_layout spread_loop(std::uint32_t descriptors) { return types_on_a_silent_loop(descriptors, 0x55555555u); }

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
dat_layout nested_descent(std::uint32_t descriptors)
{
    const std::uint32_t k = (descriptors - 2) / 2;
    const std::uint32_t first_silent = 4 + k;
    std::vector<desc_row> rows;
    for (std::uint32_t i = 0; i < k; ++i)
        rows.push_back(typed_structure(4 + i, first_silent));
    for (std::uint32_t i = 0; i < k; ++i)
        rows.push_back(silent(first_silent + i, 4 + i, i + 1 < k ? first_silent + i + 1 : 0, i));
    return with_root(4, rows);
}

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

constexpr hostile_layout layouts[] = {
    {"silent_loop", "types whose walks all go round one loop of silent entries", silent_loop},
    {"spread", "the same with offsets spread round the 32-bit circle, so that no declaration has an order",
     spread_loop},
    {"loop_cut", "types that enter one loop at silent entries, so that each walk closes it in silence",
     loop_closed_in_silence},
    {"descent", "each type declared while the walk of the one before it stands one silent entry on",
     nested_descent},
    {"between", "four types sharing a chain of structure entries between silent entries", structures_between_silence},
};

}  // namespace

std::span<const hostile_layout> hostile_layouts() { return layouts; }

}  // namespace vantor::testing
