#pragma once

// Counts every heap allocation in the process. Replaces the global operator new, so
// include it in exactly one file of a test binary of its own.

#include <atomic>
#include <cstdlib>
#include <new>

namespace vqx::testing {
inline std::atomic<long> allocationCount{0};
}

void* operator new(std::size_t size) {
  vqx::testing::allocationCount.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
