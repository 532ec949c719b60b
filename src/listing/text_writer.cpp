#include "listing/text_writer.hpp"

#include <algorithm>
#include <cstring>

namespace vantor {

text_writer& text_writer::operator<<(std::string_view text)
{
    if (text.size() > capacity - used_) {
        flush();
        if (text.size() > capacity) {
            std::fwrite(text.data(), 1, text.size(), out_);
            return *this;
        }
    }
    std::memcpy(buffer_ + used_, text.data(), text.size());
    used_ += text.size();
    return *this;
}

text_writer& text_writer::operator<<(char c)
{
    if (used_ == capacity)
        flush();
    buffer_[used_++] = c;
    return *this;
}

text_writer& text_writer::operator<<(decimal_field field)
{
    if (widest_field > capacity - used_)
        flush();
    // The magnitude as unsigned, so that INT32_MIN has one too.
    const bool negative = field.value < 0;
    std::uint32_t magnitude = negative ? 0u - static_cast<std::uint32_t>(field.value) : static_cast<std::uint32_t>(field.value);
    char digits[10];
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);

    const int length = count + (negative ? 1 : 0);
    const int padding = std::clamp(field.width - length, 0, static_cast<int>(widest_field) - 11);
    char* at = buffer_ + used_;
    if (!field.zeros)
        at = std::fill_n(at, padding, ' ');
    if (negative)
        *at++ = '-';
    if (field.zeros)
        at = std::fill_n(at, padding, '0');
    while (count > 0)
        *at++ = digits[--count];
    used_ = static_cast<std::size_t>(at - buffer_);
    return *this;
}

void text_writer::flush()
{
    if (used_ > 0)
        std::fwrite(buffer_, 1, used_, out_);
    used_ = 0;
}

}  // namespace vantor
