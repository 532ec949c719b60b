#pragma once

#include "support/dat_builder.hpp"

namespace vantor::testing {

// The layout of examples/sample.dat: variable 1 holds a version word, video
// settings (3, with the speed limit 33), vehicle data (4, with the 17-byte
// VIN 52), an array of three trip records (5) and a union (6), with gaps.
dat_layout sample_layout();

}  // namespace vantor::testing
