// Every range of bytes taken from a file (header, descriptor table, an item,
// the range a store writes) is checked here, once, before it is used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vantor {

struct region {
    std::size_t start;
    std::size_t size;

    std::size_t end() const { return start + size; }
};

// [start, start + size) when it lies wholly inside `length` bytes. The sum is
// never formed: the start is compared first, then the room behind it.
constexpr std::optional<region> checked_region(std::uint64_t length, std::uint64_t start, std::uint64_t size)
{
    if (start > length || size > length - start)
        return std::nullopt;
    return region{static_cast<std::size_t>(start), static_cast<std::size_t>(size)};
}

}  // namespace vantor
