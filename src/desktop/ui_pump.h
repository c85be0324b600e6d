#pragma once

#include <chrono>
#include <memory>

#include <QObject>
#include <QTimer>

#include "ui_call_queue.h"
#include "ui_waker.h"

namespace vqx::desktop {

// Runs the worker's calls on the user-interface thread: woken through UiWaker, it
// drains the UiCallQueue. Output text is shown at most once per interval: after a drain
// that showed some, further text only queues up until the interval's timer drains it in
// one piece. A unit that talks without pause at 115200 baud then costs the window one
// update per interval instead of one per character; a single reply still shows at once.
class UiPump : public QObject {
 public:
  static constexpr std::chrono::milliseconds kAppendInterval{20};
  // A drain that showed this much text means the unit floods the line (relayed data,
  // noise): nobody reads that as it scrolls by, so the window is updated less often.
  static constexpr size_t kFloodBytes = 2048;
  static constexpr std::chrono::milliseconds kFloodInterval{250};

  explicit UiPump(UiCallQueue& queue, std::chrono::milliseconds appendInterval = kAppendInterval);
  // For the queue's wake function: any thread.
  void Wake() { waker_.Wake(); }

 private:
  void DrainNow();

  UiCallQueue& queue_;
  UiWaker waker_;
  QTimer appendTimer_;
  std::chrono::milliseconds interval_;
};

}  // namespace vqx::desktop
