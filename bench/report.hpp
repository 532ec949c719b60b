// The benchmark's figures as markdown tables, ready for the README.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "measure.hpp"
#include "shapes.hpp"

namespace vantor::bench {

struct measured_file {
    std::string_view shape;
    bool scales = false;
    std::uint32_t descriptors = 0;
    std::uintmax_t file_bytes = 0;
    series listing, read, write, xxd, cat;
    std::optional<output_size> output;
};

struct report_setup {
    std::string command_line;
    std::string machine;
    run_limits limits;
    // Of the tool run without arguments: the floor under every mode.
    long bare_peak_kib = 0;
};

void print_report(std::FILE* out, const std::vector<measured_file>& files, std::span<const shape> shapes,
                  const report_setup& setup);

}  // namespace vantor::bench
