// Must not compile: the format knows nothing of the listing.
#include "listing/listing.hpp"
