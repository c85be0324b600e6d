#pragma once

#include <cstdint>

#include "port/clock.h"

namespace vqx::win32 {

// Calendar time from GetSystemTimeAsFileTime (UTC).
class SystemTimeClock final : public IWallClock {
 public:
  int64_t UtcSecondsNow() override;
};

// 100-nanosecond intervals since 1601-01-01 (a FILETIME) as seconds since 1970-01-01.
int64_t UnixSecondsFromFileTime(uint64_t fileTime);

}  // namespace vqx::win32
