#pragma once

#include <cstdint>

namespace vqx {

// A 32-bit millisecond counter that wraps; users compare unsigned differences only.
class IClock {
 public:
  virtual ~IClock() = default;
  virtual uint32_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// Unsigned difference now - then, immune to the counter's wrap-around.
inline uint32_t ElapsedMs(uint32_t now, uint32_t then) { return now - then; }

// Calendar time, for the names of the communication log files.
class IWallClock {
 public:
  virtual ~IWallClock() = default;
  // Seconds since 1970-01-01 00:00:00 UTC.
  virtual int64_t UtcSecondsNow() = 0;
};

}  // namespace vqx
