#include "support/capture.hpp"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/dat_builder.hpp"

namespace vantor::testing {

namespace {

constexpr int cannot_drop = 125;  // exit status of a child that could not drop privileges

std::string read_stream(std::FILE* file)
{
    std::string text;
    std::rewind(file);
    char chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        text.append(chunk, got);
    return text;
}

std::string read_text(const std::string& path)
{
    const std::vector<unsigned char> bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

void redirect(int fd, const std::string& path, int flags)
{
    const int opened = ::open(path.c_str(), flags, 0600);
    if (opened < 0 || ::dup2(opened, fd) < 0)
        ::_exit(126);
    ::close(opened);
}

std::optional<tool_run> run(const std::vector<std::string>& args, bool unprivileged)
{
    const auto scratch = std::filesystem::temp_directory_path();
    const std::string stem = "vantor-run-" + std::to_string(::getpid());
    const std::string out_path = (scratch / (stem + ".out")).string();
    const std::string err_path = (scratch / (stem + ".err")).string();

    std::vector<char*> argv{const_cast<char*>(VANTOR_EXE)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("cannot fork");
    if (pid == 0) {
        redirect(0, "/dev/null", O_RDONLY);
        redirect(1, out_path, O_WRONLY | O_CREAT | O_TRUNC);
        redirect(2, err_path, O_WRONLY | O_CREAT | O_TRUNC);
        if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(cannot_drop);
        ::execv(VANTOR_EXE, argv.data());
        ::_exit(unprivileged ? cannot_drop : 127);
    }
    int wait_status = 0;
    ::waitpid(pid, &wait_status, 0);
    if (!WIFEXITED(wait_status))
        throw std::runtime_error("the tool did not exit normally (signal " + std::to_string(WTERMSIG(wait_status)) +
                                 ")");
    tool_run result{WEXITSTATUS(wait_status), read_text(out_path), read_text(err_path)};
    std::filesystem::remove(out_path);
    std::filesystem::remove(err_path);
    if (unprivileged && result.status == cannot_drop)
        return std::nullopt;
    return result;
}

}  // namespace

std::string capture_output(const std::function<void(std::FILE*)>& print)
{
    std::FILE* file = std::tmpfile();
    if (!file)
        throw std::runtime_error("no scratch stream");
    print(file);
    std::string text = read_stream(file);
    std::fclose(file);
    return text;
}

tool_run run_tool(const std::vector<std::string>& args) { return *run(args, false); }

std::optional<tool_run> run_tool_unprivileged(const std::vector<std::string>& args) { return run(args, true); }

}  // namespace vantor::testing
