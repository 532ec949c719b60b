#include "listing/text_writer.hpp"

namespace vantor {

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
