#pragma once

#include <cstdint>

#include "port/clock.h"
#include "posix/syscalls.h"

namespace vqx::posix {

// Calendar time from CLOCK_REALTIME.
class RealtimeClock final : public IWallClock {
 public:
  explicit RealtimeClock(SysCalls& sys = RealSysCalls()) : sys_(sys) {}
  int64_t UtcSecondsNow() override;

 private:
  SysCalls& sys_;
};

}  // namespace vqx::posix
