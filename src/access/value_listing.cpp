#include "access/value_listing.hpp"

#include "access/number.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <vector>

#include "access/byte_set.hpp"
#include "access/item_value.hpp"
#include "datfile/chain_graph.hpp"

namespace vantor {

namespace {

// Steps a listing may take per descriptor and per item listed: what a
// well-formed file needs many times over, and what keeps a crafted one
// that lists little from running long.
constexpr std::uint64_t steps_per_unit = 16;

constexpr std::uint64_t offset_space = std::uint64_t{1} << 32;

// A walk along one scope's chain, or the elements of one array member.
struct frame {
    bool elements;
    std::uint32_t scope;        // the walk's scope, or the array type
    std::uint32_t node;         // the walk's next node, or the element type
    std::uint32_t left;         // nodes still to visit, or elements
    std::uint64_t offset;       // the scope's, or the next element's; below 2^32
    std::uint32_t stride;       // of the elements
    std::uint32_t index;        // of the next element
    std::size_t path_length;    // the path up to the walk's next token, or up to the array member's
};

class value_lister {
public:
    value_lister(const file_image& image, const item_sink& each, const walk_observer* observer)
        : image_(image),
          each_(each),
          observer_(observer),
          resolver_(image),
          // Every chain at once: a walk's length in one look, loops and all.
          chains_(chain_graph::of(resolver_.node_count(), [this](std::uint32_t node) { return resolver_.scope_successor(node); })),
          on_stack_(chains_.size(), false),
          visited_(on_stack_.size(), false),
          listed_(std::max<std::uint64_t>(image.size(), image.data_offset()) - image.data_offset() + 1)
    {
    }

    listing_tally run();
    listing_tally tally() const { return tally_; }
    // False where the part leads nowhere.
    bool run_part(std::string_view part);

private:
    std::uint64_t position(std::uint64_t offset) const { return image_.data_offset() + offset; }
    bool allowed() const { return steps_ <= steps_per_unit * (image_.item_numb() + 1 + tally_.listed); }
    bool starts_inside(std::uint64_t offset) const
    {
        return position(offset) < image_.size() && !listed_.any(offset, 1);
    }

    void push_walk(std::uint32_t scope, std::uint64_t offset);
    void step_walk(frame& walk);
    void step_elements(frame& elements);
    void visit(std::uint32_t node, const frame& walk);
    void push_elements(std::uint32_t array_type, std::uint64_t offset);
    void list_leaf(const item_desc& leaf, std::uint64_t offset);
    void append_number(std::uint32_t number);
    void append(char c) { path_[path_size_++] = c; }

    void walk_frames();

    const file_image& image_;
    const item_sink& each_;
    const walk_observer* observer_;
    item_resolver resolver_;
    chain_graph chains_;
    std::vector<bool> on_stack_;  // scopes being walked: a type is not expanded inside itself
    std::vector<bool> visited_;
    byte_set listed_;             // data-area bytes of the items listed, and one past the end
    std::vector<frame> frames_;
    // The path, no longer than its tokens can make it: at most
    // max_listed_depth of an id, an index in brackets and a dot.
    std::array<char, max_listed_depth * 20> path_;
    std::size_t path_size_ = 0;
    std::uint64_t steps_ = 0;
    std::uint32_t depth_ = 0;  // walks on the stack
    listing_tally tally_;
};

listing_tally value_lister::run()
{
    if (!on_stack_.empty())
        push_walk(0, 0);
    walk_frames();
    tally_.unreached = image_.item_numb() - static_cast<std::uint64_t>(std::count(visited_.begin(), visited_.end(), true));
    return tally_;
}

// The part is walked as the whole listing walks it, with the scopes on its
// path on the stack.
bool value_lister::run_part(std::string_view part)
{
    const auto end = resolver_.follow_part(part);
    if (!end)
        return false;
    if (end->scopes.size() > max_listed_depth) {
        ++tally_.too_deep;
        return true;
    }
    path_size_ = end->path.size();
    std::copy(end->path.begin(), end->path.end(), path_.data());
    std::vector<std::uint32_t> stacked;
    for (const std::uint32_t scope : end->scopes)
        if (!on_stack_[scope])
            stacked.push_back(scope);
    for (const std::uint32_t scope : stacked)
        on_stack_[scope] = true;
    depth_ = static_cast<std::uint32_t>(end->scopes.size());
    const item_desc member = resolver_.desc(end->member);
    switch (end->at) {
    case item_resolver::path_end::leaf:
        list_leaf(member, end->offset);
        break;
    case item_resolver::path_end::structure:
        append('.');
        push_walk(end->type, end->offset);
        break;
    case item_resolver::path_end::elements:
        push_elements(end->type, end->offset);
        break;
    }
    walk_frames();
    for (const std::uint32_t scope : stacked)
        on_stack_[scope] = false;
    depth_ = 0;
    return true;
}

void value_lister::walk_frames()
{
    while (!frames_.empty()) {
        ++steps_;
        if (!allowed()) {
            tally_.stopped = true;
            break;
        }
        frame& top = frames_.back();
        if (top.elements)
            step_elements(top);
        else
            step_walk(top);
    }
}

// A scope is walked where its instance starts inside the file on a byte not
// listed yet; else it would list nothing, or the same bytes again.
void value_lister::push_walk(std::uint32_t scope, std::uint64_t offset)
{
    if (on_stack_[scope] || !starts_inside(offset))
        return;
    if (depth_ == max_listed_depth) {
        ++tally_.too_deep;
        return;
    }
    ++depth_;
    on_stack_[scope] = true;
    visited_[scope] = true;
    frames_.push_back({false, scope, scope, chains_.walk_length(scope), offset, 0, 0, path_size_});
    if (observer_ && observer_->entered)
        observer_->entered({path_.data(), path_size_ > 0 ? path_size_ - 1 : 0}, offset, resolver_.desc(scope).size);
}

void value_lister::step_walk(frame& walk)
{
    if (walk.left == 0) {
        on_stack_[walk.scope] = false;
        --depth_;
        frames_.pop_back();
        return;
    }
    const std::uint32_t node = walk.node;
    walk.node = chains_.successor(node);
    --walk.left;
    path_size_ = walk.path_length;
    // May push a frame, and so must come last.
    visit(node, walk);
}

void value_lister::step_elements(frame& elements)
{
    const std::uint64_t offset = elements.offset;
    // Later elements start later still, past the file or past 4 GiB of
    // offsets, where the 32-bit sum would wrap.
    if (elements.left == 0 || offset >= offset_space || position(offset) >= image_.size()) {
        frames_.pop_back();
        return;
    }
    const std::uint32_t index = elements.index++;
    --elements.left;
    elements.offset += elements.stride;
    path_size_ = elements.path_length;
    append('[');
    append_number(index);
    append(']');
    append('.');
    push_walk(elements.node, offset);
}

void value_lister::visit(std::uint32_t node, const frame& walk)
{
    visited_[node] = true;
    const item_desc desc = resolver_.desc(node);
    // Id 0 names nothing.
    if (desc.id == 0)
        return;
    const item_resolver::step next = resolver_.step_after(desc);
    // A scope names itself, whole, as a leaf: its members are listed
    // instead, unless it has none.
    if (node == walk.scope && next.next == item_resolver::step::leaf && desc.next != 0)
        return;
    const std::uint64_t offset = (walk.offset + desc.offset) % offset_space;
    append_number(desc.id);
    switch (next.next) {
    case item_resolver::step::fails:
        break;
    case item_resolver::step::leaf:
        list_leaf(desc, offset);
        break;
    case item_resolver::step::into_type:
        append('.');
        push_walk(next.type, offset);
        break;
    case item_resolver::step::into_element:
        push_elements(next.type, offset);
        break;
    }
}

void value_lister::push_elements(std::uint32_t array_type, std::uint64_t offset)
{
    visited_[array_type] = true;
    const item_desc array = resolver_.desc(array_type);
    const std::uint32_t element = resolver_.find_item(array.next);
    if (element == no_node || on_stack_[element])
        return;
    // Elements 0 bytes apart are all the same bytes.
    const std::uint32_t count = array.size == 0 ? std::min(array.offset, 1u) : array.offset;
    frames_.push_back({true, array_type, element, count, offset, array.size, 0, path_size_});
}

// Bytes listed are never listed again; an item of no bytes takes its one
// position, so that no position lists many.
void value_lister::list_leaf(const item_desc& leaf, std::uint64_t offset)
{
    const auto item = resolver_.locate(static_cast<std::uint32_t>(offset), leaf, false);
    if (!item)
        return;
    const std::uint64_t taken = std::max<std::uint64_t>(item->place().size, 1);
    if (listed_.any(offset, taken)) {
        ++tally_.overlapping;
        if (observer_ && observer_->passed_over)
            observer_->passed_over({path_.data(), path_size_}, *item);
        return;
    }
    listed_.add(offset, taken);
    ++tally_.listed;
    each_({path_.data(), path_size_}, *item);
}

void value_lister::append_number(std::uint32_t number)
{
    const auto written = std::to_chars(path_.data() + path_size_, path_.data() + path_.size(), number);
    path_size_ = static_cast<std::size_t>(written.ptr - path_.data());
}

bool printable(unsigned char byte) { return byte >= 0x20 && byte < 0x7F && byte != '\\'; }

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

result<listing_tally> list_values(const file_image& image, const item_sink& each) { return list_values(image, each, {}); }

result<listing_tally> list_values(const file_image& image, const item_sink& each, std::span<const std::string_view> parts,
                                  const walk_observer* observer)
{
    // Every path may be needed: the whole table, read at once.
    if (image.read_table(image.item_numb()) < image.item_numb())
        return failure_kind::read;
    value_lister lister(image, each, observer);
    if (parts.empty())
        return lister.run();
    for (const std::string_view part : parts) {
        if (!lister.run_part(part))
            return failure_kind::not_resolved;
        if (lister.tally().stopped)
            break;
    }
    return lister.tally();
}

bool data_window::fill(std::uint64_t at, std::uint64_t wanted)
{
    // Reads that follow one another grow, forwards or backwards (a chain
    // against the file's order); any other starts small again, so that
    // scattered items cost a page each.
    const bool after = at == start_ + held_;
    const bool before = held_ != 0 && at < start_ && start_ - at <= read_ahead_;
    read_ahead_ = after || before ? std::min(read_ahead_ * 2, longest_read_ahead) : first_read;
    std::uint64_t from = at;
    std::uint64_t count = std::min({std::max(wanted, read_ahead_), capacity, image_.size() - at});
    if (before) {
        // The window ends where the last began, or where the place does.
        const std::uint64_t end = std::max(start_, at + std::min(count, wanted));
        from = std::min(at, end - std::min(end, read_ahead_));
        count = std::min(end - from, capacity);
    }
    if (!buffer_)
        buffer_.reset(new unsigned char[capacity]);
    held_ = count;
    start_ = from;
    if (read_bytes(image_, {from, count}, buffer_.get()))
        return true;
    held_ = 0;
    return false;
}

std::int32_t number_value(const item_location& item, std::string_view bytes)
{
    return read_number(reinterpret_cast<const unsigned char*>(bytes.data()), item.size);
}

void listed_text::append(std::string& text, std::string_view piece)
{
    for (const char c : piece) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte == 0) {
            ++zeros_;
            continue;
        }
        for (; zeros_ > 0; --zeros_)
            text += "\\x00";
        if (printable(byte)) {
            text += c;
        } else if (byte == '\\') {
            text += "\\\\";
        } else {
            static constexpr char hex[] = "0123456789ABCDEF";
            text += {'\\', 'x', hex[byte >> 4], hex[byte & 0xF]};
        }
    }
}

std::optional<std::string> unescaped(std::string_view text)
{
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] != '\\') {
            bytes += text[at];
        } else if (at + 1 < text.size() && text[at + 1] == '\\') {
            bytes += '\\';
            ++at;
        } else if (at + 3 < text.size() && text[at + 1] == 'x' && hex_digit(text[at + 2]) >= 0 &&
                   hex_digit(text[at + 3]) >= 0) {
            bytes += static_cast<char>(hex_digit(text[at + 2]) << 4 | hex_digit(text[at + 3]));
            at += 3;
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

result<region> add_assignment(stored_items& items, item_resolver& resolver, std::string_view path,
                              std::string_view value)
{
    const auto item = resolver.resolve(path);
    if (!item)
        return item.error();
    const std::uint64_t size = item->place().size;
    if (!item->text) {
        const value_fault fault = number_fault(value, range_for(size));
        if (fault != value_fault::none)
            return failure{failure_kind::refused, 0, {}, fault, size};
        add_value_bytes(items, *item, value);
        return item->place();
    }
    // Most values hold no escape.
    const bool escaped = value.find('\\') != std::string_view::npos;
    auto bytes = escaped ? unescaped(value) : std::nullopt;
    if (escaped && !bytes)
        return failure{failure_kind::refused, 0, {}, value_fault::bad_escape, size};
    const std::string_view text = escaped ? std::string_view(*bytes) : value;
    if (text.size() > size)
        return failure{failure_kind::refused, 0, {}, value_fault::too_long, size, text.size()};
    if (escaped)
        items.add(item->place(), *bytes);
    else
        add_value_bytes(items, *item, text);
    return item->place();
}

}  // namespace vantor
