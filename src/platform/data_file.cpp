#include "platform/data_file.hpp"

#include <utility>

#include "platform/platform.hpp"

namespace vantor {

std::optional<data_file> open_data_file(const char* name, file_use use)
{
    if (use != file_use::listing) {
        const auto named = platform::status(name);
        if (!named || !named->regular)
            return std::nullopt;
    }
    file_handle stream(platform::open_file(name, use == file_use::update ? "r+b" : "rb"));
    if (!stream)
        return std::nullopt;
    const auto opened = platform::status(stream.get());
    if (!opened || !opened->regular) {
        if (use == file_use::listing)
            return data_file{std::move(stream)};
        return std::nullopt;
    }
    const auto kind = use == file_use::update ? platform::lock_kind::exclusive : platform::lock_kind::shared;
    const auto lock = platform::lock(stream.get(), kind, lock_wait_milliseconds);
    // The size as it is under the lock: a writer may have held it until now.
    const auto locked = platform::status(stream.get());
    if (!locked)
        return std::nullopt;
    return data_file{std::move(stream), locked->size, true, lock};
}

}  // namespace vantor
