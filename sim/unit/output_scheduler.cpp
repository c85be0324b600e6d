#include "unit/output_scheduler.h"

#include <algorithm>

namespace vqx::sim {

namespace {
constexpr uint64_t kNsPerMs = 1'000'000;
constexpr uint64_t kBitsPerByte = 10;  // start, 8 data, stop
}  // namespace

void OutputScheduler::Configure(uint32_t splitDelayMs, uint32_t baud) {
  splitDelayMs_ = splitDelayMs;
  byteNs_ = baud == 0 ? 0 : kBitsPerByte * 1'000'000'000ULL / baud;
}

void OutputScheduler::Emit(std::string_view bytes, SimMs atMs) {
  for (char c : bytes) {
    uint64_t startNs = std::max(atMs * kNsPerMs, lineFreeNs_);
    if (splitDelayMs_ > 0 && lastDueMs_) {
      startNs = std::max(startNs, (*lastDueMs_ + splitDelayMs_) * kNsPerMs);
    }
    // A byte is there for the host once its stop bit has gone out.
    const uint64_t endNs = startNs + byteNs_;
    const SimMs due = (endNs + kNsPerMs - 1) / kNsPerMs;
    lineFreeNs_ = endNs;
    lastDueMs_ = due;
    queue_.push_back({static_cast<uint8_t>(c), due});
  }
}

std::optional<SimMs> OutputScheduler::NextDue() const {
  if (queue_.empty()) return std::nullopt;
  return queue_.front().dueMs;
}

std::string OutputScheduler::TakeDue(SimMs nowMs) {
  std::string out;
  while (!queue_.empty() && queue_.front().dueMs <= nowMs) {
    out.push_back(static_cast<char>(queue_.front().byte));
    queue_.pop_front();
  }
  return out;
}

}  // namespace vqx::sim
