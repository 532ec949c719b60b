// Test helpers that collect what the tool prints.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace vantor::testing {

// The tool that the command-line tests run: the one built here, or the build
// that VANTOR_TEST_TOOL names, started through VANTOR_TEST_RUNNER (wine,
// qemu-s390x) when that is set.
struct tested_tool {
    std::vector<std::string> command;  // the runner's words, then the tool
    // A Windows program: its lines end in CRLF, and it knows no POSIX file
    // types, resource limits or users.
    bool windows;
};
const tested_tool& tool_under_test();

// A Windows program's output with its CRLF line ends as LF. The tool's own
// output holds no bare LF, so there one is marked, and no comparison passes.
enum class bare_lf { kept, marked };
std::string crlf_as_lf(const std::string& text, bare_lf bare);

// Runs `print` on a scratch stream and returns everything it wrote.
std::string capture_output(const std::function<void(std::FILE*)>& print);

struct tool_run {
    int status;           // exit status, 0 to 255
    std::string out;      // standard output
    std::string err;      // standard error, which the tool never writes
};

// Where standard output goes. A terminal is a console to a Windows build under
// Wine; what it shows is returned as it is, escape sequences and all.
enum class output_to { capture, full_device, closed, terminal };

// How the child that runs the tool is set up before the exec.
struct run_setup {
    // Without the right to override file permissions: a root process drops
    // to the unprivileged user 65534 first.
    bool unprivileged = false;
    std::optional<std::uint64_t> file_size_limit;  // in bytes
    output_to out = output_to::capture;
    std::vector<std::pair<std::string, std::string>> environment;  // set in the child
};

// A started run of the tool under test.
class tool_process {
public:
    tool_process(const std::vector<std::string>& args, const run_setup& setup);
    tool_process(const tool_process&) = delete;
    tool_process& operator=(const tool_process&) = delete;
    ~tool_process();

    // Waits for the exit; nullopt when the child could not drop privileges.
    std::optional<tool_run> finish();

private:
    pid_t pid_ = -1;
    bool unprivileged_ = false;
    bool captured_ = true;
    bool windows_ = false;
    int terminal_ = -1;  // the pseudo-terminal's master side, with output_to::terminal
    std::string out_path_;
    std::string err_path_;
};

// Why the tool cannot run as an unprivileged user here, if it cannot.
std::optional<std::string> no_unprivileged_run();

// Runs the tool under test with `args` (the program name excluded).
tool_run run_tool(const std::vector<std::string>& args);

// The same with a prepared child; nullopt when an unprivileged run is not
// possible here.
std::optional<tool_run> run_tool(const std::vector<std::string>& args, const run_setup& setup);

}  // namespace vantor::testing
