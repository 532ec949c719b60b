// Numbers typed on the command line (ids, indexes, values) are read the way
// the C library's atoi reads them, but without its undefined behaviour on
// overflow: the digits wrap around at 32 bits.
#pragma once

#include <cstdint>
#include <string_view>

namespace vantor {

// Leading white space, an optional sign, then decimal digits up to the first
// other character; no digits give 0.
constexpr std::int32_t parse_number(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || (text[at] >= '\t' && text[at] <= '\r')))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    std::uint32_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
    return static_cast<std::int32_t>(negative ? 0u - value : value);
}

}  // namespace vantor
