#include "listing/text_writer.hpp"

#include <bit>

namespace vantor {

namespace {

constexpr int max_padding = 20;

int digit_count(std::uint32_t value)
{
    // From the bit width, then one correction: 1233 / 4096 is just above log10(2).
    static constexpr std::uint32_t powers[] = {1,      10,      100,      1000,      10000,
                                               100000, 1000000, 10000000, 100000000, 1000000000};
    value |= 1;  // 0 has one digit, and no odd or even step crosses a power of 10
    const int estimate = (std::bit_width(value) * 1233) >> 12;
    return estimate + (value >= powers[estimate] ? 1 : 0);
}

// "00" to "99", so that digits are written two at a time.
constexpr struct digit_pairs {
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
char* pad(char* at, const char (&run)[max_padding + 1], int count)
{
    std::memcpy(at, run, max_padding);
    return at + count;
}

constexpr char blanks[] = "                    ";
constexpr char zeros[] = "00000000000000000000";

}  // namespace

char* format_decimal(char* at, decimal_field field)
{
    // The magnitude as unsigned, so that INT32_MIN has one too.
    const bool negative = field.value < 0;
    std::uint32_t magnitude =
        negative ? 0u - static_cast<std::uint32_t>(field.value) : static_cast<std::uint32_t>(field.value);
    const int digits = digit_count(magnitude);
    int padding = field.width - digits - (negative ? 1 : 0);
    padding = padding < 0 ? 0 : padding > max_padding ? max_padding : padding;

    if (!field.zeros)
        at = pad(at, blanks, padding);
    if (negative)
        *at++ = '-';
    if (field.zeros)
        at = pad(at, zeros, padding);
    char* const end = at + digits;
    char* cursor = end;
    while (magnitude >= 100) {
        const std::uint32_t pair = magnitude % 100;
        magnitude /= 100;
        cursor -= 2;
        std::memcpy(cursor, pairs.text + 2 * pair, 2);
    }
    if (magnitude >= 10) {
        cursor -= 2;
        std::memcpy(cursor, pairs.text + 2 * magnitude, 2);
    } else {
        *--cursor = static_cast<char>('0' + magnitude);
    }
    return end;
}

text_writer& text_writer::append_long(const char* text, std::size_t size)
{
    if (size <= capacity - used_) {
        std::memcpy(buffer_ + used_, text, size);
        used_ += size;
        return *this;
    }
    flush();
    if (size > capacity) {
        std::fwrite(text, 1, size, out_);
        return *this;
    }
    std::memcpy(buffer_, text, size);
    used_ = size;
    return *this;
}

void text_writer::flush()
{
    if (used_ > 0)
        std::fwrite(buffer_, 1, used_, out_);
    used_ = 0;
}

}  // namespace vantor
