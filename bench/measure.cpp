#include "measure.hpp"

#include <algorithm>
#include <chrono>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace vantor::bench {

namespace {

using steady = std::chrono::steady_clock;

// Starts `words` with its standard output on `out`. The alarm survives the
// exec, so a run past the cap ends by SIGALRM.
pid_t start(const command& words, int out, unsigned cap_seconds)
{
    std::vector<char*> argv;
    for (const std::string& word : words)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out, STDOUT_FILENO);
        ::alarm(cap_seconds);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

run_result finish(pid_t pid, steady::time_point started)
{
    run_result result;
    int status = 0;
    rusage usage{};
    if (pid < 0 || ::wait4(pid, &status, 0, &usage) != pid) {
        result.failed = true;
        return result;
    }
    const std::chrono::duration<double> elapsed = steady::now() - started;
    result.seconds = elapsed.count();
    result.peak_kib = usage.ru_maxrss;
    result.timed_out = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    result.failed = !result.timed_out && !(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    return result;
}

}  // namespace

double series::median_seconds() const
{
    std::vector<double> seconds;
    for (const run_result& run : runs)
        seconds.push_back(run.seconds);
    if (seconds.empty())
        return 0;
    std::sort(seconds.begin(), seconds.end());
    const std::size_t middle = seconds.size() / 2;
    return seconds.size() % 2 == 1 ? seconds[middle] : (seconds[middle - 1] + seconds[middle]) / 2;
}

long series::peak_kib() const
{
    long peak = 0;
    for (const run_result& run : runs)
        peak = std::max(peak, run.peak_kib);
    return peak;
}

bool series::timed_out() const
{
    return std::any_of(runs.begin(), runs.end(), [](const run_result& run) { return run.timed_out; });
}

bool series::failed() const
{
    return std::any_of(runs.begin(), runs.end(), [](const run_result& run) { return run.failed; });
}

bool series::enough(const run_limits& limits) const
{
    if (runs.size() >= static_cast<std::size_t>(limits.rounds))
        return true;
    return !runs.empty() && (runs.back().timed_out || runs.back().seconds > limits.slow_seconds);
}

run_result run_once(const command& words, unsigned cap_seconds)
{
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    const steady::time_point started = steady::now();
    const pid_t pid = start(words, null, cap_seconds);
    ::close(null);
    return finish(pid, started);
}

std::vector<series> run_interleaved(const std::vector<command>& commands, const run_limits& limits)
{
    std::vector<series> results(commands.size());
    for (int round = 0; round < limits.rounds; ++round)
        for (std::size_t k = 0; k < commands.size(); ++k)
            if (!results[k].enough(limits))
                results[k].runs.push_back(run_once(commands[k], limits.cap_seconds));
    return results;
}

std::optional<output_size> measure_output(const command& words, unsigned cap_seconds)
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return std::nullopt;
    const steady::time_point started = steady::now();
    const pid_t pid = start(words, ends[1], cap_seconds);
    ::close(ends[1]);
    output_size size;
    char buffer[1 << 16];
    for (ssize_t got; (got = ::read(ends[0], buffer, sizeof buffer)) > 0;) {
        size.lines += static_cast<std::uint64_t>(std::count(buffer, buffer + got, '\n'));
        size.bytes += static_cast<std::uint64_t>(got);
    }
    ::close(ends[0]);
    const run_result result = finish(pid, started);
    if (result.failed || result.timed_out)
        return std::nullopt;
    return size;
}

bool run_in_child(const std::function<void()>& work)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        try {
            work();
        } catch (...) {
            ::_exit(1);
        }
        ::_exit(0);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace vantor::bench
