// Text output for the printers: a fixed buffer over a stream, and number
// fields that follow printf's rules for a 32-bit value read as signed. The
// buffer goes to the stream when it is full and when the writer is
// destroyed, so a printer's text is in the stream when the printer returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
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

class text_writer {
public:
    explicit text_writer(std::FILE* out) : out_(out) {}
    ~text_writer() { flush(); }
    text_writer(const text_writer&) = delete;
    text_writer& operator=(const text_writer&) = delete;

    text_writer& operator<<(std::string_view text);
    text_writer& operator<<(char c);
    text_writer& operator<<(decimal_field field);

    // Write errors stay on the stream, where the front end looks for them.
    void flush();

private:
    static constexpr std::size_t capacity = 65536;
    // Room for the widest field: a sign, ten digits and the padding of any
    // width the printers use.
    static constexpr std::size_t widest_field = 32;

    std::FILE* out_;
    std::size_t used_ = 0;
    char buffer_[capacity];
};

}  // namespace vantor
