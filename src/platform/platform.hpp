// Everything the tool asks of the system beyond standard C++, in one place:
// files by name, their type and size, and 64-bit seeks; on Windows also the
// command line as Unicode and a console that shows UTF-8. Names and
// arguments are UTF-8 throughout; on Windows they become UTF-16 here, the one
// place that hands a name to the system.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::platform {

struct file_status {
    bool regular;        // a regular file, not a directory, FIFO, device or socket
    std::uint64_t size;  // in bytes, for a regular file
};

// std::fopen by a UTF-8 name.
std::FILE* open_file(const char* name, const char* mode);

// What the name stands for, symbolic links followed; nothing when it names
// nothing that can be asked.
std::optional<file_status> status(const char* name);

// What the open stream reads or writes.
std::optional<file_status> status(std::FILE* file);

// Moves to `offset` bytes from the start, at any offset the system allows.
bool seek(std::FILE* file, std::uint64_t offset);

// Reads `count` bytes from `offset` on, whole or not at all.
bool read_at(std::FILE* file, std::uint64_t offset, unsigned char* bytes, std::uint64_t count);

// Whether `name` still names the file that the stream has open, and was not
// replaced by another since it was opened.
bool same_file(const char* name, std::FILE* file);

// Every call that changes what a disk holds (a write, a sync, a file made
// or removed) goes through the functions below, which count them: a test
// can end a run at its N-th such call as a crash would, a write then cut
// after half its bytes (VANTOR_CRASH_AT=N), or hold the run there for a
// while (VANTOR_PAUSE_AT=N, or N,MS for MS milliseconds instead of 2 s).
inline constexpr int crashed_status = 137;  // as a run killed by SIGKILL

// How many such calls the process has made.
std::uint64_t disk_calls();

// Writes `count` bytes at `offset` through an unbuffered stream.
bool write_at(std::FILE* file, std::uint64_t offset, const unsigned char* bytes, std::size_t count);

// What was written through the stream, on the disk.
bool sync(std::FILE* file);

// The entries of the folder that holds `name`, on the disk: a file made or
// removed there stays so after a power cut. True where the system keeps
// them so itself.
bool sync_folder(const char* name);

// A new file, open for update and unbuffered; nothing when the name exists
// or the file cannot be made.
std::FILE* create_file(const char* name);

bool remove_file(const char* name);

// Which file an open stream is: the same on every open of it, and on no
// other file while it exists.
struct file_identity {
    std::uint64_t device;
    std::uint64_t index;
    bool operator==(const file_identity&) const = default;
};
std::optional<file_identity> identity(std::FILE* file);

// Advisory locks on a whole file: other runs of the tool ask for them too,
// and nothing else is kept out. A lock lasts until it is let go, the stream
// is closed or the process ends.
enum class lock_kind { shared, exclusive };
enum class lock_outcome {
    held,
    busy,         // another holder kept it for all of the wait
    unsupported,  // the file system keeps no locks
};
lock_outcome lock(std::FILE* file, lock_kind kind, int wait_milliseconds);
void unlock(std::FILE* file);

// Zeroed memory for a large table. With `huge_pages`, where the system can,
// it is backed by huge pages: filling it then costs a few page faults
// instead of one per 4 KiB, and on a virtual machine those cost more than
// the data they bring, but each takes 2 MiB. Otherwise it comes from calloc,
// whose untouched pages cost nothing. Throws std::bad_alloc.
class zeroed_memory {
public:
    explicit zeroed_memory(std::size_t bytes, bool huge_pages);
    ~zeroed_memory();
    zeroed_memory(zeroed_memory&& other) noexcept;
    zeroed_memory& operator=(zeroed_memory&& other) noexcept;

    void* data() const { return data_; }

private:
    void* data_ = nullptr;
    void* mapping_ = nullptr;  // what to release, when mapped
    std::size_t mapped_bytes_ = 0;
};

// All of standard input, as bytes: on Windows too, where it is read in
// binary mode. Nothing when a read fails. Held once: the buffer grows in
// place where the system can, so that a long input costs its own size.
class input_bytes {
public:
    std::string_view text() const { return {data_.get(), size_}; }

private:
    friend std::optional<input_bytes> standard_input();
    struct releaser {
        void operator()(char* data) const { std::free(data); }
    };
    std::unique_ptr<char, releaser> data_;
    std::size_t size_ = 0;
};
std::optional<input_bytes> standard_input();

// Keeps a closed standard stream from being taken by a file the tool opens,
// which would then receive what is meant for the stream: each closed one is
// held by the null device, opened for reading, so that writing to it still
// fails. False when that cannot be done.
bool hold_closed_standard_streams();

// Whether an argument's UTF-8 is exactly what was typed. On Windows it is
// not when the argument held a lone surrogate, which has no UTF-8; elsewhere
// the bytes typed are the bytes the tool gets.
bool exact_argument(std::string_view text);

#ifdef _WIN32
// The command line, converted once at the entry.
std::vector<std::string> utf8_arguments(int argc, const wchar_t* const* argv);

// While it lives, a console on standard output shows the UTF-8 the tool
// prints; its code page is restored afterwards.
class utf8_console {
public:
    utf8_console();
    ~utf8_console();
    utf8_console(const utf8_console&) = delete;
    utf8_console& operator=(const utf8_console&) = delete;

private:
    unsigned previous_code_page_ = 0;  // 0: standard output is no console
};
#endif

}  // namespace vantor::platform
