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

// One block of commands, which stands on its own: it is replayed in a
// scratch folder of its own, so that each block is one test, and no block
// relies on what another left behind.
struct shown_block {
    int line;  // of its first command
    std::vector<shown_command> commands;
};

// The "$ " blocks of a Markdown text: fenced blocks whose first line starts
// with "$ ". Blocks of commands without prompts (build steps) are not taken.
std::vector<shown_block> markdown_sessions(std::string_view markdown);

// The same from a manual page's .EX/.EE blocks, with roff escapes undone.
// Throws on an escape it does not know, so that none is compared wrongly.
std::vector<shown_block> roff_sessions(std::string_view roff);

// Runs `script` with /bin/sh in `folder`, with `path_prefix` (if any) first
// on PATH and standard input empty.
tool_run run_shell(const std::string& script, const std::filesystem::path& folder = {},
                   const std::string& path_prefix = "");

// Replays a block's commands one after another in a scratch folder that holds
// a copy of the source tree's examples/, with the tool first on PATH: each
// must exit with 0 (a failure is shown with `|| echo "exit status $?"`),
// write nothing to standard error and print exactly what is shown, where
// a banner that is not shown is taken off the front of the output.
void expect_session(const shown_block& block, const std::string& document);

// "line_N" for the block that starts at line N.
std::string block_name(const shown_block& block);

std::string shell_quoted(const std::filesystem::path& path);

// Whether `program` is found on PATH.
bool installed(const std::string& program);

}  // namespace vantor::testing
