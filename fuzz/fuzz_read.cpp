// Any item argument and any data file, as "argument\0file": a path that
// resolves names bytes inside the file, and reading it stays there.
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
    const auto image = vantor::make_file_image({split + 1, data + size});
    if (!image)
        return 0;
    if (const auto item = vantor::resolve_item_path(*image, path)) {
        const vantor::region place = item->place();
        if (place.start > image->size() || place.size > image->size() - place.start || (item->text && item->size < 0))
            __builtin_trap();
    }
    (void)vantor::getdata(*image, path);
    return 0;
}
