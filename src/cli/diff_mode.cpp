// --diff: the value lines, then comments on every other byte that differs.

#include <string>
#include <vector>

#include "access/file_diff.hpp"
#include "cli/options.hpp"
#include "cli/report.hpp"

namespace vantor {

namespace {

template <typename T, typename Each>
void list_few(text_writer& text, const std::vector<T>& few, std::uint64_t all, Each&& each)
{
    for (std::size_t at = 0; at < few.size(); ++at) {
        text << (at == 0 ? " " : ", ");
        each(few[at]);
    }
    if (all > few.size())
        text << ", ...";
}

void print_comments(text_writer& text, const file_comparison& compared)
{
    if (compared.layouts_differ)
        text << "# the layouts differ: values compare by path, whatever bytes each path names\n";
    if (!compared.header_fields.empty()) {
        text << "# header:";
        for (std::size_t at = 0; at < compared.header_fields.size(); ++at)
            text << (at == 0 ? " " : ", ") << std::string_view(compared.header_fields[at]);
        text << " differ\n";
    }
    if (compared.descriptors[0] != compared.descriptors[1])
        text << "# table: A holds " << count(compared.descriptors[0]) << " descriptors, B " << count(compared.descriptors[1])
             << '\n';
    if (compared.descriptors_differing != 0) {
        text << "# table: " << count(compared.descriptors_differing)
             << (compared.descriptors_differing == 1 ? " descriptor differs, id" : " descriptors differ, ids");
        list_few(text, compared.differing_ids, compared.descriptors_differing, [&](std::uint16_t id) { text << count(id); });
        text << '\n';
    }
    if (compared.stray != 0) {
        text << "# data area: " << count(compared.stray)
             << (compared.stray == 1 ? " byte differs" : " bytes differ") << " outside the values, at";
        list_few(text, compared.first_stray, compared.stray, [&](const stray_byte& stray) {
            text << count(stray.offset) << " (";
            if (stray.around.empty())
                text << "in no item";
            else
                text << (stray.left_out ? "" : "in ") << std::string_view(stray.around) << (stray.left_out ? ", left out" : "");
            text << ')';
        });
        text << '\n';
    }
    if (compared.between != 0)
        text << "# between the table and the data area: " << count(compared.between)
             << (compared.between == 1 ? " byte differs\n" : " bytes differ\n");
    if (compared.sizes[0] != compared.sizes[1])
        text << "# length: A is " << count(compared.sizes[0]) << " bytes, B " << count(compared.sizes[1]) << '\n';
}

}  // namespace

// Exit 0 when the files are the same byte for byte, 1 when they differ, as
// cmp and diff tell it; a failure is -1.
int run_diff(const command& run, std::FILE* out)
{
    const result<file_image> a = load_for(run.file, open_for::reading, out);
    if (!a)
        return report(out, a.error(), {run.file, ""});
    const result<file_image> b = load_for(run.other, open_for::reading, out);
    if (!b)
        return report(out, b.error(), {run.other, ""});
    // A part that either file holds compares; one that neither holds fails.
    for (const char* const part : run.rest)
        if (unresolved_part(*a, {&part, 1}) && unresolved_part(*b, {&part, 1}))
            return report(out, failure{failure_kind::not_resolved}, {run.file, "getdata", part});
    const std::vector<std::string_view> parts(run.rest.begin(), run.rest.end());
    data_window in_a(*a), in_b(*b);
    text_writer text(out);
    const char* failed_in = nullptr;
    const auto compared = compare_files(*a, *b, parts, [&](std::string_view path, const item_location* from, const item_location* to) {
        if (failed_in == nullptr && from != nullptr && !write_value_line(text, in_a, "-", path, *from))
            failed_in = run.file;
        if (failed_in == nullptr && to != nullptr && !write_value_line(text, in_b, "+", path, *to))
            failed_in = run.other;
    });
    if (!compared || failed_in != nullptr) {
        text.flush();
        return report(out, compared ? failure{failure_kind::read} : compared.error(), {failed_in ? failed_in : run.file, ""});
    }
    if (compared->stopped) {
        text << stopped_comment;
        return -1;
    }
    print_comments(text, *compared);
    return compared->identical() ? 0 : 1;
}

}  // namespace vantor
