// Any item argument and any data file, as "argument\0file": a path that
// resolves names bytes inside the image, and reading it stays there.
#include <algorithm>
#include <cstdint>
#include <string>

#include "access/item_path.hpp"
#include "access/item_value.hpp"
#include "datfile/file_image.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::uint8_t* split = std::find(data, data + size, 0);
    if (split == data + size)
        return 0;
    const std::string path(data, split);
    auto image = vantor::make_file_image({split + 1, data + size});
    if (!image)
        return 0;
    vantor::normalize_header(*image);
    vantor::normalize_descriptors(*image);

    if (const auto item = vantor::resolve_item_path(*image, path)) {
        const std::size_t bytes = item->size > 0 ? static_cast<std::size_t>(item->size) : 0;
        if (item->start > image->bytes.size() || bytes > image->bytes.size() - item->start)
            __builtin_trap();
    }
    (void)vantor::getdata(*image, path);
    return 0;
}
