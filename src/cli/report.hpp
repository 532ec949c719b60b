// The front end's one way to say what failed: a message a failure, the
// same in every mode.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "datfile/journal.hpp"
#include "datfile/result.hpp"

namespace vantor {

// What a run's messages name: the file as typed and, in the item modes, the
// operation and the path.
struct subject {
    const char* file;
    const char* operation = nullptr;  // none in the listing
    std::string path = {};
    // A change of many values says why an assignment fails, and shows its
    // value where that is the reason.
    bool with_reason = false;
    std::string_view value = {};
};

// Prints the message of `error` and returns the failure status, -1.
int report(std::FILE* out, const failure& error, const subject& about);

// Opens the run's file before anything else is printed, so that what it
// found beside the file and mended comes first, as a comment line.
result<mended_file> open_first(const char* file_name, open_for use, std::FILE* out);

}  // namespace vantor
