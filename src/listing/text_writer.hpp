// Text output for the printers: a fixed buffer over a stream, and number
// fields that follow printf's rules for a 32-bit value read as signed. The
// buffer goes to the stream when it is full and when the writer is
// destroyed, so a printer's text is in the stream when the printer returns.
#pragma once

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

// "%0Nd": the sign first, then zeros up to the width.
constexpr decimal_field zero(std::int32_t value, int width) { return {value, width, true}; }

// "%Nd": right-aligned in the width, growing past it.
constexpr decimal_field right(std::int32_t value, int width) { return {value, width, false}; }

// Writes the field at `at` and returns the end; widths up to 20 are kept.
char* format_decimal(char* at, decimal_field field);

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
    text_writer& operator<<(std::string_view text) { return append_long(text.data(), text.size()); }
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

    // Write errors stay on the stream, where the front end looks for them.
    void flush();

private:
    static constexpr std::size_t capacity = 65536;
    static constexpr std::size_t widest_field = 40;  // padding, a sign, ten digits, and room to spare

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
