#include "access/item_path.hpp"

#include <algorithm>
#include <vector>

#include "access/number.hpp"

namespace vantor {

namespace {

// Tokens as strtok(path, ".t") yields them: every '.' and every 't'
// separates, and runs of separators yield no empty token.
std::vector<std::string_view> split_tokens(std::string_view path)
{
    std::vector<std::string_view> tokens;
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t begin = path.find_first_not_of(".t", at);
        if (begin == std::string_view::npos)
            break;
        std::size_t end = path.find_first_of(".t", begin);
        if (end == std::string_view::npos)
            end = path.size();
        tokens.push_back(path.substr(begin, end - begin));
        at = end;
    }
    return tokens;
}

}  // namespace

item_resolver::item_resolver(const file_image& image)
    : image_(image), index_(image.table(), image.item_numb(), desc_index::pick::first)
{
}

std::optional<std::uint32_t> item_resolver::find_item(std::int64_t id)
{
    const std::uint32_t node = index_.find(id);
    if (node == desc_index::none)
        return std::nullopt;
    return node;
}

// One step along a member chain. Whether `next` names the member's type is
// told by bit 1 of the named descriptor's flag alone (kinds 2 and 3 have it);
// the sibling of a typed member is named by its size.
std::uint32_t item_resolver::scope_successor(std::uint32_t node)
{
    const item_desc cur = desc(node);
    const auto named = find_item(cur.next);
    if (!named)
        return chain_graph::none;
    if ((desc(*named).flag & 0x02) == 0)
        return *named;
    return find_item(cur.size).value_or(chain_graph::none);
}

// A walk that meets no end within as many steps as there are nodes has come
// back into itself.
bool item_resolver::reaches(std::uint32_t scope, std::uint32_t target)
{
    constexpr std::uint64_t max_nodes = 65537;
    const std::uint64_t limit = std::min<std::uint64_t>(image_.item_numb(), max_nodes);
    if (!reach_) {
        std::uint32_t node = scope;
        for (std::uint64_t step = 0; step < limit && steps_ <= 4 * max_nodes; ++step, ++steps_) {
            if (node == target)
                return true;
            node = scope_successor(node);
            if (node == chain_graph::none)
                return false;
        }
        if (steps_ <= 4 * max_nodes)
            return false;
        reach_.emplace(chain_graph::of(index_.node_count(), [this](std::uint32_t at) { return scope_successor(at); }));
    }
    return reach_->reaches(scope, target);
}

std::optional<std::uint32_t> item_resolver::find_in_scope(std::optional<std::uint32_t> target,
                                                          std::optional<std::uint32_t> scope)
{
    if (!target || !scope || !reaches(*scope, *target))
        return std::nullopt;
    return target;
}

std::optional<item_location> item_resolver::locate(std::uint32_t offset, const item_desc& leaf) const
{
    // The start is 64-bit: it must not wrap round to a header byte.
    const std::uint64_t start = std::uint64_t{image_.data_offset()} + offset;
    const auto size = static_cast<std::int32_t>(leaf.size);
    const auto bytes = checked_region(image_.bytes.size(), start, size > 0 ? static_cast<std::uint64_t>(size) : 0);
    if (!bytes)
        return std::nullopt;
    return item_location{bytes->start, size};
}

// The array step: the token that named an array member must hold an index
// below the element count; the element type, if any, becomes the scope.
bool item_resolver::enter_element(std::string_view token, const item_desc& array, std::uint32_t& offset,
                                  std::optional<std::uint32_t>& scope)
{
    const std::size_t bracket = token.find('[');
    if (bracket == std::string_view::npos)
        return false;
    // Whatever follows the digits, the closing bracket included, is ignored.
    const auto index = static_cast<std::uint32_t>(parse_number(token.substr(bracket + 1)));
    if (index >= array.offset)
        return false;
    offset += index * array.size;
    scope = find_item(array.next);
    return true;
}

std::optional<item_location> item_resolver::resolve(std::string_view path)
{
    const std::vector<std::string_view> tokens = split_tokens(path);
    std::optional<std::uint32_t> scope;
    if (image_.item_numb() != 0)
        scope = 0;
    // Offsets add up in 32-bit wrap-around arithmetic.
    std::uint32_t offset = 0;
    for (std::size_t k = 0; k < tokens.size(); ++k) {
        const std::int32_t number = parse_number(tokens[k]);
        const auto matched = number == 0 ? std::nullopt : find_in_scope(find_item(number), scope);
        if (!matched)
            return std::nullopt;
        const item_desc member = desc(*matched);
        offset += member.offset;

        std::optional<std::uint32_t> type;
        if (member.next != 0) {
            type = find_item(member.next);
            if (!type)
                return std::nullopt;
        }
        const item_desc type_desc = type ? desc(*type) : member;
        if (!type || kind_of(type_desc) == KIND_MEMBER) {
            // A leaf ends the path.
            if (k + 1 != tokens.size())
                return std::nullopt;
            return locate(offset, member);
        }
        scope = type;
        // Only a flag byte of exactly 3 is indexed; with bit 7 set the array
        // type itself stays the scope.
        if (type_desc.flag == KIND_ARRAY && !enter_element(tokens[k], type_desc, offset, scope))
            return std::nullopt;
    }
    // No token, or the tokens ran out before a leaf.
    return std::nullopt;
}

std::optional<item_location> resolve_item_path(const file_image& image, std::string_view path)
{
    return item_resolver(image).resolve(path);
}

}  // namespace vantor
