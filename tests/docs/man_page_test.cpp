#include <gtest/gtest.h>

#include <string>

#include "docs/session.hpp"

namespace vantor::testing {
namespace {

const std::string page = std::string(SOURCE_DIR) + "/doc/vantor.1";

TEST(man_page, groff_prints_no_warning)
{
    if (!installed("groff"))
        GTEST_SKIP() << "groff is not installed";
    const tool_run run = run_shell("groff -ww -z -man " + shell_quoted(page));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 0);
}

TEST(man_page, man_renders_every_section)
{
    if (!installed("man"))
        GTEST_SKIP() << "man is not installed";
    const tool_run run = run_shell("LC_ALL=C MANWIDTH=80 man -l " + shell_quoted(page));
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("VANTOR(1)", 0), 0u) << run.out.substr(0, 80);
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "ITEM PATHS", "VALUES", "OUTPUT", "DIAGNOSTICS",
                                "EXIT STATUS", "FILES", "EXAMPLES", "NOTES"})
        EXPECT_NE(run.out.find(std::string("\n") + section + "\n"), std::string::npos) << section;
}

// The examples as replayed here, where the installed example is the source
// tree's.
std::vector<shown_block> examples()
{
    const std::string installed = "/usr/share/doc/vantor/examples/";
    std::vector<shown_block> blocks = roff_sessions(read_text(page));
    for (shown_block& block : blocks)
        for (shown_command& shown : block.commands)
            for (std::size_t at; (at = shown.command.find(installed)) != std::string::npos;)
                shown.command.replace(at, installed.size(), "examples/");
    return blocks;
}

class man_page_examples : public ::testing::TestWithParam<shown_block> {};

TEST_P(man_page_examples, print_what_is_shown)
{
    expect_session(GetParam(), "doc/vantor.1");
}

INSTANTIATE_TEST_SUITE_P(man_page, man_page_examples, ::testing::ValuesIn(examples()),
                         [](const auto& info) { return block_name(info.param); });

TEST(man_page, shows_examples)
{
    EXPECT_FALSE(examples().empty()) << "no \"$ \" lines in the .EX blocks";
}

}  // namespace
}  // namespace vantor::testing
