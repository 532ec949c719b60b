// Runs commands as the benchmark times them: standard output to /dev/null,
// wall time from fork to exit, peak RSS from wait4, and a kill at a cap.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantor::bench {

using command = std::vector<std::string>;

struct run_result {
    double seconds = 0;
    long peak_kib = 0;
    bool timed_out = false;
    // Ended other than by exit status 0, or by the cap.
    bool failed = false;
};

struct run_limits {
    int rounds = 5;
    unsigned cap_seconds = 120;
    // A command whose run took longer is not run again.
    double slow_seconds = 5;
};

// The runs of one command on one file.
struct series {
    std::vector<run_result> runs;

    double median_seconds() const;
    long peak_kib() const;
    bool timed_out() const;
    bool failed() const;
    bool enough(const run_limits& limits) const;
};

run_result run_once(const command& words, unsigned cap_seconds);

// Runs the commands in turn, `limits.rounds` times over, so that runs of one
// file meet the same state of the machine.
std::vector<series> run_interleaved(const std::vector<command>& commands, const run_limits& limits);

struct output_size {
    std::uint64_t lines = 0;
    std::uint64_t bytes = 0;
};

// What the command writes, or none when it failed or met the cap.
std::optional<output_size> measure_output(const command& words, unsigned cap_seconds);

// Runs `work` in a child process, so that what it allocates never counts in
// the peak RSS of the commands started later: a forked child starts with
// its parent's resident pages. True when the work returned.
bool run_in_child(const std::function<void()>& work);

}  // namespace vantor::bench
