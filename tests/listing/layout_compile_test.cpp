// The declarations are checked by the C compiler: for well-formed layouts the
// whole listing output, compiled with 1-byte packing, must give every type
// the size of its descriptor and every member the offset of its descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "cli/modes.hpp"
#include "support/capture.hpp"
#include "support/dat_builder.hpp"
#include "support/layouts.hpp"

namespace vantor {
namespace {

using testing::dat_layout;
using testing::desc_row;

std::string id_name(const char* prefix, unsigned id)
{
    char name[16];
    std::snprintf(name, sizeof name, "%s%03u", prefix, id);
    return name;
}

std::string scalar_name(std::uint32_t size, unsigned id)
{
    switch (size) {
    case 1:
        return id_name("b", id);
    case 2:
        return id_name("w", id);
    case 4:
        return id_name("d", id);
    default:
        return id_name("ba", id);
    }
}

std::string assertion(const std::string& condition)
{
    return "_Static_assert(" + condition + ", \"" + condition + "\");\n";
}

// What the compiler must confirm, worked out from the descriptors alone.
std::string layout_assertions(const std::vector<desc_row>& rows)
{
    auto by_id = [&](unsigned id) { return *std::find_if(rows.begin(), rows.end(), [&](auto& r) { return r.id == id; }); };
    std::string checks;
    for (const desc_row& type : rows) {
        if (type.flag == 5)
            checks += assertion("sizeof(" + id_name("s", type.id) + ") == " + std::to_string(type.size));
        if (type.flag != 2)
            continue;
        const std::string type_name = id_name("t_s", type.id);
        checks += assertion("sizeof(" + type_name + ") == " + std::to_string(type.size));
        for (unsigned member_id = type.next; member_id != 0;) {
            const desc_row member = by_id(member_id);
            const desc_row named = member.next ? by_id(member.next) : member;
            std::string name = scalar_name(member.size, member.id);
            member_id = member.next;
            if (named.flag == 2 || named.flag == 3) {
                name = id_name(named.flag == 2 ? "s" : "sa", member.id);
                member_id = member.size;
            }
            checks += assertion("offsetof(" + type_name + ", " + name + ") == " + std::to_string(member.offset));
        }
    }
    return checks;
}

// Compiles the tool's listing of `layout` with the assertions; returns the
// compiler's complaints, empty when it accepted the file.
std::string compile_listing(const dat_layout& layout)
{
    const testing::temp_file data(testing::build_dat(layout));
    const std::string listing = testing::capture_output([&](std::FILE* out) { run_listing_mode(data.path().c_str(), out); });
    const std::string source = "#include <stddef.h>\n#include <stdint.h>\n"
                               "typedef uint8_t BYTE;\ntypedef uint16_t WORD;\ntypedef uint32_t DWORD;\n"
                               "#pragma pack(1)\n" +
                               listing + layout_assertions(layout.descriptors);
    // Named .c so that the compiler takes it as C; removed on every way out.
    const testing::temp_file c_file({source.begin(), source.end()}, ".c");
    const testing::tool_run compiled =
        testing::run({C_COMPILER, "-std=c11", "-Wall", "-Werror", "-fsyntax-only", c_file.path()});
    if (compiled.status == 0)
        return "";
    return "compiler failed:\n" + compiled.out + compiled.err + "\nsource:\n" + source;
}

// Random well-formed layouts: nested structures, arrays of structures, gaps
// before members and at the end, members chained out of offset order, and
// unions whose first alternative in chain order is the widest.
class layout_maker {
public:
    explicit layout_maker(unsigned seed) : random_(seed) {}

    dat_layout make()
    {
        const auto [type, size] = make_struct(0);
        dat_layout layout;
        layout.descriptors.push_back({5, 1, type, size, 0});
        layout.descriptors.insert(layout.descriptors.end(), rows_.begin(), rows_.end());
        layout.data.assign(size, 0);
        return layout;
    }

private:
    struct member {
        std::uint16_t id;
        std::uint16_t type;  // 0: a scalar
        std::uint32_t width;
        std::uint32_t offset = 0;
    };

    unsigned pick(unsigned low, unsigned high) { return std::uniform_int_distribution<unsigned>(low, high)(random_); }
    std::uint16_t new_id() { return next_id_++; }

    member make_member(int depth)
    {
        const unsigned choice = pick(0, depth < 3 ? 7 : 4);
        const std::uint16_t id = new_id();
        if (choice <= 4) {
            static const std::uint32_t sizes[] = {1, 2, 4, 3, 9};
            return {id, 0, sizes[choice]};
        }
        const auto [type, size] = make_struct(depth + 1);
        if (choice == 5)
            return {id, type, size};
        const unsigned count = pick(1, 3);
        const std::uint16_t array = new_id();
        rows_.push_back({3, array, type, size, count});
        return {id, array, size * count};
    }

    std::pair<std::uint16_t, std::uint32_t> make_struct(int depth)
    {
        const std::uint16_t id = new_id();
        const bool is_union = depth > 0 && pick(0, 3) == 0;
        std::vector<member> members;
        for (unsigned n = pick(is_union ? 2 : 1, 4); n > 0; --n)
            members.push_back(make_member(depth));
        std::uint32_t size = 0;
        if (is_union) {
            std::iter_swap(members.begin(), std::max_element(members.begin(), members.end(),
                                                             [](auto& a, auto& b) { return a.width < b.width; }));
            size = members.front().width;
            std::shuffle(members.begin() + 1, members.end(), random_);
        } else {
            for (member& m : members) {
                m.offset = size + pick(0, 2);
                size = m.offset + m.width;
            }
            size += pick(0, 2);
            std::shuffle(members.begin(), members.end(), random_);
        }
        rows_.push_back({2, id, members.front().id, size, 0});
        for (std::size_t i = 0; i < members.size(); ++i) {
            const member& m = members[i];
            const std::uint16_t sibling = i + 1 < members.size() ? members[i + 1].id : 0;
            if (m.type == 0)
                rows_.push_back({1, m.id, sibling, m.width, m.offset});
            else
                rows_.push_back({1, m.id, m.type, sibling, m.offset});
        }
        return {id, size};
    }

    std::mt19937 random_;
    std::uint16_t next_id_ = 2;
    std::vector<desc_row> rows_;
};

TEST(layout_compile, example_file_declares_its_real_layout)
{
    EXPECT_EQ(compile_listing(testing::sample_layout()), "");
}

TEST(layout_compile, worked_example_declares_its_real_layout)
{
    EXPECT_EQ(compile_listing(testing::worked_example()), "");
}

TEST(layout_compile, generated_layouts_declare_their_real_layout)
{
    for (unsigned seed = 1; seed <= 12; ++seed)
        EXPECT_EQ(compile_listing(layout_maker(seed).make()), "") << "seed " << seed;
}

TEST(layout_compile, example_file_is_the_one_the_layout_builds)
{
    EXPECT_EQ(testing::read_file(SAMPLE_DAT), testing::build_dat(testing::sample_layout()))
        << "rebuild it: make_sample examples/sample.dat";
}

}  // namespace
}  // namespace vantor
