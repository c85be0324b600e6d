#include "unit/escape_detector.h"

namespace vqx::sim {

void EscapeDetector::Reset(SimMs sinceMs) {
  lastRxMs_ = sinceMs;
  plusCount_ = 0;
}

void EscapeDetector::OnByte(uint8_t byte, SimMs atMs) {
  // A byte the line held back may be dated before the last one heard: never a quiet gap.
  if (lastRxMs_ && atMs < *lastRxMs_) atMs = *lastRxMs_;
  const bool quietBefore = !lastRxMs_ || atMs - *lastRxMs_ >= guardMs_;
  if (byte != '+') {
    plusCount_ = 0;
  } else if (plusCount_ == 1 || plusCount_ == 2) {
    plusCount_ = quietBefore ? 1 : plusCount_ + 1;
  } else {
    // A first '+', or a fourth one, which makes the run ordinary traffic.
    plusCount_ = quietBefore ? 1 : 0;
  }
  lastRxMs_ = atMs;
}

bool EscapeDetector::Due(SimMs nowMs) const {
  return plusCount_ == 3 && lastRxMs_ && nowMs - *lastRxMs_ >= guardMs_;
}

}  // namespace vqx::sim
