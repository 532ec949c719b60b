// Everything the tool asks of the system beyond standard C++, in one place:
// files by name, their type and size, and 64-bit seeks; on Windows also the
// command line as Unicode and a console that shows UTF-8. Names and
// arguments are UTF-8 throughout; on Windows they become UTF-16 here, the one
// place that hands a name to the system.
#pragma once

#include <cstdint>
#include <cstdio>
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

// Whether `name` still names the file that the stream has open, and was not
// replaced by another since it was opened.
bool same_file(const char* name, std::FILE* file);

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
// binary mode. Nothing when a read fails.
std::optional<std::string> standard_input();

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
