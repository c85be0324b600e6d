#include "posix/realtime_clock.h"

namespace vqx::posix {

int64_t RealtimeClock::UtcSecondsNow() {
  timespec now{};
  if (sys_.ClockGetTime(CLOCK_REALTIME, &now) != 0) return 0;
  return static_cast<int64_t>(now.tv_sec);
}

}  // namespace vqx::posix
