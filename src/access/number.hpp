// Numbers typed on the command line (ids, indexes, values) are read the way
// the C library's atoi reads them, but without its undefined behaviour on
// overflow: the digits wrap around at 32 bits.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>

#include "datfile/result.hpp"

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

// The numbers that a change of many values takes for an item of `size`
// bytes: what the read mode shows for it, and for 4 bytes also the unsigned
// spelling of the same bits. A number item of another size holds none but 0.
struct number_range {
    std::int64_t low;
    std::int64_t high;
};

constexpr number_range range_for(std::uint64_t size)
{
    switch (size) {
    case 1:
        return {0, 0xFF};
    case 2:
        return {0, 0xFFFF};
    case 4:
        return {-std::int64_t{0x80000000}, 0xFFFFFFFF};
    default:
        return {0, 0};
    }
}

// Why `text` is no number of `range`, if it is not: a number is an optional
// sign and decimal digits, nothing else, not even white space.
constexpr value_fault number_fault(std::string_view text, number_range range)
{
    const bool signed_ = !text.empty() && (text.front() == '-' || text.front() == '+');
    const std::string_view digits = text.substr(signed_ ? 1 : 0);
    if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos)
        return value_fault::not_a_number;
    // Past eleven digits every number is out of every range.
    std::int64_t value = 0;
    for (const char digit : digits)
        value = std::min<std::int64_t>(value * 10 + (digit - '0'), std::int64_t{1} << 40);
    if (text.front() == '-')
        value = -value;
    return value < range.low || value > range.high ? value_fault::out_of_range : value_fault::none;
}

}  // namespace vantor
