#include "datfile/desc_index.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

#include "datfile/format.hpp"

namespace vantor {

desc_index::desc_index(const unsigned char* table, std::uint32_t count, pick rule, record_supply supply)
    : table_(table),
      count_(count),
      supply_(std::move(supply)),
      available_(supply_ ? 0 : count),
      node_of_id_(id_count, no_node),
      positions_(new std::uint32_t[max_nodes])
{
    if (!supplied(0))
        return;
    positions_[nodes_++] = 0;
    if (rule == pick::first) {
        if (id_at(0) != 0)
            node_of_id_[id_at(0)] = 0;
        scanned_ = 1;
        return;
    }
    // Positions first, turned into nodes in a second pass.
    for (std::uint32_t at = 0; supplied(at); ++at, ++scanned_)
        node_of_id_[id_at(at)] = at;
    node_of_id_[0] = no_node;
    for (std::uint32_t id = 1; id < id_count; ++id) {
        const std::uint32_t last = node_of_id_[id];
        // The first entry keeps node 0 when it is itself the one found.
        if (last == no_node || last == 0)
            continue;
        node_of_id_[id] = nodes_;
        positions_[nodes_++] = last;
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
    std::uint16_t id;
    std::memcpy(&id, table_ + std::size_t{desc_bytes} * position + offsetof(item_desc, id), sizeof id);
    return id;
}

// Only the first descriptor bearing an id gets a node; later ones, and
// id 0, are passed over. Id 0 scans to the end.
void desc_index::scan_until(std::uint16_t id)
{
    std::uint32_t* const node_of_id = node_of_id_.data();
    std::uint32_t* const positions = positions_.get();
    while ((id == 0 || node_of_id[id] == no_node) && supplied(scanned_)) {
        // Over what is supplied, in locals, record by record.
        std::uint32_t at = scanned_;
        std::uint32_t nodes = nodes_;
        for (const std::uint32_t end = available_; at < end;) {
            const std::uint16_t seen = id_at(at++);
            if (seen == 0 || node_of_id[seen] != no_node)
                continue;
            node_of_id[seen] = nodes;
            positions[nodes++] = at - 1;
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
    return node_of_id_[id];
}

std::uint32_t desc_index::node_count()
{
    scan_until(0);
    return nodes_;
}

}  // namespace vantor
