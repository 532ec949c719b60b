#include "datfile/platform.hpp"

#include <cstdint>
#include <limits>

#include <sys/stat.h>
#include <sys/types.h>

#include "datfile/wide_text.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vantor::platform {

#ifdef _WIN32

namespace {

std::optional<std::wstring> wide(const char* text)
{
    const auto converted = utf16_from_utf8(text);
    if (!converted)
        return std::nullopt;
    return std::wstring(converted->begin(), converted->end());
}

file_status status_of(const struct _stat64& stat)
{
    const bool regular = (stat.st_mode & _S_IFMT) == _S_IFREG;
    return {regular, regular ? static_cast<std::uint64_t>(stat.st_size) : 0};
}

}  // namespace

std::FILE* open_file(const char* name, const char* mode)
{
    const auto wide_name = wide(name);
    const auto wide_mode = wide(mode);
    return wide_name && wide_mode ? ::_wfopen(wide_name->c_str(), wide_mode->c_str()) : nullptr;
}

std::optional<file_status> status(const char* name)
{
    const auto wide_name = wide(name);
    struct _stat64 stat;
    if (!wide_name || ::_wstat64(wide_name->c_str(), &stat) != 0)
        return std::nullopt;
    return status_of(stat);
}

std::optional<file_status> status(std::FILE* file)
{
    struct _stat64 stat;
    if (::_fstat64(::_fileno(file), &stat) != 0)
        return std::nullopt;
    return status_of(stat);
}

bool seek(std::FILE* file, std::uint64_t offset)
{
    return offset <= std::numeric_limits<__int64>::max() &&
           ::_fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0;
}

bool exact_argument(std::string_view text) { return !holds_surrogate(text); }

std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv)
{
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i) {
        const std::wstring_view argument(argv[i]);
        arguments.push_back(utf8_from_utf16(std::u16string(argument.begin(), argument.end())));
    }
    return arguments;
}

utf8_console::utf8_console()
{
    DWORD mode = 0;
    if (::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) == 0)
        return;
    previous_code_page_ = ::GetConsoleOutputCP();
    if (::SetConsoleOutputCP(CP_UTF8) == 0) {
        previous_code_page_ = 0;
        return;
    }
    // In text mode the C runtime may decode console output itself, in its
    // locale's code page, and an unbuffered stream hands the console single
    // bytes of a UTF-8 sequence. Whole buffers in binary mode reach the
    // console as they are; it starts a new line at each LF all the same.
    ::_setmode(::_fileno(stdout), _O_BINARY);
    std::setvbuf(stdout, nullptr, _IOFBF, std::size_t{1} << 16);
}

utf8_console::~utf8_console()
{
    if (previous_code_page_ == 0)
        return;
    std::fflush(stdout);
    ::SetConsoleOutputCP(previous_code_page_);
}

#else

static_assert(sizeof(off_t) >= sizeof(std::int64_t), "build with _FILE_OFFSET_BITS=64");

namespace {

file_status status_of(const struct stat& stat)
{
    const bool regular = S_ISREG(stat.st_mode);
    return {regular, regular ? static_cast<std::uint64_t>(stat.st_size) : 0};
}

}  // namespace

std::FILE* open_file(const char* name, const char* mode) { return std::fopen(name, mode); }

std::optional<file_status> status(const char* name)
{
    struct stat stat;
    if (::stat(name, &stat) != 0)
        return std::nullopt;
    return status_of(stat);
}

std::optional<file_status> status(std::FILE* file)
{
    struct stat stat;
    if (::fstat(::fileno(file), &stat) != 0)
        return std::nullopt;
    return status_of(stat);
}

bool seek(std::FILE* file, std::uint64_t offset)
{
    return offset <= static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) &&
           ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0;
}

bool exact_argument(std::string_view) { return true; }

#endif

}  // namespace vantor::platform
