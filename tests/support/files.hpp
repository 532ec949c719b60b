// Scratch places for the tests, the runner and the benchmark, and whole-file
// reads and writes.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vantor::testing {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the last owner lets it go. Anyone may enter it, so that a
// child that dropped its privileges still reaches the files it is given.
class temp_folder {
public:
    temp_folder();

    const std::filesystem::path& path() const { return *path_; }
    // The path of `name` inside the folder.
    std::string operator/(std::string_view name) const;

private:
    struct remover {
        void operator()(const std::filesystem::path* path) const;
    };
    std::unique_ptr<const std::filesystem::path, remover> path_;
};

// A file of `bytes` in a folder of its own, removed with the object.
class temp_file {
public:
    explicit temp_file(const std::vector<unsigned char>& bytes, const std::string& suffix = ".dat");

    const std::string& path() const { return path_; }
    const std::filesystem::path& folder() const { return folder_.path(); }
    std::vector<unsigned char> bytes() const;

private:
    temp_folder folder_;
    std::string path_;
};

std::vector<unsigned char> read_file(const std::string& path);
std::string read_text(const std::string& path);
void write_file(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace vantor::testing
