#pragma once

// Counts every heap allocation in the process, and the bytes held: now and at their peak
// since the last ResetPeak(). Replaces the global operator new, so include it in exactly
// one file of a test binary of its own.

#include <malloc.h>

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace vqx::testing {

// The size of a block as malloc keeps it: the C library's own call on each platform.
#ifdef _WIN32
inline std::size_t UsableSize(void* p) { return ::_msize(p); }
#else
inline std::size_t UsableSize(void* p) { return ::malloc_usable_size(p); }
#endif

inline std::atomic<long> allocationCount{0};
inline std::atomic<long long> bytesHeld{0};
inline std::atomic<long long> peakBytesHeld{0};

// The peak from now on starts at what is held now.
inline void ResetPeak() { peakBytesHeld.store(bytesHeld.load()); }
// The most held since ResetPeak() beyond heldAtReset, what was held then.
inline long long PeakGrowthSince(long long heldAtReset) { return peakBytesHeld.load() - heldAtReset; }

// What malloc gave, as delete will give it back: counted without a header of our own.
inline void CountHeld(void* p, long long sign) {
  const long long change = sign * static_cast<long long>(UsableSize(p));
  const long long held = bytesHeld.fetch_add(change) + change;
  long long peak = peakBytesHeld.load();
  while (held > peak && !peakBytesHeld.compare_exchange_weak(peak, held)) {
  }
}
}  // namespace vqx::testing

void* operator new(std::size_t size) {
  vqx::testing::allocationCount.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) {
    vqx::testing::CountHeld(p, 1);
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
  if (p != nullptr) vqx::testing::CountHeld(p, -1);
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  if (p != nullptr) vqx::testing::CountHeld(p, -1);
  std::free(p);
}
