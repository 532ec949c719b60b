// Times the built tool on the largest tables the format allows and prints
// wall time and peak memory for each run. Not a test: it asserts nothing.
//   vantor_bench [path/to/vantor]
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/dat_builder.hpp"

namespace {

using vantor::testing::dat_layout;
using vantor::testing::desc_row;

constexpr std::uint16_t largest = 65535;  // descriptors in the largest table

// Variable 1 of structure 2 whose chain holds every other descriptor as a
// 2-byte member: ids 3 to 65535, the last one at the end of the chain.
dat_layout flat_chain()
{
    dat_layout layout;
    const std::uint32_t members = largest - 2;
    layout.descriptors = {{5, 1, 2, 2 * members, 0}, {2, 2, 3, 2 * members, 0}};
    for (std::uint32_t i = 0; i < members; ++i) {
        const auto id = static_cast<std::uint16_t>(3 + i);
        const auto next = static_cast<std::uint16_t>(i + 1 < members ? id + 1 : 0);
        layout.descriptors.push_back({1, id, next, 2, 2 * i});
    }
    layout.data.assign(2 * members, 0);
    return layout;
}

// The first descriptor starts a chain of 65,535 one-byte members, ids 1 to
// 65,535 in chain order: the path "65535" names the last.
dat_layout member_chain()
{
    dat_layout layout;
    for (std::uint32_t id = 1; id <= largest; ++id)
        layout.descriptors.push_back(
            {1, static_cast<std::uint16_t>(id), static_cast<std::uint16_t>(id < largest ? id + 1 : 0), 1, id - 1});
    layout.data.assign(largest, 0);
    return layout;
}

// Structure types nested 32,767 deep: type k holds member k+1 of type k+2.
dat_layout deep_nesting()
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 2, 4, 0}};
    for (std::uint32_t type = 2; type + 1 <= largest; type += 2) {
        const bool innermost = type + 1 == largest;
        layout.descriptors.push_back({2, static_cast<std::uint16_t>(type), static_cast<std::uint16_t>(type + 1), 4, 0});
        layout.descriptors.push_back({1, static_cast<std::uint16_t>(type + 1),
                                      static_cast<std::uint16_t>(innermost ? 0 : type + 2), innermost ? 4u : 0u, 0});
    }
    layout.data.assign(4, 0);
    return layout;
}

// One member chain that links back to its start, shared by every type.
dat_layout looping_chain()
{
    dat_layout layout = flat_chain();
    layout.descriptors.back().next = 3;
    return layout;
}

// A structure that contains itself through member 10, named 33,333 deep.
dat_layout self_containing()
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 2, 4, 0}, {2, 2, 10, 4, 0}, {1, 10, 2, 11, 0}, {1, 11, 0, 4, 0}};
    layout.data.assign(4, 0);
    return layout;
}

std::string deep_path()
{
    std::string path = "1";
    while (path.size() < 100'000)
        path += ".10";
    return path + ".11";
}

// Types that all share one member chain, each member typed with the next
// type: every type's declaration holds the whole chain, so the text grows
// with the square of the count.
dat_layout shared_chain(std::uint16_t types)
{
    dat_layout layout;
    layout.descriptors = {{5, 1, 2, 4, 0}};
    const auto member = [](std::uint32_t k) { return static_cast<std::uint16_t>(2 * k + 3); };
    for (std::uint32_t k = 0; k < types; ++k) {
        const auto type = static_cast<std::uint16_t>(2 * k + 2);
        const bool last = k + 1 == types;
        layout.descriptors.push_back({2, type, member(0), 4, 0});
        layout.descriptors.push_back(
            {1, member(k), static_cast<std::uint16_t>(last ? 2 : type + 2), last ? 0u : member(k + 1), 0});
    }
    layout.data.assign(4, 0);
    return layout;
}

struct measurement {
    double seconds;
    long peak_kib;
    int status;
};

measurement run(const std::string& tool, const std::vector<std::string>& args)
{
    std::vector<char*> argv{const_cast<char*>(tool.c_str())};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::execv(tool.c_str(), argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

void report(const char* what, const std::string& tool, const std::vector<std::string>& args, int repeats = 5)
{
    measurement best{1e9, 0, 0};
    for (int i = 0; i < repeats; ++i) {
        const measurement m = run(tool, args);
        if (m.seconds < best.seconds)
            best = m;
    }
    std::printf("%-52s %8.1f ms %8ld KiB  exit %d\n", what, best.seconds * 1e3, best.peak_kib, best.status);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string tool = argc > 1 ? argv[1] : VANTOR_EXE;
    const auto dir = std::filesystem::temp_directory_path() / ("vantor-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string flat = (dir / "flat.dat").string();
    const std::string deep = (dir / "deep.dat").string();
    const std::string loop = (dir / "loop.dat").string();
    const std::string self = (dir / "self.dat").string();
    const std::string members = (dir / "members.dat").string();
    const std::string shared = (dir / "shared.dat").string();
    vantor::testing::write_file(flat, vantor::testing::build_dat(flat_chain()));
    vantor::testing::write_file(deep, vantor::testing::build_dat(deep_nesting()));
    vantor::testing::write_file(loop, vantor::testing::build_dat(looping_chain()));
    vantor::testing::write_file(self, vantor::testing::build_dat(self_containing()));
    vantor::testing::write_file(members, vantor::testing::build_dat(member_chain()));
    vantor::testing::write_file(shared, vantor::testing::build_dat(shared_chain(4096)));

    std::printf("best of 5 runs of %s, output to /dev/null\n", tool.c_str());
    report("banner and usage only", tool, {});
    report("list 65,535 descriptors, one chain", tool, {flat});
    report("list 65,535 descriptors, types nested 32,767 deep", tool, {deep});
    report("list 65,535 descriptors, one chain that loops", tool, {loop});
    report("read the last member of a 65,533-member chain", tool, {flat, "1.65535"});
    report("write the last member of a 65,533-member chain", tool, {flat, "1.65535=7"});
    report("read the last member of a 65,535-member chain", tool, {members, "65535"});
    report("write the last member of a 65,535-member chain", tool, {members, "65535=7"});
    report("read 33,333 levels deep in a self-containing type", tool, {self, deep_path()});
    report("list 4,096 types sharing one chain (16.8M lines)", tool, {shared}, 1);
    std::filesystem::remove_all(dir);
    return 0;
}
