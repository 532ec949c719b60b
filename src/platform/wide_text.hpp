// UTF-16, in which Windows hands over the command line and takes file names,
// and UTF-8, in which the tool works everywhere.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantor {

// The UTF-8 of `text`. A lone surrogate, which UTF-8 cannot carry, becomes
// the three bytes of its code point (as in WTF-8): a file name that holds one
// then converts back to the same UTF-16 and still opens.
std::string utf8_from_utf16(std::u16string_view text);

// The UTF-16 of `text`, read as utf8_from_utf16 writes it; nothing when it is
// no such text (a stray byte, an overlong form, a surrogate pair taken apart).
std::optional<std::u16string> utf16_from_utf8(std::string_view text);

// Whether `text` holds the three-byte form of a surrogate: a UTF-16 code unit
// that no UTF-8 text can hold.
bool holds_surrogate(std::string_view text);

#ifdef _WIN32
// A name as the system takes it; nothing when it is no such text.
std::optional<std::wstring> wide_from_utf8(const char* text);
#endif

}  // namespace vantor
