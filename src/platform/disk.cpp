// The calls that change what a disk holds, each counted on its way to the
// system, and the locks that keep two runs from changing one file at once.
#include <chrono>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/platform.hpp"
#include "platform/wide_text.hpp"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vantor::platform {

namespace {

struct fault_plan {
    std::uint64_t crash_at = 0;
    std::uint64_t pause_at = 0;
    int pause_milliseconds = 2000;
};

std::uint64_t number_in(const char* text, const char** end)
{
    std::uint64_t value = 0;
    for (; *text >= '0' && *text <= '9' && value < UINT64_MAX / 10; ++text)
        value = value * 10 + static_cast<std::uint64_t>(*text - '0');
    *end = text;
    return value;
}

fault_plan planned_faults()
{
    fault_plan plan;
    const char* end = nullptr;
    if (const char* crash = std::getenv("VANTOR_CRASH_AT"))
        plan.crash_at = number_in(crash, &end);
    if (const char* pause = std::getenv("VANTOR_PAUSE_AT")) {
        plan.pause_at = number_in(pause, &end);
        if (*end == ',')
            plan.pause_milliseconds = static_cast<int>(number_in(end + 1, &end) % 600000);
    }
    return plan;
}

std::uint64_t calls = 0;

// Counts one call that changes the disk; true when the run is to end there.
bool crash_here()
{
    static const fault_plan plan = planned_faults();
    ++calls;
    if (calls == plan.pause_at)
        std::this_thread::sleep_for(std::chrono::milliseconds(plan.pause_milliseconds));
    return calls == plan.crash_at;
}

// As abrupt as a kill: no buffer is flushed, no destructor runs.
[[noreturn]] void crash() { std::_Exit(crashed_status); }

void pass_or_crash()
{
    if (crash_here())
        crash();
}

bool write_whole(std::FILE* file, std::uint64_t offset, const unsigned char* bytes, std::size_t count)
{
    return seek(file, offset) && std::fwrite(bytes, 1, count, file) == count;
}

#ifdef _WIN32
HANDLE handle_of(std::FILE* file) { return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file))); }
#else
// The name of the folder that holds `name`.
std::string folder_of(const char* name)
{
    const std::string path(name);
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}
#endif

}  // namespace

std::uint64_t disk_calls() { return calls; }

bool write_at(std::FILE* file, std::uint64_t offset, const unsigned char* bytes, std::size_t count)
{
    if (crash_here()) {
        write_whole(file, offset, bytes, count / 2);
        crash();
    }
    return write_whole(file, offset, bytes, count);
}

#ifdef _WIN32

bool sync(std::FILE* file)
{
    pass_or_crash();
    return std::fflush(file) == 0 && ::FlushFileBuffers(handle_of(file)) != 0;
}

// NTFS and FAT keep a folder's entries with the file's own metadata, which
// FlushFileBuffers writes.
bool sync_folder(const char*)
{
    pass_or_crash();
    return true;
}

namespace {

int new_descriptor(const char* name)
{
    const auto wide_name = wide_from_utf8(name);
    return wide_name ? ::_wopen(wide_name->c_str(), _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE) : -1;
}
std::FILE* stream_of(int descriptor) { return ::_wfdopen(descriptor, L"w+b"); }
void close_descriptor(int descriptor) { ::_close(descriptor); }

}  // namespace

bool remove_file(const char* name)
{
    pass_or_crash();
    const auto wide_name = wide_from_utf8(name);
    return wide_name && ::_wremove(wide_name->c_str()) == 0;
}

std::optional<file_identity> identity(std::FILE* file)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (::GetFileInformationByHandle(handle_of(file), &information) == 0)
        return std::nullopt;
    return file_identity{information.dwVolumeSerialNumber,
                         std::uint64_t{information.nFileIndexHigh} << 32 | information.nFileIndexLow};
}

namespace {

// Windows locks keep other handles from the bytes they cover: the one byte
// locked lies far beyond any file's end, where there is nothing to keep
// anyone from.
constexpr DWORD lock_offset_high = 0x7FFFFFFF;

OVERLAPPED lock_place()
{
    OVERLAPPED place{};
    place.OffsetHigh = lock_offset_high;
    return place;
}

lock_outcome try_lock(std::FILE* file, lock_kind kind)
{
    OVERLAPPED place = lock_place();
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (kind == lock_kind::exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (::LockFileEx(handle_of(file), flags, 0, 1, 0, &place) != 0)
        return lock_outcome::held;
    const DWORD error = ::GetLastError();
    return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? lock_outcome::busy : lock_outcome::unsupported;
}

}  // namespace

void unlock(std::FILE* file)
{
    OVERLAPPED place = lock_place();
    ::UnlockFileEx(handle_of(file), 0, 1, 0, &place);
}

#else

bool sync(std::FILE* file)
{
    pass_or_crash();
    if (std::fflush(file) != 0)
        return false;
#if defined(_POSIX_SYNCHRONIZED_IO) && _POSIX_SYNCHRONIZED_IO > 0
    // The file's length and place are as they were: its data is what counts.
    return ::fdatasync(::fileno(file)) == 0;
#else
    return ::fsync(::fileno(file)) == 0;
#endif
}

bool sync_folder(const char* name)
{
    pass_or_crash();
    const int folder = ::open(folder_of(name).c_str(), O_RDONLY | O_CLOEXEC);
    if (folder < 0)
        return false;
    // Some file systems sync no folder on request, and keep its entries
    // with their files' metadata instead.
    const bool synced = ::fsync(folder) == 0 || errno == EINVAL;
    ::close(folder);
    return synced;
}

namespace {

int new_descriptor(const char* name) { return ::open(name, O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }
std::FILE* stream_of(int descriptor) { return ::fdopen(descriptor, "w+b"); }
void close_descriptor(int descriptor) { ::close(descriptor); }

}  // namespace

bool remove_file(const char* name)
{
    pass_or_crash();
    return ::unlink(name) == 0;
}

std::optional<file_identity> identity(std::FILE* file)
{
    struct stat record {};
    if (::fstat(::fileno(file), &record) != 0)
        return std::nullopt;
    return file_identity{static_cast<std::uint64_t>(record.st_dev), static_cast<std::uint64_t>(record.st_ino)};
}

namespace {

// flock rather than record locks: those of a process go with the first of
// its descriptors of the file to be closed, whichever that is.
lock_outcome try_lock(std::FILE* file, lock_kind kind)
{
    const int operation = (kind == lock_kind::exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int status;
    while ((status = ::flock(::fileno(file), operation)) != 0 && errno == EINTR) {
    }
    if (status == 0)
        return lock_outcome::held;
    return errno == EWOULDBLOCK ? lock_outcome::busy : lock_outcome::unsupported;
}

}  // namespace

void unlock(std::FILE* file) { ::flock(::fileno(file), LOCK_UN); }

#endif

std::FILE* create_file(const char* name)
{
    pass_or_crash();
    const int descriptor = new_descriptor(name);
    if (descriptor < 0)
        return nullptr;
    std::FILE* file = stream_of(descriptor);
    if (file == nullptr) {
        close_descriptor(descriptor);
        return nullptr;
    }
    std::setvbuf(file, nullptr, _IONBF, 0);
    return file;
}

lock_outcome lock(std::FILE* file, lock_kind kind, int wait_milliseconds)
{
    // Asked again and again, more slowly as the wait goes on: no system
    // offers a blocking lock with a time limit.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_milliseconds);
    auto pause = std::chrono::milliseconds(1);
    for (;;) {
        const lock_outcome outcome = try_lock(file, kind);
        if (outcome != lock_outcome::busy || std::chrono::steady_clock::now() >= deadline)
            return outcome;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
}

}  // namespace vantor::platform
