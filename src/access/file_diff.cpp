#include "access/file_diff.hpp"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

#include "access/byte_set.hpp"

namespace vantor {

namespace {

// A number's decimal text is at most this long ("-2147483648").
constexpr std::size_t longest_number = 11;
constexpr std::uint64_t compare_slice = std::uint64_t{64} << 10;
constexpr std::uint64_t data_slice = std::uint64_t{1} << 20;

std::vector<const char*> differing_header_fields(const dat_header& a, const dat_header& b)
{
    const std::uint32_t dat_header::* const fields[] = {&dat_header::item_desc_size, &dat_header::item_numb,
                                                        &dat_header::header_size,    &dat_header::desc_size,
                                                        &dat_header::data_offset,    &dat_header::data_len};
    static constexpr const char* names[] = {"item_desc_size", "item_numb", "header_size", "desc_size", "data_offset", "data_len"};
    std::vector<const char*> differing;
    for (std::size_t at = 0; at < std::size(fields); ++at)
        if (a.*fields[at] != b.*fields[at])
            differing.push_back(names[at]);
    // The flag's word, as the listing shows it, unused bytes and all.
    if (std::memcmp(&a.flag, &b.flag, 4) != 0)
        differing.push_back("flag");
    return differing;
}

// The data-area bytes an item's value holds.
void hold(byte_set& held, const file_image& image, const item_location& item)
{
    if (item.place().size > 0)
        held.add(item.start - image.data_offset(), item.place().size);
}

// Two items' values, each read through a window of its own file, compared
// as the listing shows them.
class value_comparer {
public:
    value_comparer(const file_image& a, const file_image& b) : a_(a), b_(b) {}

    // Nothing when a read fails.
    std::optional<bool> same(const item_location& a, const item_location& b)
    {
        if (!a.text && !b.text) {
            const auto first = number(a_, a), second = number(b_, b);
            if (!first || !second)
                return std::nullopt;
            return *first == *second;
        }
        if (a.text && b.text)
            return same_text(a, b);
        // A number against a text: the same only if the text shows the
        // number's digits.
        const item_location& text = a.text ? a : b;
        const auto shown = shown_briefly(a.text ? a_ : b_, text);
        const auto value = number(a.text ? b_ : a_, a.text ? b : a);
        if (!shown || !value)
            return std::nullopt;
        return *shown == std::to_string(*value);
    }

private:
    static std::optional<std::int32_t> number(data_window& data, const item_location& item)
    {
        char bytes[4] = {};
        std::size_t held = 0;
        const bool read = data.read(item.place(), [&](std::string_view piece) {
            std::copy(piece.begin(), piece.end(), bytes + held);
            held += piece.size();
        });
        if (!read)
            return std::nullopt;
        return number_value(item, {bytes, held});
    }

    // The text as shown, or more than a number's digits once it shows more.
    static std::optional<std::string> shown_briefly(data_window& data, const item_location& item)
    {
        listed_text shown;
        std::string text;
        const bool read = data.read(item.place(), [&](std::string_view piece) {
            if (text.size() <= longest_number)
                shown.append(text, piece);
        });
        if (!read)
            return std::nullopt;
        return text;
    }

    // Texts show alike when one's bytes are the other's followed by zero
    // bytes, which the listing leaves out.
    std::optional<bool> same_text(const item_location& a, const item_location& b)
    {
        const std::uint64_t a_size = a.place().size, b_size = b.place().size;
        const std::uint64_t common = std::min(a_size, b_size);
        bool same = true;
        for (std::uint64_t done = 0; done < common && same; done += compare_slice) {
            const std::uint64_t count = std::min(compare_slice, common - done);
            buffer_.clear();
            if (!a_.read({a.start + done, count}, [&](std::string_view piece) { buffer_.append(piece); }))
                return std::nullopt;
            std::size_t at = 0;
            const bool read = b_.read({b.start + done, count}, [&](std::string_view piece) {
                same = same && std::memcmp(buffer_.data() + at, piece.data(), piece.size()) == 0;
                at += piece.size();
            });
            if (!read)
                return std::nullopt;
        }
        const item_location& longer = a_size > b_size ? a : b;
        data_window& data = a_size > b_size ? a_ : b_;
        const std::uint64_t rest = std::max(a_size, b_size) - common;
        const bool read = !same || rest == 0 || data.read({longer.start + common, rest}, [&](std::string_view piece) {
            same = same && std::all_of(piece.begin(), piece.end(), [](char c) { return c == 0; });
        });
        if (!read)
            return std::nullopt;
        return same;
    }

    data_window a_, b_;
    std::string buffer_;
};

// A's paths, held in the order of its listing, to be met again by path.
class held_paths {
public:
    void add(std::string_view path, const item_location& item)
    {
        paths_.push_back({static_cast<std::uint64_t>(text_.size()), path.size(), item, false});
        text_.append(path);
    }

    // The index by path, once every path is held; a path held twice is
    // found at its first place.
    void index()
    {
        by_path_.reserve(paths_.size());
        for (std::size_t at = 0; at < paths_.size(); ++at)
            by_path_.try_emplace(path(at), at);
    }

    std::optional<std::size_t> find(std::string_view path) const
    {
        const auto found = by_path_.find(path);
        return found == by_path_.end() ? std::nullopt : std::optional(found->second);
    }

    std::size_t size() const { return paths_.size(); }
    std::string_view path(std::size_t at) const { return std::string_view(text_).substr(paths_[at].begin, paths_[at].length); }
    const item_location& item(std::size_t at) const { return paths_[at].item; }
    bool& met(std::size_t at) { return paths_[at].met; }

private:
    struct held {
        std::uint64_t begin;
        std::size_t length;
        item_location item;
        bool met;  // B lists the path too
    };
    std::string text_;
    std::vector<held> paths_;
    std::unordered_map<std::string_view, std::size_t> by_path_;
};

class comparison {
public:
    comparison(const file_image& a, const file_image& b, std::span<const std::string_view> parts, const difference_sink& each)
        : a_(a), b_(b), parts_given_(!parts.empty()), parts_a_(leading_somewhere(a, parts)),
          parts_b_(leading_somewhere(b, parts)), each_(each), values_(a, b), held_a_(0), held_b_(0)
    {
    }

    result<file_comparison> run();

private:
    bool shares_layout() const
    {
        return result_.header_fields.empty() && result_.descriptors_differing == 0 && a_.size() == b_.size();
    }
    // A listing of `image` that calls `each`, stops the comparison where
    // it stops, and fails as it fails.
    bool walk(const file_image& image, const item_sink& each, const walk_observer* observer = nullptr);
    bool compare(std::string_view path, const item_location& a, const item_location& b);
    void compare_tables();
    bool compare_shared();
    bool compare_apart();
    template <typename Each>
    bool compare_bytes(std::uint64_t from_a, std::uint64_t from_b, std::uint64_t length, Each&& each);
    bool find_stray_bytes();
    bool name_stray_bytes();

    static std::vector<std::string_view> leading_somewhere(const file_image& image, std::span<const std::string_view> parts)
    {
        item_resolver resolver(image);
        std::vector<std::string_view> found;
        for (const std::string_view part : parts)
            if (resolver.follow_part(part))
                found.push_back(part);
        return found;
    }

    const file_image& a_;
    const file_image& b_;
    // Parts that a file lacks are listed by the other alone.
    bool parts_given_;
    std::vector<std::string_view> parts_a_, parts_b_;
    const difference_sink& each_;
    value_comparer values_;
    byte_set held_a_, held_b_;  // the data-area bytes of the values listed
    file_comparison result_;
    std::optional<failure> failed_;
};

result<file_comparison> comparison::run()
{
    for (const file_image* image : {&a_, &b_})
        if (image->read_table(image->item_numb()) < image->item_numb())
            return failure_kind::read;
    result_.header_fields = differing_header_fields(a_.header(), b_.header());
    result_.sizes[0] = a_.size();
    result_.sizes[1] = b_.size();
    compare_tables();
    result_.layouts_differ = !shares_layout();
    const bool listed = shares_layout() ? compare_shared() : compare_apart();
    if (!listed)
        return *failed_;
    if (result_.stopped)
        return result_;
    // Parts compare by their values alone.
    if (parts_given_) {
        file_comparison values;
        values.layouts_differ = result_.layouts_differ;
        values.values_differ = result_.values_differ;
        return values;
    }
    if (!find_stray_bytes() || !name_stray_bytes())
        return *failed_;
    return result_;
}

bool comparison::walk(const file_image& image, const item_sink& each, const walk_observer* observer)
{
    const item_sink guarded = [&](std::string_view path, const item_location& item) {
        if (!failed_)
            each(path, item);
    };
    const std::vector<std::string_view>& parts = &image == &a_ ? parts_a_ : parts_b_;
    if (parts_given_ && parts.empty())
        return true;
    const auto tally = list_values(image, guarded, parts, observer);
    if (!tally)
        failed_ = tally.error();
    else
        result_.stopped = result_.stopped || tally->stopped;
    return !failed_;
}

bool comparison::compare(std::string_view path, const item_location& a, const item_location& b)
{
    const auto same = values_.same(a, b);
    if (!same) {
        failed_ = failure{failure_kind::read};
        return false;
    }
    if (!*same) {
        result_.values_differ = true;
        each_(path, &a, &b);
    }
    return true;
}

// Record by record where both tables hold one.
void comparison::compare_tables()
{
    result_.descriptors[0] = a_.item_numb();
    result_.descriptors[1] = b_.item_numb();
    const std::uint32_t both = std::min(a_.item_numb(), b_.item_numb());
    for (std::uint32_t at = 0; at < both; ++at) {
        if (std::memcmp(a_.table() + std::size_t{desc_bytes} * at, b_.table() + std::size_t{desc_bytes} * at, desc_bytes) == 0)
            continue;
        ++result_.descriptors_differing;
        if (result_.differing_ids.size() < first_few)
            result_.differing_ids.push_back(b_.descriptor(at).id);
    }
}

// One layout walked once: each item is at the same place in both files.
bool comparison::compare_shared()
{
    return walk(b_, [&](std::string_view path, const item_location& item) {
        hold(held_b_, b_, item);
        compare(path, item, item);
    });
}

// Layouts apart: A's paths are held, B's listing marks those it lists too,
// then walks again to compare, with each of A's own paths just before the
// first path after it in A's order that B lists.
bool comparison::compare_apart()
{
    held_paths held;
    if (!walk(a_, [&](std::string_view path, const item_location& item) {
            hold(held_a_, a_, item);
            held.add(path, item);
        }))
        return false;
    held.index();
    if (result_.stopped)
        return true;
    if (!walk(b_, [&](std::string_view path, const item_location& item) {
            hold(held_b_, b_, item);
            if (const auto at = held.find(path))
                held.met(*at) = true;
        }))
        return false;
    if (result_.stopped)
        return true;
    std::size_t next = 0;  // A's paths before this one are told
    const auto tell_own_paths = [&](std::size_t end) {
        for (; next < end; ++next) {
            if (!held.met(next)) {
                result_.values_differ = true;
                each_(held.path(next), &held.item(next), nullptr);
            }
        }
    };
    const bool walked = walk(b_, [&](std::string_view path, const item_location& item) {
        const auto at = held.find(path);
        if (!at) {
            result_.values_differ = true;
            each_(path, nullptr, &item);
            return;
        }
        tell_own_paths(*at);
        compare(path, held.item(*at), item);
    });
    if (walked)
        tell_own_paths(held.size());
    return walked;
}

// Calls `each` with the offset of every byte that differs between A's
// `length` bytes from `from_a` and B's from `from_b`, slice by slice.
template <typename Each>
bool comparison::compare_bytes(std::uint64_t from_a, std::uint64_t from_b, std::uint64_t length, Each&& each)
{
    std::vector<unsigned char> in_a, in_b;
    for (std::uint64_t done = 0; done < length; done += data_slice) {
        const std::uint64_t count = std::min(data_slice, length - done);
        in_a.resize(static_cast<std::size_t>(count));
        in_b.resize(static_cast<std::size_t>(count));
        if (!read_bytes(a_, {from_a + done, count}, in_a.data()) || !read_bytes(b_, {from_b + done, count}, in_b.data())) {
            failed_ = failure{failure_kind::read};
            return false;
        }
        if (in_a == in_b)
            continue;
        for (std::size_t at = 0; at < count; ++at)
            if (in_a[at] != in_b[at])
                each(done + at);
    }
    return true;
}

// Where both data areas hold a byte; and between the table and the data
// area, where a header puts its data area past the table's end.
bool comparison::find_stray_bytes()
{
    const auto data_bytes = [](const file_image& image) {
        return image.size() > image.data_offset() ? image.size() - image.data_offset() : 0;
    };
    const bool shared = shares_layout();
    const bool compared = compare_bytes(a_.data_offset(), b_.data_offset(), std::min(data_bytes(a_), data_bytes(b_)),
                                        [&](std::uint64_t offset) {
                                            if (held_b_.any(offset, 1) || (!shared && held_a_.any(offset, 1)))
                                                return;
                                            ++result_.stray;
                                            if (result_.first_stray.size() < first_few)
                                                result_.first_stray.push_back({offset, {}, false});
                                        });
    const auto gap = [](const file_image& image) {
        const std::uint64_t end = header_bytes + std::uint64_t{desc_bytes} * image.item_numb();
        return std::pair(end, std::max(end, std::min<std::uint64_t>(image.data_offset(), image.size())));
    };
    const auto [from, to] = std::pair(std::max(gap(a_).first, gap(b_).first), std::min(gap(a_).second, gap(b_).second));
    return compared && (from >= to || compare_bytes(from, from, to - from, [&](std::uint64_t) { ++result_.between; }));
}

// B's listing walked again, to find what holds each of the first stray
// bytes: an item left out over it, else the narrowest structure or element.
bool comparison::name_stray_bytes()
{
    if (result_.first_stray.empty())
        return true;
    std::vector<std::uint64_t> narrowest(result_.first_stray.size(), UINT64_MAX);
    walk_observer observer;
    observer.passed_over = [&](std::string_view path, const item_location& item) {
        const std::uint64_t start = item.start - b_.data_offset(), size = item.place().size;
        for (stray_byte& stray : result_.first_stray) {
            if (!stray.left_out && stray.offset >= start && stray.offset - start < size) {
                stray.around = path;
                stray.left_out = true;
            }
        }
    };
    observer.entered = [&](std::string_view path, std::uint64_t start, std::uint64_t size) {
        for (std::size_t at = 0; at < narrowest.size(); ++at) {
            stray_byte& stray = result_.first_stray[at];
            if (!stray.left_out && stray.offset >= start && stray.offset - start < size && size < narrowest[at]) {
                stray.around = path;
                narrowest[at] = size;
            }
        }
    };
    return walk(b_, [](std::string_view, const item_location&) {}, &observer);
}

}  // namespace

result<file_comparison> compare_files(const file_image& a, const file_image& b, std::span<const std::string_view> parts,
                                      const difference_sink& each)
{
    return comparison(a, b, parts, each).run();
}

}  // namespace vantor
