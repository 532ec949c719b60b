#include "platform/wide_text.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
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

// An encoder that writes the bits out by the textbook, for comparison.
std::string textbook_utf8(char32_t code)
{
    if (code < 0x80)
        return std::string(1, static_cast<char>(code));
    const int length = code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    std::string out(static_cast<std::size_t>(length), '\0');
    for (int i = length - 1; i > 0; --i, code >>= 6)
        out[static_cast<std::size_t>(i)] = static_cast<char>(0x80 | (code & 0x3F));
    out[0] = static_cast<char>((0xFF00 >> length & 0xFF) | code);
    return out;
}

std::u16string textbook_utf16(char32_t code)
{
    if (code < 0x10000)
        return std::u16string(1, static_cast<char16_t>(code));
    return {static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)), static_cast<char16_t>(0xDC00 + (code & 0x3FF))};
}

// Every code point, lone surrogates included, both ways.
TEST(wide_text, every_code_point_converts_as_the_textbook_says)
{
    int wrong = 0;
    for (char32_t code = 0; code <= 0x10FFFF && wrong < 5; ++code) {
        const std::string utf8 = textbook_utf8(code);
        const std::u16string utf16 = textbook_utf16(code);
        const bool right = utf8_from_utf16(utf16) == utf8 && utf16_from_utf8(utf8) == utf16;
        EXPECT_TRUE(right) << "U+" << std::hex << static_cast<unsigned>(code);
        wrong += right ? 0 : 1;
    }
}

// What a sequence must read as: code points whose textbook form it is, one
// after another, no low surrogate right after a high one; nothing otherwise.
std::optional<std::u16string> textbook_reading(const std::string& text)
{
    std::u16string out;
    bool after_high = false;
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        char32_t code = lead & (0x7F >> (length == 1 ? 0 : length));
        for (std::size_t i = 1; i < length && at + i < text.size(); ++i)
            code = code << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3F);
        if (code > 0x10FFFF || text.compare(at, length, textbook_utf8(code)) != 0 ||
            (after_high && code >= 0xDC00 && code <= 0xDFFF))
            return std::nullopt;
        after_high = code >= 0xD800 && code <= 0xDBFF;
        out += textbook_utf16(code);
        at += length;
    }
    return out;
}

// Every sequence of up to four bytes drawn from the edges of each class of
// byte: ASCII, continuations, leads of each length, and bytes that lead
// nothing; the surrogates' lead 0xED with the second bytes that make them.
bool reads_as_the_textbook_says(std::string& text)
{
    const auto surrogate = [](char a, char b) { return a == '\xED' && (b & 0xE0) == 0xA0; };
    if (utf16_from_utf8(text) != textbook_reading(text) ||
        holds_surrogate(text) != (std::adjacent_find(text.begin(), text.end(), surrogate) != text.end())) {
        ADD_FAILURE() << ::testing::PrintToString(text);
        return false;
    }
    for (const char byte : std::string("\x00\x41\x7F\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xC3\xDF\xE0\xE9\xED\xEF\xF0"
                                       "\xF4\xF5\xF8\xF9\xFE\xFF", 25)) {
        if (text.size() == 4)
            break;
        text.push_back(byte);
        const bool right = reads_as_the_textbook_says(text);
        text.pop_back();
        if (!right)
            return false;
    }
    return true;
}

TEST(wide_text, short_sequences_read_as_the_textbook_says)
{
    std::string text;
    EXPECT_TRUE(reads_as_the_textbook_says(text));
}

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
