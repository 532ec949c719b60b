// The options beside the three modes: every value at once or a part of
// them, many values changed at once, two files compared, the help and the
// version.
#pragma once

#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

#include "access/value_listing.hpp"
#include "cli/command_line.hpp"
#include "datfile/file_image.hpp"
#include "listing/text_writer.hpp"

namespace vantor {

inline constexpr const char* stopped_comment = "# stopped: the layout names far more than this file holds\n";

void print_help(std::FILE* out);
int run_values(const command& run, std::FILE* out);
int run_set(const command& run, std::FILE* out);
int run_diff(const command& run, std::FILE* out);

// One line of a listing: `sign`, `path`, '=' and the item's value as a
// listing shows it, read through `data`. False when a read fails; a line
// begun is ended.
bool write_value_line(text_writer& text, data_window& data, std::string_view sign, std::string_view path,
                      const item_location& item);

// The first of `parts` that leads nowhere in the file, if one does.
std::optional<std::string_view> unresolved_part(const file_image& image, std::span<const char* const> parts);

// The file loaded for an option, after what was mended beside it.
result<file_image> load_for(const char* file_name, open_for use, std::FILE* out);

}  // namespace vantor
