#include "support/files.hpp"

#include <atomic>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <unistd.h>

namespace vantor::testing {

namespace fs = std::filesystem;

temp_folder::temp_folder()
{
    static std::atomic<unsigned> counter{0};
    const fs::path path = fs::temp_directory_path() /
                          ("vantor-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    fs::remove_all(path);
    fs::create_directory(path);
    path_.reset(new fs::path(path));
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
}

void temp_folder::remover::operator()(const fs::path* path) const
{
    std::error_code ignored;
    fs::remove_all(*path, ignored);
    delete path;
}

std::string temp_folder::operator/(std::string_view name) const { return (*path_ / name).string(); }

temp_file::temp_file(const std::vector<unsigned char>& bytes, const std::string& suffix) : path_(folder_ / ("data" + suffix))
{
    write_file(path_, bytes);
}

std::vector<unsigned char> temp_file::bytes() const { return read_file(path_); }

std::vector<unsigned char> read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string read_text(const std::string& path)
{
    const std::vector<unsigned char> bytes = read_file(path);
    return {bytes.begin(), bytes.end()};
}

void write_file(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace vantor::testing
