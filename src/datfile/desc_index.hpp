// Look-up of descriptors by id, built once per table so that every look-up is
// constant time however many descriptors the file holds.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "datfile/format.hpp"

namespace vantor {

class desc_index {
public:
    explicit desc_index(std::span<const item_desc> table);

    // Position of the first descriptor bearing `id` in table order. Ids are
    // compared over 32 bits: 0, negative keys and keys above 65535 find nothing.
    std::optional<std::uint32_t> first(std::int64_t id) const;

    // Position of the last descriptor bearing `id`.
    std::optional<std::uint32_t> last(std::int64_t id) const;

private:
    static constexpr std::uint32_t absent = UINT32_MAX;
    std::optional<std::uint32_t> find(const std::vector<std::uint32_t>& slots, std::int64_t id) const;

    std::vector<std::uint32_t> first_;
    std::vector<std::uint32_t> last_;
};

}  // namespace vantor
