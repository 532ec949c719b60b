// Resolving an item path, descriptor ids separated by '.' or 't' with an
// element index in brackets after an array member, to the item's place in a
// normalised file image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "datfile/chain_graph.hpp"
#include "datfile/desc_index.hpp"
#include "datfile/file_image.hpp"

namespace vantor {

struct item_location {
    std::size_t start;  // position of the item's first byte in the image
    std::int32_t size;  // a size of 2^31 or more is negative
};

class item_resolver {
public:
    explicit item_resolver(const file_image& image);

    // Position of the first descriptor bearing `id`.
    std::optional<std::uint32_t> find_item(std::int64_t id) const { return index_.first(id); }

    // `target` when it is `scope` itself or lies on the member chain that
    // starts at `scope`; a chain that runs back into itself ends there.
    std::optional<std::uint32_t> find_in_scope(std::optional<std::uint32_t> target,
                                               std::optional<std::uint32_t> scope) const;

    // The item a path names, or nothing when the path does not resolve to a
    // leaf that lies wholly inside the image.
    std::optional<item_location> resolve(std::string_view path) const;

private:
    std::uint32_t scope_successor(std::uint32_t at) const;
    std::optional<item_location> locate(std::uint32_t offset, const item_desc& leaf) const;
    bool enter_element(std::string_view token, const item_desc& array, std::uint32_t& offset,
                       std::optional<std::uint32_t>& scope) const;

    std::size_t image_size_;
    std::uint32_t data_offset_;
    std::vector<item_desc> table_;
    desc_index index_;
    chain_graph graph_;
};

std::optional<item_location> resolve_item_path(const file_image& image, std::string_view path);

}  // namespace vantor
