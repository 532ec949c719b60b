#include "datfile/desc_index.hpp"

namespace vantor {

namespace {
constexpr std::size_t id_count = 65536;
}

desc_index::desc_index(std::span<const item_desc> table) : first_(id_count, absent), last_(id_count, absent)
{
    for (std::uint32_t position = 0; position < table.size(); ++position) {
        const std::uint16_t id = table[position].id;
        if (first_[id] == absent)
            first_[id] = position;
        last_[id] = position;
    }
}

std::optional<std::uint32_t> desc_index::find(const std::vector<std::uint32_t>& slots, std::int64_t id) const
{
    // Id 0 means "none" even when a descriptor bears it.
    if (id <= 0 || id >= static_cast<std::int64_t>(id_count))
        return std::nullopt;
    const std::uint32_t position = slots[static_cast<std::size_t>(id)];
    if (position == absent)
        return std::nullopt;
    return position;
}

std::optional<std::uint32_t> desc_index::first(std::int64_t id) const { return find(first_, id); }

std::optional<std::uint32_t> desc_index::last(std::int64_t id) const { return find(last_, id); }

}  // namespace vantor
