// The whole data file in memory for the item modes: header and descriptor
// table converted to host order in place, data area left as stored.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "datfile/format.hpp"
#include "datfile/region.hpp"
#include "datfile/result.hpp"

namespace vantor {

struct heap_free {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};

struct file_image {
    // From malloc, whose failure for a file too large to hold is an answer
    // rather than an abort; not cleared before the file is read into it.
    std::unique_ptr<unsigned char[], heap_free> storage;
    std::span<unsigned char> bytes;

    dat_header header() const;
    std::uint32_t item_numb() const { return header().item_numb; }
    std::uint32_t data_offset() const { return header().data_offset; }
    // The descriptor table, item_numb records of 16 bytes.
    const unsigned char* table() const { return bytes.data() + header_bytes; }
    item_desc descriptor(std::uint32_t position) const
    {
        item_desc desc;
        std::memcpy(&desc, table() + std::size_t{desc_bytes} * position, desc_bytes);
        return desc;
    }
};

// Copies `bytes` into an image and checks what an image rests on: the header,
// all item_numb descriptors, and a data area that does not overlap the table
// (read, data_offset). Nothing is converted yet.
result<file_image> make_file_image(std::span<const unsigned char> bytes);

// Reads the whole file, then checks it as make_file_image does. Only a
// regular file is opened (open): a FIFO or a device could block or never
// end. An empty file, or one too large to hold, fails with alloc.
result<file_image> load_file_image(const char* path);

// Convert, in place, the header's six words and every descriptor's size,
// offset, id and next; each must run exactly once, the header first.
void normalize_header(file_image& image);
void normalize_descriptors(file_image& image);

// Writes the image's bytes in `item` back to the same offsets of the file, in
// place, and no other byte; returns `item`. Nothing is written unless the
// file still holds the header and descriptor table the image was loaded with
// and reaches the item's end (write), so a file replaced, rewritten or
// shortened since the load is left alone, and the file never grows. A file
// that cannot be opened for update fails with open.
result<region> store_item(const char* path, const file_image& image, region item);

}  // namespace vantor
