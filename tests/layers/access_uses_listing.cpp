// Must not compile: item access knows nothing of the listing.
#include "listing/declarations.hpp"
