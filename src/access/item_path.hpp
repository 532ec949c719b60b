// Resolving an item path, descriptor ids separated by '.' or 't' with an
// element index in brackets after an array member, to the item's place in a
// normalised file image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "datfile/chain_graph.hpp"
#include "datfile/desc_index.hpp"
#include "datfile/file_image.hpp"
#include "datfile/result.hpp"

namespace vantor {

// An item that a path names: where its bytes lie in the file, and how they
// are read and written.
struct item_location {
    std::uint64_t start;  // position of the item's first byte in the file
    std::int32_t size;    // a size of 2^31 or more is negative
    // Raw bytes rather than a number: a 't' anywhere in the path asks for
    // text, and sizes other than 1, 2 and 4 are text anyway, except sizes of
    // 0 or below, which read as the number 0.
    bool text;

    // The bytes the item reads and writes: none for a size of 0 or below.
    region place() const { return {start, size > 0 ? static_cast<std::uint64_t>(size) : 0}; }
};

// Descriptors are named by nodes of a desc_index: the first descriptor
// bearing each id, and the table's first entry as node 0.
class item_resolver {
public:
    explicit item_resolver(const file_image& image);

    const file_image& image() const { return image_; }

    // The node of the first descriptor bearing `id`, or no_node.
    std::uint32_t find_item(std::int64_t id) { return index_.find(id); }

    // `target` when it is `scope` itself or lies on the member chain that
    // starts at `scope`; a chain that runs back into itself ends there.
    // Otherwise, and when either is no_node, no_node.
    std::uint32_t find_in_scope(std::uint32_t target, std::uint32_t scope);

    // The item a path names. Fails with not_resolved when the path does not
    // resolve to a leaf that lies wholly inside the file, or names text of a
    // negative size; with read when the table could not be read as far as
    // the resolution needed.
    result<item_location> resolve(std::string_view path);

    // The rules of a path, one token at a time, for a reader that lists
    // every path rather than following one.

    // The next descriptor on a scope's member chain after `node`.
    std::uint32_t scope_successor(std::uint32_t node);
    item_desc desc(std::uint32_t node) const { return image_.descriptor(index_.position(node)); }
    // Every node; the whole table is read.
    std::uint32_t node_count() { return index_.node_count(); }

    // Where a path goes once a token has matched `member`: it ends there, it
    // goes on into `type`, through an element index when `type` is an array
    // that a path indexes, or it fails.
    struct step {
        enum { fails, leaf, into_type, into_element } next;
        std::uint32_t type = no_node;
    };
    step step_after(const item_desc& member);

    // The leaf at `offset` of the data area, where it lies wholly inside the
    // file and has bytes to show.
    std::optional<item_location> locate(std::uint32_t offset, const item_desc& leaf, bool text_asked) const;

    // Where a path leads when it may stop short of a leaf: at a leaf member,
    // at a member whose type is a structure (`type` the scope), or at an
    // array member without an index (`type` the array). `scopes` are the
    // scopes the path walked, from the root's; `path` is the path as a
    // listing writes it.
    struct path_end {
        enum { leaf, structure, elements } at;
        std::uint32_t member;
        std::uint32_t type;
        std::uint32_t offset;
        std::vector<std::uint32_t> scopes;
        std::string path;
    };
    std::optional<path_end> follow_part(std::string_view path);

private:
    std::optional<item_location> follow(std::string_view path);
    std::optional<path_end> walk_path(std::string_view path, bool to_leaf);
    bool reaches(std::uint32_t scope, std::uint32_t target);
    std::optional<bool> walk_towards(std::uint32_t scope, std::uint32_t target);
    bool enter_element(std::string_view token, const item_desc& array, std::uint32_t& offset, std::uint32_t& scope);

    const file_image& image_;
    std::shared_ptr<bool> table_short_;  // a read of the table failed
    desc_index index_;
    // Walks along member chains are taken step by step, until they have cost
    // more than settling every chain at once would.
    std::uint64_t steps_ = 0;
    std::uint64_t paths_ = 0;
    std::optional<chain_reach> reach_;
    // Where each scope's walk stands, and per node the mark of the walk that
    // passed it last; a walk's mark is its place in walk_scopes_ plus 1.
    struct walk_memo {
        std::uint32_t next = no_node;  // no_node: the walk has ended
        std::uint32_t mark = 0;
        bool taken = false;  // another walk has marked one of its nodes since
    };
    std::unordered_map<std::uint32_t, walk_memo> walks_;
    std::vector<std::uint32_t> walk_scopes_;
    std::shared_ptr<std::uint32_t[]> walked_by_;
};

// The item that `path` names; fails with not_resolved, or with read when the
// table could not be read as far as the resolution needed.
result<item_location> resolve_item_path(const file_image& image, std::string_view path);

}  // namespace vantor
