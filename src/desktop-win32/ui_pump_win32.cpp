#include "ui_pump_win32.h"

#include <algorithm>

namespace vqx::win32 {

void Win32UiPump::Wake() {
  const HWND window = window_.load();
  if (window == nullptr) return;
  if (wakePending_.exchange(true)) return;
  if (!PostMessageW(window, kWakeMessage, 0, 0)) wakePending_.store(false);
}

void Win32UiPump::OnWakeMessage() {
  wakePending_.store(false);
  DrainNow();
}

void Win32UiPump::OnAppendTimer() {
  const HWND window = window_.load();
  if (window != nullptr) KillTimer(window, kAppendTimerId);
  timerRunning_ = false;
  queue_.HoldAppendWakes(false);
  DrainNow();
}

void Win32UiPump::DrainNow() {
  // Only what is queued now: a worker that queues faster than the window shows text
  // would otherwise keep this thread in the drain, and the window would stop painting
  // and answering the user.
  bool appended = false;
  queue_.Drain(&appended, queue_.Pending());
  const HWND window = window_.load();
  if (window == nullptr || timerRunning_) return;
  // Text shown: more text waits for the interval. Anything left: the timer fetches it,
  // after the window's own messages.
  if (appended || queue_.Pending() > 0) {
    queue_.HoldAppendWakes(true);
    const bool flood = queue_.LastDrainAppendedBytes() >= kFloodBytes;
    const auto interval = flood ? std::max(kFloodInterval, kAppendInterval) : kAppendInterval;
    timerRunning_ = SetTimer(window, kAppendTimerId, static_cast<UINT>(interval.count()), nullptr) != 0;
    if (!timerRunning_) queue_.HoldAppendWakes(false);
  }
}

}  // namespace vqx::win32
