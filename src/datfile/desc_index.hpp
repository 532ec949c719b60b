// Look-up of descriptors by id. Of several descriptors that bear one id a
// look-up only ever finds one: the declaration generator the last in the
// table, path resolution the first. The descriptors that can be found, and
// the table's first entry, are numbered as nodes from 0 (the first entry),
// so that whatever a reader keeps per node stays bounded by the 65,536 ids
// however long the table is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "datfile/format.hpp"
#include "datfile/node.hpp"

namespace vantor {

// How many records of a table can be looked at now, asked for at least
// `wanted`: all of a table in memory; of a table read from its file as the
// look-ups go, as many as are read, fewer than wanted only when the file
// failed.
using record_supply = std::function<std::uint32_t(std::uint32_t wanted)>;

class desc_index {
public:
    enum class pick { first, last };

    // `table` holds `count` 16-byte descriptors in host order, or room for
    // them that `supply` fills. With `first` the table is scanned only as far
    // as the look-ups need; with `last` it is scanned whole at once.
    desc_index(const unsigned char* table, std::uint32_t count, pick rule, record_supply supply = {});

    // The node of the descriptor that a look-up of `id` finds, or no_node.
    // Ids compare over 32 bits: 0, negative keys and keys beyond the id
    // space find nothing.
    std::uint32_t find(std::int64_t id)
    {
        // Id 0 means "none" even when a descriptor bears it.
        if (id <= 0 || id >= id_count)
            return no_node;
        const std::uint32_t node = node_of_id_[static_cast<std::size_t>(id)];
        return node != no_node || scanned_ == count_ ? node : find_further(static_cast<std::uint16_t>(id));
    }

    // Every node, once the whole table has been scanned.
    std::uint32_t node_count();

    // The node's position in the table.
    std::uint32_t position(std::uint32_t node) const { return positions_[node]; }

    // Every node is the one descriptor found for its id, or the first entry.
    static constexpr std::uint32_t max_nodes = id_count;

private:
    std::uint16_t id_at(std::uint32_t position) const;
    void scan_until(std::uint16_t id);
    std::uint32_t find_further(std::uint16_t id);

    bool supplied(std::uint32_t position);

    const unsigned char* table_;
    std::uint32_t count_;
    record_supply supply_;
    std::uint32_t available_;
    std::uint32_t scanned_ = 0;
    std::vector<std::uint32_t> node_of_id_;
    std::unique_ptr<std::uint32_t[]> positions_;  // room for max_nodes
    std::uint32_t nodes_ = 0;
};

}  // namespace vantor
