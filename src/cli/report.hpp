// The front end's one way to say what failed: a message a failure, the
// same in every mode.
#pragma once

#include <cstdio>
#include <string>

#include "datfile/result.hpp"

namespace vantor {

// What a run's messages name: the file as typed and, in the item modes, the
// operation and the path.
struct subject {
    const char* file;
    const char* operation = nullptr;  // none in the listing
    std::string path = {};
};

// Prints the message of `error` and returns the failure status, -1.
int report(std::FILE* out, const failure& error, const subject& about);

}  // namespace vantor
