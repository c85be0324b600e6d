#pragma once

#include <cstdint>

#include "port/clock.h"
#include "posix/syscalls.h"

namespace vqx::posix {

// Milliseconds of CLOCK_MONOTONIC, wrapping at 32 bits; immune to wall-clock changes.
class MonotonicClock final : public IClock {
 public:
  explicit MonotonicClock(SysCalls& sys = RealSysCalls()) : sys_(sys) {}
  uint32_t NowMs() override;
  // Sleeps the whole time even when signals interrupt it.
  void SleepMs(uint32_t ms) override;

 private:
  SysCalls& sys_;
};

}  // namespace vqx::posix
