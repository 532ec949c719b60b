// Any item argument and any data file, as "argument\0file", run through the
// command line's item mode on a real file; an argument of several lines is
// the assignments of --set. Whatever happens, the file keeps
// its length and no byte outside the item changes; a write that succeeds
// leaves exactly the bytes that setdata gives for a separate image of the
// same file.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "access/item_value.hpp"
#include "access/value_listing.hpp"
#include "cli/modes.hpp"
#include "datfile/file_image.hpp"

namespace {

using bytes = std::vector<unsigned char>;

struct scratch_file {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("vantor-fuzz-write-" + std::to_string(::getpid()) + ".dat"))
                           .string();
    ~scratch_file() { std::filesystem::remove(path); }
};

void put(const std::string& path, const bytes& content)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
}

bytes get(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What the file must hold after the run, and the status that goes with it.
struct outcome {
    bytes file;
    int status;
};

outcome expected_outcome(const std::string& argument, const bytes& file)
{
    const auto image = vantor::make_file_image(file);
    if (!image)
        return {file, -1};
    const std::size_t equals = argument.find('=');
    if (equals == std::string::npos)
        return {file, vantor::getdata(*image, argument) ? 0 : -1};
    const auto changed = vantor::setdata(*image, argument.substr(0, equals), argument.substr(equals + 1));
    if (!changed)
        return {file, -1};
    if (changed->bytes.size() != changed->place.size)
        __builtin_trap();
    bytes after = file;
    std::copy(changed->bytes.begin(), changed->bytes.end(), after.begin() + static_cast<std::ptrdiff_t>(changed->place.start));
    return {after, 0};
}

// Several lines are the assignments of --set: all stored, in order, the
// later over the earlier, or none.
outcome expected_set_outcome(const std::vector<std::string>& lines, const bytes& file)
{
    const auto image = vantor::make_file_image(file);
    if (!image)
        return {file, -1};
    vantor::item_resolver resolver(*image);
    bytes after = file;
    for (const std::string& line : lines) {
        const std::size_t equals = line.find('=');
        if (equals == std::string::npos)
            return {file, -1};
        vantor::stored_items one;
        // Views of the line, which outlives the item that holds its value.
        const std::string_view assignment(line);
        const auto place = vantor::add_assignment(one, resolver, assignment.substr(0, equals), assignment.substr(equals + 1));
        if (!place)
            return {file, -1};
        // The given bytes, then zeros to the item's end.
        const std::string_view given = one.given(one.items.front());
        const auto start = after.begin() + static_cast<std::ptrdiff_t>(place->start);
        std::fill_n(std::copy(given.begin(), given.end(), start), place->size - given.size(), 0);
    }
    return {after, 0};
}

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    for (std::size_t at = 0, end; at <= text.size(); at = end + 1) {
        end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const scratch_file scratch;
    static std::FILE* sink = std::fopen("/dev/null", "w");
    const std::uint8_t* split = std::find(data, data + size, 0);
    if (split == data + size)
        return 0;
    const std::string argument(data, split);
    const bytes file(split + 1, data + size);
    put(scratch.path, file);

    const std::vector<std::string> lines = lines_of(argument);
    if (lines.size() == 1) {
        const outcome expected = expected_outcome(argument, file);
        const int status = vantor::run_item_mode(scratch.path.c_str(), argument.c_str(), sink);
        if (status != expected.status || get(scratch.path) != expected.file)
            __builtin_trap();
        return 0;
    }
    std::vector<const char*> argv{"vantor", "--set", scratch.path.c_str()};
    for (const std::string& line : lines)
        argv.push_back(line.c_str());
    const outcome expected = expected_set_outcome(lines, file);
    const int status = vantor::run(static_cast<int>(argv.size()), argv.data(), sink);
    // A batch that ended, stored or not, leaves no journal behind.
    if (status != expected.status || get(scratch.path) != expected.file ||
        std::filesystem::exists(scratch.path + ".vantor-journal"))
        __builtin_trap();
    return 0;
}
