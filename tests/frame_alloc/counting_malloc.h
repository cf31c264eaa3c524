// Counts every heap allocation of the process (the C library's malloc
// family, which operator new and the shared libraries use too).
#pragma once

#include <cstddef>

namespace countingmalloc {
size_t Allocations();
}
