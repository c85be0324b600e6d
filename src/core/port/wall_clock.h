#pragma once

#include <cstdint>

namespace vqx {

// Calendar time, for the names of the communication log files.
class IWallClock {
 public:
  virtual ~IWallClock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual int64_t UtcSecondsNow() = 0;
};

}  // namespace vqx
