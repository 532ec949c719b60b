#include "datfile/desc_index.hpp"

#include <cstring>

#include "datfile/format.hpp"

namespace vantor {

desc_index::desc_index(const unsigned char* table, std::uint32_t count, pick rule)
    : table_(table), count_(count), node_of_id_(id_count, no_node)
{
    if (count_ == 0)
        return;
    positions_.push_back(0);
    if (rule == pick::first) {
        if (id_at(0) != 0)
            node_of_id_[id_at(0)] = 0;
        scanned_ = 1;
        return;
    }
    // Positions first, turned into nodes in a second pass.
    for (std::uint32_t at = 0; at < count_; ++at)
        node_of_id_[id_at(at)] = at;
    scanned_ = count_;
    node_of_id_[0] = no_node;
    for (std::uint32_t id = 1; id < id_count; ++id) {
        const std::uint32_t last = node_of_id_[id];
        // The first entry keeps node 0 when it is itself the one found.
        if (last == no_node || last == 0)
            continue;
        node_of_id_[id] = static_cast<std::uint32_t>(positions_.size());
        positions_.push_back(last);
    }
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
    while (scanned_ < count_ && (id == 0 || node_of_id_[id] == no_node)) {
        const std::uint16_t seen = id_at(scanned_);
        if (seen != 0 && node_of_id_[seen] == no_node) {
            node_of_id_[seen] = static_cast<std::uint32_t>(positions_.size());
            positions_.push_back(scanned_);
        }
        ++scanned_;
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
    return static_cast<std::uint32_t>(positions_.size());
}

}  // namespace vantor
