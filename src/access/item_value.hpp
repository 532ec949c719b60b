// Reading and writing one item's value: a big-endian number of 1, 2 or 4
// bytes, or raw bytes taken as text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "datfile/file_image.hpp"

namespace vantor {

// Renders the item that `path` names into `value`: a decimal number, or the
// item's raw bytes (zero bytes included). Returns 0, or -1 when the path does
// not resolve; `value` is then untouched.
int getdata(const file_image& image, std::string_view path, std::string& value);

// Stores `value` into the item that `path` names: a number cut to the item's
// width, or text cut or zero-padded to the item's size. Returns the bytes of
// the image it changed (none for a size of 0 or below), or nothing when the
// path does not resolve; nothing changes then.
std::optional<region> setdata(file_image& image, std::string_view path, std::string_view value);

}  // namespace vantor
