#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>

#include "ui_call_queue.h"

namespace vqx::win32 {

// Runs the worker's calls on the user-interface thread, as the Qt program's pump does:
// a posted message wakes the thread (one pending at a time), which drains the queue.
// Output text is shown at most once per interval: after a drain that showed some, more
// text only queues up until the window timer drains it in one piece, every 20 ms, or
// every 250 ms while the unit floods the line. A unit talking without pause at 115200
// baud then costs one window update per interval, and the message queue never fills.
class Win32UiPump {
 public:
  static constexpr UINT kWakeMessage = WM_APP + 1;
  static constexpr UINT_PTR kAppendTimerId = 0x7101;  // far from the window logic's timers
  static constexpr std::chrono::milliseconds kAppendInterval{20};
  static constexpr size_t kFloodBytes = 2048;
  static constexpr std::chrono::milliseconds kFloodInterval{250};

  explicit Win32UiPump(desktop::UiCallQueue& queue) : queue_(queue) {}

  // The window that receives the wake message and the timer; until it exists, the
  // owner thread drains for itself.
  void Attach(HWND window) { window_.store(window); }
  // Any thread; never blocks.
  void Wake();
  // The window procedure's handlers.
  void OnWakeMessage();
  void OnAppendTimer();

 private:
  void DrainNow();

  desktop::UiCallQueue& queue_;
  std::atomic<HWND> window_{nullptr};
  std::atomic<bool> wakePending_{false};
  bool timerRunning_ = false;  // owner thread only
};

}  // namespace vqx::win32
