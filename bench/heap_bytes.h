// The bench's own count of what operator new hands out, kept by its
// replacement of the global allocation functions: whether a step allocates at
// all, and what a structure costs (the change of the bytes in use across
// building it).
#pragma once

#include <cstddef>

namespace quellix::bench {

// Allocations made since the process started.
long AllocationsMade();
// Bytes held now (as the allocator sized the blocks).
std::size_t HeapBytesInUse();

}  // namespace quellix::bench
