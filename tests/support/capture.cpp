#include "support/capture.hpp"

#include <cstdlib>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantor::testing {

namespace {

using clock = std::chrono::steady_clock;

constexpr int cannot_drop = 125;  // exit status of a child that could not drop privileges

void redirect(int fd, const std::string& path, int flags)
{
    const int opened = ::open(path.c_str(), flags, 0600);
    if (opened < 0 || ::dup2(opened, fd) < 0)
        ::_exit(126);
    ::close(opened);
}

// Opens the pipe for writing without waiting for a reader, fills it, and
// leaves it open in this process and in the program it becomes.
void hold_open(const held_pipe& pipe)
{
    const int fd = ::open(pipe.path.c_str(), O_RDWR);
    if (fd < 0)
        ::_exit(126);
    for (std::size_t done = 0; done < pipe.bytes.size();) {
        const ssize_t wrote = ::write(fd, pipe.bytes.data() + done, pipe.bytes.size() - done);
        if (wrote <= 0)
            ::_exit(126);
        done += static_cast<std::size_t>(wrote);
    }
}

void limit(int resource, std::optional<std::uint64_t> bytes)
{
    if (!bytes)
        return;
    const rlimit value{*bytes, *bytes};
    if (::setrlimit(resource, &value) != 0)
        ::_exit(126);
}

// Where the child's standard output goes: `out_path`, or `drained` (the
// writing side of a pipe or a terminal) for the modes read as they come.
void set_output(output_to out, const std::string& out_path, int drained)
{
    switch (out) {
    case output_to::capture:
        redirect(1, out_path, O_WRONLY | O_CREAT | O_TRUNC);
        break;
    case output_to::count:
    case output_to::terminal:
        if (::dup2(drained, 1) < 0)
            ::_exit(126);
        break;
    case output_to::discard:
        redirect(1, "/dev/null", O_WRONLY);
        break;
    case output_to::full_device:
        redirect(1, "/dev/full", O_WRONLY);
        break;
    case output_to::closed:
        ::close(1);
        break;
    }
}

// In the child, between fork and exec. Its own process group lets a kill at
// the deadline reach whatever it started.
[[noreturn]] void exec_child(std::vector<char*>& argv, const run_setup& setup,
                             const std::vector<std::pair<std::string, std::string>>& environment,
                             const std::string& in_path, const std::string& out_path, const std::string& err_path,
                             int drained)
{
    ::setpgid(0, 0);
    if (!setup.folder.empty() && ::chdir(setup.folder.c_str()) != 0)
        ::_exit(126);
    for (const auto& [name, value] : environment)
        if (::setenv(name.c_str(), value.c_str(), 1) != 0)
            ::_exit(126);
    if (setup.held_open)
        hold_open(*setup.held_open);
    if (setup.from == run_setup::input_from::closed)
        ::close(0);
    else
        redirect(0, setup.from == run_setup::input_from::folder ? "/" : in_path, O_RDONLY);
    set_output(setup.out, out_path, drained);
    redirect(2, err_path, O_WRONLY | O_CREAT | O_TRUNC);
    limit(RLIMIT_FSIZE, setup.file_size_limit);
    limit(RLIMIT_AS, setup.address_space_limit);
    if (setup.unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(cannot_drop);
    ::execvp(argv[0], argv.data());
    ::_exit(setup.unprivileged ? cannot_drop : 127);
}

// The pipe or terminal that the parent reads, with `child_side` set to the
// end the child writes; both -1 for the other modes.
int open_drained(output_to out, int& child_side)
{
    child_side = -1;
    int ends[2] = {-1, -1};
    if (out == output_to::count) {
        if (::pipe2(ends, O_CLOEXEC) != 0)
            throw std::runtime_error("no pipe");
        child_side = ends[1];
        return ends[0];
    }
    if (out != output_to::terminal)
        return -1;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    const bool ready = master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0;
    const char* name = ready ? ::ptsname(master) : nullptr;
    // Opened before the fork, so that the master never sees the terminal
    // hung up before the child holds it.
    child_side = name ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (child_side < 0)
        throw std::runtime_error("no pseudo-terminal");
    return master;
}

std::vector<std::pair<std::string, std::string>> child_environment(const run_setup& setup)
{
    std::vector<std::pair<std::string, std::string>> environment = setup.environment;
    if (!setup.path_prefix.empty()) {
        const char* path = std::getenv("PATH");
        environment.emplace_back("PATH", setup.path_prefix + ":" + (path ? path : "/usr/bin:/bin"));
    }
    return environment;
}

}  // namespace

const tested_tool& tool_under_test()
{
    static const tested_tool tool{{
#include "tool_command.inc"
                                  },
                                  VANTOR_TEST_WINDOWS != 0,
                                  VANTOR_TEST_SANITIZED != 0,
                                  VANTOR_TEST_THROUGH_RUNNER != 0};
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
    std::string text;
    std::rewind(file);
    char chunk[65536];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        text.append(chunk, got);
    std::fclose(file);
    return text;
}

process::process(const std::vector<std::string>& command, const run_setup& setup)
    : unprivileged_(setup.unprivileged), out_(setup.out)
{
    if (setup.held_open && setup.held_open->bytes.size() > 65536)
        throw std::invalid_argument("a held pipe holds 64 KiB at most");
    const auto environment = child_environment(setup);
    const std::string in_path = streams_ / "in";
    const std::string out_path = streams_ / "out";
    const std::string err_path = streams_ / "err";
    write_file(in_path, {setup.input.begin(), setup.input.end()});
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    int child_side = -1;
    drained_ = open_drained(setup.out, child_side);
    keep_drained_ = setup.out == output_to::terminal;
    started_ = clock::now();
    deadline_ = started_ + setup.deadline;
    pid_ = ::fork();
    if (pid_ == 0)
        exec_child(argv, setup, environment, in_path, out_path, err_path, child_side);
    if (child_side >= 0)
        ::close(child_side);
    if (pid_ < 0)
        throw std::runtime_error("cannot fork");
    ::setpgid(pid_, pid_);
#ifdef SYS_pidfd_open
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
#endif
}

process::~process()
{
    if (pid_ > 0) {
        ::kill(-pid_, SIGKILL);
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    for (const int fd : {pidfd_, drained_})
        if (fd >= 0)
            ::close(fd);
}

std::optional<tool_run> process::finish()
{
    tool_run run{};
    std::string drained;
    int wait_status = 0;
    rusage usage{};
    // Reads what the child wrote so far, waiting at most `wait_ms` for more.
    const auto drain = [&](int wait_ms) {
        pollfd ready[2] = {{drained_, POLLIN, 0}, {pidfd_, POLLIN, 0}};
        if (::poll(ready, 2, wait_ms) <= 0 || ready[0].revents == 0)
            return false;
        char chunk[65536];
        const ssize_t got = ::read(drained_, chunk, sizeof chunk);
        if (got <= 0) {
            ::close(drained_);
            drained_ = -1;
            return false;
        }
        run.out_bytes += static_cast<std::uint64_t>(got);
        if (keep_drained_)
            drained.append(chunk, static_cast<std::size_t>(got));
        return true;
    };
    while (::wait4(pid_, &wait_status, WNOHANG, &usage) != pid_) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - clock::now()).count();
        if (left <= 0) {
            ::kill(-pid_, SIGKILL);
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
            pid_ = -1;
            throw std::runtime_error("the child ran past its deadline and was killed");
        }
        // Without a pidfd, look again every 10 ms.
        drain(pidfd_ >= 0 ? static_cast<int>(left) + 1 : std::min<int>(static_cast<int>(left) + 1, 10));
    }
    run.seconds = std::chrono::duration<double>(clock::now() - started_).count();
    run.peak_kib = usage.ru_maxrss;
    pid_ = -1;
    ::close(pidfd_);
    pidfd_ = -1;
    // A terminal hands on the last lines a little after the exit.
    while (drained_ >= 0 && drain(50)) {
    }
    if (!WIFEXITED(wait_status))
        throw std::runtime_error("the child ended by signal " + std::to_string(WTERMSIG(wait_status)));
    run.status = WEXITSTATUS(wait_status);
    if (unprivileged_ && run.status == cannot_drop)
        return std::nullopt;
    run.out = out_ == output_to::capture ? read_text(streams_ / "out") : drained;
    run.err = read_text(streams_ / "err");
    return run;
}

std::vector<std::string> tool_command(const std::vector<std::string>& args)
{
    std::vector<std::string> command = tool_under_test().command;
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

tool_run run(const std::vector<std::string>& command, const run_setup& setup)
{
    return process(command, setup).finish().value();
}

tool_run run_tool(const std::vector<std::string>& args) { return *run_tool(args, {}); }

std::optional<tool_run> run_tool(const std::vector<std::string>& args, const run_setup& setup)
{
    std::optional<tool_run> run = process(tool_command(args), setup).finish();
    if (run && tool_under_test().windows && setup.out == output_to::capture)
        run->out = crlf_as_lf(run->out, bare_lf::marked);
    return run;
}

std::optional<std::string> no_unprivileged_run()
{
    if (tool_under_test().windows && ::geteuid() == 0)
        return "the tests run as root, and Wine runs a program only as the user who owns its prefix";
    // Ask the whole command line, runner included: in a folder that only root
    // can enter, an exec of the tool fails natively, while a runner starts
    // and then cannot open the tool, which would read as the tool's failure.
    static const bool starts = [] {
        run_setup setup;
        setup.unprivileged = true;
        const auto usage = run_tool({}, setup);
        return usage && usage->status == 255 && usage->err.empty();
    }();
    if (!starts)
        return "the unprivileged user cannot start the tool here (a folder on its way that only root can enter?)";
    return std::nullopt;
}

std::optional<std::string> no_run_under_address_limit(std::uint64_t bytes)
{
    if (tool_under_test().sanitized)
        return "the address sanitizer reserves terabytes of address space before main";
    // Natively the limit always applies; through a runner, ask the runner.
    if (!tool_under_test().through_runner)
        return std::nullopt;
    run_setup setup;
    setup.address_space_limit = bytes;
    try {
        const auto usage = run_tool({}, setup);
        if (usage && usage->status == 255 && usage->err.empty())
            return std::nullopt;
    } catch (const std::runtime_error&) {
        // Killed by a signal: the runner did not get as far as the tool.
    }
    return "the runner cannot start the tool under an address-space limit of " + std::to_string(bytes >> 20) + " MiB";
}

}  // namespace vantor::testing
