// Test helpers that collect what the tool prints.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vantor::testing {

// Runs `print` on a scratch stream and returns everything it wrote.
std::string capture_output(const std::function<void(std::FILE*)>& print);

struct tool_run {
    int status;           // exit status, 0 to 255
    std::string out;      // standard output
    std::string err;      // standard error, which the tool never writes
};

// Runs the built executable with `args` (the program name excluded).
tool_run run_tool(const std::vector<std::string>& args);

// The same, but without the right to override file permissions: a root
// process drops to the unprivileged user 65534 first. nullopt when the drop
// is not possible here.
std::optional<tool_run> run_tool_unprivileged(const std::vector<std::string>& args);

}  // namespace vantor::testing
