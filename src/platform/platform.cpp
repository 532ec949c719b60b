#include "platform/platform.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <utility>

#include <sys/stat.h>
#include <sys/types.h>

#include "platform/wide_text.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace vantor::platform {

namespace {

#ifdef _WIN32

using stat_record = struct _stat64;
using file_offset = __int64;

bool stat_name(const char* name, stat_record& record)
{
    const auto wide_name = wide_from_utf8(name);
    return wide_name && ::_wstat64(wide_name->c_str(), &record) == 0;
}
bool stat_stream(std::FILE* file, stat_record& record) { return ::_fstat64(::_fileno(file), &record) == 0; }
bool is_regular(const stat_record& record) { return (record.st_mode & _S_IFMT) == _S_IFREG; }
int seek_to(std::FILE* file, file_offset offset) { return ::_fseeki64(file, offset, SEEK_SET); }
// A file that a stream holds open cannot be renamed over or deleted: the C
// runtime opens it without sharing deletion.
bool same_identity(const stat_record&, const stat_record&) { return true; }

#else

static_assert(sizeof(off_t) >= sizeof(std::int64_t), "build with _FILE_OFFSET_BITS=64");

using stat_record = struct stat;
using file_offset = off_t;

bool stat_name(const char* name, stat_record& record) { return ::stat(name, &record) == 0; }
bool stat_stream(std::FILE* file, stat_record& record) { return ::fstat(::fileno(file), &record) == 0; }
bool is_regular(const stat_record& record) { return S_ISREG(record.st_mode); }
int seek_to(std::FILE* file, file_offset offset) { return ::fseeko(file, offset, SEEK_SET); }
bool same_identity(const stat_record& a, const stat_record& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

#endif

std::optional<file_status> status_of(bool asked, const stat_record& record)
{
    if (!asked)
        return std::nullopt;
    const bool regular = is_regular(record);
    return file_status{regular, regular ? static_cast<std::uint64_t>(record.st_size) : 0};
}

}  // namespace

std::optional<file_status> status(const char* name)
{
    stat_record record{};
    return status_of(stat_name(name, record), record);
}

std::optional<file_status> status(std::FILE* file)
{
    stat_record record{};
    return status_of(stat_stream(file, record), record);
}

bool same_file(const char* name, std::FILE* file)
{
    stat_record named{};
    stat_record opened{};
    return stat_name(name, named) && stat_stream(file, opened) && same_identity(named, opened);
}

bool seek(std::FILE* file, std::uint64_t offset)
{
    return offset <= static_cast<std::uint64_t>(std::numeric_limits<file_offset>::max()) &&
           seek_to(file, static_cast<file_offset>(offset)) == 0;
}

bool read_at(std::FILE* file, std::uint64_t offset, unsigned char* bytes, std::uint64_t count)
{
    if (!seek(file, offset))
        return false;
    // In slices: the C runtimes do not all read a count of gigabytes in one
    // call.
    constexpr std::uint64_t slice = std::uint64_t{1} << 24;
    for (std::uint64_t done = 0; done < count;) {
        const auto now = static_cast<std::size_t>(std::min(slice, count - done));
        if (std::fread(bytes + done, 1, now, file) != now)
            return false;
        done += now;
    }
    return true;
}

zeroed_memory::zeroed_memory(zeroed_memory&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      mapping_(std::exchange(other.mapping_, nullptr)),
      mapped_bytes_(std::exchange(other.mapped_bytes_, 0))
{
}

zeroed_memory& zeroed_memory::operator=(zeroed_memory&& other) noexcept
{
    if (this != &other) {
        const zeroed_memory released(std::move(*this));
        data_ = std::exchange(other.data_, nullptr);
        mapping_ = std::exchange(other.mapping_, nullptr);
        mapped_bytes_ = std::exchange(other.mapped_bytes_, 0);
    }
    return *this;
}

#if defined(MADV_HUGEPAGE)

namespace {

constexpr std::size_t huge_page = std::size_t{2} << 20;

std::size_t round_up(std::size_t bytes, std::size_t unit) { return (bytes + unit - 1) / unit * unit; }

}  // namespace

zeroed_memory::zeroed_memory(std::size_t bytes, bool huge_pages)
{
    if (!huge_pages || bytes > SIZE_MAX - 2 * huge_page) {
        data_ = std::calloc(std::max<std::size_t>(bytes, 1), 1);
        if (data_ == nullptr)
            throw std::bad_alloc();
        return;
    }
    // Huge pages lie on boundaries of their own size: one more of them of
    // room, to start on one.
    mapped_bytes_ = round_up(bytes, huge_page) + huge_page;
    mapping_ = ::mmap(nullptr, mapped_bytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED) {
        mapping_ = nullptr;
        throw std::bad_alloc();
    }
    const auto start = round_up(reinterpret_cast<std::uintptr_t>(mapping_), huge_page);
    data_ = reinterpret_cast<void*>(start);
    // Only advice: without huge pages the memory works all the same.
    ::madvise(data_, round_up(bytes, huge_page), MADV_HUGEPAGE);
}

zeroed_memory::~zeroed_memory()
{
    if (mapping_ != nullptr)
        ::munmap(mapping_, mapped_bytes_);
    else
        std::free(data_);
}

#else

zeroed_memory::zeroed_memory(std::size_t bytes, bool)
{
    data_ = std::calloc(std::max<std::size_t>(bytes, 1), 1);
    if (data_ == nullptr)
        throw std::bad_alloc();
}

zeroed_memory::~zeroed_memory() { std::free(data_); }

#endif

std::optional<input_bytes> standard_input()
{
#ifdef _WIN32
    ::_setmode(::_fileno(stdin), _O_BINARY);
#endif
    input_bytes input;
    std::size_t room = 0;
    for (;;) {
        if (input.size_ == room) {
            // A large block that realloc moves by remapping its pages, not
            // by copying them beside the old ones.
            room = std::max<std::size_t>(room * 2, std::size_t{1} << 20);
            char* grown = static_cast<char*>(std::realloc(input.data_.get(), room));
            if (grown == nullptr)
                throw std::bad_alloc();
            input.data_.release();
            input.data_.reset(grown);
        }
        const std::size_t got = std::fread(input.data_.get() + input.size_, 1, room - input.size_, stdin);
        input.size_ += got;
        if (got == 0)
            break;
    }
    if (std::ferror(stdin))
        return std::nullopt;
    return input;
}

#ifdef _WIN32

std::FILE* open_file(const char* name, const char* mode)
{
    const auto wide_name = wide_from_utf8(name);
    const auto wide_mode = wide_from_utf8(mode);
    return wide_name && wide_mode ? ::_wfopen(wide_name->c_str(), wide_mode->c_str()) : nullptr;
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

// The C runtime keeps the standard streams' numbers to itself, open or not.
// A process started without standard input has no handle behind it, and
// every read fails: it reads as empty instead, as a closed descriptor held
// open on /dev/null does elsewhere.
bool hold_closed_standard_streams()
{
    const int input = ::_fileno(stdin);
    if (input >= 0 && ::_get_osfhandle(input) >= 0)
        return true;
    return std::freopen("NUL", "rb", stdin) != nullptr;
}

#else

std::FILE* open_file(const char* name, const char* mode) { return std::fopen(name, mode); }

bool hold_closed_standard_streams()
{
    for (int stream = 0; stream <= 2; ++stream) {
        if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF)
            continue;
        // The lowest free number: this one, since those below it are open.
        const int held = ::open("/dev/null", O_RDONLY);
        if (held != stream) {
            if (held >= 0)
                ::close(held);
            return false;
        }
    }
    return true;
}

bool exact_argument(std::string_view) { return true; }

#endif

}  // namespace vantor::platform
