#include "cli/command_line.hpp"

#include <string_view>

namespace vantor {

command read_command_line(int argc, const char* const* argv)
{
    using mode = command::mode;
    if (argc <= 1)
        return {};
    const std::string_view first = argv[1];
    const auto after = [&](int from) { return std::span<const char* const>(argv + from, argv + argc); };
    if (first == "--help" && argc == 2)
        return {mode::help};
    if (first == "--version" && argc == 2)
        return {mode::version};
    if (first == "--values" && argc >= 3)
        return {mode::values, argv[2], nullptr, nullptr, after(3)};
    if (first == "--set" && argc == 4 && std::string_view(argv[3]) == "-")
        return {mode::set_input, argv[2]};
    if (first == "--set" && argc >= 4)
        return {mode::set, argv[2], nullptr, nullptr, after(3)};
    if (first == "--diff" && argc >= 4)
        return {mode::diff, argv[2], argv[3], nullptr, after(4)};
    if (first == "--help" || first == "--version" || first == "--values" || first == "--set" || first == "--diff")
        return {mode::misused};
    if (argc == 2)
        return {mode::listing, argv[1]};
    return {mode::item, argv[1], nullptr, argv[2]};
}

}  // namespace vantor
