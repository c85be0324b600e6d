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

}  // namespace vqx
