// Every range of bytes taken from a file (header, descriptor table, an item,
// the range a store writes) is checked here, once, before it is used.
#pragma once

#include <cstdint>
#include <optional>

namespace vantor {

// A range of a file's bytes; 64-bit, so that every build reaches every byte
// a header and a descriptor can name.
struct region {
    std::uint64_t start;
    std::uint64_t size;

    std::uint64_t end() const { return start + size; }
    bool operator==(const region&) const = default;
};

// [start, start + size) when it lies wholly inside `length` bytes. The sum is
// never formed: the start is compared first, then the room behind it.
constexpr std::optional<region> checked_region(std::uint64_t length, std::uint64_t start, std::uint64_t size)
{
    if (start > length || size > length - start)
        return std::nullopt;
    return region{start, size};
}

}  // namespace vantor
