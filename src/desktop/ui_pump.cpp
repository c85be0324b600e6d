#include "ui_pump.h"

namespace vqx::desktop {

UiPump::UiPump(UiCallQueue& queue, std::chrono::milliseconds appendInterval)
    : queue_(queue), waker_([this] { DrainNow(); }) {
  appendTimer_.setSingleShot(true);
  appendTimer_.setInterval(appendInterval);
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
    appendTimer_.start();
  }
}

}  // namespace vqx::desktop
