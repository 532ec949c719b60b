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

TEST(man_page, examples_print_what_is_shown)
{
    const std::vector<shown_command> commands = roff_sessions(read_text(page));
    ASSERT_FALSE(commands.empty()) << "no \"$ \" lines in the .EX blocks";
    expect_session(commands, "doc/vantor.1");
}

}  // namespace
}  // namespace vantor::testing
