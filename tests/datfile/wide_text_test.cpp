#include "datfile/wide_text.hpp"

#include <gtest/gtest.h>

#include <string>

namespace vantor {
namespace {

struct pair_case {
    const char* name;
    std::u16string utf16;
    std::string utf8;
};

class text_pairs : public ::testing::TestWithParam<pair_case> {};

TEST_P(text_pairs, convert_both_ways)
{
    EXPECT_EQ(utf8_from_utf16(GetParam().utf16), GetParam().utf8);
    EXPECT_EQ(utf16_from_utf8(GetParam().utf8), GetParam().utf16);
}

const pair_case pairs[] = {
    {"ascii", u"user_com.dat", "user_com.dat"},
    {"two_bytes", u"caf\u00E9", "caf\xC3\xA9"},
    {"three_bytes", u"\u20ACuro", "\xE2\x82\xACuro"},
    {"cyrillic", u"\u0416\u0443\u043A", "\xD0\x96\xD1\x83\xD0\xBA"},
    {"cjk", u"\u65E5\u672C", "\xE6\x97\xA5\xE6\x9C\xAC"},
    {"surrogate_pair", u"\xD83D\xDE97", "\xF0\x9F\x9A\x97"},
    {"last_of_each_length", u"\u007F\u07FF\uFFFF\xDBFF\xDFFF", "\x7F\xDF\xBF\xEF\xBF\xBF\xF4\x8F\xBF\xBF"},
    {"lone_high_surrogate", u"a\xD800", "a\xED\xA0\x80"},
    {"lone_low_surrogate", u"\xDC00z", "\xED\xB0\x80z"},
    {"pair_in_reverse", u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},
    {"empty", u"", ""},
};

INSTANTIATE_TEST_SUITE_P(wide_text, text_pairs, ::testing::ValuesIn(pairs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(wide_text, refuses_what_no_utf16_would_give)
{
    for (const char* text : {"\xFF", "\x80", "caf\xC3", "\xC3(", "\xC0\xAF", "\xE0\x80\xAF", "\xF0\x8F\xBF\xBF",
                             "\xF4\x90\x80\x80", "\xED\xA0\xBD\xED\xBA\x97"})
        EXPECT_FALSE(utf16_from_utf8(text)) << text;
}

TEST(wide_text, finds_surrogates_and_nothing_else)
{
    EXPECT_TRUE(holds_surrogate("ab\xED\xA0\x80"));
    EXPECT_TRUE(holds_surrogate("\xED\xBF\xBF"));
    EXPECT_FALSE(holds_surrogate("\xED\x9F\xBF"));  // U+D7FF, just below them
    EXPECT_FALSE(holds_surrogate("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x9A\x97"));
    EXPECT_FALSE(holds_surrogate("\xED"));
}

}  // namespace
}  // namespace vantor
