#include "listing/reference_declarations.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <set>
#include <vector>

namespace vantor::testing {

namespace {

using entry = std::size_t;  // a position in the table

class reference {
public:
    explicit reference(std::span<const item_desc> table) : table_(table) {}

    std::string run()
    {
        create_struct(0);
        return text_;
    }

private:
    int kind(entry at) const { return table_[at].flag & 0x7f; }

    // The last entry bearing the key; 0 and keys above 65535 find nothing.
    std::optional<entry> lookup(std::uint32_t key) const
    {
        for (entry at = table_.size(); key != 0 && at-- > 0;)
            if (table_[at].id == key)
                return at;
        return std::nullopt;
    }

    void print(const char* format, long long a, long long b = 0, long long c = 0)
    {
        char line[128];
        std::snprintf(line, sizeof line, format, a, b, c);
        text_ += line;
    }

    // The walk ends where it would come back to an entry it holds.
    void create_struct(entry head)
    {
        std::vector<entry> list;
        for (std::optional<entry> cur = head; cur && std::find(list.begin(), list.end(), *cur) == list.end();) {
            list.push_back(*cur);
            const std::optional<entry> named = lookup(table_[*cur].next);
            if (!named)
                break;
            std::optional<entry> type;
            if (kind(*named) == KIND_STRUCT)
                type = named;
            else if (kind(*named) == KIND_ARRAY)
                type = lookup(table_[*named].next);
            if (type && emitted_.insert(table_[*type].id).second)
                create_struct(*type);
            if (kind(*named) == KIND_MEMBER)
                cur = named;
            else if ((kind(*named) == KIND_STRUCT || kind(*named) == KIND_ARRAY) && table_[*cur].flag != KIND_VARIABLE)
                cur = lookup(table_[*cur].size);
            else
                break;
        }
        sort_members(list);
        print_list(list);
    }

    // Offsets that lie within half the circle, all less than 2^31 past one of
    // them, compare by their wrap-around difference; wider apart, as unsigned
    // numbers. Ties keep chain order either way.
    void sort_members(std::vector<entry>& list) const
    {
        const auto first = list.begin() + std::min<std::ptrdiff_t>(1, static_cast<std::ptrdiff_t>(list.size()));
        const bool ordered = std::any_of(first, list.end(), [&](entry low) {
            return std::all_of(first, list.end(), [&](entry e) { return table_[e].offset - table_[low].offset < 0x80000000u; });
        });
        const auto before = [&](entry a, entry b) {
            return ordered ? wrapped(a, b) < 0 : table_[a].offset < table_[b].offset;
        };
        std::stable_sort(first, list.end(), before);
    }

    std::int32_t wrapped(entry a, entry b) const
    {
        return static_cast<std::int32_t>(table_[a].offset - table_[b].offset);
    }

    void print_list(const std::vector<entry>& list)
    {
        std::uint32_t cursor = 0;
        bool in_union = false;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const item_desc& d = table_[list[i]];
            if (kind(list[i]) == KIND_STRUCT) {
                cursor = 0;
                const bool is_union =
                    i + 2 < list.size() && table_[list[i + 1]].offset == table_[list[i + 2]].offset;
                in_union = in_union || is_union;
                print(is_union ? "typedef union s%03lld\n{\n" : "typedef struct s%03lld\n{\n", d.id);
                if (d.next == 0) {
                    cursor += print_scalar(d);
                    print("\t//off:%05lld\n", static_cast<std::int32_t>(d.offset));
                }
            } else if (kind(list[i]) == KIND_MEMBER) {
                print_member(d, cursor, in_union);
            } else if (kind(list[i]) == KIND_VARIABLE) {
                print("\nextern t_s%03lld s%03lld;\t//size=%lld\n", d.next, d.id, static_cast<std::int32_t>(d.size));
            }
        }
        const item_desc& head = table_[list[0]];
        if (list.size() == 1 && head.flag == KIND_VARIABLE)
            return;
        if (head.size != cursor)
            print("  BYTE   _%03lld[%lld];\n", head.id, static_cast<std::int32_t>(head.size - cursor));
        print("} t_s%03lld;\t//size:%lld\n\n", head.id, static_cast<std::int32_t>(head.size));
    }

    std::uint32_t print_scalar(const item_desc& d)
    {
        switch (d.size) {
        case 1: print("  BYTE   b%03lld;", d.id); break;
        case 2: print("  WORD   w%03lld;", d.id); break;
        case 4: print("  DWORD  d%03lld;", d.id); break;
        default: print("  BYTE   ba%03lld[%lld];", d.id, static_cast<std::int32_t>(d.size)); break;
        }
        return d.size;
    }

    void print_member(const item_desc& d, std::uint32_t& cursor, bool in_union)
    {
        const std::optional<entry> named = d.next == 0 ? std::nullopt : lookup(d.next);
        const item_desc& type = named ? table_[*named] : d;
        if (d.offset > cursor) {
            print("  BYTE   _%03lld[%lld];\n", d.id, static_cast<std::int32_t>(d.offset - cursor));
            cursor = d.offset;
        } else if (d.offset < cursor && !in_union) {
            text_ += "//";
        }
        std::uint32_t width = 0;
        switch (type.flag & 0x7f) {
        case KIND_MEMBER:
            width = print_scalar(d);
            break;
        case KIND_STRUCT:
            print("  t_s%03lld s%03lld;", type.id, d.id);
            width = type.size;
            break;
        case KIND_ARRAY:
            print("  t_s%03lld sa%03lld[%lld];", type.next, d.id, static_cast<std::int32_t>(type.offset));
            width = type.size * type.offset;
            break;
        default:
            break;
        }
        print("\t//off:%05lld\n", static_cast<std::int32_t>(d.offset));
        if (d.offset >= cursor)
            cursor += width;
    }

    std::span<const item_desc> table_;
    std::set<std::uint16_t> emitted_;
    std::string text_;
};

}  // namespace

std::string reference_declarations(std::span<const item_desc> table)
{
    if (table.empty())
        return "";
    return reference(table).run();
}

}  // namespace vantor::testing
