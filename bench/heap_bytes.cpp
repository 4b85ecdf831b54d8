#include "bench/heap_bytes.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace quellix::bench {
namespace {

std::atomic<long> allocations{0};
std::atomic<std::size_t> heap_bytes{0};

void* Allocate(std::size_t size) {
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  allocations.fetch_add(1, std::memory_order_relaxed);
  heap_bytes.fetch_add(malloc_usable_size(block), std::memory_order_relaxed);
  return block;
}

void Free(void* block) noexcept {
  if (block == nullptr) return;
  heap_bytes.fetch_sub(malloc_usable_size(block), std::memory_order_relaxed);
  std::free(block);
}

}  // namespace

long AllocationsMade() { return allocations.load(); }
std::size_t HeapBytesInUse() { return heap_bytes.load(); }

}  // namespace quellix::bench

// GCC takes the malloc inside a replaced operator new for a mismatch.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
// Aligned forms are left to the library: nothing measured asks for
// over-aligned memory.
void* operator new(std::size_t size) { return quellix::bench::Allocate(size); }
void* operator new[](std::size_t size) { return quellix::bench::Allocate(size); }
void operator delete(void* block) noexcept { quellix::bench::Free(block); }
void operator delete[](void* block) noexcept { quellix::bench::Free(block); }
void operator delete(void* block, std::size_t) noexcept { quellix::bench::Free(block); }
void operator delete[](void* block, std::size_t) noexcept { quellix::bench::Free(block); }
