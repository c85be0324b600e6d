#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

#include "unit/sim_config.h"

namespace vqx::sim {

struct TimedByte {
  uint8_t byte;
  SimMs dueMs;  // earliest time the byte may reach the host
};

// The unit's transmitter: gives every output byte the time it can reach the
// host, so byte-wise splitting and the serial line's own speed can be modelled.
class OutputScheduler {
 public:
  // splitDelayMs: minimum gap between two bytes; baud: 0 = unlimited speed.
  void Configure(uint32_t splitDelayMs, uint32_t baud);
  void Emit(std::string_view bytes, SimMs atMs);
  std::optional<SimMs> NextDue() const;
  std::string TakeDue(SimMs nowMs);
  const std::deque<TimedByte>& Pending() const { return queue_; }

 private:
  std::deque<TimedByte> queue_;
  uint32_t splitDelayMs_ = 0;
  uint64_t byteNs_ = 0;
  uint64_t lineFreeNs_ = 0;  // when the transmitter finishes the last queued byte
  std::optional<SimMs> lastDueMs_;
};

}  // namespace vqx::sim
