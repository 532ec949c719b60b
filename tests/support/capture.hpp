// The one runner of child processes: the tool under test, the shell that
// replays documented sessions, the C compiler and the benchmark's commands.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "support/files.hpp"

namespace vantor::testing {

// The tool that the command-line tests run: the one built here, or the build
// that VANTOR_TEST_TOOL names, started through VANTOR_TEST_RUNNER (wine,
// qemu-s390x) when that is set.
struct tested_tool {
    std::vector<std::string> command;  // the runner's words, then the tool
    // A Windows program: its lines end in CRLF, and it knows no POSIX file
    // types, resource limits or users.
    bool windows;
    // Built with the address sanitizer, which reserves terabytes of address
    // space before main.
    bool sanitized;
    // Started through a runner (Wine, qemu), which costs a start of its own:
    // tests that start many processes take fewer rounds then, as they do
    // with the sanitizers, whose start costs as much.
    bool through_runner;

    int rounds(int native) const { return through_runner || sanitized ? (native + 9) / 10 : native; }
};
const tested_tool& tool_under_test();

// A Windows program's output with its CRLF line ends as LF. The tool's own
// output holds no bare LF, so there one is marked, and no comparison passes.
enum class bare_lf { kept, marked };
std::string crlf_as_lf(const std::string& text, bare_lf bare);

// Runs `print` on a scratch stream and returns everything it wrote.
std::string capture_output(const std::function<void(std::FILE*)>& print);

struct tool_run {
    int status;                   // exit status, 0 to 255
    std::string out;              // standard output, captured or shown on a terminal
    std::string err;              // standard error, which the tool never writes
    std::uint64_t out_bytes = 0;  // how much went to standard output, when counted
    double seconds = 0;           // wall time from the start to the exit
    long peak_kib = 0;            // peak resident set size
};

// Where standard output goes. A terminal is a console to a Windows build under
// Wine; what it shows is returned as it is, escape sequences and all.
enum class output_to { capture, count, discard, full_device, closed, terminal };

struct held_pipe {
    std::string path;                  // made with mkfifo
    std::vector<unsigned char> bytes;  // 64 KiB at most
};

// How the child is set up before the exec.
struct run_setup {
    output_to out = output_to::capture;
    std::string input;  // standard input, from a file
    // Or standard input closed, or a folder, whose every read fails.
    enum class input_from { given, closed, folder } from = input_from::given;
    // A named pipe that the child fills and keeps open for writing, so that
    // whoever reads it never comes to its end.
    std::optional<held_pipe> held_open;
    std::filesystem::path folder;  // the working folder; empty: this process's
    std::string path_prefix;       // put first on PATH
    std::vector<std::pair<std::string, std::string>> environment;
    // Without the right to override file permissions: a root process drops
    // to the unprivileged user 65534 first.
    bool unprivileged = false;
    std::optional<std::uint64_t> file_size_limit;      // in bytes
    std::optional<std::uint64_t> address_space_limit;  // in bytes
    // A child still running then is killed, with all it started, and the run
    // fails.
    std::chrono::seconds deadline{60};
};

// A started child.
class process {
public:
    process(const std::vector<std::string>& command, const run_setup& setup);
    process(const process&) = delete;
    process& operator=(const process&) = delete;
    ~process();

    // Waits for the exit; nullopt when the child could not drop privileges.
    // Throws when the child ended by a signal or was killed at the deadline.
    std::optional<tool_run> finish();

private:
    const temp_folder streams_;  // the captured output and standard error
    pid_t pid_ = -1;
    int pidfd_ = -1;       // readable when the child has ended
    int drained_ = -1;     // read here as the child writes: a terminal, or a counted pipe
    bool keep_drained_ = false;  // what was drained is the output
    bool unprivileged_ = false;
    output_to out_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point deadline_;
};

// `args` after the words that start the tool under test.
std::vector<std::string> tool_command(const std::vector<std::string>& args);

// Runs `command`, a program found on PATH and its arguments.
tool_run run(const std::vector<std::string>& command, const run_setup& setup = {});

// Runs the tool under test with `args` (the program name excluded); a Windows
// build's captured lines come back with LF ends.
tool_run run_tool(const std::vector<std::string>& args);

// The same with a prepared child; nullopt when an unprivileged run is not
// possible here.
std::optional<tool_run> run_tool(const std::vector<std::string>& args, const run_setup& setup);

// Why the tool cannot run as an unprivileged user here, if it cannot.
std::optional<std::string> no_unprivileged_run();

// Why the tool cannot run under an address-space limit of `bytes` here, if it
// cannot: the sanitizers, Wine and a 32-bit qemu reserve more first.
std::optional<std::string> no_run_under_address_limit(std::uint64_t bytes);

}  // namespace vantor::testing
