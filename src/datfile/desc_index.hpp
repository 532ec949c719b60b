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
#include <optional>

#include "datfile/format.hpp"
#include "datfile/node.hpp"

namespace vantor {

// How many records of a table can be looked at now, asked for at least
// `wanted`: of a table read from its file as the look-ups go, as many as
// are read, fewer than wanted only when the file failed.
using record_supply = std::function<std::uint32_t(std::uint32_t wanted)>;

// A table read from its file: records as stored, big-endian, as many as
// `supply` has read.
struct stored_table {
    record_supply supply;
    // The index's memory may take huge pages: cheaper to fill for a long
    // table, dearer in memory for a short one.
    bool huge_pages = false;
};

// `count` zeroed words, such as one per node, on huge pages where
// `huge_pages` and the system has them: cheaper to fill when they are many.
std::shared_ptr<std::uint32_t[]> zeroed_words(std::size_t count, bool huge_pages);

class desc_index {
public:
    enum class pick { first, last };

    // `table` holds `count` 16-byte descriptors in host order, or, with
    // `stored`, room for them as stored that its supply fills. With `first`
    // the table is scanned only as far as the look-ups need; with `last` it
    // is scanned whole at once.
    desc_index(const unsigned char* table, std::uint32_t count, pick rule, std::optional<stored_table> stored = {});

    // The node of the descriptor that a look-up of `id` finds, or no_node.
    // Ids compare over 32 bits: 0, negative keys and keys beyond the id
    // space find nothing.
    std::uint32_t find(std::int64_t id)
    {
        // Id 0 means "none" even when a descriptor bears it.
        if (id <= 0 || id >= id_count)
            return no_node;
        const std::uint32_t node = node_of_id_[static_cast<std::size_t>(id)] - 1;
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
    bool big_endian_ids_;
    std::uint32_t available_;
    std::uint32_t scanned_ = 0;
    // Both arrays in one zeroed allocation, so that an index over a short
    // table touches only the pages it uses.
    std::shared_ptr<std::uint32_t[]> memory_;
    std::uint32_t* node_of_id_;  // id_count of them: the node of an id plus 1, 0 for none yet
    std::uint32_t* positions_;   // max_nodes of them
    std::uint32_t nodes_ = 0;
};

}  // namespace vantor
