// Text output for the printers: a fixed buffer over a stream, and number
// fields that follow printf's rules for a 32-bit value read as signed. The
// buffer goes to the stream when it is full and when the writer is
// destroyed, so a printer's text is in the stream when the printer returns.
#pragma once

#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace vantor {

struct decimal_field {
    std::int32_t value;
    int width;
    bool zeros;
};

// "%d"
constexpr decimal_field decimal(std::int32_t value) { return {value, 0, false}; }

// A count of any size, in decimal.
struct count_field {
    std::uint64_t value;
};
constexpr count_field count(std::uint64_t value) { return {value}; }

// "%0Nd": the sign first, then zeros up to the width.
constexpr decimal_field zero(std::int32_t value, int width) { return {value, width, true}; }

// "%Nd": right-aligned in the width, growing past it.
constexpr decimal_field right(std::int32_t value, int width) { return {value, width, false}; }

namespace detail {

inline constexpr int max_padding = 20;

inline int digit_count(std::uint32_t value)
{
    // From the bit width, then one correction: 1233 / 4096 is just above log10(2).
    static constexpr std::uint32_t powers[] = {1,      10,      100,      1000,      10000,
                                               100000, 1000000, 10000000, 100000000, 1000000000};
    value |= 1;  // 0 has one digit, and no odd or even step crosses a power of 10
    const int estimate = (std::bit_width(value) * 1233) >> 12;
    return estimate + (value >= powers[estimate] ? 1 : 0);
}

// "00" to "99", so that digits are written two at a time.
inline constexpr struct digit_pairs {
    char text[200];
    constexpr digit_pairs() : text()
    {
        for (int i = 0; i < 100; ++i) {
            text[2 * i] = static_cast<char>('0' + i / 10);
            text[2 * i + 1] = static_cast<char>('0' + i % 10);
        }
    }
} pairs;

// The buffer always has room for the widest padding, so a whole run of
// padding is copied and only `count` of it kept.
inline char* pad(char* at, const char (&run)[max_padding + 1], int count)
{
    std::memcpy(at, run, max_padding);
    return at + count;
}

inline constexpr char blanks[] = "                    ";
inline constexpr char zeros[] = "00000000000000000000";

}  // namespace detail

// Writes the field at `at` and returns the end; widths up to 20 are kept.
// Inline, so that each field's width and padding are known where it is written.
inline char* format_decimal(char* at, decimal_field field)
{
    // The magnitude as unsigned, so that INT32_MIN has one too.
    const bool negative = field.value < 0;
    std::uint32_t magnitude =
        negative ? 0u - static_cast<std::uint32_t>(field.value) : static_cast<std::uint32_t>(field.value);
    const int digits = detail::digit_count(magnitude);
    int padding = field.width - digits - (negative ? 1 : 0);
    padding = padding < 0 ? 0 : padding > detail::max_padding ? detail::max_padding : padding;

    if (!field.zeros)
        at = detail::pad(at, detail::blanks, padding);
    if (negative)
        *at++ = '-';
    if (field.zeros)
        at = detail::pad(at, detail::zeros, padding);
    char* const end = at + digits;
    char* cursor = end;
    while (magnitude >= 100) {
        const std::uint32_t pair = magnitude % 100;
        magnitude /= 100;
        cursor -= 2;
        std::memcpy(cursor, detail::pairs.text + 2 * pair, 2);
    }
    if (magnitude >= 10) {
        cursor -= 2;
        std::memcpy(cursor, detail::pairs.text + 2 * magnitude, 2);
    } else {
        *--cursor = static_cast<char>('0' + magnitude);
    }
    return end;
}


class text_writer {
public:
    explicit text_writer(std::FILE* out) : out_(out) {}
    ~text_writer() { flush(); }
    text_writer(const text_writer&) = delete;
    text_writer& operator=(const text_writer&) = delete;

    // Literals are copied with their length known at compile time.
    template <std::size_t N>
    text_writer& operator<<(const char (&text)[N])
    {
        return append(text, N - 1);
    }
    // Short texts, such as names and paths, are copied here.
    text_writer& operator<<(std::string_view text)
    {
        if (text.size() > short_text || used_ > capacity - short_text)
            return append_long(text.data(), text.size());
        std::memcpy(buffer_ + used_, text.data(), text.size());
        used_ += text.size();
        return *this;
    }
    text_writer& operator<<(char c)
    {
        if (used_ == capacity)
            flush();
        buffer_[used_++] = c;
        return *this;
    }
    text_writer& operator<<(decimal_field field)
    {
        if (widest_field > capacity - used_)
            flush();
        used_ = static_cast<std::size_t>(format_decimal(buffer_ + used_, field) - buffer_);
        return *this;
    }

    text_writer& operator<<(count_field field)
    {
        if (widest_field > capacity - used_)
            flush();
        used_ = static_cast<std::size_t>(std::to_chars(buffer_ + used_, buffer_ + capacity, field.value).ptr - buffer_);
        return *this;
    }

    // Write errors stay on the stream, where the front end looks for them.
    void flush();

private:
    static constexpr std::size_t capacity = 65536;
    static constexpr std::size_t widest_field = 40;  // padding, a sign, ten digits, and room to spare
    static constexpr std::size_t short_text = 64;

    text_writer& append(const char* text, std::size_t size)
    {
        if (size > capacity - used_)
            return append_long(text, size);
        std::memcpy(buffer_ + used_, text, size);
        used_ += size;
        return *this;
    }
    // Any text, flushing first when it does not fit.
    text_writer& append_long(const char* text, std::size_t size);

    std::FILE* out_;
    std::size_t used_ = 0;
    char buffer_[capacity];
};

}  // namespace vantor
