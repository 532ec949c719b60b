#include "docs/session.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

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
void take_block(const std::vector<std::string>& block, int first_line, std::vector<shown_block>& out)
{
    if (block.empty() || !starts_with(block.front(), "$ "))
        return;
    shown_block& taken = out.emplace_back(shown_block{first_line, {}});
    for (std::size_t i = 0; i < block.size(); ++i) {
        if (starts_with(block[i], "$ "))
            taken.commands.push_back({first_line + static_cast<int>(i), block[i].substr(2), ""});
        else
            taken.commands.back().output += block[i] + "\n";
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

namespace {

// The "$ " blocks of `text` between a line that `opens` one and a line that
// `closes` it, each line as `line_text` gives it.
std::vector<shown_block> sessions(std::string_view text, bool (*opens)(std::string_view),
                                  bool (*closes)(std::string_view), std::string (*line_text)(std::string_view, int))
{
    std::vector<shown_block> commands;
    std::vector<std::string> block;
    bool inside = false;
    int number = 0;
    for (const std::string_view line : lines_of(text)) {
        ++number;
        if (!inside && opens(line)) {
            inside = true;
            block.clear();
        } else if (inside && closes(line)) {
            take_block(block, number - static_cast<int>(block.size()), commands);
            inside = false;
        } else if (inside) {
            block.push_back(line_text(line, number));
        }
    }
    return commands;
}

bool fence(std::string_view line) { return starts_with(line, "```"); }

std::string as_is(std::string_view line, int) { return std::string(line); }

}  // namespace

std::vector<shown_block> markdown_sessions(std::string_view markdown)
{
    return sessions(markdown, fence, fence, as_is);
}

std::vector<shown_block> roff_sessions(std::string_view roff)
{
    return sessions(
        roff, [](std::string_view line) { return line == ".EX"; }, [](std::string_view line) { return line == ".EE"; },
        unescape_roff);
}

std::string shell_quoted(const fs::path& path)
{
    std::string text = "'";
    for (const char c : path.string())
        text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

tool_run run_shell(const std::string& script, const fs::path& folder, const std::string& path_prefix)
{
    run_setup setup;
    setup.folder = folder;
    setup.path_prefix = path_prefix;
    return run({"/bin/sh", "-c", script}, setup);
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

std::string block_name(const shown_block& block) { return "line_" + std::to_string(block.line); }

void expect_session(const shown_block& block, const std::string& document)
{
    const temp_folder scratch;
    const temp_folder tool;
    write_wrapper(tool.path());
    fs::copy(fs::path(SOURCE_DIR) / "examples", scratch.path() / "examples", fs::copy_options::recursive);
    for (const shown_command& shown : block.commands) {
        SCOPED_TRACE(document + ":" + std::to_string(shown.line) + ": $ " + shown.command);
        const tool_run run = run_shell(shown.command, scratch.path(), tool.path().string());
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
