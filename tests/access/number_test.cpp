#include "access/number.hpp"

#include <gtest/gtest.h>

namespace vantor {
namespace {

TEST(parse_number, reads_like_atoi_and_wraps_at_32_bits)
{
    const std::pair<const char*, std::int32_t> cases[] = {
        {"", 0},
        {"12", 12},
        {" \t\n\v\f\r7", 7},
        {"+12", 12},
        {"-5", -5},
        {"012", 12},
        {"12abc", 12},
        {"1e5", 1},
        {"abc", 0},
        {"- 5", 0},
        {"+-1", 0},
        {"2147483647", 2147483647},
        {"2147483648", -2147483647 - 1},
        {"-2147483648", -2147483647 - 1},
        {"4294967297", 1},
        {"99999999999999999999", 1661992959},
    };
    for (const auto& [text, value] : cases)
        EXPECT_EQ(parse_number(text), value) << '"' << text << '"';
}

}  // namespace
}  // namespace vantor
