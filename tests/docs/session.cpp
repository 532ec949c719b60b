#include "docs/session.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>
#include <unistd.h>

#include "cli/cli_text.hpp"
#include "support/capture.hpp"

namespace vantor::testing {

namespace fs = std::filesystem;

namespace {

std::vector<std::string_view> lines_of(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        lines.push_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return lines;
}

bool starts_with(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

// The commands and outputs of one block whose first line is `first_line`.
void take_block(const std::vector<std::string>& block, int first_line, std::vector<shown_command>& out)
{
    if (block.empty() || !starts_with(block.front(), "$ "))
        return;
    for (std::size_t i = 0; i < block.size(); ++i) {
        if (starts_with(block[i], "$ "))
            out.push_back({first_line + static_cast<int>(i), block[i].substr(2), ""});
        else
            out.back().output += block[i] + "\n";
    }
}

std::string unescape_roff(std::string_view line, int number)
{
    struct escape {
        std::string_view roff;
        std::string_view text;
    };
    static constexpr escape escapes[] = {{"\\-", "-"}, {"\\e", "\\"}, {"\\&", ""}, {"\\(aq", "'"}, {"\\(dq", "\""}};
    std::string text;
    for (std::size_t at = 0; at < line.size();) {
        if (line[at] != '\\') {
            text += line[at++];
            continue;
        }
        bool known = false;
        for (const escape& e : escapes) {
            if (starts_with(line.substr(at), e.roff)) {
                text += e.text;
                at += e.roff.size();
                known = true;
                break;
            }
        }
        if (!known)
            throw std::runtime_error("line " + std::to_string(number) +
                                     ": roff escape not handled: " + std::string(line.substr(at)));
    }
    return text;
}

}  // namespace

std::string read_text(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<shown_command> markdown_sessions(std::string_view markdown)
{
    std::vector<shown_command> commands;
    std::vector<std::string> block;
    bool inside = false;
    int number = 0;
    int first = 0;
    for (const std::string_view line : lines_of(markdown)) {
        ++number;
        if (starts_with(line, "```")) {
            if (inside)
                take_block(block, first, commands);
            inside = !inside;
            block.clear();
            first = number + 1;
        } else if (inside) {
            block.emplace_back(line);
        }
    }
    return commands;
}

std::vector<shown_command> roff_sessions(std::string_view roff)
{
    std::vector<shown_command> commands;
    std::vector<std::string> block;
    bool inside = false;
    int number = 0;
    int first = 0;
    for (const std::string_view line : lines_of(roff)) {
        ++number;
        if (line == ".EX") {
            inside = true;
            block.clear();
            first = number + 1;
        } else if (line == ".EE") {
            take_block(block, first, commands);
            inside = false;
        } else if (inside) {
            block.push_back(unescape_roff(line, number));
        }
    }
    return commands;
}

temp_folder::temp_folder(const std::string& purpose)
{
    static std::atomic<int> count{0};
    path_ = fs::temp_directory_path() /
            ("vantor-" + purpose + "-" + std::to_string(::getpid()) + "-" + std::to_string(count++));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

temp_folder::~temp_folder()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string shell_quoted(const fs::path& path)
{
    std::string text = "'";
    for (const char c : path.string())
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

shell_run run_shell(const std::string& script, const fs::path& folder, const std::string& path_prefix)
{
    // The streams land outside `folder`, where the commands cannot see them.
    const temp_folder streams("shell");
    const fs::path script_file = streams.path() / "command.sh";
    const fs::path out_file = streams.path() / "out";
    const fs::path err_file = streams.path() / "err";
    std::ofstream(script_file, std::ios::binary) << script << "\n";
    std::string line = "cd " + shell_quoted(folder) + " && ";
    if (!path_prefix.empty())
        line += "PATH=" + shell_quoted(path_prefix) + ":\"$PATH\" ";
    line += "/bin/sh " + shell_quoted(script_file) + " </dev/null >" + shell_quoted(out_file) + " 2>" +
            shell_quoted(err_file);
    const int status = std::system(line.c_str());
    if (status == -1 || !WIFEXITED(status))
        throw std::runtime_error("the shell did not run: " + script);
    return {WEXITSTATUS(status), read_text(out_file), read_text(err_file)};
}

namespace {

// A script named vantor that runs the tool under test, as its runner needs.
void write_wrapper(const fs::path& folder)
{
    std::string script = "#!/bin/sh\nexec";
    for (const std::string& word : tool_under_test().command) {
        script += ' ';
        script += shell_quoted(word);
    }
    std::ofstream(folder / "vantor", std::ios::binary) << script << " \"$@\"\n";
    fs::permissions(folder / "vantor", fs::perms::owner_all);
}

}  // namespace

void expect_session(const std::vector<shown_command>& commands, const std::string& document)
{
    const temp_folder scratch("session");
    const temp_folder tool("tool");
    write_wrapper(tool.path());
    fs::copy(fs::path(SOURCE_DIR) / "examples", scratch.path() / "examples", fs::copy_options::recursive);
    for (const shown_command& shown : commands) {
        SCOPED_TRACE(document + ":" + std::to_string(shown.line) + ": $ " + shown.command);
        const shell_run run = run_shell(shown.command, scratch.path(), tool.path().string());
        // The shell's own commands print bare LFs beside the tool's lines.
        std::string out = tool_under_test().windows ? crlf_as_lf(run.out, bare_lf::kept) : run.out;
        if (!starts_with(shown.output, banner) && starts_with(out, banner))
            out.erase(0, banner.size());
        EXPECT_EQ(out, shown.output);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.status, 0) << "show a failing command's status: || echo \"exit status $?\"";
    }
}

bool installed(const std::string& program) { return run_shell("command -v " + program + " >/dev/null").status == 0; }

}  // namespace vantor::testing
