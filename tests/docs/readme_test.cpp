#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "docs/session.hpp"

namespace vantor::testing {
namespace {

const std::string readme_path = std::string(SOURCE_DIR) + "/README.md";

class readme_blocks : public ::testing::TestWithParam<shown_block> {};

TEST_P(readme_blocks, print_what_is_shown)
{
    expect_session(GetParam(), "README.md");
}

INSTANTIATE_TEST_SUITE_P(readme, readme_blocks, ::testing::ValuesIn(markdown_sessions(read_text(readme_path))),
                         [](const auto& info) { return block_name(info.param); });

TEST(readme, shows_commands)
{
    EXPECT_FALSE(markdown_sessions(read_text(readme_path)).empty()) << "no \"$ \" block found";
}

// The command lines of the first ```sh block after the Quick start heading.
std::vector<std::string> quick_start(const std::string& readme)
{
    const std::size_t section = readme.find("\n## Quick start\n");
    const std::size_t open = readme.find("\n```sh\n", section);
    const std::size_t close = readme.find("\n```\n", open + 1);
    if (section == std::string::npos || open == std::string::npos || close == std::string::npos)
        return {};
    std::vector<std::string> lines;
    std::size_t at = open + 7;
    while (at <= close) {
        const std::size_t end = readme.find('\n', at);
        lines.push_back(readme.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

TEST(readme, ci_runs_the_quick_start_test_line_as_written)
{
    const std::vector<std::string> lines = quick_start(read_text(readme_path));
    ASSERT_EQ(lines.size(), 2u) << "the Quick start keeps exactly two command lines";
    std::istringstream ci(read_text(std::string(SOURCE_DIR) + "/.ci/run"));
    bool found = false;
    for (std::string line; std::getline(ci, line);)
        found = found || line == lines[1];
    EXPECT_TRUE(found) << lines[1];
}

}  // namespace
}  // namespace vantor::testing
