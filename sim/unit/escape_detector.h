#pragma once

#include <cstdint>
#include <optional>

#include "unit/sim_config.h"

namespace vqx::sim {

// Recognises the "+++" escape in transparent traffic: the line must have been
// quiet for the guard time before the first '+' and after the third, and the
// three must follow each other within the guard time.
class EscapeDetector {
 public:
  explicit EscapeDetector(uint32_t guardMs) : guardMs_(guardMs) {}

  // The line counts as quiet from `sinceMs` on (power-up).
  void Reset(SimMs sinceMs);
  void OnByte(uint8_t byte, SimMs atMs);
  // True once the guard time after a valid "+++" has passed without traffic.
  bool Due(SimMs nowMs) const;
  // A valid "+++" was the last thing heard: only the quiet time after it is missing.
  bool Armed() const { return plusCount_ == 3; }

 private:
  uint32_t guardMs_;
  std::optional<SimMs> lastRxMs_;
  int plusCount_ = 0;
};

}  // namespace vqx::sim
