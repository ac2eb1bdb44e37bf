// Heap allocations of the whole process, counted by the benchmark binary's
// own global allocation functions (alloc_count.cpp). The host library and
// the plugin loaded at run time allocate through them as well.
#pragma once

#include <cstdint>

namespace bench {

uint64_t allocationCount();

} // namespace bench
