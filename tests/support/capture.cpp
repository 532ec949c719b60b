#include "support/capture.hpp"

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/dat_builder.hpp"

namespace vantor::testing {

namespace {

constexpr int cannot_drop = 125;  // exit status of a child that could not drop privileges

std::string read_stream(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    return text;
}

std::string read_text(const std::string& path)
{
    const std::vector<unsigned char> bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

void redirect(int fd, const std::string& path, int flags)
{
    const int opened = ::open(path.c_str(), flags, 0600);
    if (opened < 0 || ::dup2(opened, fd) < 0)
        ::_exit(126);
    ::close(opened);
}

std::string scratch_stem()
{
    static std::atomic<unsigned> counter{0};
    const auto stem = "vantor-run-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    return (std::filesystem::temp_directory_path() / stem).string();
}

// A new pseudo-terminal's master side, and the name of its other side.
int open_terminal(std::string& name)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    const bool ready = master >= 0 && ::fcntl(master, F_SETFD, FD_CLOEXEC) == 0 && ::grantpt(master) == 0 &&
                       ::unlockpt(master) == 0;
    const char* slave = ready ? ::ptsname(master) : nullptr;
    if (!slave)
        throw std::runtime_error("no pseudo-terminal");
    name = slave;
    return master;
}

// What the terminal shows until the child `pid` has ended, read as it comes
// so that the child never waits for room.
std::string read_terminal(int master, pid_t pid, int& wait_status)
{
    std::string text;
    bool ended = false;
    for (;;) {
        pollfd ready{master, POLLIN, 0};
        if (::poll(&ready, 1, ended ? 0 : 20) > 0) {
            char chunk[4096];
            const ssize_t got = ::read(master, chunk, sizeof chunk);
            if (got > 0) {
                text.append(chunk, static_cast<std::size_t>(got));
                continue;
            }
        }
        if (ended)
            return text;
        ended = ::waitpid(pid, &wait_status, WNOHANG) == pid;
    }
}

// In the child, between fork and exec.
[[noreturn]] void exec_tool(std::vector<char*>& argv, const run_setup& setup, const std::string& out_path,
                            const std::string& err_path)
{
    for (const auto& [name, value] : setup.environment)
        if (::setenv(name.c_str(), value.c_str(), 1) != 0)
            ::_exit(126);
    redirect(0, "/dev/null", O_RDONLY);
    switch (setup.out) {
    case output_to::capture:
        redirect(1, out_path, O_WRONLY | O_CREAT | O_TRUNC);
        break;
    case output_to::full_device:
        redirect(1, "/dev/full", O_WRONLY);
        break;
    case output_to::closed:
        ::close(1);
        break;
    case output_to::terminal:
        redirect(1, out_path, O_RDWR | O_NOCTTY);
        break;
    }
    redirect(2, err_path, O_WRONLY | O_CREAT | O_TRUNC);
    if (setup.file_size_limit) {
        const rlimit limit{*setup.file_size_limit, *setup.file_size_limit};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            ::_exit(126);
    }
    if (setup.unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(cannot_drop);
    ::execvp(argv[0], argv.data());
    ::_exit(setup.unprivileged ? cannot_drop : 127);
}

}  // namespace

const tested_tool& tool_under_test()
{
    static const tested_tool tool{{
#include "tool_command.inc"
                                  },
                                  VANTOR_TEST_WINDOWS != 0};
    return tool;
}

std::string crlf_as_lf(const std::string& text, bare_lf bare)
{
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n')
            continue;
        if (bare == bare_lf::marked && text[at] == '\n' && (at == 0 || text[at - 1] != '\r'))
            lines += "<LF without CR>";
        lines += text[at];
    }
    return lines;
}

std::string capture_output(const std::function<void(std::FILE*)>& print)
{
    std::FILE* file = std::tmpfile();
    if (!file)
        throw std::runtime_error("no scratch stream");
    print(file);
    std::string text = read_stream(file);
    std::fclose(file);
    return text;
}

tool_process::tool_process(const std::vector<std::string>& args, const run_setup& setup)
{
    const std::string stem = scratch_stem();
    out_path_ = stem + ".out";
    err_path_ = stem + ".err";
    unprivileged_ = setup.unprivileged;
    captured_ = setup.out == output_to::capture;
    std::string terminal_name;
    if (setup.out == output_to::terminal)
        terminal_ = open_terminal(terminal_name);
    windows_ = tool_under_test().windows;
    std::vector<char*> argv;
    for (const std::string& word : tool_under_test().command)
        argv.push_back(const_cast<char*>(word.c_str()));
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error("cannot fork");
    if (pid_ == 0)
        exec_tool(argv, setup, terminal_ >= 0 ? terminal_name : out_path_, err_path_);
}

tool_process::~tool_process()
{
    if (pid_ > 0)
        ::waitpid(pid_, nullptr, 0);
    if (terminal_ >= 0)
        ::close(terminal_);
    std::error_code ignored;
    std::filesystem::remove(out_path_, ignored);
    std::filesystem::remove(err_path_, ignored);
}

std::optional<tool_run> tool_process::finish()
{
    int wait_status = 0;
    std::string shown;
    if (terminal_ >= 0)
        shown = read_terminal(terminal_, pid_, wait_status);
    else
        ::waitpid(pid_, &wait_status, 0);
    pid_ = -1;
    if (!WIFEXITED(wait_status))
        throw std::runtime_error("the tool did not exit normally (signal " + std::to_string(WTERMSIG(wait_status)) +
                                 ")");
    if (unprivileged_ && WEXITSTATUS(wait_status) == cannot_drop)
        return std::nullopt;
    if (!captured_)
        return tool_run{WEXITSTATUS(wait_status), shown, read_text(err_path_)};
    const std::string out = read_text(out_path_);
    return tool_run{WEXITSTATUS(wait_status), windows_ ? crlf_as_lf(out, bare_lf::marked) : out, read_text(err_path_)};
}

std::optional<std::string> no_unprivileged_run()
{
    if (tool_under_test().windows && ::geteuid() == 0)
        return "the tests run as root, and Wine runs a program only as the user who owns its prefix";
    return std::nullopt;
}

tool_run run_tool(const std::vector<std::string>& args) { return *tool_process(args, {}).finish(); }

std::optional<tool_run> run_tool(const std::vector<std::string>& args, const run_setup& setup)
{
    return tool_process(args, setup).finish();
}

}  // namespace vantor::testing
