#include "platform/wide_text.hpp"

namespace vantor {

namespace {

bool is_high_surrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void append_utf8(std::string& out, char32_t code)
{
    const auto byte = [&out](char32_t bits) { out += static_cast<char>(bits); };
    if (code < 0x80) {
        byte(code);
    } else if (code < 0x800) {
        byte(0xC0 | code >> 6);
        byte(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        byte(0xE0 | code >> 12);
        byte(0x80 | (code >> 6 & 0x3F));
        byte(0x80 | (code & 0x3F));
    } else {
        byte(0xF0 | code >> 18);
        byte(0x80 | (code >> 12 & 0x3F));
        byte(0x80 | (code >> 6 & 0x3F));
        byte(0x80 | (code & 0x3F));
    }
}

// The length of the sequence that `lead` begins, or 0 for a byte that
// begins none.
std::size_t sequence_length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// The code point of the sequence of `length` bytes at the start of `text`,
// or nothing when it is cut short, overlong or beyond Unicode.
std::optional<char32_t> decode(std::string_view text, std::size_t length)
{
    static constexpr unsigned char lead_bits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    static constexpr char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (length == 0 || length > text.size())
        return std::nullopt;
    char32_t code = static_cast<unsigned char>(text[0]) & lead_bits[length];
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        code = code << 6 | (next & 0x3F);
    }
    if (code < least[length] || code > 0x10FFFF)
        return std::nullopt;
    return code;
}

}  // namespace

std::string utf8_from_utf16(std::u16string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t code = text[i];
        if (is_high_surrogate(code) && i + 1 < text.size() && is_low_surrogate(text[i + 1]))
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
        append_utf8(out, code);
    }
    return out;
}

std::optional<std::u16string> utf16_from_utf8(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    bool after_high_surrogate = false;
    while (!text.empty()) {
        const std::size_t length = sequence_length(static_cast<unsigned char>(text[0]));
        const auto code = decode(text, length);
        // A pair in two three-byte forms would not come back the same way.
        if (!code || (after_high_surrogate && is_low_surrogate(*code)))
            return std::nullopt;
        after_high_surrogate = is_high_surrogate(*code);
        if (*code < 0x10000) {
            out += static_cast<char16_t>(*code);
        } else {
            out += static_cast<char16_t>(0xD800 + ((*code - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((*code - 0x10000) & 0x3FF));
        }
        text.remove_prefix(length);
    }
    return out;
}

bool holds_surrogate(std::string_view text)
{
    // Surrogates alone take the lead byte 0xED with a second byte from 0xA0.
    for (std::size_t at = text.find('\xED'); at != std::string_view::npos; at = text.find('\xED', at + 1)) {
        const auto second = at + 1 < text.size() ? static_cast<unsigned char>(text[at + 1]) : 0;
        if (second >= 0xA0 && second <= 0xBF)
            return true;
    }
    return false;
}

#ifdef _WIN32
std::optional<std::wstring> wide_from_utf8(const char* text)
{
    const auto converted = utf16_from_utf8(text);
    if (!converted)
        return std::nullopt;
    return std::wstring(converted->begin(), converted->end());
}
#endif

}  // namespace vantor
