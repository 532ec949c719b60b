// Must not compile: the platform layer knows nothing of the format.
#include "datfile/format.hpp"
