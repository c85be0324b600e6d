#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QObject>

class QSocketNotifier;

namespace vqx::desktop {

// Nudges the user-interface thread's event loop from any thread, carrying no data, so
// that everything handed over travels through our own locked queue. One implementation
// file per platform.
class UiWaker : public QObject {
 public:
  // onWake runs on the thread that created the waker, once per burst of Wake calls.
  explicit UiWaker(std::function<void()> onWake);
  ~UiWaker() override;
  UiWaker(const UiWaker&) = delete;
  UiWaker& operator=(const UiWaker&) = delete;

  void Wake();  // any thread; never blocks

 private:
  void Woken();

  std::function<void()> onWake_;
  std::atomic<bool> pending_{false};
  int readFd_ = -1;
  int writeFd_ = -1;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace vqx::desktop
