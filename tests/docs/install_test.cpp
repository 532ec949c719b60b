#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "docs/session.hpp"

namespace vantor::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> files_under(const fs::path& root)
{
    std::vector<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (!entry.is_directory())
            files.push_back(fs::relative(entry.path(), root).generic_string());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(install, puts_the_tool_its_page_and_its_documents_under_the_prefix)
{
    const temp_folder prefix;
    const tool_run install = run_shell(shell_quoted(CMAKE_COMMAND) + " --install " + shell_quoted(BINARY_DIR) +
                                        " --prefix " + shell_quoted(prefix.path()));
    ASSERT_EQ(install.status, 0) << install.out << install.err;

    const fs::path doc = prefix.path() / "share/doc/vantor";
    const std::vector<std::string> expected{
        "bin/vantor",
        "share/doc/vantor/CHANGELOG.md",
        "share/doc/vantor/README.md",
        "share/doc/vantor/copyright",
        "share/doc/vantor/examples/sample.dat",
        "share/man/man1/vantor.1",
    };
    EXPECT_EQ(files_under(prefix.path()), expected);

    const std::string source = SOURCE_DIR;
    EXPECT_EQ(read_text(prefix.path() / "share/man/man1/vantor.1"), read_text(source + "/doc/vantor.1"));
    EXPECT_EQ(read_text(doc / "copyright"), read_text(source + "/packaging/copyright"));
    EXPECT_EQ(read_text(doc / "examples/sample.dat"), read_text(source + "/examples/sample.dat"));

    // The installed tool, on the installed example, does what the built one does.
    const std::string example = shell_quoted(doc / "examples/sample.dat");
    const std::string installed_tool = shell_quoted(prefix.path() / "bin/vantor");
    const std::string built_tool = shell_quoted(fs::path(VANTOR_DIR) / "vantor");
    for (const std::string& args : {example, example + " t1.4.52"}) {
        const tool_run installed = run_shell(installed_tool + " " + args);
        EXPECT_EQ(installed.status, 0) << args;
        EXPECT_EQ(installed.out, run_shell(built_tool + " " + args).out) << args;
    }
}

// The version of the build, the manual page, the changelog and the banner.
TEST(install, one_version_everywhere)
{
    const std::string version = PROJECT_VERSION;
    const std::string source = SOURCE_DIR;
    EXPECT_NE(read_text(source + "/doc/vantor.1").find("\"Vantor " + version + "\""), std::string::npos);
    const std::string changelog = read_text(source + "/CHANGELOG.md");
    const std::size_t latest = changelog.find("\n## ");
    ASSERT_NE(latest, std::string::npos) << "no release in CHANGELOG.md";
    EXPECT_EQ(changelog.substr(latest + 4, version.size() + 3), version + " - ");

    int major = 0;
    int minor = 0;
    ASSERT_EQ(std::sscanf(version.c_str(), "%d.%d", &major, &minor), 2);
    char banner_version[32];
    std::snprintf(banner_version, sizeof banner_version, " * Vantor v%02d.%02d", major, minor);
    const tool_run usage = run_shell(shell_quoted(fs::path(VANTOR_DIR) / "vantor"));
    EXPECT_NE(usage.out.find(banner_version), std::string::npos) << usage.out;
}

}  // namespace
}  // namespace vantor::testing
