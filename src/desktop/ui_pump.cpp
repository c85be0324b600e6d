#include "ui_pump.h"

#include <algorithm>

namespace vqx::desktop {

UiPump::UiPump(UiCallQueue& queue, std::chrono::milliseconds appendInterval)
    : queue_(queue), waker_([this] { DrainNow(); }), interval_(appendInterval) {
  appendTimer_.setSingleShot(true);
  QObject::connect(&appendTimer_, &QTimer::timeout, this, [this] {
    queue_.HoldAppendWakes(false);
    DrainNow();
  });
}

void UiPump::DrainNow() {
  bool appended = false;
  queue_.Drain(&appended);
  if (appended && !appendTimer_.isActive()) {
    queue_.HoldAppendWakes(true);
    appendTimer_.start(queue_.LastDrainAppendedBytes() >= kFloodBytes ? std::max(kFloodInterval, interval_) : interval_);
  }
}

}  // namespace vqx::desktop
