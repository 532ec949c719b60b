#include "datfile/desc_index.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "datfile/byte_order.hpp"
#include "datfile/format.hpp"
#include "platform/platform.hpp"

namespace vantor {

std::shared_ptr<std::uint32_t[]> zeroed_words(std::size_t count, bool huge_pages)
{
    auto memory = std::make_shared<platform::zeroed_memory>(count * sizeof(std::uint32_t), huge_pages);
    return std::shared_ptr<std::uint32_t[]>(memory, static_cast<std::uint32_t*>(memory->data()));
}

desc_index::desc_index(const unsigned char* table, std::uint32_t count, pick rule, std::optional<stored_table> stored)
    : table_(table),
      count_(count),
      supply_(stored ? std::move(stored->supply) : record_supply{}),
      big_endian_ids_(stored.has_value()),
      available_(stored ? 0 : count),
      memory_(zeroed_words(std::size_t{id_count} + max_nodes, stored && stored->huge_pages)),
      node_of_id_(memory_.get()),
      positions_(memory_.get() + id_count)
{
    if (!supplied(0))
        return;
    positions_[nodes_++] = 0;
    if (rule == pick::first) {
        if (id_at(0) != 0)
            node_of_id_[id_at(0)] = 1;
        scanned_ = 1;
        return;
    }
    // Positions (plus 1) first, turned into nodes in a second pass.
    for (std::uint32_t at = 0; supplied(at); ++at, ++scanned_)
        node_of_id_[id_at(at)] = at + 1;
    node_of_id_[0] = 0;
    for (std::uint32_t id = 1; id < id_count; ++id) {
        const std::uint32_t last = node_of_id_[id];
        // The first entry keeps node 0 when it is itself the one found.
        if (last <= 1)
            continue;
        node_of_id_[id] = nodes_ + 1;
        positions_[nodes_++] = last - 1;
    }
}

// Whether the record at `position` can be looked at, asking for more of the
// table when it is not yet there.
bool desc_index::supplied(std::uint32_t position)
{
    if (position < available_)
        return true;
    if (position >= count_ || !supply_)
        return false;
    available_ = supply_(position + 1);
    return position < available_;
}

std::uint16_t desc_index::id_at(std::uint32_t position) const
{
    const unsigned char* field = table_ + std::size_t{desc_bytes} * position + offsetof(item_desc, id);
    if (big_endian_ids_)
        return load_be<std::uint16_t>(field);
    std::uint16_t id;
    std::memcpy(&id, field, sizeof id);
    return id;
}

// Only the first descriptor bearing an id gets a node; later ones, and
// id 0, are passed over. Id 0 scans to the end.
void desc_index::scan_until(std::uint16_t id)
{
    std::uint32_t* const node_of_id = node_of_id_;
    std::uint32_t* const positions = positions_;
    while ((id == 0 || node_of_id[id] == 0) && supplied(scanned_)) {
        // Over what is supplied, in locals, record by record.
        std::uint32_t at = scanned_;
        std::uint32_t nodes = nodes_;
        for (const std::uint32_t end = available_; at < end;) {
            const std::uint16_t seen = id_at(at++);
            if (seen == 0 || node_of_id[seen] != 0)
                continue;
            node_of_id[seen] = ++nodes;
            positions[nodes - 1] = at - 1;
            if (seen == id)
                break;
        }
        scanned_ = at;
        nodes_ = nodes;
    }
}

std::uint32_t desc_index::find_further(std::uint16_t id)
{
    scan_until(id);
    return node_of_id_[id] - 1;
}

std::uint32_t desc_index::node_count()
{
    scan_until(0);
    return nodes_;
}

}  // namespace vantor
