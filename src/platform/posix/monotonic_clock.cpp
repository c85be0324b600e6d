#include "posix/monotonic_clock.h"

#include <cerrno>

namespace vqx::posix {

uint32_t MonotonicClock::NowMs() {
  timespec now{};
  sys_.ClockGetTime(CLOCK_MONOTONIC, &now);
  const uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000U +
                      static_cast<uint64_t>(now.tv_nsec) / 1000000U;
  return static_cast<uint32_t>(ms);  // modulo 2^32: callers compare differences only
}

void MonotonicClock::SleepMs(uint32_t ms) {
  timespec request{};
  request.tv_sec = static_cast<time_t>(ms / 1000U);
  request.tv_nsec = static_cast<long>(ms % 1000U) * 1000000L;
  timespec remaining{};
  while (sys_.NanoSleep(&request, &remaining) != 0 && errno == EINTR) {
    request = remaining;
  }
}

}  // namespace vqx::posix
