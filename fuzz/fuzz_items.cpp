// Any byte string as an item path followed by a data file: resolution,
// getdata and setdata must stay inside the image, and a write may change no
// byte before the data area.
#include <algorithm>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "access/item_value.hpp"
#include "datfile/file_image.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The path runs up to the first zero byte; the file is the rest.
    const std::uint8_t* split = std::find(data, data + size, 0);
    const std::string path(data, split);
    if (split == data + size)
        return 0;
    auto loaded = vantor::make_file_image({split + 1, data + size});
    auto* image = std::get_if<vantor::file_image>(&loaded);
    if (!image)
        return 0;
    vantor::normalize_header(*image);
    vantor::normalize_descriptors(*image);

    std::string value;
    vantor::getdata(*image, path, value);

    const std::vector<unsigned char> before = image->bytes;
    for (const char* text : {"-123456789", "a text longer than most items in these files"}) {
        if (vantor::setdata(*image, path, text) < 0)
            continue;
        const std::size_t data_offset = std::min<std::size_t>(image->data_offset(), before.size());
        if (!std::equal(before.begin(), before.begin() + static_cast<long>(data_offset), image->bytes.begin()))
            __builtin_trap();
    }
    return 0;
}
