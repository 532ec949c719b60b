// Replays the shell sessions that the README and the manual page show: every
// "$ " line is a command, the lines under it are its output.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/capture.hpp"

namespace vantor::testing {

struct shown_command {
    int line;              // 1-based, in the document
    std::string command;   // after "$ "
    std::string output;    // the lines shown under it, each with its '\n'
};

// The "$ " blocks of a Markdown text: fenced blocks whose first line starts
// with "$ ". Blocks of commands without prompts (build steps) are not taken.
std::vector<shown_command> markdown_sessions(std::string_view markdown);

// The same from a manual page's .EX/.EE blocks, with roff escapes undone.
// Throws on an escape it does not know, so that none is compared wrongly.
std::vector<shown_command> roff_sessions(std::string_view roff);

// Runs `script` with /bin/sh in `folder`, with `path_prefix` (if any) first
// on PATH and standard input empty.
tool_run run_shell(const std::string& script, const std::filesystem::path& folder = {},
                   const std::string& path_prefix = "");

// Replays `commands` one after another in a scratch folder that holds a copy
// of the source tree's examples/, with the built tool first on PATH: each
// must exit with 0 (a failure is shown with `|| echo "exit status $?"`),
// write nothing to standard error and print exactly what is shown, where
// a banner that is not shown is taken off the front of the output.
void expect_session(const std::vector<shown_command>& commands, const std::string& document);

std::string shell_quoted(const std::filesystem::path& path);

// Whether `program` is found on PATH.
bool installed(const std::string& program);

}  // namespace vantor::testing
