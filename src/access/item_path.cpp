#include "access/item_path.hpp"

#include <algorithm>
#include <string>
#include <vector>

#include "access/number.hpp"

namespace vantor {

namespace {

bool separates(char c) { return c == '.' || c == 't'; }

// Tokens as strtok(path, ".t") yields them: every '.' and every 't'
// separates, and runs of separators yield no empty token.
class tokens {
public:
    explicit tokens(std::string_view path) : rest_(path) { skip_separators(); }

    bool done() const { return rest_.empty(); }
    std::string_view next()
    {
        std::size_t end = 0;
        while (end < rest_.size() && !separates(rest_[end]))
            ++end;
        const std::string_view token = rest_.substr(0, end);
        rest_.remove_prefix(end);
        skip_separators();
        return token;
    }

private:
    void skip_separators()
    {
        while (!rest_.empty() && separates(rest_.front()))
            rest_.remove_prefix(1);
    }

    std::string_view rest_;
};

}  // namespace

item_resolver::item_resolver(const file_image& image)
    : image_(image),
      table_short_(std::make_shared<bool>(false)),
      index_(image.table(), image.item_numb(), desc_index::pick::first,
             stored_table{[&image, short_read = table_short_](std::uint32_t wanted) {
                              const std::uint32_t read = image.read_table(wanted);
                              if (read < std::min(wanted, image.item_numb()))
                                  *short_read = true;
                              return read;
                          },
                          image.item_numb() >= long_table})
{
}

// One step along a member chain. Whether `next` names the member's type is
// told by the flag's type bit alone; no kind ends the walk. Only the fields
// the step reads are taken from the table: a walk may take every record.
std::uint32_t item_resolver::scope_successor(std::uint32_t node)
{
    const std::uint32_t position = index_.position(node);
    const std::uint32_t named = find_item(image_.next_of(position));
    if (named == no_node)
        return no_node;
    return is_type_by_bit(image_.flag_of(index_.position(named))) ? find_item(image_.size_of(position)) : named;
}

// Whether the chain from `scope` reaches `target`, walked: each scope's
// walk goes on from where an earlier question left it, marking the nodes it
// passes, so that the paths into one structure walk its chain once. A walk
// whose marks another has taken over walks again from its start. Once the
// walks have cost more than settling every chain at once would, the chains
// are settled and answer every question after.
bool item_resolver::reaches(std::uint32_t scope, std::uint32_t target)
{
    if (!reach_)
        if (const auto walked = walk_towards(scope, target))
            return *walked;
    if (!reach_)
        reach_.emplace(chain_graph::of(index_.node_count(), [this](std::uint32_t at) { return scope_successor(at); }));
    return reach_->reaches(scope, target);
}

std::optional<bool> item_resolver::walk_towards(std::uint32_t scope, std::uint32_t target)
{
    // Every descriptor a look-up can find, and the table's first entry.
    constexpr std::uint64_t max_nodes = id_count + 1;
    // The first path's walks leave no marks: remembering costs a single
    // question more than it saves it. Such a walk that meets no end within
    // as many steps as there are nodes has come back into itself.
    const bool remember = paths_ > 1;
    walk_memo plain{scope, 0, false};
    walk_memo* walk = &plain;
    if (remember) {
        if (!walked_by_)
            walked_by_ = zeroed_words(max_nodes, image_.item_numb() >= long_table);
        auto [memo, fresh] = walks_.try_emplace(scope, walk_memo{});
        walk = &memo->second;
        if (!fresh && walked_by_[target] == walk->mark)
            return true;
        if (fresh || walk->taken) {
            *walk = {scope, static_cast<std::uint32_t>(walk_scopes_.size() + 1), false};
            walk_scopes_.push_back(scope);
        }
    }
    const std::uint64_t limit = std::min<std::uint64_t>(image_.item_numb(), max_nodes);
    for (std::uint64_t step = 0; walk->next != no_node; ++step, ++steps_) {
        if (steps_ > 4 * max_nodes)
            return std::nullopt;
        const std::uint32_t node = walk->next;
        // Back at a node of its own: the walk goes round a loop.
        if (remember ? walked_by_[node] == walk->mark : step == limit) {
            walk->next = no_node;
            break;
        }
        if (const std::uint32_t other = remember ? walked_by_[node] : 0; other != 0)
            if (const auto owner = walks_.find(walk_scopes_[other - 1]); owner->second.mark == other)
                owner->second.taken = true;
        if (remember)
            walked_by_[node] = walk->mark;
        walk->next = scope_successor(node);
        if (node == target)
            return true;
    }
    return false;
}

std::uint32_t item_resolver::find_in_scope(std::uint32_t target, std::uint32_t scope)
{
    if (target == no_node || scope == no_node || !reaches(scope, target))
        return no_node;
    return target;
}

std::optional<item_location> item_resolver::locate(std::uint32_t offset, const item_desc& leaf, bool text_asked) const
{
    // The start is 64-bit: it must not wrap round to a header byte.
    const auto size = static_cast<std::int32_t>(leaf.size);
    const item_location item{std::uint64_t{image_.data_offset()} + offset, size, text_asked || size == 3 || size > 4};
    // Text of a negative size has no bytes to show or store.
    if ((item.text && size < 0) || !checked_region(image_.size(), item.start, item.place().size))
        return std::nullopt;
    return item;
}

// The array step: the token that named an array member must hold an index
// below the element count; the element type, if any, becomes the scope.
bool item_resolver::enter_element(std::string_view token, const item_desc& array, std::uint32_t& offset,
                                  std::uint32_t& scope)
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

// A member whose `next` names nothing, or a member, is a leaf; one whose
// `next` names no descriptor ends every path; any other descriptor is its
// type. With bit 7 set, an array type is no array that a path indexes: it
// stays the scope itself.
item_resolver::step item_resolver::step_after(const item_desc& member)
{
    if (member.next == 0)
        return {step::leaf};
    const std::uint32_t type = find_item(member.next);
    if (type == no_node)
        return {step::fails};
    const item_desc type_desc = desc(type);
    if (kind_of(type_desc) == KIND_MEMBER)
        return {step::leaf};
    return {is_indexed_array(type_desc) ? step::into_element : step::into_type, type};
}

result<item_location> item_resolver::resolve(std::string_view path)
{
    if (auto item = follow(path))
        return *item;
    // The table may have ended where the file failed rather than where it
    // ends.
    return *table_short_ ? failure_kind::read : failure_kind::not_resolved;
}

std::optional<item_location> item_resolver::follow(std::string_view path)
{
    const auto end = walk_path(path, true);
    if (!end)
        return std::nullopt;
    return locate(end->offset, desc(end->member), path.find('t') != std::string_view::npos);
}

std::optional<item_resolver::path_end> item_resolver::follow_part(std::string_view path) { return walk_path(path, false); }

// Token by token; a walk to a leaf fails where the tokens run out before
// one.
std::optional<item_resolver::path_end> item_resolver::walk_path(std::string_view path, bool to_leaf)
{
    ++paths_;
    tokens left(path);
    path_end end{path_end::leaf, no_node, image_.item_numb() != 0 ? 0 : no_node, 0, {}, {}};
    // Offsets add up in 32-bit wrap-around arithmetic.
    while (!left.done()) {
        const std::string_view token = left.next();
        const std::int32_t number = parse_number(token);
        const std::uint32_t scope = end.type;
        const std::uint32_t matched = number == 0 ? no_node : find_in_scope(find_item(number), scope);
        if (matched == no_node)
            return std::nullopt;
        const item_desc member = desc(matched);
        end.offset += member.offset;
        end.member = matched;
        end.scopes.push_back(scope);
        if (!to_leaf) {
            if (!end.path.empty())
                end.path += '.';
            end.path += std::to_string(member.id);
        }
        const step next = step_after(member);
        switch (next.next) {
        case step::fails:
            return std::nullopt;
        case step::leaf:
            // A leaf ends the path.
            if (!left.done())
                return std::nullopt;
            end.at = path_end::leaf;
            return end;
        case step::into_type:
            end.at = path_end::structure;
            end.type = next.type;
            break;
        case step::into_element:
            end.at = path_end::elements;
            end.type = next.type;
            // Without an index, a part is every element.
            if (!to_leaf && left.done() && token.find('[') == std::string_view::npos)
                return end;
            if (!enter_element(token, desc(next.type), end.offset, end.type))
                return std::nullopt;
            end.at = path_end::structure;
            if (!to_leaf)
                end.path += '[' + std::to_string(parse_number(token.substr(token.find('[') + 1))) + ']';
            break;
        }
    }
    // No token, or the tokens ran out before a leaf.
    if (to_leaf || end.member == no_node || end.type == no_node)
        return std::nullopt;
    return end;
}

result<item_location> resolve_item_path(const file_image& image, std::string_view path)
{
    return item_resolver(image).resolve(path);
}

}  // namespace vantor
