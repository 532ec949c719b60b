// Reading and writing one item's value: a big-endian number of 1, 2 or 4
// bytes, or raw bytes taken as text.
#pragma once

#include <string>
#include <string_view>

#include "access/item_path.hpp"
#include "datfile/file_image.hpp"
#include "datfile/result.hpp"

namespace vantor {

// A number item's value: its 1, 2 or 4 bytes big-endian, else 0.
std::int32_t read_number(const unsigned char* bytes, std::int32_t size);

// The value of `bytes`, the whole of `item`, rendered: a decimal number, or
// the raw bytes (zero bytes included).
std::string render_value(const item_location& item, std::span<const unsigned char> bytes);

// The bytes that store `value` into `item`: a number cut to the item's
// width, or text cut or zero-padded to the item's size; none for a number
// item of 0 bytes or fewer. Also as one item more of many, which takes a
// text's bytes from `value`, whose holder keeps them until the store.
stored_item value_bytes(const item_location& item, std::string_view value);
void add_value_bytes(stored_items& items, const item_location& item, std::string_view value);

// The item that `path` names, read from the file and rendered. Fails as
// resolve_item_path does, or with read when the item's bytes cannot be read.
result<std::string> getdata(const file_image& image, std::string_view path);

// What storing `value` into the item that `path` names would write; nothing
// is written here. Fails as resolve_item_path does.
result<stored_item> setdata(const file_image& image, std::string_view path, std::string_view value);

}  // namespace vantor
