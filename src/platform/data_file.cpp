#include "platform/data_file.hpp"

#include <utility>

#include "platform/platform.hpp"

namespace vantor {

std::optional<data_file> open_data_file(const char* name, file_use use)
{
    if (use == file_use::listing) {
        file_handle stream(platform::open_file(name, "rb"));
        if (!stream)
            return std::nullopt;
        return data_file{std::move(stream)};
    }
    const auto named = platform::status(name);
    if (!named || !named->regular)
        return std::nullopt;
    file_handle stream(platform::open_file(name, use == file_use::load ? "rb" : "r+b"));
    if (!stream)
        return std::nullopt;
    const auto opened = platform::status(stream.get());
    if (!opened || !opened->regular)
        return std::nullopt;
    return data_file{std::move(stream), opened->size};
}

}  // namespace vantor
