#pragma once

#include <cstdint>

#include "port/clock.h"
#include "win32/win32_calls.h"

namespace vqx::win32 {

// Milliseconds of GetTickCount64, cut to the link's 32-bit counter (it wraps every 49.7
// days; users compare differences only). Immune to wall-clock changes.
class TickClock final : public IClock {
 public:
  explicit TickClock(Win32Calls& calls = RealWin32Calls()) : calls_(calls) {}
  uint32_t NowMs() override { return static_cast<uint32_t>(calls_.TickCount()); }
  void SleepMs(uint32_t ms) override { calls_.SleepMs(ms); }

 private:
  Win32Calls& calls_;
};

}  // namespace vqx::win32
