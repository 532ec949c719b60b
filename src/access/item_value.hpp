// Reading and writing one item's value: a big-endian number of 1, 2 or 4
// bytes, or raw bytes taken as text.
#pragma once

#include <string>
#include <string_view>

#include "datfile/file_image.hpp"
#include "datfile/region.hpp"
#include "datfile/result.hpp"

namespace vantor {

// The item that `path` names, rendered: a decimal number, or the item's raw
// bytes (zero bytes included). Fails with not_resolved.
result<std::string> getdata(const file_image& image, std::string_view path);

// Stores `value` into the item that `path` names: a number cut to the item's
// width, or text cut or zero-padded to the item's size. Returns the bytes of
// the image it changed (none for a size of 0 or below); fails with
// not_resolved, and nothing changes then.
result<region> setdata(file_image& image, std::string_view path, std::string_view value);

}  // namespace vantor
